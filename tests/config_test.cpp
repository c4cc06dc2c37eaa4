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
    EXPECT_EQ(config.Named(), std::vector<std::string>{c.key}) << c.pair;
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
  EXPECT_EQ(config.Named(),
            (std::vector<std::string>{"parameters.comm_speed", "parameters.parity", "lan.dhcp"}));
  EXPECT_EQ(Overlay(config, StartupParameters()).Speed, 1);
  EXPECT_EQ(Overlay(config, StartupParameters()).Parity, 1);
  EXPECT_EQ(Overlay(config, StartupLanSettings()).DhcpEnabled, 1);
}

// A JSON number means for a list what the same digits mean as KEY=VALUE: in a list whose items
// begin with numbers the value ("stop_bit": 1 is "1 bit"), never the index; elsewhere the index.
TEST(ConfigTest, JsonNumbersOfListsMeanWhatKeyValuePairsMean) {
  const struct {
    const char* key;
    std::int64_t number;
    const char* written;  // nullptr: refused, naming the key
  } cases[] = {
      {"parameters.stop_bit", 1, "1 bit"},
      {"parameters.stop_bit", 2, "2 bits"},
      {"parameters.stop_bit", 0, nullptr},
      {"parameters.data_length", 7, "7 bits"},
      {"parameters.data_length", 1, nullptr},
      {"parameters.comm_speed", 19200, "19200 bps"},
      {"parameters.comm_speed", 115200, "115200 bps"},
      {"parameters.comm_speed", 6, nullptr},
      {"parameters.comm_speed", -1, nullptr},
      {"parameters.font_code", 3, "PC-8"},  // no numbered items: the index
      {"parameters.font_code", 14, nullptr},
      {"parameters.control", 3, "XON/XOFF protocol (item 3)"},
      {"lan.socket_port_mode", 0, "OFF"},  // items "1" to "5" are their own index
      {"lan.socket_port_mode", 5, "5"},
      {"lan.socket_port_mode", 6, nullptr},
      {"lan.dhcp", 1, "ON"},
  };
  for (const auto& c : cases) {
    const std::string key = c.key;
    const std::string part = key.substr(0, key.find('.'));
    const std::string name = key.substr(key.find('.') + 1);
    const json document = {{"format", "krt6-settings"}, {"version", 1}, {part, {{name, c.number}}}};
    for (const Language language : {kEn, kJa}) {
      auto parsed = ConfigurationFromJson(document, language);
      Configuration pair;
      const ConfigError pair_error =
          ApplyKeyValue(pair, name + "=" + std::to_string(c.number), language);
      if (c.written == nullptr) {
        ASSERT_TRUE(std::holds_alternative<ConfigError>(parsed)) << document;
        const ConfigError& error = std::get<ConfigError>(parsed);
        EXPECT_EQ(error.Key, key) << document;
        EXPECT_NE(error.Message.find(key), std::string::npos) << error.Message;
        EXPECT_EQ(pair_error.Key, key) << name << "=" << c.number;
        continue;
      }
      ASSERT_TRUE(std::holds_alternative<Configuration>(parsed))
          << document << ": " << std::get<ConfigError>(parsed).Message;
      EXPECT_EQ(Written(std::get<Configuration>(parsed), key), c.written) << document;
      ASSERT_TRUE(pair_error.Ok()) << pair_error.Message;
      EXPECT_EQ(Written(pair, key), c.written) << name << "=" << c.number;
    }
  }
}

