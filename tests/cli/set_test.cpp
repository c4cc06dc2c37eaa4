// krt6ctl set against an in-process printer model that can fail at any step: what it reports is
// what reached the printer, keys a firmware cannot receive fail on their own, and a value the
// printer holds that its Set command cannot carry is named before anything is written.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/settings_commands.h"
#include "config/configuration.h"
#include "emulator/printer_model.h"
#include "link/link_backend.h"
#include "link/link_kinds.h"
#include "protocol/commands.h"
#include "session/session.h"
#include "support/fake_link.h"
#include "support/krt6ctl_runs.h"
#include "support/temp_dir.h"

namespace krt6 {
namespace {

struct ModelState {
  emulator::PrinterModel model;
  std::vector<std::string> commands;
  std::deque<std::uint8_t> incoming;
  int sets_before_mute = -1;    // after this many Set commands nothing more is answered
  std::string refuse_write_of;  // a write carrying this command text takes nothing
  int sets = 0;
};

bool IsSet(const std::string& text) {
  return text != "WS" && text != "WV" && text.rfind("Z5;", 0) != 0;
}

// The printer model behind a TCP link kind, answering at once.
class ModelPrinter final : public LinkBackend {
 public:
  explicit ModelPrinter(std::shared_ptr<ModelState> state) : state_(std::move(state)) {}
  LinkHandle Open(Result&) override { return 3; }
  std::size_t Write(LinkHandle, const std::uint8_t* data, std::size_t size, Result&) override {
    if (!state_->refuse_write_of.empty() &&
        std::string(data, data + size).find(state_->refuse_write_of) != std::string::npos) {
      return 0;
    }
    std::vector<emulator::ReceivedCommand> received;
    std::vector<emulator::Reply> replies;
    state_->model.Feed(data, size, received, replies);
    for (const auto& command : received) {
      state_->commands.push_back(command.Text);
      if (IsSet(command.Text)) ++state_->sets;
    }
    const bool mute = state_->sets_before_mute >= 0 && state_->sets >= state_->sets_before_mute;
    for (const auto& reply : replies) {
      if (!mute)
        state_->incoming.insert(state_->incoming.end(), reply.Bytes.begin(), reply.Bytes.end());
    }
    return size;
  }
  std::size_t Fill(LinkHandle, std::uint8_t* out, std::size_t capacity,
                   std::chrono::steady_clock::time_point, Result&) override {
    std::size_t n = 0;
    for (; n < capacity && !state_->incoming.empty(); ++n) {
      out[n] = state_->incoming.front();
      state_->incoming.pop_front();
    }
    return n;
  }
  void Close(LinkHandle) override {}
  LinkCapabilities Capabilities() const override { return testing::CapabilitiesOf(lkEthernet); }

