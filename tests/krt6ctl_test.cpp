// krt6ctl as a program against emulated printers over TCP, a pseudo terminal and a FIFO: every
// command with its JSON line and exit status, the Set commands it sends compared with a window
// session's for the same values, the fleet with dead printers, and input that must send nothing.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pty.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/fleet.h"
#include "cli/target.h"
#include "emulator/emulator.h"
#include "link/link_kinds.h"
#include "protocol/commands.h"
#include "session/session.h"
#include "support/os_bench.h"
#include "support/temp_dir.h"
#include "texts/texts.h"

extern char** environ;

namespace krt6 {
namespace {

using emulator::Emulator;
using emulator::EmulatorOptions;
using emulator::Transport;
using nlohmann::json;

std::string BuildDir() {
  char self[PATH_MAX] = {};
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  std::string dir(self, n > 0 ? static_cast<std::size_t>(n) : 0);
  dir = dir.substr(0, dir.rfind('/'));  // build/tests
  return dir.substr(0, dir.rfind('/'));
}

struct ProgramRun {
  int status = -1;
  std::string out;
  std::string err;
  std::vector<json> Lines() const {
    std::vector<json> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
    return lines;
  }
};

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs the built krt6ctl with `args` (English messages) and collects what it printed.
// Standard error goes to `error_device` instead when it is given (a terminal).
ProgramRun Krt6ctl(std::vector<std::string> args, const std::string& error_device = {}) {
  testing::TempDir dir;
  const std::string program = BuildDir() + "/cli/krt6ctl";
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  if (std::find(args.begin(), args.end(), "--lang=ja") == args.end()) {
    args.insert(args.begin(), "--lang=en");
  }
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, (dir / "out").c_str(), O_WRONLY | O_CREAT, 0600);
  posix_spawn_file_actions_addopen(
      &actions, 2, error_device.empty() ? (dir / "err").c_str() : error_device.c_str(),
      O_WRONLY | O_CREAT, 0600);
  pid_t pid = -1;
  ProgramRun run;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
    // A run that hangs is killed and fails the test instead of holding up the suite.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        ADD_FAILURE() << "krt6ctl did not end within 120 s";
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  run.out = ReadText(dir / "out");
  run.err = ReadText(dir / "err");
  // Every target's line keeps the keys of the output contract in its order.
  std::istringstream in(run.out);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("{\"target\"", 0) != 0) continue;
    std::vector<std::string> keys;
    const auto parsed = nlohmann::ordered_json::parse(line);
    for (auto it = parsed.begin(); it != parsed.end(); ++it) keys.push_back(it.key());
    EXPECT_EQ(keys,
              (std::vector<std::string>{"target", "command", "ok", "code", "result", "cause",
                                        "detail", "elapsed_ms", "changed", "changes", "data"}))
        << line;
  }
  return run;
}

std::unique_ptr<Emulator> StartEmulator(EmulatorOptions o) {
  auto emu = std::make_unique<Emulator>(o);
  std::string error;
  EXPECT_TRUE(emu->Start(error)) << error;
  return emu;
}

std::unique_ptr<Emulator> Tcp(int count = 1, emulator::Faults faults = {}) {
  EmulatorOptions o;
  o.Port = 0;
  o.Count = count;
  o.Vary = count > 1;
  o.Spoil = faults;
  return StartEmulator(o);
}

std::string TcpTarget(const Emulator& emu, int printer = 0) {
  return "socket://127.0.0.1:" + std::to_string(emu.Port(printer));
}

bool IsRead(const std::string& text) {
  return text == "WS" || text == "WV" || text.rfind("Z5;", 0) == 0;
}

// The commands that change the printer: everything but the queries.
std::vector<std::string> Sets(const Emulator& emu, int printer = 0) {
  std::vector<std::string> sets;
  for (const std::string& text : emu.CommandTexts(printer)) {
    if (!IsRead(text)) sets.push_back(text);
  }
  return sets;
}

