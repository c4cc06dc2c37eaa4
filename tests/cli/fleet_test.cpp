// RunFleet's rules with jobs that only record what they were given: an interrupt starts no further
// target and every target is still reported in order; no more targets run at once than the
// descriptor limit carries; a local shortage of descriptors is not blamed on the printer. Then
// krt6ctl as a program over emulated printers: interrupted by a signal, and under a low limit.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <algorithm>
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
#include "support/temp_dir.h"

namespace krt6::cli {
namespace {

using Clock = std::chrono::steady_clock;
using nlohmann::json;

std::vector<Target> Targets(std::size_t count, const std::string& text = "socket://127.0.0.1:1") {
  return std::vector<Target>(count, std::get<Target>(ParseTarget(text)));
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
    OutcomeStatus status;
    status.Code = kPortOpenError;
    status.Details = "Open failed (ETHERNET): 127.0.0.1:9000";
    status.Link.error_number = c.error;
    FleetOptions options;
    options.Lang = c.language;
    const auto results = RunFleet(
        Targets(1), options, [&](Session&, const Target&) { return Failed(status); },
        [](std::size_t, const TargetResult&) {});
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].Code, kPortOpenError);
    const std::string& detail = results[0].Detail;
    EXPECT_EQ(detail.rfind(status.Details, 0), 0u) << detail;
    if (*c.says == '\0') {
      EXPECT_EQ(detail, status.Details);
    } else {
      EXPECT_NE(detail.find(c.says), std::string::npos) << detail;
    }
  }
}

// krt6ctl as a child process: stdout on a pipe, stderr into a file, an optional descriptor limit.
class Program {
 public:
  Program(std::vector<std::string> args, std::optional<rlimit> limit) {
    std::string self(PATH_MAX, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
    self.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    const std::string program = self.substr(0, self.rfind("/tests/")) + "/cli/krt6ctl";
    args.insert(args.begin(), {program, "--lang=en"});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string err = dir_ / "err";
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      // Only what it is given stays open, so that its descriptors are all below a low limit.
      ::dup2(out[1], 1);
      ::close_range(3, ~0U, 0);
      const int err_fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(err_fd, 2);
      ::close(err_fd);
      if (limit) ::setrlimit(RLIMIT_NOFILE, &*limit);
      ::execv(program.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    out_ = out[0];
    if (pid_ < 0) ::close(std::exchange(out_, -1));
  }
  ~Program() {
    if (out_ >= 0) ::close(out_);
    if (pid_ > 0 && !ended_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  pid_t Pid() const { return pid_; }
  const std::string& Out() const { return out_text_; }
  std::string Err() const {
    std::ifstream in(dir_ / "err");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::vector<json> Lines() const {
    std::vector<json> lines;
    std::istringstream in(out_text_);
    for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
    return lines;
  }

  // Reads stdout until it holds `lines` lines or ends; false at the deadline.
  bool ReadLines(std::size_t lines, Clock::time_point deadline) {
    if (out_ < 0) return false;
    auto count = [&] {
      return static_cast<std::size_t>(std::count(out_text_.begin(), out_text_.end(), '\n'));
    };
    while (count() < lines) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return false;
      pollfd p{out_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      char buffer[4096];
      const ssize_t n = ::read(out_, buffer, sizeof buffer);
      if (n <= 0) return true;  // it ended
      out_text_.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
  }

  // Its exit status once stdout ended; -1 (after killing it) when it neither ended nor exited by
  // the deadline, or was ended by a signal.
  int Wait(Clock::time_point deadline) {
    if (pid_ <= 0) {
      ADD_FAILURE() << "krt6ctl did not start";
      return -1;
    }
    EXPECT_TRUE(ReadLines(SIZE_MAX, deadline)) << "no end of output in time";
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (Clock::now() >= deadline) {
        ADD_FAILURE() << "krt6ctl did not end in time";
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ended_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  testing::TempDir dir_;
  pid_t pid_ = -1;
  int out_ = -1;
  bool ended_ = false;
  std::string out_text_;
};

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
    Program program(
        {"--json", "-j", "2", "--targets", FleetFile(dir, *emu), "set", "comm_speed=19200"},
        std::nullopt);
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    ASSERT_GT(program.Pid(), 0);
    ASSERT_TRUE(program.ReadLines(1, deadline));
    for (int i = 0; i < c.times; ++i) {
      // Each after the last one's notice: a signal sent before the last was taken merges with it.
      const std::size_t seen = program.Err().size();
      ::kill(program.Pid(), c.signal);
      const auto notice_by = std::min(deadline, Clock::now() + std::chrono::seconds(15));
      while (program.Err().size() == seen && Clock::now() < notice_by) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    EXPECT_EQ(program.Wait(deadline), 130) << program.Err();
    const auto lines = program.Lines();
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
  Program program({"--json", "-j", "1024", "--targets", FleetFile(dir, *emu), "status"},
                  rlimit{64, 128});
  EXPECT_EQ(program.Wait(Clock::now() + std::chrono::seconds(120)), 0) << program.Err();
  const auto lines = program.Lines();
  ASSERT_EQ(lines.size(), 300u);
  for (const json& line : lines) EXPECT_EQ(line["code"], 0) << line;
  EXPECT_EQ(program.Out().find("Too many open files"), std::string::npos);
  EXPECT_NE(program.Err().find("descriptor limit (ulimit -n) of 128"), std::string::npos)
      << program.Err();
}

}  // namespace
}  // namespace krt6::cli
