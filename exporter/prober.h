// The exporter's probes: one status query per printer per scrape, on a fresh session that opens
// the link only for its exchange. A probe still running at its scrape's deadline is cancelled
// and reported as a timeout; a second scrape of a printer being probed waits for that probe and
// shares its result; every exchange with one printer (probe, firmware, drift reading) waits for
// the one before it. A fleet's printers are probed together on a bounded pool of threads.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "cli/target.h"
#include "config/configuration.h"
#include "link/link_kinds.h"
#include "monitor/metrics.h"

namespace krt6::exporter {

using Clock = std::chrono::steady_clock;

// Runs the callbacks armed with it when their time comes, on a thread of its own.
class DeadlineWatch {
 public:
  DeadlineWatch();
  ~DeadlineWatch();
  DeadlineWatch(const DeadlineWatch&) = delete;
  DeadlineWatch& operator=(const DeadlineWatch&) = delete;
  // `fire` runs at `when` unless disarmed before; it must be short (it runs under the watch's
  // lock).
  std::uint64_t Arm(Clock::time_point when, std::function<void()> fire);
  // Once this returns the callback of `id` has run or never will.
  void Disarm(std::uint64_t id);

 private:
  void Run();
  std::mutex mutex_;
  std::condition_variable wake_;
  std::multimap<Clock::time_point, std::uint64_t> order_;
  std::unordered_map<std::uint64_t, std::pair<Clock::time_point, std::function<void()>>> armed_;
  std::uint64_t next_ = 1;
  bool stop_ = false;
  std::thread thread_;
};

// A fixed number of threads taking jobs from a queue.
class WorkerPool {
 public:
  explicit WorkerPool(std::size_t threads);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;
  void Post(std::function<void()> job);
  std::size_t Size() const { return threads_.size(); }

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<std::function<void()>> queue_;
  bool stop_ = false;
  std::vector<std::thread> threads_;
};

struct ProberOptions {
  std::size_t workers = 64;  // the fleet probes at once
  // The links of a target (tests shorten their limits); the system's by default.
  std::function<SystemLinkOptions(const cli::Target&)> links;
  // Takes a line for the log when a printer goes down (or its cause changes) and up again.
  std::function<void(const std::string&)> log;
};

// What the exporter counts of its probes, for its own metrics.
struct ProbeCounts {
  std::uint64_t probes = 0;                     // exchanges started
  std::uint64_t shared = 0;                     // scrapes that waited for a probe already running
  std::map<std::string, std::uint64_t> errors;  // failed probes by cause
  std::uint64_t drift_readings = 0;
  std::uint64_t drift_errors = 0;
};

class Prober {
 public:
  explicit Prober(ProberOptions options = {});
  ~Prober();
  Prober(const Prober&) = delete;
  Prober& operator=(const Prober&) = delete;

  // One printer's sample, by `deadline` at the latest. The firmware is read once (again after a
  // failure); the drift count is the last one the drift reader made.
  monitor::PrinterSample Probe(const cli::Target& target, Clock::time_point deadline);
  // Every target's sample, in their order, at most ProberOptions::workers probes at once.
  std::vector<monitor::PrinterSample> ProbeAll(std::span<const cli::Target* const> targets,
                                               Clock::time_point deadline);

  // Reads the printer whole and counts the fields of `desired` it holds otherwise; the count
  // (nothing when the reading failed) goes with the printer's later samples. Waits for the
  // printer's running exchange. False when the reading failed.
  bool ReadDrift(const cli::Target& target, const Configuration& desired);

  // Cancels every running exchange and refuses new ones (for the end of the program).
  void Stop();

  ProbeCounts Counts() const;

 private:
  struct Printer;
  std::shared_ptr<Printer> PrinterOf(const cli::Target& target);
  monitor::PrinterSample Exchange(const cli::Target& target, Printer& printer,
                                  Clock::time_point deadline);
  void CountFailure(const monitor::Probe& probe);

  ProberOptions options_;
  DeadlineWatch watch_;
  mutable std::mutex mutex_;
  std::unordered_map<std::string, std::shared_ptr<Printer>> printers_;
  ProbeCounts counts_;
  std::atomic<bool> stopped_{false};
  WorkerPool pool_;  // last: its threads end before the rest goes
};

}  // namespace krt6::exporter