// A line of the output contract for `command` with `code`.
void ExpectContract(const json& line, const std::string& command, int code) {
  EXPECT_EQ(line["command"], command);
  EXPECT_EQ(line["code"], code) << line;
  EXPECT_EQ(line["ok"], code == 0);
  EXPECT_TRUE(line["elapsed_ms"].is_number());
}

TEST(Krt6ctlTest, TargetUris) {
  struct Case {
    const char* text;
    LinkKind kind;
    const char* where;  // host:port, port name or USB selector
  };
  const Case good[] = {
      {"socket://printer1", lkEthernet, "printer1:8000"},
      {"socket://10.0.0.5:9100/", lkEthernet, "10.0.0.5:9100"},
      {"10.0.0.5", lkEthernet, "10.0.0.5:8000"},
      {"printer-2.local:9000", lkEthernet, "printer-2.local:9000"},
      {"[::1]:9001", lkEthernet, "[::1]:9001"},
      {"socket://[fe80::1]", lkEthernet, "[fe80::1]:8000"},
      {"::1", lkEthernet, "[::1]:8000"},
      {"serial:COM5", lkCom, "COM5"},
      {"serial:/dev/serial/by-id/usb-X-if00?baud=19200+bits=7+parity=even+stop=2+flow=none+xonxoff",
       lkCom, "/dev/serial/by-id/usb-X-if00"},
      {"parallel:LPT2", lkLpt, "LPT2"},
      {"parallel:/dev/usb/lp0", lkLpt, "/dev/usb/lp0"},
      {"usb:", lkUsb, ""},
      {"usb:1-2.3", lkUsb, "1-2.3"},
      {"usb:?serial=ABC123", lkUsb, "ABC123"},
  };
  for (const Case& c : good) {
    auto parsed = cli::ParseTarget(c.text);
    ASSERT_TRUE(std::holds_alternative<cli::Target>(parsed))
        << c.text << ": " << std::get<std::string>(parsed);
    const cli::Target& t = std::get<cli::Target>(parsed);
    EXPECT_EQ(t.Kind, c.kind) << c.text;
    std::string where;
    if (c.kind == lkEthernet)
      where = t.Settings.Tcp.IPAddr + ":" + std::to_string(t.Settings.Tcp.Port);
    if (c.kind == lkCom) where = t.Settings.Serial.PortName;
    if (c.kind == lkLpt) where = t.Settings.LptName;
    if (c.kind == lkUsb) where = t.UsbPortPath + t.UsbSerial;
    EXPECT_EQ(where, c.where) << c.text;
  }
  const cli::Target serial = std::get<cli::Target>(cli::ParseTarget(good[8].text));
  EXPECT_EQ(serial.Settings.Serial.BaudRateIndex, 3);
  EXPECT_EQ(serial.Settings.Serial.DataBitIndex, 0);
  EXPECT_EQ(serial.Settings.Serial.ParityIndex, 2);
  EXPECT_EQ(serial.Settings.Serial.StopBitIndex, 2);
  EXPECT_EQ(serial.Settings.Serial.HdShakIndex, 0);
  EXPECT_EQ(serial.Settings.Serial.SWShakIndex, 1);
  const cli::Target defaults = std::get<cli::Target>(cli::ParseTarget("serial:COM1"));
  EXPECT_EQ(defaults.Settings.Serial.BaudRateIndex, SerialSettings{}.BaudRateIndex);
  EXPECT_EQ(defaults.Settings.Serial.HdShakIndex, SerialSettings{}.HdShakIndex);

  for (const char* bad :
       {"", "socket://", "host:0", "host:65536", "host:", "ho st", "[::1", "[::1]x", "serial:COM0",
        "serial:COM31", "serial:com1", "serial:COM1?baud=1234", "serial:COM1?speed=9600",
        "parallel:LPT5", "parallel:", "usb:1", "usb:?serial=", "ftp://host", "a\tb"}) {
    EXPECT_TRUE(std::holds_alternative<std::string>(cli::ParseTarget(bad))) << bad;
  }
  // The selectors reach the USB link; device paths reach the serial and parallel links.
  EXPECT_EQ(
      cli::LinkOptionsFor(std::get<cli::Target>(cli::ParseTarget("usb:1-2.3"))).UsbDevice.PortPath,
      "1-2.3");
  EXPECT_EQ(cli::LinkOptionsFor(std::get<cli::Target>(cli::ParseTarget("usb:?serial=S1")))
                .UsbDevice.Serial,
            "S1");
  cli::TargetPorts ports;
  EXPECT_EQ(ports.SerialDevice("/dev/serial/by-id/x"), "/dev/serial/by-id/x");
  EXPECT_EQ(ports.SerialDevice("COM1"), "/dev/ttyS0");
  EXPECT_EQ(ports.ParallelDevice("/dev/usb/lp0"), "/dev/usb/lp0");
}

