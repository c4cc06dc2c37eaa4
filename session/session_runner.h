// Runs a session's operations on a thread of its own, one at a time, and reports each result on
// that thread. The runner owns the thread: the caller never starts or joins one. Destroying the
// runner cancels the running operation and waits for it to end.
#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <utility>

#include "session/outcome.h"
#include "session/session.h"

namespace krt6 {

class SessionRunner {
 public:
  explicit SessionRunner(Session& session);
  ~SessionRunner();
  SessionRunner(const SessionRunner&) = delete;
  SessionRunner& operator=(const SessionRunner&) = delete;

  // Runs `job` on the worker and then `on_done(result)` on the worker. An error raised inside the
  // job becomes a kUnknownError outcome with the error's text as its details. False (and nothing
  // runs) while an earlier job has not finished.
  template <typename Job, typename Done> bool Start(Job job, Done on_done) {
    using JobResult = std::invoke_result_t<Job&, Session&>;
    return Post([job = std::move(job), on_done = std::move(on_done)](Session& session) mutable {
      JobResult result;
      try {
        result = job(session);
      } catch (const std::exception& error) {
        result = JobResult{};
        static_cast<Result&>(result) = ProtocolFailure(kUnknownError, Cause::kOther, error.what());
      } catch (...) {
        result = JobResult{};
        static_cast<Result&>(result) = ProtocolFailure(kUnknownError, Cause::kOther, {});
      }
      // Delivered once the runner is free again, so on_done may start the next job at once.
      return Delivery([on_done = std::move(on_done), result = std::move(result)]() mutable {
        on_done(std::move(result));
      });
    });
  }

  // True from Start until the job has ended; its on_done is called once this is false again.
  bool Busy() const;
  // Cancels the running job (from any thread); the next Start arms the session again.
  void Cancel() noexcept { session_.Cancel(); }

 private:
  using Delivery = std::function<void()>;
  using Task = std::function<Delivery(Session&)>;
  bool Post(Task task);
  void Work();

  Session& session_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  Task task_;
  bool busy_ = false;
  bool stopping_ = false;
  std::thread worker_;  // last: started once everything above exists
};

}  // namespace krt6