// Every refusal names its key, in the message as well, and leaves the configuration as it was.
TEST(ConfigTest, RefusalsNameTheKey) {
  const struct {
    std::string input;  // a KEY=VALUE pair, or a document when it starts with '{' or '['
    const char* key;
    const char* says = "";  // what the English message says besides
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
      {R"([{"a": 1, "a": 2}])", "", "one JSON object"},
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
      // A key given twice, at any level: which value was meant is unknown.
      {Doc(R"("version": 1)"), "version", "more than once"},
      {R"({"format": "krt6-settings", "format": "krt6-settings", "version": 1, "lan": {"dhcp": 1}})",
       "format", "more than once"},
      {Doc(R"("parameters": {"comm_speed": "9600", "parity": "ODD", "comm_speed": "19200"})"),
       "parameters.comm_speed", "more than once"},
      {Doc(R"("lan": {"dhcp": 1}, "parameters": {"parity": 1}, "lan": {"dhcp": 0})"), "lan",
       "more than once"},
      {Doc(R"("lan": {"dhcp_id": {"text": "A", "text": "B"}})"), "lan.dhcp_id.text",
       "more than once"},
      // A configuration that names no field would change nothing, and is most likely a mistake.
      {Doc(""), "", "names no field"},
      {Doc(R"("parameters": {}, "lan": {})"), "", "names no field"},
      {Doc(R"("lan": {})"), "", "names no field"},
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
      if (language == kEn) {
        EXPECT_NE(error.Message.find(c.says), std::string::npos) << error.Message;
      }
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

// What a refusal echoes from the input stays on one line and cannot drive a terminal: control
// characters and bytes that are no UTF-8 are escaped, and a long value is cut short.
TEST(ConfigTest, RefusalsEchoTheInputEscapedOnOneLine) {
  TempDir dir;
  const std::string long_value(500, 'A');
  const struct {
    std::string input;  // KEY=VALUE, a document ('{'), or a file to load ('/')
    std::string shows;  // what the message holds of the input
  } cases[] = {
      {"comm_speed=\x1b[2J\x1b]0;owned\x07", "\"\\x1b[2J\\x1b]0;owned\\x07\" is no item"},
      {"comm_\nspeed=1", "comm_\\nspeed: unknown key"},
      {"no pair\r\tat all", "\"no pair\\r\\tat all\": expected KEY=VALUE"},
      {"parity=\xff\xfe", "\"\\xff\\xfe\""},
      {"parity=\xc2\x9b"
       "31m",
       "\"\\xc2\\x9b31m\""},  // C1 control sequence introducer
      {"parity=\\N", "\"\\\\N\""},
      {"parity=速い", "\"速い\""},
      {"font_code=" + long_value, "\"" + std::string(80, 'A') + "...\""},
      {Doc(R"("parameters": {"a\u001b[1mb": 1})"), "parameters.a\\x1b[1mb: unknown key"},
      {Doc(R"("lan": {"socket_port_mode": "on\nline"})"), "\"on\\nline\" is no item"},
      {"{\"format\": \"" + std::string(100000, 'x'), "..."},
      {dir / "a\nb.txt", dir / "a\\nb.txt: the file name must end in"},
      {dir / "missing\x1b.json", dir / "missing\\x1b.json: No such file"},
  };
  for (const auto& c : cases) {
    std::string message;
    if (c.input.front() == '{') {
      auto parsed = ParseConfiguration(c.input, kEn);
      ASSERT_TRUE(std::holds_alternative<ConfigError>(parsed)) << c.input;
      message = std::get<ConfigError>(parsed).Message;
    } else if (c.input.front() == '/') {
      auto loaded = LoadConfiguration(c.input, kEn);
      ASSERT_TRUE(std::holds_alternative<ConfigError>(loaded)) << c.input;
      message = std::get<ConfigError>(loaded).Message;
    } else {
      Configuration config;
      message = ApplyKeyValue(config, c.input, kEn).Message;
    }
    EXPECT_NE(message.find(c.shows), std::string::npos) << message;
    EXPECT_LT(message.size(), 400u) << message;
    EXPECT_TRUE(std::none_of(message.begin(), message.end(), [](unsigned char ch) {
      return ch < 0x20 || ch == 0x7F;
    })) << message;
    EXPECT_EQ(message.find("\xc2\x9b"), std::string::npos) << message;
  }
}

// A configuration holds a value for each field it names and nothing else: each field's value,
// named alone, reads back from its document as it was and changes that field of a record only.
TEST(ConfigTest, EachFieldsValueIsCarriedAlone) {
  std::mt19937 random(5);
  ParameterFileBytes parameter_bytes{};
  LanSettingsFileBytes lan_bytes{};
  for (auto& b : parameter_bytes) b = static_cast<std::uint8_t>(random());
  for (auto& b : lan_bytes) b = static_cast<std::uint8_t>(random());
  ParameterBlock parameters = DecodeParameterBlock(parameter_bytes);
  LanSettings lan = DecodeLanSettings(lan_bytes);
  TerminateTexts(parameters);
  TerminateTexts(lan);
  const Configuration whole = FromRecords(&parameters, &lan);
  EXPECT_EQ(whole.Named(), ConfigurationKeys());
  for (const FieldRow& row : Fields()) {
    const std::string key = std::string(PartName(row.part)) + "." + row.key;
    Configuration one;
    one.Set(row, whole.Values.at(&row));
    EXPECT_EQ(one.Named(), std::vector<std::string>{key});
    EXPECT_TRUE(one.Has(key) && one.Has(row.key));
    EXPECT_EQ(one.HasLan, row.part == FieldPart::kLan) << key;
    EXPECT_EQ(one.HasParameters, row.part == FieldPart::kParameters) << key;
    auto back = ParseConfiguration(JsonText(ToJson(one)), kEn, ValueUse::kStore);
    ASSERT_TRUE(std::holds_alternative<Configuration>(back)) << JsonText(ToJson(one));
    EXPECT_TRUE(std::get<Configuration>(back).Values == one.Values) << JsonText(ToJson(one));
    std::vector<FieldChange> changes =
        Diff(StartupParameters(), Overlay(one, StartupParameters()), kEn);
    for (FieldChange& change :
         Diff(StartupLanSettings(), Overlay(one, StartupLanSettings()), kEn)) {
      changes.push_back(std::move(change));
    }
    EXPECT_LE(changes.size(), 1u) << key;
    for (const FieldChange& change : changes) EXPECT_EQ(change.Key, key);
    EXPECT_TRUE(Diff(parameters, Overlay(one, parameters), kEn).empty()) << key;
    EXPECT_TRUE(Diff(lan, Overlay(one, lan), kEn).empty()) << key;
  }
  // A text given shorter than its field reads as that text.
  Configuration text;
  text.Set(*FindFieldByKey("dhcp_id"), std::string("AB"));
  EXPECT_EQ(Written(text, "lan.dhcp_id"), "AB");
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
      EXPECT_TRUE(config.Named().empty());
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
  std::ofstream(dir / "numbers.json") << Doc(
      R"("parameters": {"comm_speed": 19200, "stop_bit": 1, "data_length": 7, "font_code": 3},
                "lan": {"socket_port_mode": 0, "dhcp": 1})");
  documents.push_back(dir / "numbers.json");
  EXPECT_TRUE(SchemaAccepts(documents));
  // The reader refuses these; so does the schema.
  for (const std::string& wrong : {
           Doc(R"("parameters": {"comm_speed": "fast"})"),
           Doc(R"("lan": {"dhcp_name": "A"})"),
           Doc(R"("parameters": {"comm_speed": 6})"),
           Doc(R"("parameters": {"stop_bit": 0})"),
           Doc(""),
           Doc(R"("parameters": {}, "lan": {})"),
       }) {
    ASSERT_TRUE(
        std::holds_alternative<ConfigError>(ParseConfiguration(wrong, kEn, ValueUse::kStore)))
        << wrong;
    std::ofstream(dir / "wrong.json") << wrong;
    EXPECT_FALSE(SchemaAccepts({dir / "wrong.json"})) << wrong;
  }
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

// A .ts0 of an older layout names the fields it reaches, and applied to a printer's record gives
// what loading it over that record in the window gives.
TEST(ConfigTest, OlderLayoutsNameWhatTheyReachAndOverlayAsTheWindowLoads) {
  TempDir dir;
  std::mt19937 random(7);
  const struct {
    bool lan;
    std::size_t size;
    std::vector<std::string> unnamed;
  } cases[] = {
      {false, 76, {"destination", "mode_select", "blank_space_len", "carried_adj"}},
      {false, 84, {"mode_select", "blank_space_len"}},
      {false, 88, {"mode_select", "blank_space_len"}},
      {false, 92, {}},
      {true, 107, {}},
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
      if (mine && !loaded.Has(key)) {
        unnamed.push_back(key.substr(part.size()));
      }
    }
    std::vector<std::string> expected = c.unnamed;
    std::sort(unnamed.begin(), unnamed.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(unnamed, expected) << c.size;
    for (int printer = 0; printer < 3; ++printer) {
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

// A setting file of a size no layout has, and a document over the size limit, are refused as a
// whole: nothing of them is read as a configuration. (The window loads such setting files over
// its record, as file_io_test shows.)
TEST(ConfigTest, FilesOfNoLayoutSizeOrOverTheLimitAreRefused) {
  TempDir dir;
  constexpr std::size_t kLimit = 1 << 20;
  const std::string document = Doc(R"("parameters": {"parity": "ODD"})");
  const auto padded = [&](std::size_t size, const std::string& end = {}) {
    std::string text = document + std::string(size - document.size() - end.size(), ' ') + end;
    return Bytes(text.begin(), text.end());
  };
  const struct {
    std::string name;
    Bytes bytes;
    const char* says;  // nullptr: it loads
    const char* japanese = "バイトは";
  } cases[] = {
      {"a.ts0", Bytes(0), "0 bytes is no size of a .ts0 file (76, 84, 88, 92 bytes)"},
      {"b.ts0", Bytes(44), "44 bytes is no size of a .ts0 file"},
      {"c.ts0", Bytes(93), "93 bytes is no size of a .ts0 file"},
      {"d.ts0", Bytes(4000), "4000 bytes is no size of a .ts0 file"},
      {"e.ts1", Bytes(0), "0 bytes is no size of a .ts1 file (107 bytes)"},
      {"f.ts1", Bytes(49), "49 bytes is no size of a .ts1 file"},
      {"g.ts1", Bytes(108), "108 bytes is no size of a .ts1 file"},
      {"h.json", padded(kLimit), nullptr},
      {"i.json", padded(kLimit + 1), "too large for a configuration (more than 1048576 bytes)",
       "1048576 バイトを超えて"},
      // Only its first 1 MiB would be a whole document.
      {"j.json", padded(kLimit + 2, "x"), "too large for a configuration", "大きすぎます"},
  };
  for (const auto& c : cases) {
    const std::string path = dir / c.name;
    WriteBytes(path, c.bytes);
    for (const ValueUse use : {ValueUse::kStore, ValueUse::kSend}) {
      for (const Language language : {kEn, kJa}) {
        auto loaded = LoadConfiguration(path, language, use);
        if (c.says == nullptr) {
          EXPECT_TRUE(std::holds_alternative<Configuration>(loaded)) << c.name;
          continue;
        }
        ASSERT_TRUE(std::holds_alternative<ConfigError>(loaded)) << c.name;
        const ConfigError& error = std::get<ConfigError>(loaded);
        EXPECT_EQ(error.Key, "");
        EXPECT_EQ(error.Message.rfind(path + ": ", 0), 0u) << error.Message;
        EXPECT_NE(error.Message.find(language == kEn ? c.says : c.japanese), std::string::npos)
            << error.Message;
      }
    }
  }
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
