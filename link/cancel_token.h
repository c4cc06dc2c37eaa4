// Ends the waits of a running exchange from another thread. Every wait of the links watches the
// token's descriptor beside its device, so a cancel ends the wait at once instead of after the
// link's time limit, and no thread ever touches another thread's device descriptor.
#pragma once

#include <atomic>

namespace krt6 {

class CancelToken {
 public:
  CancelToken();
  ~CancelToken();
  CancelToken(const CancelToken&) = delete;
  CancelToken& operator=(const CancelToken&) = delete;

  // From any thread: every wait that watches the token ends, and the token stays cancelled
  // until Reset.
  void Cancel() noexcept;
  // Arms the token again. Only while no exchange runs, on the thread that may cancel it.
  void Reset() noexcept;
  bool Cancelled() const noexcept { return cancelled_.load(std::memory_order_acquire); }

  // A descriptor that polls readable once the token is cancelled; -1 when the system could not
  // create one, in which case waits look at Cancelled() at short intervals instead.
  int Fd() const noexcept { return fd_; }

 private:
  std::atomic<bool> cancelled_{false};
  int fd_ = -1;
};

}  // namespace krt6
