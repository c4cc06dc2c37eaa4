// watch end to end: the built krt6ctl on a real terminal (a tmux pane) against a krt6-emulator
// process whose printers change status through its --control file and SIGUSR1: the table with
// every printer, a paper end appearing in the redraw and standing out, a smaller terminal with
// the worst printers first, Ctrl-C ending it with the terminal restored; the JSON lines on a pipe
// with the start and change lines; the table's layout in this process (both languages' widths,
// the hidden rows, the highlight's end, the painter writing only what changed).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <thread>

#include "cli/watch_table.h"
#include "support/krt6ctl_runs.h"
#include "support/loopback.h"
#include "support/temp_dir.h"
#include "texts/texts.h"

namespace krt6::cli_test {
namespace {

using Clock = std::chrono::steady_clock;
using testing::BuiltProgram;
using testing::ChildProcess;

// A krt6-emulator process with `count` printers whose status its control file sets.
struct EmulatorProcess {
  std::string control;
  std::unique_ptr<ChildProcess> process;
  std::vector<std::string> addresses;
  EmulatorProcess(const std::string& control_path, int count) : control(control_path) {
    SetStatus("00");
    process = std::make_unique<ChildProcess>(std::vector<std::string>{
        BuiltProgram("emulator/krt6-emulator"), "--tcp", "127.0.0.1:0", "--count",
        std::to_string(count), "--quiet", "--control", control});
    EXPECT_TRUE(process->ReadLines(static_cast<std::size_t>(count),
                                   Clock::now() + std::chrono::seconds(20)));
    std::istringstream lines(process->Out());
    for (std::string line; std::getline(lines, line);) addresses.push_back(line);
  }
  ~EmulatorProcess() {
    process->Signal(SIGTERM);
    process->Wait(Clock::now() + std::chrono::seconds(10));
  }
  // The control file's lines ("XX" or "N XX"), read at SIGUSR1.
  void SetStatus(const std::string& lines) {
    std::ofstream(control) << lines << "\n";
    if (process) process->Signal(SIGUSR1);
  }
};

// tmux's path on PATH; empty when it is not installed.
std::string TmuxPath() {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path != nullptr ? path : "/usr/bin");
  for (std::string folder; std::getline(folders, folder, ':');) {
    const std::string program = folder + "/tmux";
    if (::access(program.c_str(), X_OK) == 0) return program;
  }
  return {};
}

// A tmux server of its own with one pane running `command`; killed at the end.
class Tmux {
 public:
  explicit Tmux(const std::string& command, int columns, int lines)
      : socket_("krt6-watch-test-" + std::to_string(::getpid())) {
    started_ = Run({"new-session", "-d", "-x", std::to_string(columns), "-y", std::to_string(lines),
                    command})
                   .Status == 0;
  }
  ~Tmux() { Run({"kill-server"}); }
  bool Started() const { return started_; }
  testing::ProgramRun Run(std::vector<std::string> args) const {
    args.insert(args.begin(), {TmuxPath(), "-L", socket_, "-f", "/dev/null"});
    return testing::RunProgram(args, std::chrono::seconds(10));
  }
  // The pane's text (with its attributes as escape sequences when `escapes`).
  std::string Capture(bool escapes = false) const {
    std::vector<std::string> args{"capture-pane", "-p", "-t", "0"};
    if (escapes) args.push_back("-e");
    return Run(args).Out;
  }
  // Waits up to 15 s for the pane to satisfy `ready`; the last capture.
  std::string WaitFor(const std::function<bool(const std::string&)>& ready,
                      bool escapes = false) const {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(15);
    std::string pane = Capture(escapes);
    while (!ready(pane) && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      pane = Capture(escapes);
    }
    return pane;
  }
  std::string Format(const std::string& format) const {
    return Run({"display-message", "-p", "-t", "0", format}).Out;
  }

