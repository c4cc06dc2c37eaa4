#include "link/cancel_token.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace krt6 {

CancelToken::CancelToken() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CancelToken::~CancelToken() {
  if (fd_ >= 0) ::close(fd_);
}

void CancelToken::Cancel() noexcept {
  cancelled_.store(true, std::memory_order_release);
  if (fd_ < 0) return;
  const std::uint64_t one = 1;
  while (::write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void CancelToken::Reset() noexcept {
  cancelled_.store(false, std::memory_order_release);
  if (fd_ < 0) return;
  std::uint64_t count = 0;
  while (::read(fd_, &count, sizeof count) < 0 && errno == EINTR) {
  }
}

}  // namespace krt6
