#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <thread>
#include <utility>

namespace krt6::testing {
namespace {

void CloseFd(int& fd) {
  if (fd >= 0) ::close(std::exchange(fd, -1));
}

}  // namespace

std::string BuiltProgram(const std::string& relative) {
  char self[PATH_MAX] = {};
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  std::string dir(self, n > 0 ? static_cast<std::size_t>(n) : 0);
  for (std::size_t slash = dir.rfind('/'); slash != std::string::npos && slash > 0;
       slash = dir.rfind('/')) {
    dir.resize(slash);
    struct stat info {};
    if (::stat((dir + "/CMakeCache.txt").c_str(), &info) == 0) return dir + "/" + relative;
  }
  return relative;
}

ChildProcess::ChildProcess(std::vector<std::string> argv, ChildOptions options) {
  if (argv.empty()) return;
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  int out[2];
  int err[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return;
  if (::pipe2(err, O_CLOEXEC) != 0) {
    ::close(out[0]);
    ::close(out[1]);
    return;
  }
  const bool capture_err = options.ErrorPath.empty();
  pid_ = ::fork();
  if (pid_ == 0) {
    // Only async-signal-safe calls between fork and exec.
    ::dup2(out[1], 1);
    if (capture_err) ::dup2(err[1], 2);
    const int null_fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (null_fd >= 0) ::dup2(null_fd, 0);
    ::close_range(3, ~0U, 0);  // only the standard streams stay open in it
    if (!capture_err) {
      const int err_fd = ::open(options.ErrorPath.c_str(), O_WRONLY | O_CLOEXEC);
      if (err_fd >= 0) ::dup2(err_fd, 2);
    }
    if (options.FileLimit) ::setrlimit(RLIMIT_NOFILE, &*options.FileLimit);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  out_fd_ = out[0];
  err_fd_ = err[0];
  if (!capture_err) CloseFd(err_fd_);
  if (pid_ < 0) {
    CloseFd(out_fd_);
    CloseFd(err_fd_);
  }
}

ChildProcess::~ChildProcess() {
  Kill();
  CloseFd(out_fd_);
  CloseFd(err_fd_);
}

void ChildProcess::Kill() {
  if (pid_ <= 0 || reaped_) return;
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);  // SIGKILL cannot be caught: this returns at once
  reaped_ = true;
}

bool ChildProcess::Pump(ChildClock::time_point until) {
  pollfd fds[2];
  std::string* texts[2];
  int* owners[2];
  nfds_t count = 0;
  for (auto [fd, text] : {std::pair{&out_fd_, &out_}, std::pair{&err_fd_, &err_}}) {
    if (*fd < 0) continue;
    fds[count] = {*fd, POLLIN, 0};
    texts[count] = text;
    owners[count++] = fd;
  }
  if (count == 0) return false;
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(until - ChildClock::now());
  const int ready = ::poll(fds, count, static_cast<int>(std::max<long>(left.count(), 0)));
  if (ready <= 0) return true;
  for (nfds_t i = 0; i < count; ++i) {
    if (fds[i].revents == 0) continue;
    char buffer[4096];
    const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
    if (n > 0) {
      texts[i]->append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      CloseFd(*owners[i]);  // the end of that stream
    }
  }
  return true;
}

bool ChildProcess::ReadLines(std::size_t lines, ChildClock::time_point deadline) {
  auto count = [&] { return static_cast<std::size_t>(std::count(out_.begin(), out_.end(), '\n')); };
  while (count() < lines && out_fd_ >= 0) {
    if (ChildClock::now() >= deadline) return false;
    Pump(deadline);
  }
  return true;
}

void ChildProcess::Poll(std::chrono::milliseconds wait) { Pump(ChildClock::now() + wait); }

void ChildProcess::Signal(int signal) {
  if (pid_ > 0 && !reaped_) ::kill(pid_, signal);
}

int ChildProcess::Wait(ChildClock::time_point deadline) {
  if (pid_ <= 0) return -1;
  while (Pump(deadline)) {
    if (ChildClock::now() >= deadline) break;
  }
  int status = 0;
  while (!reaped_) {
    const pid_t got = ::wait4(pid_, &status, WNOHANG, &usage_);
    if (got == pid_) {
      reaped_ = true;
      break;
    }
    if (got < 0 && errno != EINTR) {
      reaped_ = true;  // not ours to wait for any more
      return -1;
    }
    if (ChildClock::now() >= deadline) {
      timed_out_ = true;
      Kill();
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ProgramRun RunProgram(std::vector<std::string> argv, std::chrono::milliseconds timeout,
                      ChildOptions options) {
  ChildProcess child(std::move(argv), std::move(options));
  ProgramRun run;
  run.Status = child.Wait(ChildClock::now() + timeout);
  run.TimedOut = child.TimedOut();
  run.Out = child.Out();
  run.Err = child.Err();
  const rusage& usage = child.Usage();
  run.CpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  run.MaxRssKiB = usage.ru_maxrss;
  return run;
}

}  // namespace krt6::testing