 private:
  std::string socket_;
  bool started_ = false;
};

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The pane's line that holds `part`.
std::string LineWith(const std::string& pane, const std::string& part) {
  std::istringstream in(pane);
  for (std::string line; std::getline(in, line);) {
    if (Has(line, part)) return line;
  }
  return {};
}

TEST(WatchTest, TableOnATerminal) {
  if (TmuxPath().empty()) GTEST_SKIP() << "tmux is not installed";
  krt6::testing::TempDir dir;
  EmulatorProcess emu(dir / "control", 3);
  ASSERT_EQ(emu.addresses.size(), 3u);
  const std::string refused = testing::RefusedTarget();
  std::string command = "sh -c 'trap : INT; S=$(stty -g); " + BuiltProgram("cli/krt6ctl") +
                        " --lang=en watch --interval 0.3";
  for (const std::string& address : emu.addresses) command += " -t " + address;
  // The shell notes the terminal's settings before and says whether they are the same after.
  command += " -t " + refused +
             "; echo WATCH-EXIT=$?; [ \"$(stty -g)\" = \"$S\" ] && echo TTY-RESTORED; sleep 60'";
  Tmux tmux(command, 120, 30);
  ASSERT_TRUE(tmux.Started());

  // Every printer has its row, the refused one with its cause.
  std::string pane =
      tmux.WaitFor([&](const std::string& p) { return Has(p, "3 OK") && Has(p, "refused"); });
  EXPECT_TRUE(Has(pane, "4 printers: 1 CRITICAL, 3 OK")) << pane;
  EXPECT_TRUE(Has(pane, "TARGET")) << pane;
  for (const std::string& address : emu.addresses) {
    EXPECT_TRUE(Has(LineWith(pane, address), "ON LINE")) << pane;
  }
  EXPECT_TRUE(Has(LineWith(pane, refused), "NO ANSWER")) << pane;
  EXPECT_EQ(tmux.Format("#{alternate_on}"), "1\n");

  // The second printer runs out of paper: its row says so in the redraw, in reverse video.
  emu.SetStatus("2 13");
  pane = tmux.WaitFor(
      [&](const std::string& p) { return Has(LineWith(p, emu.addresses[1]), "Paper Error"); },
      true);
  EXPECT_TRUE(Has(LineWith(pane, emu.addresses[1]), "\033[7m")) << pane;
  EXPECT_FALSE(Has(LineWith(pane, emu.addresses[0]), "\033[7m")) << pane;
  EXPECT_TRUE(Has(pane, "4 printers: 2 CRITICAL, 2 OK")) << pane;
  // Once a round has passed it no longer stands out.
  pane = tmux.WaitFor(
      [&](const std::string& p) { return !Has(LineWith(p, emu.addresses[1]), "\033[7m"); }, true);
  EXPECT_TRUE(Has(LineWith(pane, emu.addresses[1]), "Paper Error")) << pane;

  // A terminal of 5 lines and 50 columns: the two critical printers first, the others counted.
  tmux.Run({"resize-window", "-t", "0", "-x", "50", "-y", "5"});
  pane = tmux.WaitFor([&](const std::string& p) { return Has(p, "more printers not shown"); });
  EXPECT_TRUE(Has(pane, "2 more printers not shown")) << pane;
  EXPECT_TRUE(Has(pane, emu.addresses[1]) && Has(pane, refused)) << pane;
  EXPECT_FALSE(Has(pane, emu.addresses[0])) << pane;
  std::istringstream lines(pane);
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 50u) << line;

  // Keys typed meanwhile are not echoed over the table.
  tmux.Run({"send-keys", "-t", "0", "qqq"});
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_FALSE(Has(tmux.Capture(), "qqq"));

  // Ctrl-C ends it with exit status 0, the screen, the cursor and the terminal's settings as they
  // were.
  tmux.Run({"send-keys", "-t", "0", "C-c"});
  pane = tmux.WaitFor([](const std::string& p) { return Has(p, "WATCH-EXIT="); });
  EXPECT_TRUE(Has(pane, "WATCH-EXIT=0")) << pane;
  pane = tmux.WaitFor([](const std::string& p) { return Has(p, "TTY-RESTORED"); });
  EXPECT_TRUE(Has(pane, "TTY-RESTORED")) << pane;
  EXPECT_FALSE(Has(pane, "TARGET")) << pane;
  EXPECT_EQ(tmux.Format("#{alternate_on}"), "0\n");
  EXPECT_EQ(tmux.Format("#{cursor_flag}"), "1\n");
}