// Every command over TCP and over a pseudo terminal, each a contract line; set writes only what
// differs, --check and an unchanged configuration write nothing.
TEST(Krt6ctlTest, EveryCommandOverTcpAndPty) {
  for (Transport transport : {Transport::kTcp, Transport::kPty}) {
    SCOPED_TRACE(transport == Transport::kTcp ? "tcp" : "pty");
    EmulatorOptions o;
    o.Kind = transport;
    o.Port = 0;
    auto emu = StartEmulator(o);
    const std::string target = transport == Transport::kTcp
                                   ? TcpTarget(*emu)
                                   : "serial:" + emu->DevicePath() + "?baud=9600+flow=none";
    testing::TempDir dir;
    auto one = [&](std::vector<std::string> args, const std::string& command, int code = 0) {
      args.insert(args.begin(), {"--json", "-t", target});
      const ProgramRun run = Krt6ctl(args);
      EXPECT_EQ(run.status, code == 0 ? 0 : 1) << run.err;
      const auto lines = run.Lines();
      EXPECT_EQ(lines.size(), 1u) << run.out;
      if (lines.empty()) return json();
      ExpectContract(lines[0], command, code);
      EXPECT_EQ(lines[0]["target"], target);
      return lines[0];
    };
    json line = one({"status"}, "status");
    EXPECT_EQ(line["data"], (json{{"status_code", 1}, {"status", "ON LINE"}}));
    line = one({"version"}, "version");
    EXPECT_EQ(line["data"], (json{{"version", "1.0J"}, {"class", 3}}));
    line = one({"get", "all"}, "get");
    EXPECT_EQ(line["data"]["format"], "krt6-settings");
    EXPECT_EQ(line["data"]["parameters"]["comm_speed"], "9600 bps");
    EXPECT_EQ(line["data"]["lan"]["socket_port"], 8000);
    line = one({"get", "params", "-o", dir / "p.ts0"}, "get");
    EXPECT_EQ(testing::ReadBytes(dir / "p.ts0").size(), 92u);
    EXPECT_FALSE(line["data"].contains("lan"));
    EXPECT_TRUE(Sets(*emu).empty());

    line = one({"set", "comm_speed=19200", "dhcp=ON", "--check"}, "set");
    EXPECT_EQ(line["changed"], false);
    EXPECT_EQ(
        line["changes"],
        json::parse(R"([{"key":"parameters.comm_speed","before":"9600 bps","after":"19200 bps"},
                              {"key":"lan.dhcp","before":"OFF","after":"ON"}])"));
    EXPECT_TRUE(Sets(*emu).empty()) << "--check wrote";

    line = one({"set", "comm_speed=19200", "dhcp=ON"}, "set");
    EXPECT_EQ(line["changed"], true);
    EXPECT_EQ(line["changes"].size(), 2u);
    EXPECT_EQ(line["data"]["parameters"]["comm_speed"], "19200 bps");
    EXPECT_EQ(line["data"]["lan"]["dhcp"], "ON");
    EXPECT_EQ(emu->State().Lan.Dhcp, 1);
    const std::size_t written = Sets(*emu).size();
    EXPECT_GT(written, 2u);

    line = one({"set", "comm_speed=19200 bps", "dhcp=ON"}, "set");
    EXPECT_EQ(line["changed"], false);
    EXPECT_TRUE(line["changes"].empty());
    EXPECT_EQ(Sets(*emu).size(), written) << "an unchanged configuration was written";

    emu->ClearLog();
    one({"calibrate", "transmissive"}, "calibrate");
    one({"z1", "1"}, "z1");
    one({"z4"}, "z4");
    EXPECT_EQ(emu->CommandTexts(), (std::vector<std::string>{"WT;1000,2", "Z11", "Z4;0"}));

    // Without --json: the readable line, and the byte trace on stderr with -v.
    const ProgramRun plain = Krt6ctl({"-v", "status", "-t", target});
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.out, "ON LINE\n");
    EXPECT_NE(plain.err.find("[" + target + "]"), std::string::npos) << plain.err;
    EXPECT_NE(plain.err.find("7B 57 53 7C 7D  {WS|}"), std::string::npos) << plain.err;
    EXPECT_EQ(Krt6ctl({"--lang=ja", "status", "-t", target}).out,
              std::string(StatusText(1, Language::kJapanese)) + "\n");
    // -q keeps get's document and drops the rest.
    EXPECT_EQ(Krt6ctl({"-q", "status", "-t", target}).out, "");
    EXPECT_EQ(json::parse(Krt6ctl({"-q", "get", "lan", "-t", target}).out)["lan"]["dhcp"], "ON");
  }
}

