#include "link/posix_io.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace krt6 {

std::chrono::steady_clock::time_point SteadyNow() {
  return std::chrono::steady_clock::now();
}

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

int PollOne(int fd, short events, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, MillisecondsUntil(deadline, SteadyNow()));
    if (n > 0) return p.revents;
    if (n == 0) {
      if (SteadyNow() >= deadline) return 0;
      continue;  // woke a little early
    }
    if (errno != EINTR) return -1;
  }
}

void SleepUntil(std::chrono::steady_clock::time_point deadline) {
  std::this_thread::sleep_until(deadline);
}

}  // namespace krt6
