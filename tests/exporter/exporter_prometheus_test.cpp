// krt6-exporter end to end: emulated printers (krt6-emulator --control), the exporter on a free
// loopback port, and Debian's prometheus scraping it with contrib/prometheus/prometheus.yml's
// relabeling; promtool on every page the exporter serves; a held serial port; the scrape's
// deadline; one probe of a printer shared by two scrapes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>
#include <yaml-cpp/yaml.h>

#include <future>
#include <nlohmann/json.hpp>

#include "exporter_support.h"
#include "support/loopback.h"
#include "support/temp_dir.h"

namespace krt6::testing {
namespace {

bool Installed(const char* program) { return ::access(program, X_OK) == 0; }

// Emulated printers and an exporter whose fleet file lists them, a refused address and (for the
// drift) a desired configuration that differs from the printers' own in one field.
class ExporterRun {
 public:
  // Without `fleet` the exporter has no fleet file: /metrics probes nothing.
  explicit ExporterRun(const TempDir& dir, std::vector<std::string> emulator_flags = {},
                       bool fleet = true)
      : control_(dir / "control") {
    WriteText(control_, "00\n");
    std::vector<std::string> argv = {BuiltProgram("emulator/krt6-emulator"),
                                     "--tcp",
                                     "127.0.0.1:0",
                                     "--count",
                                     "3",
                                     "--vary",
                                     "--quiet",
                                     "--control",
                                     control_};
    argv.insert(argv.end(), emulator_flags.begin(), emulator_flags.end());
    emulator_ = std::make_unique<ChildProcess>(argv);
    printers = EmulatorAddresses(*emulator_, 3, ChildClock::now() + 20s);
    if (printers.size() != 3) return;
    refused = RefusedTarget();
    WriteText(
        dir / "desired.json",
        R"({"format": "krt6-settings", "version": 1, "lan": {"dhcp_hostname": "ELSEWHERE"}})");
    WriteText(dir / "fleet.yml",
              "targets:\n"
              "  - target: " +
                  printers[0] +
                  "\n"
                  "    labels: {site: hall-a, line: \"3\"}\n"
                  "    config: desired.json\n"
                  "  - target: " +
                  printers[1] +
                  "\n"
                  "    labels: {site: hall-b}\n"
                  "  - target: socket://" +
                  printers[2] +
                  "\n"
                  "  - target: " +
                  refused + "\n");
    std::vector<std::string> exporter = {BuiltProgram("exporter/krt6-exporter"),
                                         "--web.listen-address=127.0.0.1:0", "--drift.interval=1",
                                         "--probe.timeout=5"};
    if (fleet) exporter.push_back("--config.file=" + dir / "fleet.yml");
    exporter_ = std::make_unique<ChildProcess>(exporter);
    port = ExporterPort(*exporter_, ChildClock::now() + 20s);
  }
  bool Ready() const { return printers.size() == 3 && port > 0; }
  std::string Log() const { return exporter_ ? exporter_->Err() : std::string(); }
  void Drain() {
    exporter_->Poll(0ms);
    emulator_->Poll(0ms);
  }
  // Gives printer `n` (from 1) the status characters `code`, through the control file.
  void SetStatus(int n, const std::string& code) {
    WriteText(control_, std::to_string(n) + " " + code + "\n");
    emulator_->Signal(SIGUSR1);
  }
  std::string Probe(const std::string& target, const httplib::Headers& headers = {}) {
    return HttpGet(port, "/probe?target=" + httplib::detail::encode_query_param(target), headers)
        .body;
  }

  std::vector<std::string> printers;
  std::string refused;
  int port = 0;

