#include "exporter/prober.h"

#include <algorithm>
#include <cstring>

#include "cli/fleet.h"
#include "cli/sessions.h"
#include "cli/settings_commands.h"

namespace krt6::exporter {

// ---- DeadlineWatch ----

DeadlineWatch::DeadlineWatch() : thread_([this] { Run(); }) {}

DeadlineWatch::~DeadlineWatch() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

std::uint64_t DeadlineWatch::Arm(Clock::time_point when, std::function<void()> fire) {
  std::lock_guard lock(mutex_);
  const std::uint64_t id = next_++;
  const bool first = order_.empty() || when < order_.begin()->first;
  order_.emplace(when, id);
  armed_.emplace(id, std::make_pair(when, std::move(fire)));
  if (first) wake_.notify_all();
  return id;
}

void DeadlineWatch::Disarm(std::uint64_t id) {
  std::lock_guard lock(mutex_);
  const auto found = armed_.find(id);
  if (found == armed_.end()) return;
  const auto [from, to] = order_.equal_range(found->second.first);
  for (auto it = from; it != to; ++it) {
    if (it->second == id) {
      order_.erase(it);
      break;
    }
  }
  armed_.erase(found);
}

void DeadlineWatch::Run() {
  std::unique_lock lock(mutex_);
  while (!stop_) {
    if (order_.empty()) {
      wake_.wait(lock);
      continue;
    }
    const auto [when, id] = *order_.begin();
    if (Clock::now() < when) {
      wake_.wait_until(lock, when);
      continue;
    }
    order_.erase(order_.begin());
    const auto found = armed_.find(id);
    if (found != armed_.end()) {
      found->second.second();
      armed_.erase(found);
    }
  }
}

// ---- WorkerPool ----

WorkerPool::WorkerPool(std::size_t threads) {
  threads_.reserve(threads);
  for (std::size_t i = 0; i < threads; ++i) {
    threads_.emplace_back([this] {
      std::unique_lock lock(mutex_);
      for (;;) {
        wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (queue_.empty()) return;
        std::function<void()> job = std::move(queue_.back());
        queue_.pop_back();
        lock.unlock();
        job();
        lock.lock();
      }
    });
  }
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void WorkerPool::Post(std::function<void()> job) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(job));
  }
  wake_.notify_one();
}

// ---- Prober ----

namespace {

// The printers kept for /probe targets outside the fleet before unused ones are forgotten.
constexpr std::size_t kMaxPrinters = 10000;

struct Flight {
  bool done = false;
  monitor::PrinterSample sample;
};

monitor::PrinterSample TimedOut(const cli::Target& target, const std::string& detail) {
  monitor::PrinterSample sample;
  sample.probe.result = Failure(Cause::kTimedOut, target.Text, detail);
  sample.probe.result.code = kReceivingError;
  return sample;
}

// The firmware text as a label may carry it: printable ASCII only.
std::string FirmwareLabel(std::string text) {
  std::erase_if(text, [](char c) { return c < 0x20 || c > 0x7e; });
  return text;
}
std::string FirmwareLabel(const VersionText& version) {
  return FirmwareLabel(std::string(version.Text, strnlen(version.Text, sizeof version.Text)));
}

}  // namespace

struct Prober::Printer {
  std::timed_mutex line;  // held for every exchange with the printer
  std::mutex mutex;       // guards what follows
  std::condition_variable landed;
  std::shared_ptr<Flight> flight;  // the probe running now
  Session* running = nullptr;      // the session of the exchange running now
  std::string firmware;
  std::optional<int> drift;
  std::string state = "new";  // "up", or the cause of the last failure: what the log said last
  // The printer's own pause after a probe's exchange (the version query's): the next exchange
  // opens the link no sooner, rather than the probe sleeping through it. Guarded by `line`.
  Clock::time_point ready_at;
};

Prober::Prober(ProberOptions options)
    : options_(std::move(options)), pool_(std::max<std::size_t>(1, options_.workers)) {
  if (!options_.links) options_.links = cli::LinkOptionsFor;
}

Prober::~Prober() { Stop(); }

void Prober::Stop() {
  stopped_ = true;
  std::lock_guard lock(mutex_);
  for (auto& [key, printer] : printers_) {
    std::lock_guard own(printer->mutex);
    if (printer->running != nullptr) printer->running->Cancel();
  }
}

std::shared_ptr<Prober::Printer> Prober::PrinterOf(const cli::Target& target) {
  const std::string key = cli::PrinterKey(target);
  std::lock_guard lock(mutex_);
  auto found = printers_.find(key);
  if (found != printers_.end()) return found->second;
  if (printers_.size() >= kMaxPrinters) {
    std::erase_if(printers_, [](const auto& entry) {
      return entry.second.use_count() == 1 && !entry.second->drift.has_value();
    });
  }
  return printers_.emplace(key, std::make_shared<Printer>()).first->second;
}

void Prober::CountFailure(const monitor::Probe& probe) {
  std::string cause(CauseKey(probe.result.cause));
  if (cause.empty()) cause = "other";
  std::lock_guard lock(mutex_);
  ++counts_.errors[cause];
}

