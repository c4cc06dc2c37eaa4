// The exposition pages (monitor/metrics), the exporter's flags, its fleet file's refusals and
// the scrape deadline, in the process.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <map>

#include "exporter/flags.h"
#include "exporter/fleet_file.h"
#include "exporter/server.h"
#include "monitor/metrics.h"
#include "monitor/status_levels.h"
#include "support/temp_dir.h"

namespace krt6 {
namespace {

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

monitor::PrinterSample Up(int index) {
  monitor::PrinterSample sample;
  sample.probe.up = true;
  sample.probe.status_index = index;
  sample.probe.seconds = 0.25;
  return sample;
}

monitor::PrinterSample Down(Cause cause) {
  monitor::PrinterSample sample;
  sample.probe.result.code = kPortOpenError;
  sample.probe.result.cause = cause;
  sample.probe.seconds = 1.5;
  return sample;
}

TEST(Metrics, ValuesAndLabelsAreWrittenAsTheExpositionReadsThem) {
  struct Case {
    double value;
    const char* text;
  };
  // A decimal comma locale must not reach the page.
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  for (const Case& c : {Case{0, "0"}, Case{1, "1"}, Case{10, "10"}, Case{0.25, "0.25"},
                        Case{1e-05, "1e-05"}, Case{123456789, "123456789"}, Case{-2.5, "-2.5"},
                        Case{std::numeric_limits<double>::quiet_NaN(), "NaN"},
                        Case{std::numeric_limits<double>::infinity(), "+Inf"},
                        Case{-std::numeric_limits<double>::infinity(), "-Inf"}}) {
    EXPECT_EQ(monitor::FormatValue(c.value), c.text) << c.value;
  }
  std::setlocale(LC_NUMERIC, "C");
  EXPECT_EQ(monitor::EscapeLabelValue(R"(a"b\c)"
                                      "\n"
                                      "d"),
            R"(a\"b\\c\nd)");
  for (const char* good : {"site", "_x", "line3", "A_b"})
    EXPECT_TRUE(monitor::ValidLabelName(good)) << good;
  for (const char* bad : {"", "3line", "__name", "a-b", "a.b", "ä"}) {
    EXPECT_FALSE(monitor::ValidLabelName(bad)) << bad;
  }
}

TEST(Metrics, APrinterPageHasEachFamilyOnceAndOneStatusSet) {
  monitor::PrinterSample up = Up(10);  // Paper Error
  up.firmware = "1.0J";
  up.drift_fields = 2;
  const std::string page = monitor::RenderPrinter(up);
  EXPECT_NE(page.find("krt6_up 1\n"), std::string::npos) << page;
  EXPECT_NE(page.find("krt6_status_code 10\n"), std::string::npos);
  EXPECT_NE(page.find("krt6_status{status=\"paper_error\"} 1\n"), std::string::npos);
  EXPECT_EQ(Count(page, "krt6_status{"), monitor::StatusRows().size());
  EXPECT_EQ(Count(page, "} 1\n"), 2u);  // the status set's one and krt6_info
  EXPECT_NE(page.find("krt6_info{firmware=\"1.0J\"} 1\n"), std::string::npos);
  EXPECT_NE(page.find("krt6_probe_duration_seconds 0.25\n"), std::string::npos);
  EXPECT_NE(page.find("krt6_config_drift_fields 2\n"), std::string::npos);
  EXPECT_EQ(page.find("krt6_probe_failure_info"), std::string::npos);
  // A code outside the table is the "unknown" row.
  EXPECT_NE(monitor::RenderPrinter(Up(99)).find("krt6_status{status=\"unknown\"} 1\n"),
            std::string::npos);

  const std::string down = monitor::RenderPrinter(Down(Cause::kRefused));
  EXPECT_NE(down.find("krt6_up 0\n"), std::string::npos) << down;
  EXPECT_NE(down.find("krt6_probe_failure_info{cause=\"refused\"} 1\n"), std::string::npos);
  for (const char* absent :
       {"krt6_status_code", "krt6_status{", "krt6_info", "krt6_config_drift"}) {
    EXPECT_EQ(down.find(absent), std::string::npos) << absent;
  }
  EXPECT_NE(monitor::RenderPrinter(Down(Cause::kNone)).find("{cause=\"other\"}"),
            std::string::npos);
}

TEST(Metrics, AFleetPageGroupsEachFamilyWithTargetAndLabelsOnEverySeries) {
  std::vector<monitor::FleetPrinter> fleet = {
      {"192.0.2.10:9100", {{"site", "hall \"a\""}, {"line", "3"}}, Up(1)},
      {"serial:/dev/ttyUSB0", {}, Down(Cause::kBusy)},
      {"192.0.2.11", {{"site", "b"}}, Up(8)}};
  fleet[0].sample.firmware = "1.0J";
  const std::string page = monitor::RenderFleet(fleet);
  for (const char* family : {"krt6_up", "krt6_status_code", "krt6_status", "krt6_info",
                             "krt6_probe_duration_seconds", "krt6_probe_failure_info"}) {
    EXPECT_EQ(Count(page, std::string("# TYPE ") + family + " gauge\n"), 1u) << family;
    EXPECT_EQ(Count(page, std::string("# HELP ") + family + " "), 1u) << family;
  }
  EXPECT_EQ(page.find("krt6_config_drift_fields"), std::string::npos);
  // Every sample line names its target first.
  std::size_t samples = 0;
  for (std::size_t from = 0, end; from < page.size(); from = end + 1) {
    end = page.find('\n', from);
    const std::string line = page.substr(from, end - from);
    if (line.starts_with("#")) continue;
    ++samples;
    EXPECT_NE(line.find("{target=\""), std::string::npos) << line;
  }
  EXPECT_EQ(samples, 3 + 2 + 2 * monitor::StatusRows().size() + 1 + 3 + 1);
  EXPECT_NE(page.find("krt6_up{target=\"192.0.2.10:9100\",site=\"hall \\\"a\\\"\",line=\"3\"} 1\n"),
            std::string::npos)
      << page;
  EXPECT_NE(page.find("krt6_status{target=\"192.0.2.11\",site=\"b\",status=\"paper_jam\"} 1\n"),
            std::string::npos);
  EXPECT_NE(page.find("krt6_probe_failure_info{target=\"serial:/dev/ttyUSB0\",cause=\"busy\"} 1\n"),
            std::string::npos);
  // The families keep their order: all krt6_up samples before the first krt6_status_code.
  EXPECT_LT(page.rfind("\nkrt6_up{"), page.find("\nkrt6_status_code{"));
}

TEST(ExporterFlags, EachFlagIsTakenOrRefusedByName) {
  using exporter::Flags;
  const auto parse = [](std::vector<std::string> arguments) {
    return exporter::ParseFlags(arguments);
  };
  const auto defaults = std::get<Flags>(parse({}));
  EXPECT_EQ(defaults.listen_host, "127.0.0.1");
  EXPECT_EQ(defaults.listen_port, 10106);
  EXPECT_EQ(defaults.drift_interval, 300);
  EXPECT_EQ(defaults.probe_timeout, 10);
  const auto given =
      std::get<Flags>(parse({"--web.listen-address=[::1]:9", "--config.file", "f.yml",
                             "--drift.interval=60", "--probe.timeout=2.5"}));
  EXPECT_EQ(given.listen_host, "::1");
  EXPECT_EQ(given.listen_port, 9);
  EXPECT_EQ(given.config_file, "f.yml");
  EXPECT_EQ(given.drift_interval, 60);
  EXPECT_EQ(given.probe_timeout, 2.5);
  EXPECT_EQ(std::get<Flags>(parse({"--web.listen-address=:8080"})).listen_host, "0.0.0.0");
  struct Refusal {
    std::vector<std::string> arguments;
    const char* names;
  };
  for (const Refusal& r : {Refusal{{"--web.listen-address=localhost"}, "--web.listen-address"},
                           Refusal{{"--web.listen-address=h:70000"}, "--web.listen-address"},
                           Refusal{{"--web.listen-address=::1:80"}, "--web.listen-address"},
                           Refusal{{"--drift.interval=0"}, "--drift.interval"},
                           Refusal{{"--drift.interval=5m"}, "--drift.interval"},
                           Refusal{{"--probe.timeout=-1"}, "--probe.timeout"},
                           Refusal{{"--probe.timeout=nan"}, "--probe.timeout"},
                           Refusal{{"--config.file"}, "--config.file"},
                           Refusal{{"--web.listen_address=x:1"}, "--web.listen_address"}}) {
    const auto parsed = parse(r.arguments);
    ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << r.arguments[0];
    EXPECT_NE(std::get<std::string>(parsed).find(r.names), std::string::npos)
        << std::get<std::string>(parsed);
  }
}

TEST(ExporterFleetFile, ATargetsLabelsAndConfigAreReadAndEveryFaultNamesLineAndKey) {
  testing::TempDir dir;
  std::ofstream(dir / "desired.json")
      << R"({"format": "krt6-settings", "version": 1, "lan": {"dhcp_hostname": "A"}})";
  const std::string path = dir / "fleet.yml";
  const auto fleet = exporter::ParseFleet(
      "targets:\n"
      "  - target: 192.0.2.10:9100\n"
      "    labels: {site: hall-a, line: \"3\"}\n"
      "    config: desired.json\n"
      "  - target: serial:COM1\n",
      path);
  ASSERT_TRUE(std::holds_alternative<exporter::Fleet>(fleet)) << std::get<std::string>(fleet);
  const auto& targets = std::get<exporter::Fleet>(fleet).targets;
  ASSERT_EQ(targets.size(), 2u);
  EXPECT_EQ(targets[0].target.Kind, lkEthernet);
  EXPECT_EQ(targets[0].labels, (monitor::Labels{{"site", "hall-a"}, {"line", "3"}}));
  EXPECT_EQ(targets[0].config_path, dir / "desired.json");
  ASSERT_TRUE(targets[0].desired.has_value());
  EXPECT_TRUE(targets[0].desired->HasLan);
  EXPECT_EQ(targets[1].target.Kind, lkCom);
  EXPECT_FALSE(targets[1].desired.has_value());

  struct Fault {
    const char* yaml;
    std::string says;  // after "PATH:"
  };
  for (const Fault& f : {
           Fault{"targets:\n  - target: 127.1\n", "2: targets[0].target: "},
           Fault{
               "targets:\n  - target: 192.0.2.1\n  - target: socket://192.0.2.1:8000\n",
               "3: targets[1].target: the printer 192.0.2.1:8000 is already the target of line 2"},
           Fault{"targets:\n  - labels: {a: b}\n", "2: targets[0].target: the target is missing"},
           Fault{"targets:\n  - target: h\n    labels: {target: x}\n",
                 "3: targets[0].labels.target: the exporter sets this label itself"},
           Fault{"targets:\n  - target: h\n    labels: {3d: x}\n", "3: targets[0].labels.3d: "},
           Fault{"targets:\n  - target: h\n    labels: {a: [1]}\n", "3: targets[0].labels.a: "},
           Fault{"targets:\n  - target: h\n    config: missing.json\n", "3: targets[0].config: "},
           Fault{"targets:\n  - target: h\n    lables: {}\n", "3: targets[0].lables: unknown key"},
           Fault{"target:\n  - target: h\n", "1: target: unknown key (targets)"},
           Fault{"targets: {a: b}\n", "1: targets: the targets are a list"},
           Fault{"targets:\n  - target: [h\n", "3: end of sequence flow not found"},
           Fault{"- a\n", "1: the fleet file is a map"},
       }) {
    const auto parsed = exporter::ParseFleet(f.yaml, path);
    ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << f.yaml;
    EXPECT_EQ(std::get<std::string>(parsed).rfind(path + ":" + f.says, 0), 0u)
        << std::get<std::string>(parsed);
  }
}

TEST(ExporterDeadline, TheScrapesOwnLimitLessAMarginElseTheFlag) {
  const auto now = exporter::Clock::now();
  struct Case {
    const char* header;
    double fallback;
    double seconds;
  };
  for (const Case& c :
       {Case{"", 10, 9.5}, Case{"1", 10, 0.9}, Case{"0.5", 10, 0.45}, Case{"30", 10, 29.5},
        Case{"x", 4, 3.6}, Case{"-1", 4, 3.6}, Case{"2s", 4, 3.6}}) {
    const double got =
        std::chrono::duration<double>(exporter::ScrapeDeadline(c.header, c.fallback, now) - now)
            .count();
    EXPECT_NEAR(got, c.seconds, 1e-6) << c.header;
  }
}

}  // namespace
}  // namespace krt6