// The Set commands for a configuration are those a window session sends for the same values.
TEST(Krt6ctlTest, SetSendsTheWindowsCommands) {
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

  const ProgramRun run = Krt6ctl({"--json", "-t", TcpTarget(*tool), "set", "comm_speed=19200",
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
TEST(Krt6ctlTest, VerificationCatchesAPrinterThatIgnoresSets) {
  emulator::Faults faults;
  faults.IgnoreSets = true;
  auto emu = Tcp(1, faults);
  ProgramRun run = Krt6ctl({"--json", "-t", TcpTarget(*emu), "set", "comm_speed=19200"});
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

// Dead and silent printers among live ones: each live one is set, each dead one fails on its
// own, the lines keep the targets' order, and the exit status is 1.
TEST(Krt6ctlTest, FleetWithDeadTargets) {
  auto live = Tcp(6);
  emulator::Faults silent_faults;
  silent_faults.NoReply = true;
  auto silent = Tcp(1, silent_faults);
  std::vector<std::string> targets;
  for (int i = 0; i < live->Count(); ++i) {
    targets.push_back(TcpTarget(*live, i));
    if (i == 1) targets.push_back("127.0.0.1:1");  // refused at once
    if (i == 3) targets.push_back(TcpTarget(*silent));
  }
  testing::TempDir dir;
  {
    std::ofstream file(dir / "fleet.txt");
    file << "# the office printers\n";
    for (const std::string& t : targets) file << "  " << t << "   # printer\n\n";
  }
  const auto start = std::chrono::steady_clock::now();
  const ProgramRun run =
      Krt6ctl({"--json", "-j", "4", "--targets", dir / "fleet.txt", "set", "comm_speed=38400"});
  const double elapsed = testing::MillisecondsSince(start);
  EXPECT_EQ(run.status, 1) << run.err;
  const auto lines = run.Lines();
  ASSERT_EQ(lines.size(), targets.size()) << run.out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i]["target"], targets[i]);
    const bool dead = targets[i] == "127.0.0.1:1";
    const bool mute = targets[i] == TcpTarget(*silent);
    ExpectContract(lines[i], "set", dead ? 1 : mute ? 3 : 0);
    if (!dead && !mute) {
      EXPECT_EQ(lines[i]["changed"], true);
    }
  }
  for (int i = 0; i < live->Count(); ++i) EXPECT_FALSE(Sets(*live, i).empty()) << i;
  // The silent printer costs its own reply limit once, not once per printer behind it.
  EXPECT_LT(elapsed, 15000.0);

  // On a terminal, the progress line counts the targets done and failed.
  int terminal = -1;
  int held = -1;  // kept open so that the terminal stays up after krt6ctl ends
  char name[PATH_MAX] = {};
  ASSERT_EQ(::openpty(&terminal, &held, name, nullptr, nullptr), 0);
  const ProgramRun shown = Krt6ctl({"-t", targets[0], "-t", "127.0.0.1:1", "status"}, name);
  EXPECT_EQ(shown.status, 1);
  ::fcntl(terminal, F_SETFL, O_NONBLOCK);
  char screen[4096] = {};
  const ssize_t n = ::read(terminal, screen, sizeof screen - 1);
  ::close(terminal);
  ::close(held);
  EXPECT_NE(std::string(screen, n > 0 ? static_cast<std::size_t>(n) : 0).find("2/2 done, 1 failed"),
            std::string::npos)
      << screen;
}

// Input that is wrong sends nothing to any printer: exit 2, the key named on stderr, stdout empty.
// Each failure names its cause in the JSON line: a refused connection, a printer that takes the
// connection and never answers, an absent USB printer, a port that cannot carry replies; a success
// has none.
TEST(Krt6ctlTest, FailuresCarryTheirCause) {
  // A socket that listens but is never accepted from: the connection is made, no reply comes.
  const int silent = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(silent, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(silent, 4), 0);
  socklen_t size = sizeof address;
  ASSERT_EQ(::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &size), 0);
  const std::string silent_target = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  // A port the kernel just gave out and took back: nothing listens there.
  const int closed = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in free_address{};
  free_address.sin_family = AF_INET;
  free_address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(closed, reinterpret_cast<sockaddr*>(&free_address), sizeof free_address), 0);
  ASSERT_EQ(::getsockname(closed, reinterpret_cast<sockaddr*>(&free_address), &size), 0);
  ::close(closed);
  const std::string refused_target = "127.0.0.1:" + std::to_string(ntohs(free_address.sin_port));
  auto emu = StartEmulator({});
  const struct {
    std::string target;
    json cause;
    int code;
  } cases[] = {
      {refused_target, "refused", kPortOpenError},
      {silent_target, "timeout", kReceivingError},
      {"usb:?serial=KRT6-NO-SUCH-PRINTER", "not_found", kPortOpenError},
      {"parallel:/dev/null", "cannot_receive", cli::kCannotDo},
      {TcpTarget(*emu), nullptr, 0},
  };
  for (const auto& c : cases) {
    const ProgramRun run = Krt6ctl({"--json", "status", "-t", c.target});
    const json line = json::parse(run.out);
    EXPECT_EQ(line["cause"], c.cause) << c.target << ": " << run.out;
    EXPECT_EQ(line["code"], c.code) << c.target;
    EXPECT_EQ(run.status, c.code == 0 ? 0 : 1) << c.target;
  }
  ::close(silent);
}

