#include "exporter/server.h"

#include <dirent.h>
#include <httplib.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#ifndef KRT6_VERSION
#define KRT6_VERSION "0"
#endif

namespace krt6::exporter {
namespace {

std::mutex log_mutex;  // one line at a time on stderr

constexpr std::size_t kServingThreads = 128;

std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c == '\n' ? ' ' : c;
  }
  return quoted + '"';
}

// The process's standard families, from /proc/self.
void ProcessFamilies(monitor::Exposition& page) {
  std::ifstream stat_file("/proc/self/stat");
  std::string stat((std::istreambuf_iterator<char>(stat_file)), {});
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos) return;
  std::istringstream fields(stat.substr(close + 2));
  std::vector<std::string> field;
  for (std::string part; fields >> part;) field.push_back(part);
  // From the state (field 3), so field N of proc(5) is field[N - 3].
  if (field.size() < 22) return;
  const double ticks = static_cast<double>(::sysconf(_SC_CLK_TCK));
  const double cpu =
      (std::strtod(field[11].c_str(), nullptr) + std::strtod(field[12].c_str(), nullptr)) / ticks;
  const double start_ticks = std::strtod(field[19].c_str(), nullptr);
  const double vsize = std::strtod(field[20].c_str(), nullptr);
  const double rss =
      std::strtod(field[21].c_str(), nullptr) * static_cast<double>(::sysconf(_SC_PAGESIZE));
  double boot = 0;
  std::ifstream system_stat("/proc/stat");
  for (std::string line; std::getline(system_stat, line);) {
    if (line.starts_with("btime ")) boot = std::strtod(line.c_str() + 6, nullptr);
  }
  double fds = 0;
  if (DIR* folder = ::opendir("/proc/self/fd")) {
    while (const dirent* entry = ::readdir(folder)) fds += entry->d_name[0] != '.';
    ::closedir(folder);
    fds -= 1;  // the folder's own descriptor
  }
  page.Family("process_cpu_seconds_total", "counter",
              "Total user and system CPU time spent in seconds.");
  page.Sample("process_cpu_seconds_total", {}, cpu);
  page.Family("process_resident_memory_bytes", "gauge", "Resident memory size in bytes.");
  page.Sample("process_resident_memory_bytes", {}, rss);
  page.Family("process_virtual_memory_bytes", "gauge", "Virtual memory size in bytes.");
  page.Sample("process_virtual_memory_bytes", {}, vsize);
  page.Family("process_start_time_seconds", "gauge",
              "Start time of the process since unix epoch in seconds.");
  page.Sample("process_start_time_seconds", {}, boot + start_ticks / ticks);
  page.Family("process_open_fds", "gauge", "Number of open file descriptors.");
  page.Sample("process_open_fds", {}, fds);
}

const char kLanding[] =
    "<!DOCTYPE html>\n<html><head><title>krt6-exporter</title></head><body>\n"
    "<h1>krt6-exporter</h1>\n"
    "<p>Prometheus exporter for K-RT6 label printers.</p>\n"
    "<ul><li><a href=\"metrics\">/metrics</a>: the exporter's own metrics and its fleet's "
    "printers</li>\n"
    "<li>/probe?target=URI: one printer, the target written as for krt6ctl (HOST:PORT, "
    "serial:DEVICE, usb:...)</li></ul>\n"
    "</body></html>\n";

}  // namespace

void Log(const std::string& level, const std::string& message) {
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  ::gmtime_r(&now, &utc);
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
  std::lock_guard lock(log_mutex);
  std::fprintf(stderr, "ts=%s level=%s msg=%s\n", stamp, level.c_str(), Quoted(message).c_str());
  std::fflush(stderr);
}

