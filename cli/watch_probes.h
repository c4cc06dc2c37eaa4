// The probing behind krt6ctl watch: every printer probed on its own schedule, once an interval,
// by a small pool of worker threads that grows (up to a bound) only while probes are overdue and
// every worker is busy, so that printers that do not answer, each holding a worker until its
// link's time limit, never hold up the others. A probe that outlasts its interval is followed by
// the next one at the printer's next interval, not at once.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <queue>
#include <thread>
#include <vector>

#include "cli/target.h"
#include "monitor/probe.h"
#include "session/session.h"
#include "texts/language.h"

namespace krt6::cli {

struct ProbeReport {
  std::size_t index;  // the target's
  monitor::Probe probe;
};

class ProbeScheduler {
 public:
  using Clock = std::chrono::steady_clock;

  // `targets` stay owned by the caller and outlive the scheduler. At most `max_workers` threads
  // (at least 1); the first probe of every printer is due at once, the later ones spread over
  // the interval. `keep_sessions`: a session a printer, kept from probe to probe (each holds a
  // descriptor while it lives), else one made for each probe.
  ProbeScheduler(const std::vector<Target>& targets, Clock::duration interval,
                 std::size_t max_workers, bool keep_sessions, Language language);
  ~ProbeScheduler();
  ProbeScheduler(const ProbeScheduler&) = delete;
  ProbeScheduler& operator=(const ProbeScheduler&) = delete;

  // Starts the first workers (on the calling thread's signal mask).
  void Start();
  // The probes that came back since the last call, in the order they did.
  std::vector<ProbeReport> Take();
  // Doubles the workers (within the bound) when a probe is overdue by more than `late` and none
  // is idle.
  void Grow(Clock::duration late);
  // Cancels the running probes and ends the workers; within milliseconds.
  void Stop();
  std::size_t Workers() const;

 private:
  struct Due {
    Clock::time_point at;
    std::size_t index;
    bool operator>(const Due& other) const { return at > other.at; }
  };

  void Work(std::size_t slot);
  // Waits for the next due probe; false once stopping.
  bool NextDue(std::unique_lock<std::mutex>& lock, Due& due);
  Session& SessionFor(std::size_t index, std::unique_ptr<Session>& own);
  void AddWorker();

  const std::vector<Target>& targets_;
  const Clock::duration interval_;
  const std::size_t max_workers_;
  const Language language_;
  const bool keep_sessions_;
  std::vector<std::unique_ptr<Session>> sessions_;
  const Clock::time_point start_;  // every first probe's due time

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::priority_queue<Due, std::vector<Due>, std::greater<>> queue_;
  std::vector<ProbeReport> reports_;
  std::vector<Session*> running_;  // a worker slot's session while it probes
  std::vector<std::thread> workers_;
  std::size_t idle_ = 0;
  bool timer_held_ = false;  // one idle worker waits for the next due time, the others sleep
  bool stopping_ = false;
};

}  // namespace krt6::cli
