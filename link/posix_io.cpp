#include "link/posix_io.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

namespace krt6 {

std::chrono::steady_clock::time_point SteadyNow() { return std::chrono::steady_clock::now(); }

int MillisecondsUntil(std::chrono::steady_clock::time_point deadline,
                      std::chrono::steady_clock::time_point now) {
  if (deadline <= now) return 0;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
  return left > 0x7fffffff ? 0x7fffffff : static_cast<int>(left);
}

void UniqueFd::Reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

namespace {

// Without a descriptor to watch, a token is looked at this often during a wait.
constexpr int kCancelCheckMs = 50;

// Waits for `events` on `fd` (or only for the token when fd < 0). Returns the revents of `fd`,
// 0 at the deadline, -1 with errno set (ECANCELED for the token).
int WaitFor(int fd, short events, std::chrono::steady_clock::time_point deadline,
            const CancelToken* cancel) {
  for (;;) {
    if (cancel != nullptr && cancel->Cancelled()) {
      errno = ECANCELED;
      return -1;
    }
    pollfd p[2] = {{fd, events, 0}, {cancel != nullptr ? cancel->Fd() : -1, POLLIN, 0}};
    int timeout = MillisecondsUntil(deadline, SteadyNow());
    if (cancel != nullptr && cancel->Fd() < 0) timeout = std::min(timeout, kCancelCheckMs);
    const int n = ::poll(p, 2, timeout);       // a negative descriptor is left out by poll()
    if (n > 0 && p[1].revents != 0) continue;  // the token: reported at the top
    if (n > 0) return p[0].revents;
    if (n == 0) {
      if (SteadyNow() >= deadline) return 0;
      continue;  // woke a little early, or looks at the token again
    }
    if (errno != EINTR) return -1;
  }
}

}  // namespace

int PollOne(int fd, short events, std::chrono::steady_clock::time_point deadline,
            const CancelToken* cancel) {
  return WaitFor(fd, events, deadline, cancel);
}

bool SleepUntil(std::chrono::steady_clock::time_point deadline, const CancelToken* cancel) {
  if (cancel == nullptr) {
    std::this_thread::sleep_until(deadline);
    return true;
  }
  // Only the token can end the wait early; a failed poll() shortens the sleep instead.
  return WaitFor(-1, 0, deadline, cancel) >= 0 || errno != ECANCELED;
}

}  // namespace krt6
