// The readable configuration: what the document and KEY=VALUE pairs accept and refuse, setting
// files through JSON and back byte for byte, overlay as the window's loading, comparisons, and
// the written documents against the published schema.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>

#include "config/configuration.h"
#include "files/setting_files.h"
#include "support/temp_dir.h"

namespace krt6 {
namespace {

using json = nlohmann::json;
using Bytes = std::vector<std::uint8_t>;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

constexpr Language kEn = Language::kEnglish;
constexpr Language kJa = Language::kJapanese;

json Written(const Configuration& c, const std::string& key) {
  const std::size_t dot = key.find('.');
  return ToJson(c).at(key.substr(0, dot)).at(key.substr(dot + 1));
}

std::string Doc(const std::string& parts) {
  return R"({"format": "krt6-settings", "version": 1)" + (parts.empty() ? "" : ", " + parts) + "}";
}

TEST(ConfigTest, KeyValuePairsSetTheNamedFieldAsTheDocumentWritesIt) {
  const struct {
    const char* pair;
    const char* key;
    json written;
  } cases[] = {
      {"comm_speed=19200", "parameters.comm_speed", "19200 bps"},
      {"comm_speed=\"19200 bps\"", "parameters.comm_speed", "19200 bps"},
      {"parameters.comm_speed=115200 BPS", "parameters.comm_speed", "115200 bps"},
      {"stop_bit=2", "parameters.stop_bit", "2 bits"},  // the number an item begins with
      {"data_length=7", "parameters.data_length", "7 bits"},
      {"font_code=3", "parameters.font_code", "PC-8"},  // items without numbers: the index
      {"font_code=pc-1257", "parameters.font_code", "PC-1257"},
      {"control=XON/XOFF protocol (item 3)", "parameters.control", "XON/XOFF protocol (item 3)"},
      {"control=2", "parameters.control", "XON/XOFF + READY/BUSY (DTR) protocol"},
      {"code={, |, } mode", "parameters.code", "{, |, } mode"},  // an item text, not a value
      {"x_coordinate=-999", "parameters.x_coordinate", -999},
      {" x_coordinate = +12", "parameters.x_coordinate", 12},
      {"blank_space_len=99", "parameters.blank_space_len", 99},
      {"carried_adj=-9", "parameters.carried_adj", -9},
      {"reserved2=-70000", "parameters.reserved2", -70000},
      {"euro_code=\"\"", "parameters.euro_code", ""},
      {"euro_code=\"A\\\"\"", "parameters.euro_code", "A\""},
      {"dhcp=ON", "lan.dhcp", "ON"},
      {"lan.dhcp= off ", "lan.dhcp", "OFF"},
      {"dhcp_id= A ", "lan.dhcp_id", " A "},
      {"dhcp=1", "lan.dhcp", "ON"},
      {"ip_address=192.168.0.5", "lan.ip_address", "192.168.0.5"},
      {"default_gateway=010.000.000.001", "lan.default_gateway", "10.0.0.1"},
      {"socket_port_mode=0", "lan.socket_port_mode", "OFF"},
      {"socket_port_mode=5", "lan.socket_port_mode", "5"},
      {"socket_port=65535", "lan.socket_port", 65535},
      {"dhcp_id=ABC DEF", "lan.dhcp_id", "ABC DEF"},
      {"lan.dhcp_id=0123456789abcdef0123456789ABCDEF", "lan.dhcp_id",
       "0123456789abcdef0123456789ABCDEF"},
      {"dhcp_hostname=Printer01", "lan.dhcp_hostname", "Printer01"},
      {"lan_flag=0", "lan.lan_flag", 0},
  };
  for (const auto& c : cases) {
    Configuration config;
    const ConfigError error = ApplyKeyValue(config, c.pair, kEn);
    ASSERT_TRUE(error.Ok()) << c.pair << ": " << error.Message;
    EXPECT_TRUE(error.Key.empty());
    EXPECT_EQ(config.Named, std::vector<std::string>{c.key}) << c.pair;
    EXPECT_TRUE(std::string(c.key).starts_with("lan.") ? config.HasLan : config.HasParameters);
    EXPECT_EQ(Written(config, c.key), c.written) << c.pair;
    // What the document writes, it reads back to the same record.
    auto reread = ParseConfiguration(JsonText(ToJson(config)), kEn);
    ASSERT_TRUE(std::holds_alternative<Configuration>(reread)) << c.pair;
    EXPECT_EQ(ToJson(std::get<Configuration>(reread)), ToJson(config)) << c.pair;
  }
  // Pairs add up, in document order, and a later pair for the same key wins.
  Configuration config;
  for (const char* pair : {"dhcp=ON", "comm_speed=9600", "parity=EVEN", "comm_speed=4800 bps"}) {
    ASSERT_TRUE(ApplyKeyValue(config, pair, kEn).Ok()) << pair;
  }
  EXPECT_EQ(config.Named,
            (std::vector<std::string>{"parameters.comm_speed", "parameters.parity", "lan.dhcp"}));
  EXPECT_EQ(config.Parameters.Speed, 1);
  EXPECT_EQ(config.Parameters.Parity, 1);
  EXPECT_EQ(config.Lan.DhcpEnabled, 1);
}

// Every refusal names its key, in the message as well, and leaves the configuration as it was.
TEST(ConfigTest, RefusalsNameTheKey) {
  const struct {
    std::string input;  // a KEY=VALUE pair, or a document when it starts with '{' or '['
    const char* key;
  } cases[] = {
      {"comm_speed=3", "parameters.comm_speed"},  // a number of a numbered list is no index
      {"comm_speed=19201", "parameters.comm_speed"},
      {"control=XON/XOFF protocol", "parameters.control"},  // two items share the text
      {"control=XON/XOFF protocol (item 1)", "parameters.control"},
      {"font_code=14", "parameters.font_code"},
      {"x_coordinate=1000", "parameters.x_coordinate"},
      {"x_coordinate=abc", "parameters.x_coordinate"},
      {"x_coordinate=\"5\"", "parameters.x_coordinate"},
      {"blank_space_len=1", "parameters.blank_space_len"},
      {"carried_value1=100", "parameters.carried_value1"},
      {"carried_value2=-10", "parameters.carried_value2"},
      {"euro_code=ABC", "parameters.euro_code"},  // the command carries two characters
      {"euro_code=\"\\u0001\"", "parameters.euro_code"},
      {"ip_address=192.168.0.256", "lan.ip_address"},
      {"ip_address=1.2.3", "lan.ip_address"},
      {"subnet_mask=255.255.255.0.0", "lan.subnet_mask"},
      {"socket_port=65536", "lan.socket_port"},
      {"socket_port_mode=6", "lan.socket_port_mode"},
      {"dhcp=2", "lan.dhcp"},
      {"dhcp_id=" + std::string(33, 'A'), "lan.dhcp_id"},
      {"dhcp_hostname=a_b", "lan.dhcp_hostname"},
      {"dhcp_hostname=" + std::string(16, 'a'), "lan.dhcp_hostname"},
      {"lan_flag=256", "lan.lan_flag"},
      {"reserved1=2147483648", "parameters.reserved1"},
      {"unknown=1", "unknown"},
      {"lan.comm_speed=19200", "lan.comm_speed"},
      {"comm_speed", "comm_speed"},
      {"{", ""},
      {"[]", ""},
      {R"({"version": 1})", "format"},
      {R"({"format": "krt6-settings", "version": 2})", "version"},
      {Doc(R"("extra": {})"), "extra"},
      {Doc(R"("parameters": [])"), "parameters"},
      {Doc(R"("parameters": {"comm_speed": true})"), "parameters.comm_speed"},
      {Doc(R"("parameters": {"comm_speed": 2.0})"), "parameters.comm_speed"},
      {Doc(R"("parameters": {"comm_speed": 7})"), "parameters.comm_speed"},
      {Doc(R"("parameters": {"comm_speed": "3"})"), "parameters.comm_speed"},
      {Doc(R"("parameters": {"comm_speed": {"raw": 42}})"), "parameters.comm_speed"},
      {Doc(R"("parameters": {"comm_speed": {"raw": 2, "x": 1}})"), "parameters.comm_speed"},
      {Doc(R"("parameters": {"Comm_Speed": 2})"), "parameters.Comm_Speed"},
      {Doc(R"("parameters": {"x_coordinate": {"raw": -1000}})"), "parameters.x_coordinate"},
      {Doc(R"("parameters": {"euro_code": {"raw": "00 58"}})"), "parameters.euro_code"},
      {Doc(R"("lan": {"dhcp_id": 5})"), "lan.dhcp_id"},
      {Doc(R"("lan": {"dhcp_id": {"text": "A", "after_nul": "zz"}})"), "lan.dhcp_id.after_nul"},
      {Doc(R"("lan": {"dhcp_id": {"text": "A", "bogus": "00"}})"), "lan.dhcp_id"},
      {Doc(R"("lan": {"dhcp_hostname": {"text": "A", "after_nul": "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"}})"),
       "lan.dhcp_hostname.after_nul"},
      {Doc(R"("lan": {"ip_address": {"raw": [1, 2, 3]}})"), "lan.ip_address.raw"},
      {Doc(R"("lan": {"ip_address": {"raw": [1, 2, 3, 300]}})"), "lan.ip_address"},
      {Doc(R"("lan": {"ip_address": [192, 168, 0, 5]})"), "lan.ip_address"},
      {Doc(R"("lan": {"dhcp": true})"), "lan.dhcp"},
  };
  for (const auto& c : cases) {
    for (const Language language : {kEn, kJa}) {
      ConfigError error;
      if (c.input.front() == '{' || c.input.front() == '[') {
        auto parsed = ParseConfiguration(c.input, language);
        ASSERT_TRUE(std::holds_alternative<ConfigError>(parsed)) << c.input;
        error = std::get<ConfigError>(parsed);
      } else {
        Configuration config;
        ASSERT_TRUE(ApplyKeyValue(config, "comm_speed=9600", language).Ok());
        const json before = ToJson(config);
        error = ApplyKeyValue(config, c.input, language);
        EXPECT_EQ(ToJson(config), before) << c.input;
      }
      EXPECT_EQ(error.Key, c.key) << c.input << ": " << error.Message;
      EXPECT_FALSE(error.Message.empty()) << c.input;
      if (*c.key != '\0') {
        EXPECT_NE(error.Message.find(c.key), std::string::npos) << error.Message;
      }
    }
  }
  // The messages follow the language.
  Configuration config;
  EXPECT_NE(ApplyKeyValue(config, "x_coordinate=1000", kEn).Message,
            ApplyKeyValue(config, "x_coordinate=1000", kJa).Message);
}

// A text that would end one command and start another is refused for every key, in every form
// a value can take.
TEST(ConfigTest, InjectionTextIsRefusedForEveryKey) {
  const std::string injection = "|}{Z4;0";
  ASSERT_EQ(ConfigurationKeys().size(), 32u);
  for (const std::string& key : ConfigurationKeys()) {
    const std::string part = key.substr(0, key.find('.'));
    const std::string name = key.substr(key.find('.') + 1);
    for (const std::string& pair :
         {key + "=" + injection, name + "=" + injection, name + "=\"" + injection + "\""}) {
      Configuration config;
      EXPECT_EQ(ApplyKeyValue(config, pair, kEn).Key, key) << pair;
      EXPECT_TRUE(config.Named.empty());
    }
    for (const json& value :
         {json(injection), json{{"text", injection}}, json{{"raw", "7C 7D 7B 5A 34 3B 30"}}}) {
      const json document = {{"format", "krt6-settings"}, {"version", 1}, {part, {{name, value}}}};
      auto parsed = ConfigurationFromJson(document, kEn);
      ASSERT_TRUE(std::holds_alternative<ConfigError>(parsed)) << document;
      EXPECT_EQ(std::get<ConfigError>(parsed).Key.rfind(key, 0), 0u) << document;
    }
  }
}

template <std::size_t N> Bytes AsBytes(const std::array<std::uint8_t, N>& array) {
  return Bytes(array.begin(), array.end());
}

Bytes StartupFile(bool lan) {
  return lan ? AsBytes(EncodeLanSettings(StartupLanSettings()))
             : AsBytes(EncodeParameterBlock(StartupParameters()));
}

Bytes RandomBytes(std::mt19937& random, std::size_t size) {
  Bytes bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random() & 0xFF);
  return bytes;
}

// A random file the window saves back unchanged: each text holds a NUL somewhere in its field.
Bytes RandomSettingFile(std::mt19937& random, bool lan) {
  Bytes bytes = RandomBytes(random, lan ? kLanSettingsFileSize : kParameterFileSize);
  // Some values in their documented ranges too, so that every form of the document appears.
  if (random() % 2 == 0) {
    const Bytes plain = StartupFile(lan);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      if (random() % 3 != 0) bytes[i] = plain[i];
    }
  }
  const std::pair<std::size_t, std::size_t> texts[] = {{58, 33}, {91, 16}};
  if (!lan) {
    bytes[44 + random() % 4] = 0;
  } else {
    for (auto [offset, size] : texts) bytes[offset + random() % size] = 0;
  }
  return bytes;
}