TEST(Krt6ctlTest, BadInputSendsNothing) {
  auto emu = Tcp();
  const std::string target = TcpTarget(*emu);
  testing::TempDir dir;
  auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(dir / name) << text;
    return dir / name;
  };
  struct Case {
    std::vector<std::string> args;
    std::string named;  // what stderr must mention
  };
  const Case cases[] = {
      {{"set", write("broken.json", "{\"format\": \"krt6-settings\", ")}, "JSON"},
      {{"set",
        write("unknown.json",
              R"({"format":"krt6-settings","version":1,"parameters":{"comm_sped":"9600 bps"}})")},
       "comm_sped"},
      {{"set", "colour=red"}, "colour"},
      {{"set", "dhcp_id=AB}{WS|"}, "dhcp_id"},
      {{"set", "dhcp_hostname=a|}"}, "dhcp_hostname"},
      {{"set", "comm_speed=12345"}, "comm_speed"},
      {{"set", "ip_address=10.0.0.256"}, "ip_address"},
      {{"set", "--firmware", "1.0J", "comm_speed=9600", "-t", "parallel:/dev/null"}, "parallel"},
      {{"set", "--firmware", "1.0", "comm_speed=9600", "-t", "parallel:/dev/null"}, "--firmware"},
      // Two printers may never get one identity, not even in a check.
      {{"set", "ip_address=10.0.0.5", "comm_speed=19200", "-t", "127.0.0.2"}, "lan.ip_address"},
      {{"set", "--check", "dhcp_hostname=KRT6", "-t", "127.0.0.2"}, "lan.dhcp_hostname"},
      {{"set", "--keep-identity", "ip_address=10.0.0.5"}, "names no field"},
      {{"status", "-t", "socket://bad host"}, "bad host"},
      {{"status", "-t", "serial:COM99"}, "COM99"},
      {{"status", "--lang", "fr"}, "--lang"},
      {{"frobnicate"}, "subcommand"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"--json", "-t", target};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ProgramRun run = Krt6ctl(args);
    EXPECT_EQ(run.status, 2) << c.args[1] << " " << run.err;
    EXPECT_TRUE(run.out.empty()) << run.out;
    EXPECT_NE(run.err.find(c.named), std::string::npos) << run.err;
  }
  EXPECT_TRUE(emu->CommandTexts().empty());
  EXPECT_EQ(emu->Connections(), 0);
  EXPECT_EQ(Krt6ctl({"status"}).status, 2);  // no target
}