monitor::PrinterSample Prober::Exchange(const cli::Target& target, Printer& printer,
                                        Clock::time_point deadline) {
  std::unique_lock line(printer.line, std::defer_lock);
  if (stopped_ || Clock::now() >= deadline || !line.try_lock_until(deadline)) {
    monitor::PrinterSample sample =
        TimedOut(target, "the scrape's time ended before the printer's turn came");
    CountFailure(sample.probe);
    return sample;
  }
  if (printer.ready_at > Clock::now()) {
    if (printer.ready_at > deadline) {
      monitor::PrinterSample sample =
          TimedOut(target, "the printer's pause after its last exchange outlasts the scrape");
      CountFailure(sample.probe);
      return sample;
    }
    std::this_thread::sleep_until(printer.ready_at);
  }
  Clock::time_point& ready_at = printer.ready_at;
  const std::unique_ptr<Session> session = cli::MakeSession(
      LinkTarget{target.Kind, target.Settings}, options_.links(target), Language::kEnglish,
      [&ready_at](int ms) {
        ready_at = std::max(ready_at, Clock::now() + std::chrono::milliseconds(ms));
      });
  std::string firmware;
  {
    std::lock_guard lock(printer.mutex);
    printer.running = session.get();
    firmware = printer.firmware;
  }
  {
    std::lock_guard lock(mutex_);
    ++counts_.probes;
  }
  bool fired = false;  // written under the watch's lock, read after Disarm
  Session* cancelled = session.get();
  const std::uint64_t id = watch_.Arm(deadline, [&fired, cancelled] {
    fired = true;
    cancelled->Cancel();
  });
  monitor::PrinterSample sample;
  sample.probe = monitor::ProbeStatus(*session);
  if (sample.probe.up && firmware.empty() && ready_at <= Clock::now()) {
    const Outcome<VersionText> version = session->ReadFirmwareVersion();
    if (version.Ok()) firmware = FirmwareLabel(version.Value);
  }
  watch_.Disarm(id);
  if (!sample.probe.up && (fired || sample.probe.result.cause == Cause::kCancelled)) {
    sample.probe.result.cause = Cause::kTimedOut;
    sample.probe.result.detail = "the scrape's time ended during the exchange";
  }
  {
    std::lock_guard lock(printer.mutex);
    printer.running = nullptr;
    printer.firmware = sample.probe.up ? firmware : std::string();
    sample.firmware = printer.firmware;
    sample.drift_fields = printer.drift;
    std::string state = sample.probe.up ? "up" : std::string(CauseKey(sample.probe.result.cause));
    if (state != printer.state) {
      if (options_.log && (printer.state != "new" || !sample.probe.up)) {
        options_.log(sample.probe.up ? "target " + target.Text + " is up"
                                     : "target " + target.Text + " is down (" + state +
                                           "): " + sample.probe.result.Describe());
      }
      printer.state = std::move(state);
    }
  }
  if (!sample.probe.up) CountFailure(sample.probe);
  return sample;
}

monitor::PrinterSample Prober::Probe(const cli::Target& target, Clock::time_point deadline) {
  const std::shared_ptr<Printer> printer = PrinterOf(target);
  std::unique_lock lock(printer->mutex);
  if (const std::shared_ptr<Flight> flight = printer->flight) {
    lock.unlock();
    {
      std::lock_guard counts(mutex_);
      ++counts_.shared;
    }
    lock.lock();
    if (printer->landed.wait_until(lock, deadline, [&flight] { return flight->done; })) {
      return flight->sample;
    }
    lock.unlock();
    monitor::PrinterSample sample =
        TimedOut(target, "the probe running for another scrape did not end in time");
    CountFailure(sample.probe);
    return sample;
  }
  const auto flight = std::make_shared<Flight>();
  printer->flight = flight;
  lock.unlock();
  monitor::PrinterSample sample = Exchange(target, *printer, deadline);
  lock.lock();
  flight->sample = sample;
  flight->done = true;
  printer->flight.reset();
  printer->landed.notify_all();
  return sample;
}

std::vector<monitor::PrinterSample> Prober::ProbeAll(std::span<const cli::Target* const> targets,
                                                     Clock::time_point deadline) {
  std::vector<monitor::PrinterSample> samples(targets.size());
  std::atomic<std::size_t> next{0};
  std::mutex mutex;
  std::condition_variable ended;
  std::size_t running = std::min(pool_.Size(), targets.size());
  const std::size_t runners = running;
  for (std::size_t r = 0; r < runners; ++r) {
    pool_.Post([&] {
      for (std::size_t i = next++; i < targets.size(); i = next++) {
        samples[i] = Probe(*targets[i], deadline);
      }
      std::lock_guard lock(mutex);
      if (--running == 0) ended.notify_all();
    });
  }
  std::unique_lock lock(mutex);
  ended.wait(lock, [&running] { return running == 0; });
  return samples;
}

bool Prober::ReadDrift(const cli::Target& target, const Configuration& desired) {
  const std::shared_ptr<Printer> printer = PrinterOf(target);
  std::unique_lock line(printer->line);
  if (stopped_) return false;
  std::this_thread::sleep_until(printer->ready_at);
  const std::unique_ptr<Session> session = cli::MakeSession(
      LinkTarget{target.Kind, target.Settings}, options_.links(target), Language::kEnglish);
  {
    std::lock_guard lock(printer->mutex);
    printer->running = session.get();
  }
  const cli::DriftReading read = cli::ReadDrift(*session, desired, Language::kEnglish);
  std::optional<int> count;
  if (!read.failed) count = static_cast<int>(read.changes.size());
  {
    std::lock_guard lock(printer->mutex);
    printer->running = nullptr;
    printer->drift = count;
    if (!read.firmware.empty()) printer->firmware = FirmwareLabel(read.firmware);
  }
  std::lock_guard lock(mutex_);
  ++counts_.drift_readings;
  if (!count) ++counts_.drift_errors;
  return count.has_value();
}

ProbeCounts Prober::Counts() const {
  std::lock_guard lock(mutex_);
  return counts_;
}

}  // namespace krt6::exporter
