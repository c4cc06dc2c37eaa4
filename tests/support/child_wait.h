// Waiting for a child process with a bound: a child still running at its deadline is killed and
// the test fails, so that one stuck child fails its test instead of holding up the whole suite.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>

namespace krt6::testing {

// The wait status of `child` once it has ended, or -1 when it is still running after `ms` (it is
// then left running).
inline int WaitUpTo(pid_t child, int ms, rusage* usage = nullptr) {
  if (child <= 0) return -1;  // wait4(-1) would take any child
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    int status = 0;
    rusage ignored{};
    const pid_t got = ::wait4(child, &status, WNOHANG, usage != nullptr ? usage : &ignored);
    if (got == child) return status;
    if (got < 0) return -1;
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    ::usleep(1000);
  }
}

// Waits at most `ms` for `child`; one still running then is killed, reaped, and the test fails.
// The wait status: a child killed here reads as WIFSIGNALED with SIGKILL.
inline int WaitChild(pid_t child, int ms = 60000) {
  if (child <= 0) {
    ADD_FAILURE() << "no child to wait for";
    return -1;
  }
  const int status = WaitUpTo(child, ms);
  if (status != -1) return status;
  ADD_FAILURE() << "child " << child << " still running after " << ms << " ms: killed";
  ::kill(child, SIGKILL);
  int killed = 0;
  ::waitpid(child, &killed, 0);  // SIGKILL cannot be caught: this returns at once
  return killed;
}

// What `fd` carries up to its end, read for at most `ms` in all; a writer that neither ends nor
// closes it by then fails the test.
inline std::string ReadToEnd(int fd, int ms = 60000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  std::string text;
  char buffer[4096];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd p{fd, POLLIN, 0};
    const int ready = left.count() > 0 ? ::poll(&p, 1, static_cast<int>(left.count())) : 0;
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) {
      ADD_FAILURE() << "no end of the child's output within " << ms << " ms";
      return text;
    }
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) return text;
    text.append(buffer, static_cast<std::size_t>(n));
  }
}

}  // namespace krt6::testing
