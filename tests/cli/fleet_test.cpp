// RunFleet's rules with jobs that only record what they were given: an interrupt starts no further
// target and every target is still reported in order; no more targets run at once than the
// descriptor limit carries; a local shortage of descriptors is not blamed on the printer. Then
// krt6ctl over emulated printers: dead ones among live ones, and as a program interrupted by a
// signal, on a terminal and under a low limit.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <fstream>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cli/fleet.h"
#include "cli/target.h"
#include "emulator/emulator.h"
#include "support/child_process.h"
#include "support/krt6ctl_runs.h"
#include "support/os_bench.h"
#include "support/temp_dir.h"

namespace krt6::cli {
namespace {

using Clock = std::chrono::steady_clock;
using nlohmann::json;

// `count` targets, each a printer of its own (targets on one device would take turns).
std::vector<Target> Targets(std::size_t count) {
  std::vector<Target> targets;
  for (std::size_t i = 0; i < count; ++i) {
    targets.push_back(std::get<Target>(ParseTarget("socket://127.0.0.1:" + std::to_string(i + 1))));
  }
  return targets;
}

// Until `ready` holds or 10 s have passed; false then.
template <typename Ready>
bool WaitFor(std::mutex& mutex, std::condition_variable& cv, Ready ready) {
  std::unique_lock lock(mutex);
  return cv.wait_for(lock, std::chrono::seconds(10), ready);
}

TEST(FleetTest, StopStartsNoFurtherTarget) {
  enum class Stop { kNever, kBeforeRun, kDuringRun };
  struct Case {
    std::size_t targets;
    int jobs;
    Stop stop;
    const char* summary;  // with every started job but the second finishing, that one interrupted
  };
  const Case cases[] = {
      {6, 1, Stop::kDuringRun, "interrupted: 1 done, 0 interrupted, 5 not started"},
      {10, 3, Stop::kDuringRun, "interrupted: 2 done, 1 interrupted, 7 not started"},
      {4, 4, Stop::kDuringRun, "interrupted: 3 done, 1 interrupted, 0 not started"},
      {5, 2, Stop::kBeforeRun, "interrupted: 0 done, 0 interrupted, 5 not started"},
      {3, 2, Stop::kNever, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.summary ? c.summary : "no stop");
    const auto targets = Targets(c.targets);
    std::atomic<bool> stop{c.stop == Stop::kBeforeRun};
    FleetOptions options;
    options.Jobs = c.jobs;
    options.Stop = c.stop == Stop::kNever ? nullptr : &stop;
    std::mutex mutex;
    std::condition_variable changed;
    std::set<std::size_t> started;
    const std::size_t running = std::min<std::size_t>(c.targets, static_cast<std::size_t>(c.jobs));
    // Every worker holds its first target until all have one; then the first sets the flag.
    auto job = [&](Session&, const Target& target) {
      const std::size_t index = static_cast<std::size_t>(&target - targets.data());
      {
        std::lock_guard lock(mutex);
        started.insert(index);
      }
      changed.notify_all();
      TargetResult result;
      if (c.stop != Stop::kDuringRun) return result;
      EXPECT_TRUE(WaitFor(mutex, changed, [&] { return started.size() >= running; }));
      if (index == 0) stop.store(true);
      changed.notify_all();
      EXPECT_TRUE(WaitFor(mutex, changed, [&] { return stop.load(); }));
      if (index == 1) result.Code = kInterrupted;  // a job that stopped at its safe point
      return result;
    };
    std::vector<std::size_t> reported;
    const auto results = RunFleet(
        targets, options, job, [&](std::size_t i, const TargetResult&) { reported.push_back(i); });
    ASSERT_EQ(results.size(), c.targets);
    for (std::size_t i = 0; i < c.targets; ++i) {
      EXPECT_EQ(reported[i], i);
      const bool ran = c.stop == Stop::kNever || (c.stop == Stop::kDuringRun && i < running);
      EXPECT_EQ(started.count(i), ran ? 1u : 0u) << i;
      const int code = !ran                                     ? kNotStarted
                       : (c.stop == Stop::kDuringRun && i == 1) ? kInterrupted
                                                                : 0;
      EXPECT_EQ(results[i].Code, code) << i;
    }
    if (c.summary) {
      EXPECT_EQ(InterruptSummary(results, Language::kEnglish), c.summary);
    }
  }
  EXPECT_EQ(ResultText(kNotStarted, Language::kEnglish), "Not Started");
  EXPECT_NE(ResultText(kInterrupted, Language::kJapanese),
            ResultText(kInterrupted, Language::kEnglish));
}

TEST(FleetTest, JobsWithinTheDescriptorLimit) {
  struct Case {
    const char* first;  // the first target; the others are TCP
    std::size_t wanted;
    long limit;
    long open;
    bool lowered;
  };
  const Case cases[] = {
      {"socket://127.0.0.1:9000", 1024, 1024, 5, true},
      {"usb:", 1024, 1024, 5, true},  // a USB target among them: each counts as USB
      {"socket://127.0.0.1:9000", 16, 1024, 5, false},
      {"socket://127.0.0.1:9000", 1024, -1, 5, false},  // no limit
      {"socket://127.0.0.1:9000", 1024, 20, 10, true},  // not even headroom left: one at a time
      {"serial:/dev/ttyS0", 300, 100000, 900, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.first) + " limit " + std::to_string(c.limit));
    auto targets = Targets(1000);
    targets[0] = std::get<Target>(ParseTarget(c.first));
    const long each = DescriptorsPerTarget(targets[0].Kind);
    ASSERT_GE(each, DescriptorsPerTarget(lkEthernet));
    const std::size_t jobs = JobsWithin(c.wanted, targets, c.limit, c.open);
    EXPECT_EQ(jobs < c.wanted, c.lowered) << jobs;
    EXPECT_GE(jobs, 1u);
    if (!c.lowered || jobs == 1) continue;
    // As many as fit, and not one more.
    const long used = c.open + kDescriptorHeadroom;
    EXPECT_LE(used + static_cast<long>(jobs) * each, c.limit);
    EXPECT_GT(used + static_cast<long>(jobs + 1) * each, c.limit);
  }
}

// By default every target runs at once; two targets on one device (a port by two names) take
// turns, whatever else runs beside them.
TEST(FleetTest, AllAtOnceByDefaultOneAtATimeOnADevice) {
  testing::TempDir dir;
  std::ofstream(dir / "ttyX") << "";
  std::ofstream(dir / "lpX") << "";
  ASSERT_EQ(::symlink((dir / "ttyX").c_str(), (dir / "by-id").c_str()), 0);
  ASSERT_EQ(::symlink((dir / "lpX").c_str(), (dir / "lp-link").c_str()), 0);
  struct Key {
    std::string a, b;
    bool same;
  };
  const Key keys[] = {
      {"serial:" + dir / "ttyX", "serial:" + dir / "by-id?baud=9600", true},
      {"parallel:" + dir / "lpX", "parallel:" + dir / "lp-link", true},
      {"serial:" + dir / "ttyX", "parallel:" + dir / "lpX", false},
      {"serial:COM1", "serial:/dev/ttyS0", true},
      {"socket://127.0.0.1:9000", "127.0.0.1:9000", true},
      {"socket://127.0.0.1:9000", "127.0.0.1:9001", false},
  };
  for (const Key& key : keys) {
    EXPECT_EQ(DeviceKey(std::get<Target>(ParseTarget(key.a))) ==
                  DeviceKey(std::get<Target>(ParseTarget(key.b))),
              key.same)
        << key.a << " " << key.b;
  }

  // Eight TCP printers and a serial port named twice: the TCP jobs wait until all eight run.
  std::vector<Target> targets;
  for (int i = 0; i < 8; ++i) {
    targets.push_back(std::get<Target>(ParseTarget("127.0.0.1:" + std::to_string(9000 + i))));
  }
  targets.push_back(std::get<Target>(ParseTarget("serial:" + dir / "ttyX")));
  targets.push_back(std::get<Target>(ParseTarget("serial:" + dir / "by-id")));
  std::mutex mutex;
  std::condition_variable changed;
  int tcp_running = 0;
  int serial_running = 0;
  int serial_most = 0;
  FleetOptions options;  // the default jobs
  const auto results = RunFleet(
      targets, options,
      [&](Session&, const Target& target) {
        TargetResult result;
        if (target.Kind == lkCom) {
          {
            std::lock_guard hold(mutex);
            serial_most = std::max(serial_most, ++serial_running);
          }
          std::this_thread::sleep_for(std::chrono::milliseconds(100));
          std::lock_guard hold(mutex);
          --serial_running;
          return result;
        }
        std::unique_lock lock(mutex);
        ++tcp_running;
        changed.notify_all();
        if (!changed.wait_for(lock, std::chrono::seconds(10), [&] { return tcp_running >= 8; })) {
          result.Code = 1;  // not all at once
        }
        return result;
      },
      [](std::size_t, const TargetResult&) {});
  ASSERT_EQ(results.size(), targets.size());
  for (std::size_t i = 0; i < results.size(); ++i) {
    EXPECT_TRUE(results[i].Ok()) << targets[i].Text << " did not run beside the others";
  }
  EXPECT_EQ(serial_most, 1) << "two jobs on one serial port at once";
}

TEST(FleetTest, LocalDescriptorShortageIsNotThePrinters) {
  struct Case {
    int error;
    Language language;
    const char* says;  // in the detail; empty: the link's own detail stays as it is
  };
  const Case cases[] = {
      {EMFILE, Language::kEnglish, "the printer is not at fault"},
      {ENFILE, Language::kEnglish, "ulimit -n"},
      {EMFILE, Language::kJapanese, "プリンタの異常ではありません"},
      {ECONNREFUSED, Language::kEnglish, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    Result status;
    status.code = kPortOpenError;
    status.cause = Cause::kOther;
    status.action = "Open failed (ETHERNET)";
    status.device = "127.0.0.1:9000";
    status.error_number = c.error;
    FleetOptions options;
    options.Lang = c.language;
    const auto results = RunFleet(
        Targets(1), options, [&](Session&, const Target&) { return Failed(status); },
        [](std::size_t, const TargetResult&) {});
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].Code, kPortOpenError);
    const std::string& detail = results[0].Detail;
    EXPECT_EQ(detail.rfind(status.Text(), 0), 0u) << detail;
    if (*c.says == '\0') {
      EXPECT_EQ(detail, status.Text());
    } else {
      EXPECT_NE(detail.find(c.says), std::string::npos) << detail;
    }
  }
}

