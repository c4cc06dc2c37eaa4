// krt6-exporter-bench: krt6-exporter scraping a fleet of emulated printers (one krt6-emulator
// --count N, one fleet file): the wall time of a /metrics scrape, the exporter's processor time
// per scrape (from /proc/PID/stat), its resident memory over the scrapes (first and last), and
// a /probe of one printer against a bare status exchange with it (a session in this process).
//
//   krt6-exporter-bench [--count 1000] [--scrapes 1000] [--probes 1000]
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <httplib.h>

#include "cli/fleet.h"
#include "cli/sessions.h"
#include "cli/target.h"
#include "support/child_process.h"

namespace {

using Clock = std::chrono::steady_clock;
using krt6::testing::BuiltProgram;
using krt6::testing::ChildProcess;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// utime + stime of `pid`, in seconds.
double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), {});
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::vector<std::string> f;
  for (std::string part; fields >> part;) f.push_back(part);
  if (f.size() < 13) return 0;
  return (std::atof(f[11].c_str()) + std::atof(f[12].c_str())) /
         static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// VmRSS of `pid` in KiB.
long RssKiB(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("VmRSS:")) return std::atol(line.c_str() + 6);
  }
  return 0;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The printers a fleet page calls up.
int UpCount(const std::string& page) {
  int up = 0;
  for (std::size_t at = page.find("\nkrt6_up{"); at != std::string::npos;
       at = page.find("\nkrt6_up{", at + 1)) {
    const std::size_t end = page.find('\n', at + 1);
    up += page.compare(end - 2, 2, " 1") == 0;
  }
  return up;
}