Clock::time_point ScrapeDeadline(const std::string& header, double fallback,
                                 Clock::time_point now) {
  double seconds = fallback;
  if (!header.empty()) {
    char* end = nullptr;
    const double given = std::strtod(header.c_str(), &end);
    if (end != header.c_str() && *end == '\0' && std::isfinite(given) && given > 0) seconds = given;
  }
  seconds -= std::min(0.5, seconds / 10);
  return now + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

Exporter::Exporter(Flags flags, Fleet fleet, ProberOptions options)
    : flags_(std::move(flags)),
      fleet_(std::move(fleet)),
      prober_([&options] {
        if (!options.log) options.log = [](const std::string& line) { Log("warn", line); };
        return std::move(options);
      }()),
      server_(std::make_unique<httplib::Server>()) {
  for (const FleetTarget& entry : fleet_.targets) fleet_targets_.push_back(&entry.target);
  Route();
}

Exporter::~Exporter() {
  Stop();
  if (drift_.joinable()) drift_.join();
}

void Exporter::Route() {
  // Scrapes served at once: a /probe of a printer that does not answer holds one until its
  // deadline, so there are many.
  server_->new_task_queue = [] { return new httplib::ThreadPool(kServingThreads); };
  server_->set_keep_alive_timeout(2);
  // SO_REUSEADDR alone: the library's default adds SO_REUSEPORT, with which a second exporter
  // would share the port of a running one instead of failing to listen.
  server_->set_socket_options([](socket_t sock) {
    int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  server_->Get("/", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(kLanding, "text/html; charset=utf-8");
  });
  server_->Get("/probe", [this](const httplib::Request& request, httplib::Response& response) {
    const auto deadline =
        ScrapeDeadline(request.get_header_value("X-Prometheus-Scrape-Timeout-Seconds"),
                       flags_.probe_timeout, Clock::now());
    if (!request.has_param("target")) {
      ++bad_requests_;
      response.status = 400;
      response.set_content("the target parameter is missing: /probe?target=URI\n", "text/plain");
      return;
    }
    auto parsed = cli::ParseTarget(request.get_param_value("target"));
    if (auto* why = std::get_if<std::string>(&parsed)) {
      ++bad_requests_;
      response.status = 400;
      response.set_content(*why + "\n", "text/plain");
      return;
    }
    ++probe_scrapes_;
    response.set_content(ProbePage(std::get<cli::Target>(parsed), deadline),
                         std::string(monitor::kExpositionContentType));
  });
  server_->Get("/metrics", [this](const httplib::Request& request, httplib::Response& response) {
    const auto deadline =
        ScrapeDeadline(request.get_header_value("X-Prometheus-Scrape-Timeout-Seconds"),
                       flags_.probe_timeout, Clock::now());
    ++metrics_scrapes_;
    // A fleet's page is large: it is handed out from where it was made, not copied.
    auto page = std::make_shared<const std::string>(MetricsPage(deadline));
    response.set_content_provider(
        page->size(), std::string(monitor::kExpositionContentType),
        [page](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
          return sink.write(page->data() + offset, length);
        });
  });
}

std::string Exporter::ProbePage(const cli::Target& target, Clock::time_point deadline) {
  return monitor::RenderPrinter(prober_.Probe(target, deadline));
}

std::string Exporter::MetricsPage(Clock::time_point deadline) {
  std::vector<monitor::FleetPrinter> printers;
  if (!fleet_targets_.empty()) {
    std::vector<monitor::PrinterSample> samples = prober_.ProbeAll(fleet_targets_, deadline);
    printers.reserve(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
      const FleetTarget& entry = fleet_.targets[i];
      printers.push_back({entry.target.Text, entry.labels, std::move(samples[i])});
    }
  }
  const ProbeCounts counts = prober_.Counts();
  monitor::Exposition page;
  page.Family("krt6_exporter_build_info", "gauge", "The exporter's version.");
  page.Sample("krt6_exporter_build_info", {{"version", KRT6_VERSION}}, 1);
  page.Family("krt6_exporter_scrapes_total", "counter", "Scrapes served, by endpoint.");
  page.Sample("krt6_exporter_scrapes_total", {{"endpoint", "probe"}},
              static_cast<double>(probe_scrapes_.load()));
  page.Sample("krt6_exporter_scrapes_total", {{"endpoint", "metrics"}},
              static_cast<double>(metrics_scrapes_.load()));
  page.Family("krt6_exporter_bad_requests_total", "counter",
              "Probe requests refused: no target, or one that names no printer.");
  page.Sample("krt6_exporter_bad_requests_total", {}, static_cast<double>(bad_requests_.load()));
  page.Family("krt6_exporter_probes_total", "counter", "Status exchanges started with printers.");
  page.Sample("krt6_exporter_probes_total", {}, static_cast<double>(counts.probes));
  page.Family("krt6_exporter_probes_shared_total", "counter",
              "Probes that waited for the same printer's running probe and shared its result.");
  page.Sample("krt6_exporter_probes_shared_total", {}, static_cast<double>(counts.shared));
  page.Family("krt6_exporter_probe_errors_total", "counter", "Failed probes, by cause.");
  for (const auto& [cause, count] : counts.errors) {
    page.Sample("krt6_exporter_probe_errors_total", {{"cause", cause}}, static_cast<double>(count));
  }
  page.Family("krt6_exporter_fleet_targets", "gauge", "Printers of the fleet file.");
  page.Sample("krt6_exporter_fleet_targets", {}, static_cast<double>(fleet_targets_.size()));
  page.Family("krt6_exporter_drift_readings_total", "counter",
              "Readings of printers with a desired configuration.");
  page.Sample("krt6_exporter_drift_readings_total", {}, static_cast<double>(counts.drift_readings));
  page.Family("krt6_exporter_drift_errors_total", "counter",
              "Readings of printers with a desired configuration that failed.");
  page.Sample("krt6_exporter_drift_errors_total", {}, static_cast<double>(counts.drift_errors));
  ProcessFamilies(page);
  monitor::RenderFleet(printers, page);
  return page.Take();
}

bool Exporter::Bind(std::string& error) {
  if (flags_.listen_port == 0) {
    port_ = server_->bind_to_any_port(flags_.listen_host);
  } else {
    port_ = server_->bind_to_port(flags_.listen_host, flags_.listen_port) ? flags_.listen_port : -1;
  }
  if (port_ <= 0) {
    error = "cannot listen on " + flags_.listen_host + ":" + std::to_string(flags_.listen_port);
    return false;
  }
  return true;
}

void Exporter::Serve() {
  bool drifting = false;
  for (const FleetTarget& entry : fleet_.targets) drifting = drifting || entry.desired.has_value();
  if (drifting) drift_ = std::thread([this] { DriftLoop(); });
  const std::string host = flags_.listen_host.find(':') != std::string::npos
                               ? "[" + flags_.listen_host + "]"
                               : flags_.listen_host;
  Log("info", "listening on " + host + ":" + std::to_string(port_));
  server_->listen_after_bind();
}

void Exporter::Stop() {
  {
    std::lock_guard lock(drift_mutex_);
    stopping_ = true;
  }
  drift_wake_.notify_all();
  prober_.Stop();
  server_->stop();
}

void Exporter::DriftLoop() {
  const auto interval = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(flags_.drift_interval));
  std::unique_lock lock(drift_mutex_);
  while (!stopping_) {
    const auto next = Clock::now() + interval;
    lock.unlock();
    for (const FleetTarget& entry : fleet_.targets) {
      if (!entry.desired) continue;
      {
        std::lock_guard check(drift_mutex_);
        if (stopping_) return;
      }
      if (!prober_.ReadDrift(entry.target, *entry.desired)) {
        Log("warn", "target " + entry.target.Text + ": the drift reading failed");
      }
    }
    lock.lock();
    drift_wake_.wait_until(lock, next, [this] { return stopping_; });
  }
}

}  // namespace krt6::exporter
