// Brings the session runner's reports back to the GUI thread: each job's result and each traced
// chunk is queued to this object and handled by the event loop of the thread it lives in.
#pragma once

#include <QObject>
#include <functional>
#include <utility>

#include "link/trace.h"
#include "session/session.h"
#include "session/session_runner.h"

namespace krt6 {

class ExchangeAdapter : public QObject {
  Q_OBJECT

 public:
  explicit ExchangeAdapter(Session& session, QObject* parent = nullptr)
      : QObject(parent), session_(session), runner_(session) {}
  // The runner is destroyed first: it cancels and joins, and what it queued by then is dropped
  // with this object.
  ~ExchangeAdapter() override;

  // Runs `job(session)` on the runner's thread and `on_done(result)` on this object's thread.
  template <typename Job, typename Done> bool Start(Job job, Done on_done) {
    return runner_.Start(std::move(job), [this, on_done = std::move(on_done)](auto result) {
      QMetaObject::invokeMethod(
          this, [on_done, result = std::move(result)] { on_done(result); }, Qt::QueuedConnection);
    });
  }
  void Cancel() noexcept { runner_.Cancel(); }

  // Every chunk the session's link moves goes to `on_chunk` on this object's thread.
  void ForwardTrace(std::function<void(const TraceEvent&)> on_chunk) {
    session_.SetTraceObserver([this, on_chunk = std::move(on_chunk)](const TraceEvent& event) {
      QMetaObject::invokeMethod(
          this, [on_chunk, event] { on_chunk(event); }, Qt::QueuedConnection);
    });
  }

 private:
  Session& session_;
  SessionRunner runner_;
};

}  // namespace krt6