int Flag(int argc, char** argv, const std::string& name, int fallback) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (argv[i] == name) return std::atoi(argv[i + 1]);
  }
  return fallback;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = Flag(argc, argv, "--count", 1000);
  const int scrapes = Flag(argc, argv, "--scrapes", 1000);
  const int probes = Flag(argc, argv, "--probes", 1000);

  ChildProcess emulator({BuiltProgram("emulator/krt6-emulator"), "--tcp", "127.0.0.1:0", "--count",
                         std::to_string(count), "--vary", "--quiet"});
  if (!emulator.ReadLines(static_cast<std::size_t>(count),
                          Clock::now() + std::chrono::seconds(60))) {
    std::fprintf(stderr, "the emulator did not serve %d printers: %s\n", count,
                 emulator.Err().c_str());
    return 1;
  }
  std::vector<std::string> addresses;
  std::istringstream lines(emulator.Out());
  for (std::string line; std::getline(lines, line);) addresses.push_back(line);
  char folder[] = "/tmp/krt6-exporter-bench-XXXXXX";
  if (::mkdtemp(folder) == nullptr) return 1;
  const std::string fleet = std::string(folder) + "/fleet.yml";
  {
    std::ofstream out(fleet);
    out << "targets:\n";
    for (std::size_t i = 0; i < addresses.size(); ++i) {
      out << "  - target: " << addresses[i] << "\n    labels: {site: hall-" << i % 7 << "}\n";
    }
  }
  ChildProcess exporter({BuiltProgram("exporter/krt6-exporter"), "--web.listen-address=127.0.0.1:0",
                         "--config.file=" + fleet});
  int port = 0;
  const std::string listening = "listening on 127.0.0.1:";
  for (auto until = Clock::now() + std::chrono::seconds(20); port == 0 && Clock::now() < until;) {
    const std::string& err = exporter.Err();
    const std::size_t at = err.find(listening);
    const std::size_t end = at == std::string::npos ? at : err.find('\n', at);
    if (end != std::string::npos) {
      port = std::atoi(err.c_str() + at + listening.size());
    } else {
      exporter.Poll(std::chrono::milliseconds(50));
    }
  }
  if (port == 0) {
    std::fprintf(stderr, "the exporter did not start: %s\n", exporter.Err().c_str());
    return 1;
  }
  httplib::Client client("127.0.0.1", port);
  client.set_read_timeout(std::chrono::seconds(30));
  const httplib::Headers timeout = {{"X-Prometheus-Scrape-Timeout-Seconds", "10"}};

  // The first scrape also reads every printer's firmware once.
  auto start = Clock::now();
  auto first = client.Get("/metrics", timeout);
  const double first_ms = Ms(Clock::now() - start);
  if (!first || first->body.find("krt6_up{") == std::string::npos) {
    std::fprintf(stderr, "the first scrape failed\n");
    return 1;
  }
  const auto up = static_cast<int>(std::count(first->body.begin(), first->body.end(), '\n'));
  const long rss_first = RssKiB(exporter.Pid());
  const double cpu_before = CpuSeconds(exporter.Pid());
  std::vector<double> walls;
  long rss_max = rss_first;
  std::vector<long> rss_steps;  // after each tenth of the scrapes
  int down = 0;
  for (int i = 0; i < scrapes; ++i) {
    start = Clock::now();
    auto page = client.Get("/metrics", timeout);
    walls.push_back(Ms(Clock::now() - start));
    if (!page)
      ++down;
    else
      down += count - UpCount(page->body);
    rss_max = std::max(rss_max, RssKiB(exporter.Pid()));
    if ((i + 1) % std::max(1, scrapes / 10) == 0) rss_steps.push_back(RssKiB(exporter.Pid()));
    exporter.Poll(std::chrono::milliseconds(0));
  }
  const double cpu_per_scrape = (CpuSeconds(exporter.Pid()) - cpu_before) / std::max(1, scrapes);
  const long rss_last = RssKiB(exporter.Pid());

  // /probe of one printer against a bare status exchange with it.
  auto parsed = krt6::cli::ParseTarget(addresses[0]);
  const auto target = std::get<krt6::cli::Target>(parsed);
  std::vector<double> bare, probed;
  for (int i = 0; i < probes; ++i) {
    start = Clock::now();
    auto session =
        krt6::cli::MakeSession({target.Kind, target.Settings}, krt6::cli::LinkOptionsFor(target),
                               krt6::Language::kEnglish);
    const bool ok = session->ReadStatus().Ok();
    bare.push_back(Ms(Clock::now() - start));
    start = Clock::now();
    auto page = client.Get("/probe?target=" + addresses[0], timeout);
    probed.push_back(Ms(Clock::now() - start));
    if (!ok || !page || page->body.find("krt6_up 1") == std::string::npos) ++down;
  }
  std::printf("printers: %d, /metrics page of %d lines\n", count, up);
  std::printf("first scrape (with the firmware reads): %.1f ms\n", first_ms);
  std::printf("scrape of %d printers: median %.1f ms, max %.1f ms over %d scrapes\n", count,
              Median(walls), *std::max_element(walls.begin(), walls.end()), scrapes);
  std::printf("exporter CPU per scrape: %.4f s\n", cpu_per_scrape);
  std::printf(
      "exporter RSS: %ld KiB after the first scrape, %ld KiB after the last, %ld KiB at most\n",
      rss_first, rss_last, rss_max);
  std::printf("exporter RSS after each tenth of the scrapes (KiB):");
  for (const long kib : rss_steps) std::printf(" %ld", kib);
  std::printf("\n");
  std::printf(
      "one printer: bare status exchange median %.3f ms, /probe median %.3f ms (adds %.3f ms)\n",
      Median(bare), Median(probed), Median(probed) - Median(bare));
  std::printf("failed scrapes or printers down: %d\n", down);
  exporter.Signal(SIGTERM);
  exporter.Wait(Clock::now() + std::chrono::seconds(10));
  emulator.Signal(SIGTERM);
  emulator.Wait(Clock::now() + std::chrono::seconds(10));
  std::remove(fleet.c_str());
  ::rmdir(folder);
  return down == 0 ? 0 : 1;
}
