#include "session/session_runner.h"

namespace krt6 {

SessionRunner::SessionRunner(Session& session) : session_(session), worker_([this] { Work(); }) {}

SessionRunner::~SessionRunner() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  session_.Cancel();
  wake_.notify_all();
  worker_.join();
}

bool SessionRunner::Busy() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return busy_;
}

bool SessionRunner::Post(Task task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (busy_ || stopping_) return false;
    // No job runs: the cancel of the previous one is cleared before this one is handed over.
    session_.ClearCancel();
    busy_ = true;
    task_ = std::move(task);
  }
  wake_.notify_all();
  return true;
}

void SessionRunner::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || task_ != nullptr; });
    if (task_ == nullptr) return;  // stopping with nothing handed over
    Task task = std::move(task_);
    task_ = nullptr;
    lock.unlock();
    Delivery deliver = task(session_);
    lock.lock();
    busy_ = false;
    lock.unlock();
    deliver();
    lock.lock();
  }
}

}  // namespace krt6
