#include "cli/watch_probes.h"

#include <algorithm>

#include "cli/fleet.h"
#include "cli/sessions.h"

namespace krt6::cli {

ProbeScheduler::ProbeScheduler(const std::vector<Target>& targets, Clock::duration interval,
                               std::size_t max_workers, bool keep_sessions, Language language)
    : targets_(targets),
      interval_(interval),
      max_workers_(std::max<std::size_t>(max_workers, 1)),
      language_(language),
      keep_sessions_(keep_sessions),
      sessions_(targets.size()),
      start_(Clock::now()) {
  for (std::size_t i = 0; i < targets.size(); ++i) queue_.push({start_, i});
}

ProbeScheduler::~ProbeScheduler() { Stop(); }

void ProbeScheduler::Start() {
  std::lock_guard lock(mutex_);
  const std::size_t first = std::min<std::size_t>({max_workers_, targets_.size(), 4});
  while (workers_.size() < std::max<std::size_t>(first, 1)) AddWorker();
}

void ProbeScheduler::AddWorker() {
  const std::size_t slot = workers_.size();
  running_.push_back(nullptr);
  ++idle_;
  workers_.emplace_back([this, slot] { Work(slot); });
}

std::size_t ProbeScheduler::Workers() const {
  std::lock_guard lock(mutex_);
  return workers_.size();
}

std::vector<ProbeReport> ProbeScheduler::Take() {
  std::vector<ProbeReport> taken;
  std::lock_guard lock(mutex_);
  taken.swap(reports_);
  return taken;
}

void ProbeScheduler::Grow(Clock::duration late) {
  std::lock_guard lock(mutex_);
  if (stopping_ || idle_ > 0 || workers_.size() >= max_workers_ || queue_.empty()) return;
  if (queue_.top().at + late >= Clock::now()) return;
  // As many again: a fleet whose printers stopped answering together is caught up with in a few
  // rounds of the main loop, not one worker a round.
  const std::size_t more = std::min(workers_.size(), max_workers_ - workers_.size());
  for (std::size_t i = 0; i < std::max<std::size_t>(more, 1); ++i) AddWorker();
}

void ProbeScheduler::Stop() {
  std::vector<std::thread> workers;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    for (Session* session : running_) {
      if (session != nullptr) session->Cancel();
    }
    workers.swap(workers_);
  }
  wake_.notify_all();
  for (std::thread& worker : workers) worker.join();
}

bool ProbeScheduler::NextDue(std::unique_lock<std::mutex>& lock, Due& due) {
  while (!stopping_) {
    const Clock::time_point now = Clock::now();
    if (!queue_.empty() && queue_.top().at <= now) {
      due = queue_.top();
      queue_.pop();
      return true;
    }
    if (!timer_held_ && !queue_.empty()) {
      timer_held_ = true;
      wake_.wait_until(lock, queue_.top().at);
      timer_held_ = false;
    } else {
      wake_.wait(lock);
    }
  }
  return false;
}

Session& ProbeScheduler::SessionFor(std::size_t index, std::unique_ptr<Session>& own) {
  std::unique_ptr<Session>& session = keep_sessions_ ? sessions_[index] : own;
  if (!session) {
    const Target& target = targets_[index];
    session =
        MakeSession(LinkTarget{target.Kind, target.Settings}, LinkOptionsFor(target), language_);
  }
  return *session;
}

void ProbeScheduler::Work(std::size_t slot) {
  std::unique_lock lock(mutex_);
  Due due{};
  while (NextDue(lock, due)) {
    --idle_;
    // Another idle worker takes the wait for the next due time, or the next printer due now: one
    // wake-up when the timer's worker leaves, none while a worker goes through a slot's printers.
    if (!timer_held_ && idle_ > 0) wake_.notify_one();
    lock.unlock();
    std::unique_ptr<Session> own;
    Session& session = SessionFor(due.index, own);
    lock.lock();
    if (stopping_) break;
    running_[slot] = &session;
    lock.unlock();
    monitor::Probe probe = monitor::ProbeStatus(session);
    lock.lock();
    running_[slot] = nullptr;
    ++idle_;
    reports_.push_back({due.index, std::move(probe)});
    // The next interval of this printer that has not begun yet: one that outlasted its interval
    // waits for the next.
    // After the first probe, which all make at once, the printers' turns spread over the
    // interval.
    const Clock::time_point now = Clock::now();
    Clock::time_point next = due.at + interval_;
    // The turns fall on slots of a fiftieth of the interval (10-100 ms), so that a worker that
    // wakes up finds several printers due: a wake-up a slot, not a probe.
    if (due.at == start_) {
      const Clock::duration turn = std::clamp<Clock::duration>(
          interval_ / 50, std::chrono::milliseconds(10), std::chrono::milliseconds(100));
      const auto turns = std::max<Clock::rep>(interval_ / turn, 1);
      next += turn * (static_cast<Clock::rep>(due.index) * turns /
                      static_cast<Clock::rep>(targets_.size()));
    }
    if (next <= now) next += ((now - next) / interval_ + 1) * interval_;
    const bool earliest = queue_.empty() || next < queue_.top().at;
    queue_.push({next, due.index});
    if (earliest) wake_.notify_all();  // the worker waiting for the old first due time
  }
}

}  // namespace krt6::cli