using cli_test::CtlRun;
using testing::ChildOptions;
using testing::ChildProcess;

// krt6ctl `args` as a child process (English messages).
std::unique_ptr<ChildProcess> Program(std::vector<std::string> args, ChildOptions options = {}) {
  return std::make_unique<ChildProcess>(cli_test::ProgramLine(std::move(args)), options);
}

// Its exit status once it ended; a child still running at the deadline fails the test.
int WaitFor(ChildProcess& program, Clock::time_point deadline) {
  const int status = program.Wait(deadline);
  EXPECT_FALSE(program.TimedOut()) << "krt6ctl did not end in time";
  return status;
}

std::unique_ptr<emulator::Emulator> Printers(int count, int delay_ms) {
  emulator::EmulatorOptions o;
  o.Port = 0;
  o.Count = count;
  o.Vary = true;
  o.Spoil.DelayMs = delay_ms;
  auto emu = std::make_unique<emulator::Emulator>(o);
  std::string error;
  EXPECT_TRUE(emu->Start(error)) << error;
  return emu;
}

std::string FleetFile(const testing::TempDir& dir, const emulator::Emulator& emu) {
  std::ofstream file(dir / "fleet.txt");
  for (int i = 0; i < emu.Count(); ++i) file << "socket://127.0.0.1:" << emu.Port(i) << "\n";
  return dir / "fleet.txt";
}

