// Small helpers shared by the links that talk to file descriptors: an owning descriptor, and
// waits bounded by a monotonic deadline that a cancel ends early.
#pragma once

#include <chrono>
#include <functional>

#include "link/cancel_token.h"

namespace krt6 {

using SteadyClock = std::function<std::chrono::steady_clock::time_point()>;

// The real monotonic clock.
std::chrono::steady_clock::time_point SteadyNow();

// Milliseconds from now until `deadline`, never negative, rounded up so that a wait does not end
// a fraction of a millisecond early.
int MillisecondsUntil(std::chrono::steady_clock::time_point deadline,
                      std::chrono::steady_clock::time_point now);

// Owns one descriptor and closes it when it goes out of scope (EINTR is not retried on close:
// on Linux the descriptor is released either way).
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = other.Release();
    }
    return *this;
  }
  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset(int fd = -1);

 private:
  int fd_ = -1;
};

// poll() on one descriptor for `events`, retried on EINTR with the remaining time, and on the
// descriptor of `cancel` (may be null). Returns the revents (0 at the deadline), or -1 with errno
// set: ECANCELED when the token was cancelled before or during the wait.
int PollOne(int fd, short events, std::chrono::steady_clock::time_point deadline,
            const CancelToken* cancel);

// Sleeps until `deadline` on the monotonic clock (EINTR resumes the sleep). False, at once, when
// `cancel` (may be null) is or becomes cancelled.
bool SleepUntil(std::chrono::steady_clock::time_point deadline, const CancelToken* cancel);

}  // namespace krt6