Configuration Loaded(const std::string& path, ValueUse use = ValueUse::kStore) {
  auto loaded = LoadConfiguration(path, kEn, use);
  if (auto* error = std::get_if<ConfigError>(&loaded)) {
    ADD_FAILURE() << path << ": " << error->Message;
    return {};
  }
  return std::get<Configuration>(loaded);
}

void Save(const std::string& path, const Configuration& c) {
  const ConfigError error = SaveConfiguration(path, c, kEn);
  EXPECT_TRUE(error.Ok()) << path << ": " << error.Message;
}

// Validates every document with the published schema; true when all pass (within two minutes).
bool SchemaAccepts(const std::vector<std::string>& paths) {
  std::string command =
      "timeout -k 5 120 python3 -c 'import json, sys, jsonschema\n"
      "schema = json.load(open(sys.argv[1]))\n"
      "validator = jsonschema.validators.validator_for(schema)(schema)\n"
      "for path in sys.argv[2:]:\n"
      "    validator.validate(json.load(open(path)))' " KRT6_SOURCE_DIR
      "/docs/krt6-settings.schema.json";
  for (const std::string& path : paths) command += " " + path;
  command += " 2>/dev/null";
  return std::system(command.c_str()) == 0;
}

// .ts0 and .ts1 through JSON and back give the same bytes, and the documents on the way fit the
// schema; the window's own load and save agree.
TEST(ConfigTest, SettingFilesThroughJsonAreByteIdentical) {
  TempDir dir;
  std::mt19937 random(12);
  std::vector<std::string> documents;
  for (int round = 0; round < 40; ++round) {
    const bool lan = round % 2 == 1;
    const std::string ext = lan ? ".ts1" : ".ts0";
    const std::string name = std::to_string(round);
    Bytes bytes = RandomSettingFile(random, lan);
    if (round < 2) {  // the start-up records as the window saves them
      bytes = StartupFile(lan);
    }
    WriteBytes(dir / (name + ext), bytes);
    const Configuration original = Loaded(dir / (name + ext));
    EXPECT_TRUE(lan ? NamesWholeLan(original) : NamesWholeParameters(original));
    Save(dir / (name + ".json"), original);
    documents.push_back(dir / (name + ".json"));
    const Configuration from_json = Loaded(dir / (name + ".json"));
    Save(dir / (name + ".back" + ext), from_json);
    ASSERT_EQ(ReadBytes(dir / (name + ".back" + ext)), bytes)
        << "round " << round << JsonText(ToJson(original));
    // The same document again from the configuration read back: JSON -> JSON is stable.
    Save(dir / (name + ".again.json"), from_json);
    EXPECT_EQ(ReadBytes(dir / (name + ".again.json")), ReadBytes(dir / (name + ".json")));
    if (round < 2) {  // the start-up record is sendable and needs no raw form
      EXPECT_EQ(JsonText(ToJson(from_json)).find("raw"), std::string::npos);
      Loaded(dir / (name + ext), ValueUse::kSend);
    }
  }
  // A random file's values are no printer's: taking them for sending is refused with a key.
  auto refused = LoadConfiguration(dir / "2.ts0", kEn, ValueUse::kSend);
  ASSERT_TRUE(std::holds_alternative<ConfigError>(refused));
  EXPECT_TRUE(std::get<ConfigError>(refused).Key.starts_with("parameters."));

  // Partial documents and documents in every form fit the schema; a wrong value does not.
  Configuration partial;
  ASSERT_TRUE(ApplyKeyValue(partial, "comm_speed=19200", kEn).Ok());
  ASSERT_TRUE(ApplyKeyValue(partial, "dhcp_id=ABC", kEn).Ok());
  Save(dir / "partial.json", partial);
  documents.push_back(dir / "partial.json");
  std::ofstream(dir / "empty.json") << Doc("");
  documents.push_back(dir / "empty.json");
  EXPECT_TRUE(SchemaAccepts(documents));
  std::ofstream(dir / "wrong.json") << Doc(R"("parameters": {"comm_speed": "fast"})");
  EXPECT_FALSE(SchemaAccepts({dir / "wrong.json"}));
  std::ofstream(dir / "unknown.json") << Doc(R"("lan": {"dhcp_name": "A"})");
  EXPECT_FALSE(SchemaAccepts({dir / "unknown.json"}));
}