// On a pipe: a line each printer at the start, one for each change (with the state before), and
// SIGINT ends it with exit status 0.
TEST(WatchTest, JsonLinesOnAPipe) {
  krt6::testing::TempDir dir;
  EmulatorProcess emu(dir / "control", 2);
  ASSERT_EQ(emu.addresses.size(), 2u);
  const std::string refused = testing::RefusedTarget();
  ChildProcess watch(ProgramLine({"watch", "--interval", "0.2", "-t", emu.addresses[0], "-t",
                                  emu.addresses[1], "-t", refused}));
  ASSERT_TRUE(watch.ReadLines(3, Clock::now() + std::chrono::seconds(15))) << watch.Err();
  emu.SetStatus("1 11");
  ASSERT_TRUE(watch.ReadLines(4, Clock::now() + std::chrono::seconds(15))) << watch.Err();
  // No further line while nothing changes.
  watch.Poll(std::chrono::milliseconds(600));
  watch.Signal(SIGINT);
  EXPECT_EQ(watch.Wait(Clock::now() + std::chrono::seconds(10)), 0) << watch.Err();
  const auto lines = JsonLines(watch.Out());
  ASSERT_EQ(lines.size(), 4u) << watch.Out();
  std::map<std::string, json> start;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(lines[i]["event"], "start") << lines[i];
    EXPECT_EQ(lines[i]["previous"], nullptr);
    start[lines[i]["target"]] = lines[i];
  }
  EXPECT_EQ(start[emu.addresses[0]]["status_name"], "on_line");
  EXPECT_EQ(start[emu.addresses[0]]["level"], "OK");
  EXPECT_EQ(start[refused]["up"], false);
  EXPECT_EQ(start[refused]["cause"], "refused");
  EXPECT_EQ(start[refused]["level"], "CRITICAL");
  EXPECT_EQ(start[refused]["status_code"], nullptr);
  const json& change = lines[3];
  EXPECT_EQ(change["event"], "change");
  EXPECT_EQ(change["target"], emu.addresses[0]);
  EXPECT_EQ(change["status_code"], 8);
  EXPECT_EQ(change["status_name"], "paper_jam");
  EXPECT_EQ(change["status"], "Paper JAM");
  EXPECT_EQ(change["level"], "CRITICAL");
  EXPECT_EQ(
      change["previous"],
      (json{{"up", true}, {"status_code", 1}, {"status_name", "on_line"}, {"cause", nullptr}}));
  const std::string time = change["time"];
  EXPECT_EQ(time.size(), 25u) << time;  // 2026-12-09T15:40:02+09:00
  EXPECT_EQ(time[10], 'T');
  EXPECT_EQ(time[22], ':');
}

// Printers that take the connection and never answer, each holding a worker until its link's
// time limit, do not hold up the printer that answers: its change is reported within seconds.
TEST(WatchTest, SilentPrintersHoldUpNoOther) {
  std::vector<int> silent;
  std::vector<std::string> args{"watch", "--interval", "0.2"};
  for (int i = 0; i < 40; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(fd, 64), 0);
    ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size), 0);
    silent.push_back(fd);
    args.insert(args.end(), {"-t", "127.0.0.1:" + std::to_string(ntohs(address.sin_port))});
  }
  krt6::testing::TempDir dir;
  EmulatorProcess emu(dir / "control", 1);
  ASSERT_EQ(emu.addresses.size(), 1u);
  args.insert(args.end(), {"-t", emu.addresses[0]});
  ChildProcess watch(ProgramLine(args));
  // The start lines: the answering printer's at once, the silent ones' after their time limit.
  ASSERT_TRUE(watch.ReadLines(41, Clock::now() + std::chrono::seconds(30))) << watch.Out();
  emu.SetStatus("13");
  const Clock::time_point changed = Clock::now();
  ASSERT_TRUE(watch.ReadLines(42, Clock::now() + std::chrono::seconds(30))) << watch.Out();
  EXPECT_LT(Clock::now() - changed, std::chrono::seconds(4));
  watch.Signal(SIGINT);
  EXPECT_EQ(watch.Wait(Clock::now() + std::chrono::seconds(10)), 0) << watch.Err();
  const auto lines = JsonLines(watch.Out());
  ASSERT_EQ(lines.size(), 42u);
  EXPECT_EQ(lines.back()["target"], emu.addresses[0]);
  EXPECT_EQ(lines.back()["status_name"], "paper_error");
  const auto timeouts = std::count_if(lines.begin(), lines.end(),
                                      [](const json& line) { return line["cause"] == "timeout"; });
  EXPECT_EQ(timeouts, 40);
  for (int fd : silent) ::close(fd);
}

TEST(WatchTest, RefusesAnIntervalOutOfRange) {
  for (const char* interval : {"0.1", "0", "-1", "100000", "nan"}) {
    const CtlRun run = Krt6ctl({"watch", "--interval", interval, "-t", "127.0.0.1:9"});
    EXPECT_EQ(run.status, 2) << interval;
    EXPECT_TRUE(Has(run.err, "--interval")) << run.err;
  }
  EXPECT_TRUE(Has(Krt6ctl({"--lang=ja", "watch", "--interval", "0.1", "-t", "127.0.0.1:9"}).err,
                  "秒数を指定してください"));
}

