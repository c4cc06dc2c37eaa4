// A program of the build (krt6ctl, krt6-emulator) run as a child process for the tests and the
// benchmarks: its stdout and stderr captured through pipes (read together, so that neither can
// fill up and stall it), every wait bounded by a deadline, and a child still running at its
// deadline or when its ChildProcess ends killed and reaped. No test framework: the caller checks
// TimedOut().
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace krt6::testing {

using ChildClock = std::chrono::steady_clock;

// The path of a program of this build ("cli/krt6ctl", "emulator/krt6-emulator"): relative to the
// build folder, the nearest folder above the running program that holds CMakeCache.txt.
std::string BuiltProgram(const std::string& relative);

struct ChildOptions {
  // Stderr goes to this file (a terminal, say) instead of being captured.
  std::string ErrorPath;
  // RLIMIT_NOFILE in the child (where only the standard streams stay open).
  std::optional<rlimit> FileLimit;
};

class ChildProcess {
 public:
  // Starts argv[0] with `argv`, stdin from /dev/null and no other descriptor of this process.
  // Started() tells whether it did.
  explicit ChildProcess(std::vector<std::string> argv, ChildOptions options = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }
  // What it wrote so far (all of it after Wait).
  const std::string& Out() const { return out_; }
  const std::string& Err() const { return err_; }

  // Reads until stdout holds `lines` lines or ends; false when neither happened by `deadline`.
  bool ReadLines(std::size_t lines, ChildClock::time_point deadline);
  // Reads what comes within `wait`, returning at the first output.
  void Poll(std::chrono::milliseconds wait);
  // Sends `signal` to the child while it runs.
  void Signal(int signal);
  // Reads both streams to their end and reaps the child: its exit code, or -1 when a signal ended
  // it or it had not ended by `deadline` (it is then killed, and TimedOut() is true).
  int Wait(ChildClock::time_point deadline);
  bool TimedOut() const { return timed_out_; }
  // What the program used, once Wait has reaped it: processor time, peak memory.
  const rusage& Usage() const { return usage_; }

 private:
  // Polls the open pipes until `until` for one round of reading; false when both are closed.
  bool Pump(ChildClock::time_point until);
  void Kill();

  pid_t pid_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  std::string out_;
  std::string err_;
  bool reaped_ = false;
  bool timed_out_ = false;
  rusage usage_{};
};

// A program run to its end.
struct ProgramRun {
  int Status = -1;  // the exit code; -1: ended by a signal, not started, or killed at the timeout
  bool TimedOut = false;
  std::string Out;
  std::string Err;
  double CpuSeconds = 0;  // user and system time
  long MaxRssKiB = 0;     // peak resident memory
};

// Runs `argv` to its end, for at most `timeout` (killed then).
ProgramRun RunProgram(std::vector<std::string> argv, std::chrono::milliseconds timeout,
                      ChildOptions options = {});

}  // namespace krt6::testing