// Over a random printer record, the configuration's overlay equals the window's loading of
// the same file bytes over that record.
template <typename Apply, typename Encode, typename Decode>
bool OverlaysAsWindowLoads(const Configuration& loaded, const Bytes& file, std::mt19937& random,
                           Apply apply, Encode encode, Decode decode) {
  auto image = encode(decode({}));
  const Bytes r = RandomBytes(random, image.size());
  std::copy(r.begin(), r.end(), image.begin());
  auto current = decode(image);
  TerminateTexts(current);
  auto window = current;
  apply(file.data(), file.size(), window);
  return encode(Overlay(loaded, current)) == encode(window);
}

// A shorter .ts0 (or .ts1) names the fields it reaches, and applied to a printer's record gives
// what loading it over that record in the window gives.
TEST(ConfigTest, ShortSettingFilesNameWhatTheyReachAndOverlayAsTheWindowLoads) {
  TempDir dir;
  std::mt19937 random(7);
  std::vector<std::string> all_parameters;
  std::vector<std::string> all_lan;
  for (const std::string& key : ConfigurationKeys()) {
    (key.starts_with("lan.") ? all_lan : all_parameters).push_back(key.substr(key.find('.') + 1));
  }
  // `exact`: the file ends on a field's end. A file that ends inside a field names it, with the
  // start-up record's bytes after the file's end where the window would keep the printer's.
  const struct {
    bool lan;
    std::size_t size;
    std::vector<std::string> unnamed;
    bool exact = true;
  } cases[] = {
      {false, 76, {"destination", "mode_select", "blank_space_len", "carried_adj"}},
      {false, 84, {"mode_select", "blank_space_len"}},
      {false, 88, {"mode_select", "blank_space_len"}},
      {false, 0, all_parameters},
      {false, 120, {}},
      {true, 49, {"socket_port_mode", "socket_port", "dhcp", "dhcp_id", "dhcp_hostname"}},
      {true, 57, {"dhcp", "dhcp_id", "dhcp_hostname"}},
      {true, 0, all_lan},
      {true, 60, {"dhcp_hostname"}, false},
      {false,
       44,
       {"euro_code", "auto_home", "auto_calib", "mode_select", "x_coordinate", "blank_space_len",
        "reserved1", "reserved2", "reserved3", "carried_value1", "carried_value2", "carried_adj"}},
      {false,
       46,
       {"auto_home", "auto_calib", "mode_select", "x_coordinate", "blank_space_len", "reserved1",
        "reserved2", "reserved3", "carried_value1", "carried_value2", "carried_adj"},
       false},
  };
  for (const auto& c : cases) {
    const std::string part = c.lan ? "lan." : "parameters.";
    const std::string path = dir / ("short" + std::to_string(c.size) + (c.lan ? ".ts1" : ".ts0"));
    const Bytes bytes = RandomBytes(random, c.size);
    WriteBytes(path, bytes);
    const Configuration loaded = Loaded(path);
    std::vector<std::string> unnamed;
    for (const std::string& key : ConfigurationKeys()) {
      const bool mine = key.starts_with(part);
      if (mine && std::find(loaded.Named.begin(), loaded.Named.end(), key) == loaded.Named.end()) {
        unnamed.push_back(key.substr(part.size()));
      }
    }
    std::vector<std::string> expected = c.unnamed;
    std::sort(unnamed.begin(), unnamed.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(unnamed, expected) << c.size;
    for (int printer = 0; c.exact && printer < 3; ++printer) {
      if (c.lan) {
        EXPECT_TRUE(OverlaysAsWindowLoads(loaded, bytes, random, ApplyLanSettingsFile,
                                          EncodeLanSettings, DecodeLanSettings))
            << c.size;
      } else {
        EXPECT_TRUE(OverlaysAsWindowLoads(loaded, bytes, random, ApplyParameterFile,
                                          EncodeParameterBlock, DecodeParameterBlock))
            << c.size;
      }
    }
  }
  // Written out whole, a short file's missing fields hold the start-up values.
  const Bytes legacy = RandomBytes(random, 76);
  WriteBytes(dir / "legacy.ts0", legacy);
  Save(dir / "legacy.json", Loaded(dir / "legacy.ts0"));
  Save(dir / "legacy.back.ts0", Loaded(dir / "legacy.json"));
  ParameterBlock window = StartupParameters();
  ApplyParameterFile(legacy.data(), legacy.size(), window);
  EXPECT_EQ(ReadBytes(dir / "legacy.back.ts0"), AsBytes(EncodeParameterBlock(window)));
}

TEST(ConfigTest, FilesRefuseWhatTheyCannotHold) {
  TempDir dir;
  Configuration lan_only;
  ASSERT_TRUE(ApplyKeyValue(lan_only, "dhcp=ON", kEn).Ok());
  EXPECT_EQ(SaveConfiguration(dir / "a.ts0", lan_only, kEn).Key, "parameters");
  EXPECT_TRUE(SaveConfiguration(dir / "a.TS1", lan_only, kEn).Ok());
  EXPECT_EQ(ReadBytes(dir / "a.TS1").size(), kLanSettingsFileSize);
  EXPECT_FALSE(SaveConfiguration(dir / "a.txt", lan_only, kEn).Ok());
  EXPECT_FALSE(SaveConfiguration(dir / "missing/a.json", lan_only, kEn).Ok());
  for (const std::string& path : {dir / "none.json", dir / "none.ts0", dir / "a.txt"}) {
    auto loaded = LoadConfiguration(path, kEn);
    ASSERT_TRUE(std::holds_alternative<ConfigError>(loaded)) << path;
    EXPECT_EQ(std::get<ConfigError>(loaded).Key, "");
    EXPECT_NE(std::get<ConfigError>(loaded).Message.find(path), std::string::npos);
  }
}

TEST(ConfigTest, DiffGivesReadableBeforeAndAfter) {
  ParameterBlock a = StartupParameters();
  ParameterBlock b = a;
  b.Speed = 3;
  b.Control = 3;
  b.ZeroCode = 1;
  b.Reserved1 = 9;
  b.Destination = 42;
  std::memcpy(b.EuroCode, "A\0X", 4);
  const std::vector<std::pair<std::string, std::string>> english = {
      {"parameters.zero_code", "NO SLASH -> WITH SLASH"},
      {"parameters.comm_speed", "9600 bps -> 19200 bps"},
      {"parameters.control", "XON/XOFF + READY/BUSY (DTR) protocol -> XON/XOFF protocol (item 3)"},
      {"parameters.destination", "QM -> 42"},
      {"parameters.euro_code", R"("B0" -> {"after_nul":"58","text":"A"})"},
      {"parameters.reserved1", "0 -> 9"},
  };
  std::vector<std::pair<std::string, std::string>> got;
  for (const FieldChange& change : Diff(a, b, kEn)) {
    got.emplace_back(change.Key, change.Before + " -> " + change.After);
  }
  EXPECT_EQ(got, english);
  const std::vector<FieldChange> japanese = Diff(a, b, kJa);
  ASSERT_EQ(japanese.size(), english.size());
  EXPECT_EQ(japanese[0].After, "スラッシュあり");
  EXPECT_EQ(japanese[2].After, "XON/XOFF 方式 (項目 3)");

  // As the printer sees it: version 0 sends no destination, the Euro code goes out as "A", the
  // reserved values never; only what the commands carry remains.
  got.clear();
  for (const FieldChange& change : Diff(a, b, kEn, DiffScope::kPrinter, 0)) {
    got.emplace_back(change.Key, change.After);
  }
  EXPECT_EQ(got, (std::vector<std::pair<std::string, std::string>>{
                     {"parameters.zero_code", "WITH SLASH"},
                     {"parameters.comm_speed", "19200 bps"},
                     {"parameters.control", "XON/XOFF protocol (item 3)"},
                     {"parameters.euro_code", R"({"after_nul":"58","text":"A"})"}}));
  std::memcpy(a.EuroCode, "A\0\0", 4);
  EXPECT_TRUE(Diff(a, b, kEn, DiffScope::kPrinter, 0).size() == 3);

  LanSettings x = StartupLanSettings();
  LanSettings y = x;
  std::strcpy(x.DhcpId, "ABC");
  std::snprintf(y.DhcpId, sizeof y.DhcpId, "%32s", "ABC");  // as the printer returns it
  y.LanFlag = 0;
  y.DhcpEnabled = 2;  // shown ON, sent as OFF
  y.IpAddress[3] = 300;
  got.clear();
  for (const FieldChange& change : Diff(x, y, kEn)) {
    got.emplace_back(change.Key, change.Before + " -> " + change.After);
  }
  EXPECT_EQ(
      got,
      (std::vector<std::pair<std::string, std::string>>{
          {"lan.ip_address", "192.168.10.20 -> 192.168.10.300"},
          {"lan.dhcp", "OFF -> 2"},
          {"lan.dhcp_id",
           R"({"after_nul":"46 46 46 46 46 46 46 46 46 46 46 46 46 46 46 46 46 46 46 46 46 46 46 46 46 46 46 46","text":"ABC"} -> "                             ABC")"},
          {"lan.lan_flag", "1 -> 0"}}));
  const std::vector<FieldChange> sent = Diff(x, y, kEn, DiffScope::kPrinter);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].Key, "lan.ip_address");

  // Two configurations: the keys either names, "(not set)" where the other does not.
  Configuration one;
  Configuration two;
  ASSERT_TRUE(ApplyKeyValue(one, "comm_speed=9600", kEn).Ok());
  ASSERT_TRUE(ApplyKeyValue(one, "dhcp=OFF", kEn).Ok());
  ASSERT_TRUE(ApplyKeyValue(two, "comm_speed=9600", kEn).Ok());
  ASSERT_TRUE(ApplyKeyValue(two, "parity=ODD", kEn).Ok());
  got.clear();
  for (const FieldChange& change : Diff(one, two, kEn)) {
    got.emplace_back(change.Key, change.Before + " -> " + change.After);
  }
  EXPECT_EQ(got, (std::vector<std::pair<std::string, std::string>>{
                     {"parameters.parity", "(not set) -> ODD"}, {"lan.dhcp", "OFF -> (not set)"}}));
  EXPECT_EQ(Diff(one, two, kJa)[0].Before, "(未設定)");

  // Overlay puts exactly the named fields over the printer's record.
  ParameterBlock printer = b;
  const ParameterBlock applied = Overlay(two, printer);
  EXPECT_EQ(applied.Speed, 2);
  EXPECT_EQ(applied.Parity, 2);
  printer.Speed = 2;
  printer.Parity = 2;
  EXPECT_EQ(EncodeParameterBlock(applied), EncodeParameterBlock(printer));
  EXPECT_EQ(EncodeLanSettings(Overlay(two, y)), EncodeLanSettings(y));
}

}  // namespace
}  // namespace krt6
