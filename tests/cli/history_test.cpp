// krt6ctl's history: the runs that write leave one line a target, the reads and checks none; the
// history command selects and shows them; a history that cannot be written never fails a run;
// lines of concurrent writers never mix.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli/fleet.h"
#include "cli/history.h"
#include "protocol/commands.h"
#include "support/krt6ctl_runs.h"
#include "support/loopback.h"
#include "support/temp_dir.h"

namespace krt6 {
namespace {

using testing::RefusedTarget;

using cli_test::CtlRun;
using cli_test::json;
using cli_test::Krt6ctl;
using cli_test::TcpTarget;

// The lines of the history file, each parsed (a line that is no JSON fails the test).
std::vector<json> HistoryLines(const std::string& path) {
  std::vector<json> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    lines.push_back(json::parse(line, nullptr, false));
    EXPECT_FALSE(lines.back().is_discarded()) << line;
  }
  return lines;
}

void ExpectChange(const json& line, const std::string& key, const std::string& before,
                  const std::string& after) {
  ASSERT_EQ(line["changes"].size(), 1u) << line;
  EXPECT_EQ(line["changes"][0]["key"], key);
  EXPECT_EQ(line["changes"][0]["before"], before);
  EXPECT_EQ(line["changes"][0]["after"], after);
}

// Writing runs over two printers among reads and a check; then what the history command shows.
TEST(HistoryTest, WritingRunsLeaveOneLineATarget) {
  auto fleet = cli_test::Tcp(2);
  const std::string first = TcpTarget(*fleet, 0);
  const std::string second = TcpTarget(*fleet, 1);
  testing::TempDir dir;
  const std::string path = dir / "state/krt6/history.jsonl";
  auto ctl = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--history", path});
    return Krt6ctl(args);
  };
  EXPECT_EQ(ctl({"-t", first, "-t", second, "set", "comm_speed=38400"}).status, 0);
  EXPECT_EQ(ctl({"-t", first, "calibrate", "reflective"}).status, 0);
  EXPECT_EQ(ctl({"-t", first, "status"}).status, 0);
  EXPECT_EQ(ctl({"-t", first, "get"}).status, 0);
  EXPECT_EQ(ctl({"-t", second, "version"}).status, 0);
  EXPECT_EQ(ctl({"-t", first, "set", "--check", "comm_speed=9600"}).status, 3);  // drift
  EXPECT_EQ(ctl({"-t", second, "set", "comm_speed=38400"}).status, 0);  // nothing to change
  const std::string refused = RefusedTarget();
  EXPECT_EQ(ctl({"-t", refused, "z4"}).status, 1);

  struct stat folder {};
  ASSERT_EQ(::stat((dir / "state/krt6").c_str(), &folder), 0);
  EXPECT_EQ(folder.st_mode & 0777, 0700u);
  struct stat file {};
  ASSERT_EQ(::stat(path.c_str(), &file), 0);
  EXPECT_EQ(file.st_mode & 0777, 0600u);