 private:
  std::shared_ptr<ModelState> state_;
};

Configuration Pairs(const std::vector<std::string>& pairs) {
  Configuration configuration;
  for (const std::string& pair : pairs) {
    const ConfigError error = ApplyKeyValue(configuration, pair, Language::kEnglish);
    EXPECT_TRUE(error.Ok()) << error.Message;
  }
  return configuration;
}

std::vector<std::string> KeysOf(const std::vector<cli::Change>& changes) {
  std::vector<std::string> keys;
  for (const cli::Change& change : changes) keys.push_back(change.Key);
  return keys;
}

TEST(SetCommandTest, ReportsWhatReachedThePrinter) {
  struct Case {
    const char* name;
    std::string firmware;
    std::vector<std::string> pairs;
    int code;
    bool changed;
    std::vector<std::string> changes;  // the keys reported
    std::string detail;                // a word the detail names
    int sets;                          // Set commands the printer received
    std::function<void(ModelState&)> spoil = {};
    bool stop = false;
  };
  const std::string p = "parameters.";
  const std::string l = "lan.";
  const Case cases[] = {
      {"unchanged", "1.0J", {"comm_speed=9600"}, 0, false, {}, "", 0},
      {"written and kept", "1.0J", {"comm_speed=19200"}, 0, true, {p + "comm_speed"}, "", 3},
      {"1.0B takes comm_speed only",
       "1.0B",
       {"destination=JA", "mode_select=TT", "blank_space_len=50", "comm_speed=19200"},
       cli::kNotSupported,
       true,
       {p + "comm_speed"},
       "parameters.destination, parameters.mode_select, parameters.blank_space_len",
       3},
      {"1.0D takes neither",
       "1.0D",
       {"mode_select=TT", "blank_space_len=50"},
       cli::kNotSupported,
       false,
       {},
       "mode_select",
       0},
      {"no firmware takes reserved1 or lan_flag",
       "1.0J",
       {"reserved1=5", "lan_flag=0"},
       cli::kNotSupported,
       false,
       {},
       "parameters.reserved1, lan.lan_flag",
       0},
      {"the read-back fails after the write",
       "1.0J",
       {"comm_speed=19200"},
       kReceivingError,
       true,
       {p + "comm_speed"},
       "",
       3,
       [](ModelState& s) { s.sets_before_mute = 1; }},
      {"the LAN write fails half-way",
       "1.0J",
       {"socket_port=9100"},
       kTransmissionError,
       true,
       {l + "socket_port"},
       "",
       4,
       [](ModelState& s) { s.refuse_write_of = "IH;"; }},
      {"the first write fails at once",
       "1.0J",
       {"comm_speed=19200"},
       kTransmissionError,
       false,
       {},
       "",
       0,
       [](ModelState& s) { s.refuse_write_of = "Z2;1"; }},
      {"the printer's own X COORDINATE blocks",
       "1.0J",
       {"comm_speed=19200"},
       cli::kUnsendableValue,
       false,
       {},
       "parameters.x_coordinate",
       0,
       [](ModelState& s) { s.model.MutableState().Parameters2.replace(11, 4, "9999"); }},
      {"interrupted before the write",
       "1.0J",
       {"comm_speed=19200"},
       cli::kInterrupted,
       false,
       {},
       "",
       0,
       {},
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto state = std::make_shared<ModelState>();
    state->model.MutableState().Firmware = c.firmware;
    if (c.spoil) c.spoil(*state);
    Session session(
        LinkTarget{lkEthernet, {}},
        [state](LinkKind, const LinkSettings&) { return std::make_unique<ModelPrinter>(state); },
        [](int) {});
    std::atomic<bool> stop{c.stop};
    cli::SetOptions options;
    options.Stop = &stop;
    const cli::TargetResult result =
        cli::SetCommand(session, Pairs(c.pairs), options, Language::kEnglish);
    EXPECT_EQ(result.Code, c.code) << result.Detail;
    EXPECT_EQ(result.Changed, c.changed);
    EXPECT_EQ(KeysOf(result.Changes), c.changes);
    EXPECT_NE(result.Detail.find(c.detail), std::string::npos) << result.Detail;
    int sets = 0;
    for (const std::string& command : state->commands) sets += IsSet(command) ? 1 : 0;
    EXPECT_EQ(sets, c.sets);
  }
}

}  // namespace
}  // namespace krt6

// krt6ctl set in this process against emulated printers: what it writes and reports, the same Set
// commands as a window session's, the read-back, and a parallel port written whole.
namespace krt6::cli_test {
namespace {

// set writes only what differs; --check and an unchanged configuration write nothing.
TEST(SetTest, OverTcpAndPty) {
  for (Transport transport : {Transport::kTcp, Transport::kPty}) {
    SCOPED_TRACE(TransportName(transport));
    std::string target;
    auto emu = Over(transport, target);
    const CtlRun check =
        Krt6ctl({"--json", "-t", target, "set", "comm_speed=19200", "dhcp=ON", "--check"});
    EXPECT_EQ(check.status, 3) << "a check that finds drift ends with 3: " << check.err;
    ASSERT_EQ(check.Lines().size(), 1u) << check.out;
    json line = check.Lines()[0];
    ExpectContract(line, "set", 0);
    EXPECT_EQ(line["changed"], false);
    EXPECT_EQ(
        line["changes"],
        json::parse(R"([{"key":"parameters.comm_speed","before":"9600 bps","after":"19200 bps"},
                              {"key":"lan.dhcp","before":"OFF","after":"ON"}])"));
    EXPECT_TRUE(Sets(*emu).empty()) << "--check wrote";

    line = OneLine(target, {"set", "comm_speed=19200", "dhcp=ON"}, "set");
    EXPECT_EQ(line["changed"], true);
    EXPECT_EQ(line["changes"].size(), 2u);
    EXPECT_EQ(line["data"]["parameters"]["comm_speed"], "19200 bps");
    EXPECT_EQ(line["data"]["lan"]["dhcp"], "ON");
    EXPECT_EQ(emu->State().Lan.Dhcp, 1);
    const std::size_t written = Sets(*emu).size();
    EXPECT_GT(written, 2u);

    line = OneLine(target, {"set", "comm_speed=19200 bps", "dhcp=ON"}, "set");
    EXPECT_EQ(line["changed"], false);
    EXPECT_TRUE(line["changes"].empty());
    EXPECT_EQ(Sets(*emu).size(), written) << "an unchanged configuration was written";
    // -q keeps get's document: it shows what set wrote.
    EXPECT_EQ(json::parse(Krt6ctl({"-q", "get", "lan", "-t", target}).out)["lan"]["dhcp"], "ON");
  }
}

// The Set commands for a configuration are those a window session sends for the same values.
TEST(SetTest, SendsTheWindowsCommands) {
  auto tool = Tcp();
  auto window = Tcp();
  Session session(LinkTarget{lkEthernet, {}});
  session.Settings().Tcp.IPAddr = "127.0.0.1";
  session.Settings().Tcp.Port = window->Port();
  ASSERT_TRUE(session.ReadFirmwareVersion().Ok());
  Outcome<ParameterBlock> block = session.ReadParameters();
  Outcome<LanSettings> lan = session.ReadLanSettings();
  ASSERT_TRUE(block.Ok() && lan.Ok());
  // The operator's edits, as the window's controls would make them.
  block.Value.Speed = 3;        // 19200 bps
  block.Value.Parity = 1;       // EVEN
  block.Value.XAdj = -12;       // x_coordinate
  lan.Value.IpAddress[3] = 77;  // ip_address 192.168.10.77
  lan.Value.SocketPort = 9100;
  std::strcpy(lan.Value.DhcpHostName, "LABEL7");
  ASSERT_TRUE(session.WriteParameters(block.Value).Ok());
  ASSERT_TRUE(session.WriteLanSettings(lan.Value).Ok());

  const CtlRun run = Krt6ctl({"--json", "-t", TcpTarget(*tool), "set", "comm_speed=19200",
                              "parity=EVEN", "x_coordinate=-12", "ip_address=192.168.10.77",
                              "socket_port=9100", "dhcp_hostname=LABEL7"});
  EXPECT_EQ(run.status, 0) << run.err << run.out;
  EXPECT_EQ(Sets(*tool), Sets(*window));
  std::string first, second;
  std::vector<std::string> lan_commands;
  ASSERT_EQ(BuildParameterCommands(block.Value, 3, first, second), SettingField::kNone);
  ASSERT_EQ(BuildLanCommands(lan.Value, lan_commands), SettingField::kNone);
  const auto sets = Sets(*tool);
  EXPECT_NE(std::find(sets.begin(), sets.end(), first), sets.end());
  EXPECT_NE(std::find(sets.begin(), sets.end(), second), sets.end());
  for (const std::string& command : lan_commands) {
    EXPECT_NE(std::find(sets.begin(), sets.end(), command), sets.end()) << command;
  }
}

// A printer that acknowledges Set commands but keeps its values fails the read-back: code 7.
TEST(SetTest, VerificationCatchesAPrinterThatIgnoresSets) {
  emulator::Faults faults;
  faults.IgnoreSets = true;
  auto emu = Tcp(1, faults);
  CtlRun run = Krt6ctl({"--json", "-t", TcpTarget(*emu), "set", "comm_speed=19200"});
  EXPECT_EQ(run.status, 1);
  auto lines = run.Lines();
  ASSERT_EQ(lines.size(), 1u);
  ExpectContract(lines[0], "set", 7);
  EXPECT_EQ(lines[0]["result"], "Verify Error");
  EXPECT_EQ(lines[0]["changed"], true);
  EXPECT_NE(lines[0]["detail"].get<std::string>().find("parameters.comm_speed"), std::string::npos);
  // A pair given before the file is applied as well as the file: everything in the order given.
  testing::TempDir dir;
  std::ofstream(dir / "port.json")
      << R"({"format":"krt6-settings","version":1,"lan":{"socket_port":9100}})";
  run = Krt6ctl({"--json", "-t", TcpTarget(*emu), "set", "--check", "comm_speed=19200",
                 dir / "port.json", "socket_port=9200"});
  lines = run.Lines();
  ASSERT_EQ(lines.size(), 1u) << run.err;
  EXPECT_EQ(lines[0]["changes"],
            (json::array(
                {{{"key", "parameters.comm_speed"}, {"before", "9600 bps"}, {"after", "19200 bps"}},
                 {{"key", "lan.socket_port"}, {"before", "8000"}, {"after", "9200"}}})));
  // Without verification the same write counts as done.
  run = Krt6ctl({"--json", "-t", TcpTarget(*emu), "set", "comm_speed=19200", "--no-verify"});
  EXPECT_EQ(run.status, 0) << run.out;
}

// A parallel port gives no replies: set writes the whole part for the firmware given.
TEST(SetTest, ParallelPortOverAFifo) {
  testing::TempDir dir;
  EmulatorOptions o;
  o.Kind = Transport::kFifo;
  o.Path = dir / "lp";
  auto emu = StartEmulator(o);
  const std::string target = "parallel:" + emu->DevicePath();
  auto source = Tcp();
  ASSERT_EQ(Krt6ctl({"-t", TcpTarget(*source), "get", "params", "-o", dir / "all.ts0"}).status, 0);
  const CtlRun run =
      Krt6ctl({"--json", "-t", target, "set", dir / "all.ts0", "--firmware", "1.0J"});
  EXPECT_EQ(run.status, 0) << run.err;
  ParameterBlock block;
  std::string first, second;
  ASSERT_EQ(BuildParameterCommands(block, 3, first, second), SettingField::kNone);
  for (int i = 0; i < 100 && emu->CommandTexts().size() < 2; ++i) ::usleep(10000);
  const auto texts = emu->CommandTexts();
  EXPECT_NE(std::find(texts.begin(), texts.end(), first), texts.end());
}

// The exit statuses of a check and of diff over a fleet: 0 nothing would change (or the sides
// are the same), 3 drift, 1 a target failed (even beside drift), 2 bad input; no check writes.
TEST(SetTest, CheckAndDiffExitStatuses) {
  auto emu = Tcp(3);
  testing::TempDir dir;
  const std::string a = TcpTarget(*emu, 0), b = TcpTarget(*emu, 1), c = TcpTarget(*emu, 2);
  const std::string dead = "127.0.0.1:1";
  ASSERT_EQ(Krt6ctl({"-t", a, "set", "comm_speed=19200"}).status, 0);
  ASSERT_EQ(Krt6ctl({"-t", a, "get", "all", "-o", dir / "a.json"}).status, 0);
  const std::size_t written = Sets(*emu, 0).size();
  ASSERT_GT(written, 0u);
  std::ofstream(dir / "own.csv") << "target,comm_speed\n" << a << ",19200\n" << b << ",9600\n";
  struct Case {
    std::vector<std::string> args;
    int status;
  };
  const Case cases[] = {
      {{"-t", a, "set", "--check", "comm_speed=19200"}, 0},
      {{"-t", b, "-t", c, "set", "--check", "comm_speed=9600"}, 0},
      {{"-t", a, "-t", b, "set", "--check", "comm_speed=19200"}, 3},
      {{"-t", b, "-t", c, "set", "--check", "parity=ODD"}, 3},
      {{"-t", b, "-t", dead, "set", "--check", "comm_speed=19200"}, 1},
      {{"-t", a, "-t", dead, "set", "--check", "comm_speed=19200"}, 1},
      {{"-t", a, "set", "--check", "comm_speed=12345"}, 2},
      {{"--targets", dir / "own.csv", "set", "--check"}, 0},
      {{"--targets", dir / "own.csv", "-t", c, "set", "--check", "parity=ODD"}, 3},
      {{"diff", dir / "a.json", a}, 0},
      {{"diff", dir / "a.json", dir / "a.json"}, 0},
      {{"diff", dir / "a.json", b}, 3},
      {{"diff", a, b}, 3},
      {{"diff", dir / "a.json", dead}, 1},
      {{"diff", dir / "missing.json", a}, 2},
  };
  for (const Case& each : cases) {
    std::string shown;
    for (const std::string& arg : each.args) shown += arg + " ";
    SCOPED_TRACE(shown);
    const CtlRun run = Krt6ctl(each.args);
    EXPECT_EQ(run.status, each.status) << run.err;
  }
  for (int printer = 0; printer < 3; ++printer) {
    EXPECT_EQ(Sets(*emu, printer).size(), printer == 0 ? written : 0u)
        << "a check wrote " << printer;
  }
  // A set that writes is no drift: 0.
  EXPECT_EQ(Krt6ctl({"-t", b, "-t", c, "set", "comm_speed=19200"}).status, 0);
  EXPECT_EQ(Krt6ctl({"-t", a, "-t", b, "-t", c, "set", "--check", "comm_speed=19200"}).status, 0);
}

}  // namespace
}  // namespace krt6::cli_test