// The layout: every line exactly as wide as the terminal in both languages, target order when
// all fit and the worst first when not, the highlight for a change within the interval only, and
// the painter rewriting only the lines that differ.
TEST(WatchTest, TableLayout) {
  const Clock::time_point now = Clock::now();
  const std::time_t wall = std::time(nullptr);
  std::vector<cli::WatchRow> rows(5);
  monitor::Probe on_line{true, 1, 0.0012, {}};
  monitor::Probe paper{true, 10, 0.002, {}};
  monitor::Probe pause{true, 4, 0.002, {}};
  monitor::Probe down{false, 0, 1.5, Failure(Cause::kTimedOut, "10.0.0.9:9100", "no reply")};
  for (std::size_t i = 0; i < rows.size(); ++i) {
    rows[i].target = "10.0.0." + std::to_string(i + 1) + ":9100";
    EXPECT_FALSE(cli::Update(rows[i], on_line, now - std::chrono::seconds(10), wall - 10));
  }
  EXPECT_TRUE(cli::Update(rows[1], paper, now, wall));
  EXPECT_FALSE(cli::Update(rows[1], paper, now, wall));
  EXPECT_TRUE(cli::Update(rows[3], pause, now - std::chrono::seconds(5), wall - 5));
  EXPECT_TRUE(cli::Update(rows[4], down, now, wall));
  rows.push_back({});
  rows.back().target = "10.0.0.6:9100";  // not probed yet

  for (Language language : {Language::kEnglish, Language::kJapanese}) {
    for (int columns : {120, 64, 30}) {
      cli::TableView view{columns, 30, 2, language};
      const auto lines = cli::RenderTable(rows, view, now, wall);
      ASSERT_EQ(lines.size(), 8u);
      for (std::string line : lines) {
        if (line.rfind("\033[7m", 0) == 0) line = line.substr(4, line.size() - 8);
        EXPECT_EQ(cli::DisplayWidth(line), static_cast<std::size_t>(columns)) << line;
      }
      // Target order, the changed rows within the interval in reverse video.
      EXPECT_EQ(lines[2].rfind("10.0.0.1", 0), 0u) << lines[2];
      EXPECT_EQ(lines[3].rfind("\033[7m10.0.0.2", 0), 0u) << lines[3];
      EXPECT_EQ(lines[5].rfind("10.0.0.4", 0), 0u) << lines[5];  // changed 5 s ago
      EXPECT_EQ(lines[6].rfind("\033[7m10.0.0.5", 0), 0u) << lines[6];
    }
  }
  const auto wide = cli::RenderTable(rows, {120, 30, 2, Language::kEnglish}, now, wall);
  EXPECT_TRUE(Has(wide[0], "6 printers: 2 CRITICAL, 1 WARNING, 1 UNKNOWN, 2 OK")) << wide[0];
  EXPECT_TRUE(Has(wide[3], "Paper Error")) << wide[3];
  EXPECT_TRUE(Has(wide[6], "NO ANSWER") && Has(wide[6], "timeout: ") && Has(wide[6], "1.50 s"))
      << wide[6];
  EXPECT_TRUE(Has(wide[2], "1.2 ms")) << wide[2];
  EXPECT_TRUE(Has(wide[7], "waiting")) << wide[7];

  // Six lines: three rows, the worst first (CRITICAL, then WARNING before UNKNOWN), and the count
  // of the others.
  const auto small = cli::RenderTable(rows, {80, 6, 2, Language::kEnglish}, now, wall);
  ASSERT_EQ(small.size(), 6u);
  EXPECT_TRUE(Has(small[2], "10.0.0.2") && Has(small[3], "10.0.0.5")) << small[2] << small[3];
  EXPECT_TRUE(Has(small[4], "10.0.0.4")) << small[4];
  EXPECT_TRUE(Has(small[5], "3 more printers not shown")) << small[5];

  // The painter: the whole screen first, then only the line that changed.
  cli::ScreenPainter painter;
  const std::string first = painter.Paint(wide);
  EXPECT_EQ(first.rfind("\033[H\033[2J", 0), 0u);
  EXPECT_EQ(painter.Paint(wide), "");
  auto changed = wide;
  changed[4] = "x";
  EXPECT_EQ(painter.Paint(changed), "\033[5;1Hx\033[K");
  changed.pop_back();
  EXPECT_EQ(painter.Paint(changed), "\033[8;1H\033[K");

  // No control character from a target text reaches the terminal; a wide character is never cut.
  EXPECT_EQ(cli::FitToWidth("a\033[2Jb", 8), "a?[2Jb  ");
  EXPECT_EQ(cli::FitToWidth("用紙x", 3), "用 ");
  EXPECT_EQ(cli::DisplayWidth("用紙x"), 5u);
}

}  // namespace
}  // namespace krt6::cli_test