  const std::vector<json> lines = HistoryLines(path);
  ASSERT_EQ(lines.size(), 5u);
  const struct {
    std::string target;
    std::string command;
    bool changed;
    int code;
  } expected[] = {{first, "set", true, 0},
                  {second, "set", true, 0},
                  {first, "calibrate", false, 0},
                  {second, "set", false, 0},
                  {refused, "z4", false, kPortOpenError}};
  // UTC to the millisecond: "2026-12-09T10:15:00.123Z", digits where the pattern has '9'.
  const auto is_time = [](const std::string& text) {
    const std::string pattern = "9999-99-99T99:99:99.999Z";
    if (text.size() != pattern.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
      const bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
      if (pattern[i] == '9' ? !digit : text[i] != pattern[i]) return false;
    }
    return true;
  };
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const json& line = lines[i];
    EXPECT_EQ(line["target"], expected[i].target) << i;
    EXPECT_EQ(line["command"], expected[i].command) << i;
    EXPECT_EQ(line["changed"], expected[i].changed) << i;
    EXPECT_EQ(line["code"], expected[i].code) << i;
    EXPECT_TRUE(is_time(line["time"].get<std::string>())) << line;
    EXPECT_FALSE(line["user"].get<std::string>().empty());
    EXPECT_TRUE(line["host"].is_string());
    EXPECT_EQ(line["cause"].is_null(), expected[i].code == 0) << line;
    if (!expected[i].changed) {
      EXPECT_TRUE(line["changes"].empty()) << line;
    }
  }
  ExpectChange(lines[0], "parameters.comm_speed", "9600 bps", "38400 bps");
  ExpectChange(lines[1], "parameters.comm_speed", "9600 bps", "38400 bps");
  EXPECT_EQ(lines[0]["firmware"], "1.0J");
  EXPECT_TRUE(lines[2]["firmware"].is_null());
  EXPECT_EQ(lines[4]["cause"], "refused");
  EXPECT_EQ(lines[4]["result"], "Port Open Error");

  // --json: the file's lines as they are; -t selects by the target's text.
  const CtlRun all = ctl({"--json", "history"});
  EXPECT_EQ(all.status, 0) << all.err;
  EXPECT_EQ(all.out, cli_test::ReadText(path));
  const CtlRun of_second = ctl({"--json", "-t", second, "history"});
  ASSERT_EQ(of_second.Lines().size(), 2u) << of_second.out;
  for (const json& line : of_second.Lines()) EXPECT_EQ(line["target"], second);
  // The text form: one line an entry, the changes as key: before -> after.
  const CtlRun text = ctl({"-t", first, "-t", refused, "history"});
  EXPECT_EQ(std::count(text.out.begin(), text.out.end(), '\n'), 3) << text.out;
  EXPECT_NE(text.out.find(first + "  set  Success  parameters.comm_speed: 9600 bps -> 38400 bps"),
            std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find(refused + "  z4  Port Open Error (refused)"), std::string::npos)
      << text.out;
  // --since: every entry from a past day, none from a future one.
  EXPECT_EQ(ctl({"--json", "history", "--since", "2000-01-01"}).Lines().size(), 5u);
  EXPECT_TRUE(ctl({"--json", "history", "--since", "2999-01-01T00:00:00Z"}).out.empty());
  const std::string last = lines[4]["time"];
  const auto from_last = std::count_if(lines.begin(), lines.end(),
                                       [&](const json& line) { return line["time"] >= last; });
  EXPECT_EQ(ctl({"--json", "history", "--since", last}).Lines().size(),
            static_cast<std::size_t>(from_last));

  // A line torn by a crash is skipped with one warning; the others are still shown.
  { std::ofstream(path, std::ios::app) << "{\"time\":\"2025-01-0"; }
  { std::ofstream(path, std::ios::app) << "\n"; }
  ASSERT_EQ(ctl({"-t", first, "set", "comm_speed=19200"}).status, 0);
  const CtlRun torn = ctl({"--json", "history"});
  EXPECT_EQ(torn.status, 0);
  EXPECT_EQ(torn.Lines().size(), 6u);
  EXPECT_EQ(torn.err, "krt6ctl: " + path +
                          ":6: not a history entry (a run that ended while "
                          "writing it?); skipped\n");
}