// Bad targets and usage errors speak the chosen language: exit 2, the text on stderr.
TEST(Krt6ctlTest, UsageErrorsInBothLanguages) {
  struct Case {
    std::vector<std::string> args;
    std::string english;
    std::string japanese;
  };
  const Case cases[] = {
      {{"status", "-t", "serial:COM99"},
       "target 'serial:COM99': 'COM99' is no COM1..COM30 name and no device path",
       "ターゲット 'serial:COM99': 'COM99' は COM1..COM30 "
       "のポート名でもデバイスパスでもありません"},
      {{"status", "-t", "host:0"}, "the port '0' is not 1-65535", "範囲にありません"},
      {{"status", "-t", "ftp://host"}, "unknown scheme", "不明なスキーム"},
      {{"status", "--targets", "/nonexistent/targets"},
       "cannot read the targets file",
       "ターゲットファイル /nonexistent/targets を読めません"},
      {{"status"}, "no target: give -t TARGET", "ターゲットがありません"},
      {{"list", "-t", "usb:"}, "this command takes no -t/--targets", "を取りません"},
      {{"get", "-o", "x.txt", "-t", "usb:"},
       "x.txt: the file name must end in",
       "x.txt: ファイル名"},
      {{"set", "comm_speed=9600", "-t", "parallel:/dev/null"},
       "parallel:/dev/null: a parallel port cannot read the version: give --firmware",
       "パラレルポートではバージョンを読めません"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"--lang=ja"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ProgramRun japanese = Krt6ctl(args);
    const ProgramRun english = Krt6ctl(c.args);
    EXPECT_EQ(japanese.status, 2) << japanese.err;
    EXPECT_EQ(english.status, 2) << english.err;
    EXPECT_NE(japanese.err.find(c.japanese), std::string::npos) << japanese.err;
    EXPECT_EQ(japanese.err.find(c.english), std::string::npos) << japanese.err;
    EXPECT_NE(english.err.find(c.english), std::string::npos) << english.err;
  }
}

// A parallel port takes commands but gives no replies: queries are code 8, maintenance goes out,
// and set writes the whole part for the firmware given.
TEST(Krt6ctlTest, ParallelPortOverAFifo) {
  testing::TempDir dir;
  EmulatorOptions o;
  o.Kind = Transport::kFifo;
  o.Path = dir / "lp";
  auto emu = StartEmulator(o);
  const std::string target = "parallel:" + emu->DevicePath();
  ProgramRun run = Krt6ctl({"--json", "-t", target, "status"});
  EXPECT_EQ(run.status, 1);
  ASSERT_EQ(run.Lines().size(), 1u);
  ExpectContract(run.Lines()[0], "status", 8);
  EXPECT_EQ(Krt6ctl({"-t", target, "z4"}).status, 0);

  auto source = Tcp();
  ASSERT_EQ(Krt6ctl({"-t", TcpTarget(*source), "get", "params", "-o", dir / "all.ts0"}).status, 0);
  run = Krt6ctl({"--json", "-t", target, "set", dir / "all.ts0", "--firmware", "1.0J"});
  EXPECT_EQ(run.status, 0) << run.err;
  ParameterBlock block;
  std::string first, second;
  ASSERT_EQ(BuildParameterCommands(block, 3, first, second), SettingField::kNone);
  for (int i = 0; i < 100 && emu->CommandTexts().size() < 2; ++i) ::usleep(10000);
  const auto texts = emu->CommandTexts();
  EXPECT_NE(std::find(texts.begin(), texts.end(), first), texts.end());
}

// convert keeps a setting file's bytes through JSON; diff compares files and printers.
TEST(Krt6ctlTest, ConvertAndDiff) {
  auto emu = Tcp();
  testing::TempDir dir;
  ASSERT_EQ(Krt6ctl({"-t", TcpTarget(*emu), "get", "lan", "-o", dir / "a.ts1"}).status, 0);
  EXPECT_EQ(Krt6ctl({"convert", dir / "a.ts1", dir / "a.json"}).status, 0);
  EXPECT_EQ(Krt6ctl({"convert", dir / "a.json", dir / "b.ts1"}).status, 0);
  EXPECT_EQ(testing::ReadBytes(dir / "a.ts1"), testing::ReadBytes(dir / "b.ts1"));
  EXPECT_EQ(json::parse(ReadText(dir / "a.json"))["lan"]["socket_port"], 8000);
  EXPECT_EQ(Krt6ctl({"convert", dir / "missing.ts0", dir / "x.json"}).status, 2);

  json edited = json::parse(ReadText(dir / "a.json"));
  edited["lan"]["socket_port"] = 9100;
  std::ofstream(dir / "c.json") << edited.dump();
  ProgramRun run = Krt6ctl({"--json", "diff", dir / "a.json", dir / "c.json"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(json::parse(run.out)["changes"],
            (json::array({{{"key", "lan.socket_port"}, {"before", "8000"}, {"after", "9100"}}})));
  ASSERT_EQ(Krt6ctl({"-t", TcpTarget(*emu), "set", "socket_port=9100"}).status, 0);
  run = Krt6ctl({"diff", dir / "a.ts1", TcpTarget(*emu)});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("lan.socket_port: 8000 -> 9100"), std::string::npos) << run.out;
  EXPECT_EQ(Krt6ctl({"diff", dir / "a.ts1", "127.0.0.1:1"}).status, 1);
}

// scan asks loopback addresses only: the two printers that listen answer, the rest do not.
TEST(Krt6ctlTest, ScanFindsThePrintersOnLoopback) {
  EmulatorOptions o;
  o.Host = "127.0.0.2";
  o.Port = 0;
  auto first = StartEmulator(o);
  o.Host = "127.0.0.5";
  o.Port = first->Port();
  auto second = StartEmulator(o);
  const ProgramRun run =
      Krt6ctl({"--json", "scan", "127.0.0.0/29", "--port", std::to_string(first->Port())});
  EXPECT_EQ(run.status, 0) << run.err;
  const auto lines = run.Lines();
  ASSERT_EQ(lines.size(), 2u) << run.out;
  const std::string port = ":" + std::to_string(first->Port());
  EXPECT_EQ(lines[0]["target"], "socket://127.0.0.2" + port);
  EXPECT_EQ(lines[1]["target"], "socket://127.0.0.5" + port);
  ExpectContract(lines[1], "scan", 0);
  EXPECT_EQ(lines[1]["data"]["status"], "ON LINE");
  EXPECT_EQ(Krt6ctl({"scan", "10.0.0.0/16"}).status, 2);  // larger than a /22: refused, not asked

  const ProgramRun list = Krt6ctl({"--json", "list"});
  EXPECT_EQ(list.status, 0);
  for (const json& line : list.Lines()) EXPECT_TRUE(line.contains("uri")) << line;
  EXPECT_EQ(Krt6ctl({"--version"}).out, "krt6ctl 0.18\n");
}

}  // namespace
}  // namespace krt6