// Interrupted after the first result: the started targets end their exchange, the others receive
// nothing, every target is reported once in order, then the summary, and the exit status is 130.
TEST(FleetTest, InterruptedSetReportsEveryTarget) {
  struct Case {
    int signal;
    int times;
  };
  for (const Case c : {Case{SIGINT, 2}, Case{SIGTERM, 1}}) {
    SCOPED_TRACE(c.signal);
    // A set takes some ten replies: about three seconds a target, so that the running ones are
    // still running when the last signal comes, however busy the machine.
    auto emu = Printers(10, 300);
    testing::TempDir dir;
    auto started = Program(
        {"--json", "-j", "2", "--targets", FleetFile(dir, *emu), "set", "comm_speed=19200"});
    ChildProcess& program = *started;
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    ASSERT_TRUE(program.Started());
    ASSERT_TRUE(program.ReadLines(1, deadline));
    for (int i = 0; i < c.times; ++i) {
      // Each after the last one's notice: a signal sent before the last was taken merges with it.
      const std::size_t seen = program.Err().size();
      program.Signal(c.signal);
      const auto notice_by = std::min(deadline, Clock::now() + std::chrono::seconds(15));
      while (program.Err().size() == seen && Clock::now() < notice_by) {
        program.Poll(std::chrono::milliseconds(10));
      }
    }
    EXPECT_EQ(WaitFor(program, deadline), 130) << program.Err();
    const auto lines = cli_test::JsonLines(program.Out());
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(emu->Count())) << program.Out();
    std::size_t done = 0;
    std::size_t not_started = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const int printer = static_cast<int>(i);
      EXPECT_EQ(lines[i]["target"], "socket://127.0.0.1:" + std::to_string(emu->Port(printer)));
      const int code = lines[i]["code"];
      if (code == kNotStarted) {
        ++not_started;
        EXPECT_EQ(lines[i]["result"], "Not Started");
        EXPECT_TRUE(emu->CommandTexts(printer).empty()) << i;
        continue;
      }
      EXPECT_EQ(not_started, 0u) << "a target started after one that was not: " << i;
      EXPECT_TRUE(code == 0 || code == kInterrupted) << lines[i];
      if (code == 0) {
        ++done;
        EXPECT_EQ(lines[i]["changed"], true);
      }
    }
    EXPECT_GE(done, 1u);
    EXPECT_GE(not_started, 1u);
    const std::string err = program.Err();
    EXPECT_NE(err.find("interrupted: " + std::to_string(done) + " done, " +
                       std::to_string(lines.size() - done - not_started) + " interrupted, " +
                       std::to_string(not_started) + " not started"),
              std::string::npos)
        << err;
    EXPECT_EQ(err.find("still ending") != std::string::npos, c.times > 1) << err;
  }
}