// --since takes a UTC date or date and time, nothing else (exit 2, nothing read).
TEST(HistoryTest, SinceTakesUtcTimesOnly) {
  const struct {
    const char* text;
    std::int64_t milliseconds;  // -1: refused
  } cases[] = {
      {"1970-01-01", 0},
      {"1970-01-02", 86'400'000},
      {"2000-03-01T01:02", 951'872'520'000},
      {"2000-03-01T01:02:03Z", 951'872'523'000},
      {"2000-03-01T01:02:03.4567Z", 951'872'523'456},
      {"2024-02-29", 1'709'164'800'000},
      {"2023-02-29", -1},
      {"2000-03-01T24:00", -1},
      {"2000-03-01 01:02", -1},
      {"2000-03-01T01:02:03+09:00", -1},
      {"2000-3-1", -1},
      {"2000-03-01T01", -1},
      {"2000-03-01T01:02:03.", -1},
      {"yesterday", -1},
      {"", -1},
  };
  for (const auto& c : cases) {
    const auto parsed = cli::ParseUtcTime(c.text);
    EXPECT_EQ(parsed.value_or(-1), c.milliseconds) << c.text;
  }
  testing::TempDir dir;
  for (const char* refused : {"2023-02-29", "2000-03-01T01:02:03+09:00", "last week"}) {
    const CtlRun run = Krt6ctl({"--history", dir / "h.jsonl", "history", "--since", refused});
    EXPECT_EQ(run.status, 2) << refused;
    EXPECT_NE(run.err.find("--since '" + std::string(refused) + "'"), std::string::npos) << run.err;
  }
  // The time written and the time read agree.
  const auto now = std::chrono::system_clock::now();
  const auto written = cli::ParseUtcTime(cli::UtcTimeText(now));
  ASSERT_TRUE(written);
  EXPECT_EQ(*written,
            std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count());
}

// A history that cannot be written is one warning; the printers are written and the exit status
// is that of the run. --no-history writes none.
TEST(HistoryTest, UnwritableHistoryNeverFailsARun) {
  auto fleet = cli_test::Tcp(2);
  testing::TempDir dir;
  { std::ofstream(dir / "plain") << "a file, no folder\n"; }
  const std::string path = dir / "plain/history.jsonl";
  const CtlRun run = Krt6ctl({"--history", path, "-t", TcpTarget(*fleet, 0), "-t",
                              TcpTarget(*fleet, 1), "set", "comm_speed=38400"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(cli_test::Sets(*fleet, 0).empty());
  EXPECT_FALSE(cli_test::Sets(*fleet, 1).empty());
  const std::string warning = "krt6ctl: history: cannot write " + path;
  EXPECT_EQ(run.err.find(warning), 0u) << run.err;
  EXPECT_EQ(run.err.find(warning, 1), std::string::npos) << run.err;  // once for the run
  const CtlRun ja = Krt6ctl(
      {"--lang=ja", "--history", path, "-t", TcpTarget(*fleet, 0), "set", "comm_speed=9600"});
  EXPECT_EQ(ja.status, 0);
  EXPECT_NE(ja.err.find("履歴: " + path + " に書き込めません"), std::string::npos) << ja.err;

  const std::string unused = dir / "none/history.jsonl";
  EXPECT_EQ(Krt6ctl({"--history", unused, "--no-history", "-t", TcpTarget(*fleet, 0), "z4"}).status,
            0);
  EXPECT_FALSE(std::filesystem::exists(unused));
  EXPECT_EQ(Krt6ctl({"--no-history", "history"}).status, 2);
  // history selects by -t only; it opens no printer and takes no targets file.
  EXPECT_EQ(Krt6ctl({"--history", unused, "--targets", unused, "history"}).status, 2);
  EXPECT_EQ(Krt6ctl({"--history", unused, "history"}).status, 0);  // no file yet: nothing
}

// Lines appended at once from several processes and threads stay whole, each once.
TEST(HistoryTest, ConcurrentAppendsGiveWholeLines) {
  testing::TempDir dir;
  const std::string path = dir / "history.jsonl";
  constexpr int kWriters = 8;
  constexpr int kLines = 200;
  const std::string padding(600, 'x');  // lines longer than a pipe's atomic write
  auto write = [&](const std::string& writer) {
    for (int i = 0; i < kLines; ++i) {
      const json line = {{"writer", writer}, {"line", i}, {"padding", padding}};
      if (!cli::AppendLine(path, line.dump()).empty()) ::_exit(3);
    }
  };
  std::vector<pid_t> children;
  for (int p = 0; p < 2; ++p) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      write("process " + std::to_string(p));
      ::_exit(0);
    }
    children.push_back(child);
  }
  std::vector<std::thread> threads;
  for (int t = 0; t < kWriters; ++t) threads.emplace_back(write, "thread " + std::to_string(t));
  for (std::thread& thread : threads) thread.join();
  for (const pid_t child : children) {
    int status = -1;
    // The children write a few hundred lines: bounded, and killed should they hang.
    for (int tries = 0; tries < 600 && ::waitpid(child, &status, WNOHANG) == 0; ++tries) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (::waitpid(child, &status, WNOHANG) == 0) {
      ::kill(child, SIGKILL);
      ::waitpid(child, nullptr, 0);
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  const std::vector<json> lines = HistoryLines(path);
  EXPECT_EQ(lines.size(), static_cast<std::size_t>((kWriters + 2) * kLines));
  std::set<std::pair<std::string, int>> seen;
  for (const json& line : lines) {
    if (line.is_discarded()) continue;
    EXPECT_EQ(line["padding"], padding);
    seen.emplace(line["writer"], line["line"]);
  }
  EXPECT_EQ(seen.size(), lines.size());
}

}  // namespace
}  // namespace krt6
