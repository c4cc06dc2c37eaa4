// krt6-exporter's HTTP side: /probe?target=URI (one printer), /metrics (the exporter's own
// metrics and the fleet's printers), / (a landing page); and the fleet's drift reader.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "exporter/flags.h"
#include "exporter/fleet_file.h"
#include "exporter/prober.h"

namespace httplib {
class Server;
}

namespace krt6::exporter {

// A log line on stderr: "ts=... level=LEVEL msg=\"...\"".
void Log(const std::string& level, const std::string& message);

// When a scrape's probes must end: the scrape's own limit (X-Prometheus-Scrape-Timeout-Seconds,
// when it is a positive number) or `fallback` seconds, less a margin (a tenth, at most half a
// second) so that the page reaches the scraper in time.
Clock::time_point ScrapeDeadline(const std::string& header, double fallback, Clock::time_point now);

// The exporter's own families and the process's standard ones.
struct OwnCounts {
  std::uint64_t probe_scrapes = 0;
  std::uint64_t metrics_scrapes = 0;
  std::uint64_t bad_requests = 0;
};

class Exporter {
 public:
  Exporter(Flags flags, Fleet fleet, ProberOptions options = {});
  ~Exporter();
  Exporter(const Exporter&) = delete;
  Exporter& operator=(const Exporter&) = delete;

  // Binds the listening address; false (with the reason in `error`) when it cannot. Port 0 gets
  // one from the system: Port() tells which.
  bool Bind(std::string& error);
  int Port() const { return port_; }
  // Serves until Stop (from any thread, or a signal handler's thread).
  void Serve();
  void Stop();

  // The pages, for the handlers and the tests.
  std::string ProbePage(const cli::Target& target, Clock::time_point deadline);
  std::string MetricsPage(Clock::time_point deadline);

 private:
  void Route();
  void DriftLoop();

  Flags flags_;
  Fleet fleet_;
  std::vector<const cli::Target*> fleet_targets_;
  Prober prober_;
  std::unique_ptr<httplib::Server> server_;
  int port_ = 0;
  std::atomic<std::uint64_t> probe_scrapes_{0}, metrics_scrapes_{0}, bad_requests_{0};
  std::mutex drift_mutex_;
  std::condition_variable drift_wake_;
  bool stopping_ = false;
  std::thread drift_;
};

}  // namespace krt6::exporter