// -j 1024 over 300 printers under a hard limit of 128 descriptors (soft 64): the soft limit is
// raised, fewer run at once, and no target fails for want of a descriptor.
TEST(FleetTest, LowDescriptorLimitFailsNoTarget) {
  auto emu = Printers(300, 0);
  testing::TempDir dir;
  ChildOptions limited;
  limited.FileLimit = rlimit{64, 128};
  auto program =
      Program({"--json", "-j", "1024", "--targets", FleetFile(dir, *emu), "status"}, limited);
  EXPECT_EQ(WaitFor(*program, Clock::now() + std::chrono::seconds(120)), 0) << program->Err();
  const auto lines = cli_test::JsonLines(program->Out());
  ASSERT_EQ(lines.size(), 300u);
  for (const json& line : lines) EXPECT_EQ(line["code"], 0) << line;
  EXPECT_EQ(program->Out().find("Too many open files"), std::string::npos);
  EXPECT_NE(program->Err().find("descriptor limit (ulimit -n) of 128"), std::string::npos)
      << program->Err();
}

// Dead and silent printers among live ones (in this process): each live one is set, each dead one
// fails on its own, the lines keep the targets' order, and the exit status is 1. Then the program
// on a terminal: the progress line counts the targets done and failed.
TEST(FleetTest, FleetWithDeadTargets) {
  using cli_test::ExpectContract;
  using cli_test::Sets;
  using cli_test::TcpTarget;
  auto live = cli_test::Tcp(6);
  emulator::Faults silent_faults;
  silent_faults.NoReply = true;
  auto silent = cli_test::Tcp(1, silent_faults);
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
  const CtlRun run = cli_test::Krt6ctl(
      {"--json", "-j", "4", "--targets", dir / "fleet.txt", "set", "comm_speed=38400"});
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
  const CtlRun shown =
      cli_test::Krt6ctlProgram({"-t", targets[0], "-t", "127.0.0.1:1", "status"}, name);
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

}  // namespace
}  // namespace krt6::cli