 private:
  std::string control_;
  std::unique_ptr<ChildProcess> emulator_;
  std::unique_ptr<ChildProcess> exporter_;
};

TEST(ExporterPages, EveryPageIsValidExpositionAndSaysWhatThePrintersSay) {
  if (!Installed(kPromtool)) GTEST_SKIP() << kPromtool << " is not installed";
  TempDir dir;
  ExporterRun run(dir);
  ASSERT_TRUE(run.Ready()) << run.Log();

  const std::string up = run.Probe(run.printers[0]);
  EXPECT_EQ(SeriesValue(up, "krt6_up"), "1") << up;
  EXPECT_EQ(SeriesValue(up, "krt6_status_code"), "1") << up;
  EXPECT_EQ(SeriesValue(up, "krt6_status", {{"status", "on_line"}}), "1") << up;
  EXPECT_EQ(SeriesValue(up, "krt6_status", {{"status", "paper_error"}}), "0") << up;
  EXPECT_EQ(SeriesValue(up, "krt6_info", {{"firmware", "1.0J"}}), "1") << up;
  EXPECT_FALSE(SeriesValue(up, "krt6_probe_duration_seconds").empty()) << up;
  EXPECT_TRUE(SeriesValue(up, "krt6_probe_failure_info").empty()) << up;

  const std::string down = run.Probe(run.refused);
  EXPECT_EQ(SeriesValue(down, "krt6_up"), "0") << down;
  EXPECT_EQ(SeriesValue(down, "krt6_probe_failure_info", {{"cause", "refused"}}), "1") << down;
  EXPECT_TRUE(SeriesValue(down, "krt6_status_code").empty()) << down;
  EXPECT_TRUE(SeriesValue(down, "krt6_status").empty()) << down;

  // The drift reader runs at start and every second: printer 1's host name is not ELSEWHERE.
  std::string fleet;
  for (auto until = ChildClock::now() + 20s; ChildClock::now() < until;) {
    fleet = HttpGet(run.port, "/metrics").body;
    if (!SeriesValue(fleet, "krt6_config_drift_fields").empty()) break;
    std::this_thread::sleep_for(100ms);
  }
  EXPECT_EQ(SeriesValue(fleet, "krt6_config_drift_fields",
                        {{"target", run.printers[0]}, {"site", "hall-a"}, {"line", "3"}}),
            "1")
      << fleet;
  EXPECT_EQ(SeriesValue(fleet, "krt6_up", {{"target", run.printers[1]}, {"site", "hall-b"}}), "1");
  EXPECT_EQ(SeriesValue(fleet, "krt6_up", {{"target", "socket://" + run.printers[2]}}), "1");
  EXPECT_EQ(SeriesValue(fleet, "krt6_up", {{"target", run.refused}}), "0");
  EXPECT_EQ(SeriesValue(fleet, "krt6_exporter_fleet_targets"), "4");
  EXPECT_EQ(SeriesValue(fleet, "krt6_exporter_build_info"), "1");
  EXPECT_FALSE(
      SeriesValue(fleet, "krt6_exporter_probe_errors_total", {{"cause", "refused"}}).empty());
  EXPECT_FALSE(SeriesValue(fleet, "process_resident_memory_bytes").empty());

  for (const std::string* page : std::vector<const std::string*>{&up, &down, &fleet}) {
    const ProgramRun check = PromtoolCheck(*page, dir.path());
    EXPECT_EQ(check.Status, 0) << check.Out << check.Err << *page;
  }
  const HttpReply landing = HttpGet(run.port, "/");
  EXPECT_EQ(landing.status, 200);
  EXPECT_NE(landing.body.find("/probe?target="), std::string::npos);
  const HttpReply bad =
      HttpGet(run.port, "/probe?target=" + httplib::detail::encode_query_param("serial:"));
  EXPECT_EQ(bad.status, 400) << bad.body;
  EXPECT_EQ(HttpGet(run.port, "/probe").status, 400);
}

TEST(ExporterPages, AHeldSerialPortIsBusyAndStaysTheOtherProgramsAlone) {
  TempDir dir;
  ExporterRun run(dir);
  ASSERT_TRUE(run.Ready()) << run.Log();
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const std::string device = ::ptsname(master);
  // Another program's hold on the line, as krt6ctl and the window take it.
  const int held = ::open(device.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
  const std::string page = run.Probe("serial:" + device);
  EXPECT_EQ(SeriesValue(page, "krt6_up"), "0") << page;
  EXPECT_EQ(SeriesValue(page, "krt6_probe_failure_info", {{"cause", "busy"}}), "1") << page;
  ::close(held);
  // Free, the line is opened, the query goes out and nothing answers: the scrape's deadline ends
  // the probe, and the exporter holds nothing of the line afterwards.
  const std::string silent =
      run.Probe("serial:" + device, {{"X-Prometheus-Scrape-Timeout-Seconds", "1"}});
  EXPECT_EQ(SeriesValue(silent, "krt6_probe_failure_info", {{"cause", "timeout"}}), "1") << silent;
  char sent[64];
  EXPECT_GT(::read(master, sent, sizeof sent), 0) << "no status query reached the line";
  const int again = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(again, 0);
  EXPECT_EQ(::flock(again, LOCK_EX | LOCK_NB), 0) << "the exporter kept the port after its probe";
  ::close(again);
  ::close(master);
}

TEST(ExporterPages, AProbePastTheScrapesDeadlineIsCancelledAndTwoScrapesShareOneProbe) {
  TempDir dir;
  ExporterRun run(dir, {"--delay", "700"}, false);  // within the link's one-second wait
  ASSERT_TRUE(run.Ready()) << run.Log();

  // The printer answers after 0.7 s, inside the link's own wait: a probe that was not cancelled
  // at the 0.2 s deadline would come back up.
  const std::string late =
      run.Probe(run.printers[1], {{"X-Prometheus-Scrape-Timeout-Seconds", "0.2"}});
  EXPECT_EQ(SeriesValue(late, "krt6_up"), "0") << "the probe was not cancelled: " << late;
  EXPECT_EQ(SeriesValue(late, "krt6_probe_failure_info", {{"cause", "timeout"}}), "1") << late;

  const auto counter = [&run](const std::string& name) {
    const std::string value = SeriesValue(HttpGet(run.port, "/metrics?x").body, name);
    return value.empty() ? -1.0 : std::stod(value);
  };
  // Without a fleet file the page of the counters probes nothing itself.
  const double probes = counter("krt6_exporter_probes_total");
  const double shared = counter("krt6_exporter_probes_shared_total");
  const httplib::Headers long_wait = {{"X-Prometheus-Scrape-Timeout-Seconds", "8"}};
  auto first =
      std::async(std::launch::async, [&] { return run.Probe(run.printers[1], long_wait); });
  std::this_thread::sleep_for(300ms);
  auto second =
      std::async(std::launch::async, [&] { return run.Probe(run.printers[1], long_wait); });
  const std::string a = first.get();
  const std::string b = second.get();
  EXPECT_EQ(SeriesValue(a, "krt6_up"), "1") << a;
  EXPECT_EQ(SeriesValue(b, "krt6_up"), "1") << b;
  EXPECT_EQ(SeriesValue(a, "krt6_probe_duration_seconds"),
            SeriesValue(b, "krt6_probe_duration_seconds"));
  EXPECT_EQ(counter("krt6_exporter_probes_shared_total") - shared, 1);
  EXPECT_EQ(counter("krt6_exporter_probes_total") - probes, 1);
}

TEST(ExporterProgram, EachWrongStartEndsWithItsStatusAndSaysWhy) {
  TempDir dir;
  WriteText(dir / "bad.yml", "targets:\n  - target: 192.0.2.1\n    labels: {job: x}\n");
  struct Case {
    std::vector<std::string> flags;
    int status;
    std::string says;  // on stdout for 0, on stderr otherwise
  };
  for (const Case& c : std::vector<Case>{
           {{"--version"}, 0, "krt6-exporter 0."},
           {{"--help"}, 0, "--web.listen-address=HOST:PORT"},
           {{"--web.listen-addres=127.0.0.1:1"}, 2, "unknown flag --web.listen-addres"},
           {{"--probe.timeout=0"}, 2, "--probe.timeout: '0'"},
           {{"--config.file=" + dir / "bad.yml"},
            2,
            dir / "bad.yml" + ":3: targets[0].labels.job: "},
           {{"--config.file=" + dir / "none.yml"}, 1, dir / "none.yml"},
       }) {
    std::vector<std::string> argv = {BuiltProgram("exporter/krt6-exporter")};
    argv.insert(argv.end(), c.flags.begin(), c.flags.end());
    const ProgramRun run = RunProgram(argv, 20s);
    EXPECT_EQ(run.Status, c.status) << c.flags[0] << run.Err;
    EXPECT_NE((c.status == 0 ? run.Out : run.Err).find(c.says), std::string::npos)
        << c.flags[0] << ": " << run.Out << run.Err;
  }
  // A port already taken: exit status 1, after saying so.
  ExporterRun run(dir, {}, false);
  ASSERT_TRUE(run.Ready()) << run.Log();
  const ProgramRun taken =
      RunProgram({BuiltProgram("exporter/krt6-exporter"),
                  "--web.listen-address=127.0.0.1:" + std::to_string(run.port)},
                 20s);
  EXPECT_EQ(taken.Status, 1) << taken.Err;
  EXPECT_NE(taken.Err.find("cannot listen on 127.0.0.1:" + std::to_string(run.port)),
            std::string::npos)
      << taken.Err;
}

// Prometheus's config from the example's: its relabeling as it is, the printers and the
// exporter's address put in, a one-second scrape, no rule files.
std::string PrometheusConfig(const std::vector<std::string>& printers,
                             const std::string& exporter) {
  YAML::Node config = YAML::LoadFile(KRT6_SOURCE_DIR "/contrib/prometheus/prometheus.yml");
  config["global"]["scrape_interval"] = "1s";
  config["global"]["scrape_timeout"] = "1s";
  config.remove("rule_files");
  bool relabeled = false;
  for (YAML::Node job : config["scrape_configs"]) {
    if (job["job_name"].as<std::string>() == "krt6") {
      job["static_configs"][0]["targets"] = printers;
      for (YAML::Node rule : job["relabel_configs"]) {
        if (rule["replacement"] && rule["replacement"].as<std::string>() == "127.0.0.1:10106") {
          rule["replacement"] = exporter;
          relabeled = true;
        }
      }
    } else {
      job["static_configs"][0]["targets"] = std::vector<std::string>{exporter};
    }
  }
  EXPECT_TRUE(relabeled) << "the example sends no scrape to the exporter's address";
  YAML::Emitter out;
  out << config;
  return out.c_str();
}

// The instances of the query's result with their values.
std::map<std::string, std::string> Query(int port, const std::string& query) {
  std::map<std::string, std::string> values;
  const HttpReply reply =
      HttpGet(port, "/api/v1/query?query=" + httplib::detail::encode_query_param(query), {}, 5s);
  if (reply.status != 200) return values;
  const auto document = nlohmann::json::parse(reply.body, nullptr, false);
  if (document.is_discarded() || !document.contains("data")) return values;
  for (const auto& series : document["data"]["result"]) {
    values[series["metric"].value("instance", "")] = series["value"][1].get<std::string>();
  }
  return values;
}

TEST(ExporterWithPrometheus, ThePrintersAndAPaperEndReachPrometheus) {
  if (!Installed(kPrometheus)) GTEST_SKIP() << kPrometheus << " is not installed";
  TempDir dir;
  ExporterRun run(dir);
  ASSERT_TRUE(run.Ready()) << run.Log();
  const int web = ClosedLoopbackPort();
  ASSERT_GT(web, 0);
  WriteText(dir / "prometheus.yml",
            PrometheusConfig(run.printers, "127.0.0.1:" + std::to_string(run.port)));
  ::mkdir((dir / "data").c_str(), 0755);
  ChildProcess prometheus({kPrometheus, "--config.file=" + dir / "prometheus.yml",
                           "--storage.tsdb.path=" + dir / "data",
                           "--web.listen-address=127.0.0.1:" + std::to_string(web)});
  ASSERT_TRUE(prometheus.Started());

  const auto wait_for = [&](const std::string& query,
                            const std::map<std::string, std::string>& want) {
    std::map<std::string, std::string> seen;
    for (auto until = ChildClock::now() + 60s; ChildClock::now() < until;) {
      seen = Query(web, query);
      if (seen == want) return seen;
      prometheus.Poll(200ms);
      run.Drain();
    }
    return seen;
  };
  std::map<std::string, std::string> every;
  for (const std::string& printer : run.printers) every[printer] = "1";
  EXPECT_EQ(wait_for(R"(krt6_up{job="krt6"})", every), every) << prometheus.Err();
  EXPECT_EQ(wait_for(R"(krt6_status{job="krt6",status="on_line"} == 1)", every), every);
  std::map<std::string, std::string> codes = every;  // StatusIndex 1: ON LINE
  EXPECT_EQ(wait_for(R"(krt6_status_code{job="krt6"})", codes), codes);

  run.SetStatus(2, "13");  // printer 2's paper end
  const std::map<std::string, std::string> paper_end = {{run.printers[1], "1"}};
  EXPECT_EQ(wait_for(R"(krt6_status{job="krt6",status="paper_error"} == 1)", paper_end), paper_end);
  codes[run.printers[1]] = "10";
  EXPECT_EQ(wait_for(R"(krt6_status_code{job="krt6"})", codes), codes);
  // The exporter's own job carries the fleet's printers with their labels.
  const std::map<std::string, std::string> fleet_up = {{"", "3"}};
  EXPECT_EQ(wait_for(R"(count(krt6_up{job="krt6-exporter",target!=""} == 1))", fleet_up), fleet_up);
  const std::map<std::string, std::string> hall_a = {
      {"127.0.0.1:" + std::to_string(run.port), "1"}};
  EXPECT_EQ(wait_for(R"(krt6_up{job="krt6-exporter",site="hall-a",line="3"})", hall_a), hall_a);
  prometheus.Signal(SIGTERM);
  EXPECT_EQ(prometheus.Wait(ChildClock::now() + 30s), 0) << prometheus.Err();
}

}  // namespace
}  // namespace krt6::testing
