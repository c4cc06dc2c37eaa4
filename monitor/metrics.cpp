#include "monitor/metrics.h"

#include <charconv>
#include <cmath>

#include "link/result.h"
#include "monitor/status_levels.h"

namespace krt6::monitor {
namespace {

struct FamilyInfo {
  std::string_view name, type, help;
};

constexpr FamilyInfo kUp{"krt6_up", "gauge",
                         "Whether the printer answered its status query (1) or not (0)."};
constexpr FamilyInfo kCode{
    "krt6_status_code", "gauge",
    "The printer's status index (0: a code the printer table does not know)."};
constexpr FamilyInfo kStatus{"krt6_status", "gauge",
                             "The printer's status as a state set: 1 for the status it reports."};
constexpr FamilyInfo kInfo{"krt6_info", "gauge", "The printer's firmware version."};
constexpr FamilyInfo kDuration{"krt6_probe_duration_seconds", "gauge",
                               "How long the status query took."};
constexpr FamilyInfo kFailure{"krt6_probe_failure_info", "gauge", "Why the status query failed."};
constexpr FamilyInfo kDrift{
    "krt6_config_drift_fields", "gauge",
    "How many fields of the desired configuration the printer holds otherwise."};

void Begin(Exposition& page, const FamilyInfo& family) {
  page.Family(family.name, family.type, family.help);
}

// The families in page order, each over every printer.
void Write(std::span<const FleetPrinter> printers, Exposition& page, bool with_target) {
  Labels common;
  const auto each = [&](const FamilyInfo& family, auto&& wanted, auto&& write) {
    bool begun = false;
    for (const FleetPrinter& printer : printers) {
      if (!wanted(printer.sample)) continue;
      if (!begun) Begin(page, family);
      begun = true;
      common.clear();
      if (with_target) {
        common.emplace_back("target", printer.target);
        common.insert(common.end(), printer.labels.begin(), printer.labels.end());
      }
      write(printer.sample);
    }
  };
  const auto always = [](const PrinterSample&) { return true; };
  const auto up = [](const PrinterSample& s) { return s.probe.up; };
  each(kUp, always,
       [&](const PrinterSample& s) { page.Sample(kUp.name, common, {}, s.probe.up ? 1 : 0); });
  each(kCode, up,
       [&](const PrinterSample& s) { page.Sample(kCode.name, common, {}, s.probe.status_index); });
  each(kStatus, up, [&](const PrinterSample& s) {
    const int current = StatusRowOf(s.probe.status_index).index;
    for (const StatusRow& row : StatusRows()) {
      page.Sample(kStatus.name, common, {{"status", std::string(row.name)}},
                  row.index == current ? 1 : 0);
    }
  });
  each(
      kInfo, [](const PrinterSample& s) { return !s.firmware.empty(); },
      [&](const PrinterSample& s) {
        page.Sample(kInfo.name, common, {{"firmware", s.firmware}}, 1);
      });
  each(kDuration, always,
       [&](const PrinterSample& s) { page.Sample(kDuration.name, common, {}, s.probe.seconds); });
  each(
      kFailure, [](const PrinterSample& s) { return !s.probe.up; },
      [&](const PrinterSample& s) {
        std::string cause(CauseKey(s.probe.result.cause));
        if (cause.empty()) cause = "other";
        page.Sample(kFailure.name, common, {{"cause", cause}}, 1);
      });
  each(
      kDrift, [](const PrinterSample& s) { return s.drift_fields.has_value(); },
      [&](const PrinterSample& s) { page.Sample(kDrift.name, common, {}, *s.drift_fields); });
}

void AppendLabels(std::string& text, const Labels& labels, bool& open) {
  for (const auto& [name, value] : labels) {
    text += open ? ',' : '{';
    open = true;
    text += name;
    text += "=\"";
    text += EscapeLabelValue(value);
    text += '"';
  }
}

}  // namespace

bool ValidLabelName(std::string_view name) {
  if (name.empty() || name.starts_with("__")) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    if (!letter && !(i > 0 && c >= '0' && c <= '9')) return false;
  }
  return true;
}

std::string EscapeLabelValue(std::string_view value) {
  std::string escaped;
  escaped.reserve(value.size());
  for (const char c : value) {
    switch (c) {
      case '\\': escaped += "\\\\"; break;
      case '"': escaped += "\\\""; break;
      case '\n': escaped += "\\n"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

std::string FormatValue(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
  char text[32];
  const auto written = std::to_chars(text, text + sizeof text, value);
  return std::string(text, written.ptr);
}

void Exposition::Family(std::string_view name, std::string_view type, std::string_view help) {
  text_ += "# HELP ";
  text_ += name;
  text_ += ' ';
  text_ += help;
  text_ += "\n# TYPE ";
  text_ += name;
  text_ += ' ';
  text_ += type;
  text_ += '\n';
}

void Exposition::Sample(std::string_view name, const Labels& labels, double value) {
  Sample(name, labels, {}, value);
}

void Exposition::Sample(std::string_view name, const Labels& common, const Labels& own,
                        double value) {
  text_ += name;
  bool open = false;
  AppendLabels(text_, common, open);
  AppendLabels(text_, own, open);
  if (open) text_ += '}';
  text_ += ' ';
  text_ += FormatValue(value);
  text_ += '\n';
}

std::string RenderPrinter(const PrinterSample& sample) {
  const FleetPrinter printer{{}, {}, sample};
  Exposition page;
  Write({&printer, 1}, page, false);
  return page.Take();
}

void RenderFleet(std::span<const FleetPrinter> printers, Exposition& page) {
  // About 32 lines a printer, each of a name, the labels and a value.
  std::size_t bytes = 0;
  for (const FleetPrinter& printer : printers) {
    std::size_t labels = printer.target.size() + 12;
    for (const auto& [name, value] : printer.labels) labels += name.size() + value.size() + 4;
    bytes += 32 * (labels + 48);
  }
  page.Reserve(bytes);
  Write(printers, page, true);
}

std::string RenderFleet(std::span<const FleetPrinter> printers) {
  Exposition page;
  RenderFleet(printers, page);
  return page.Take();
}

}  // namespace krt6::monitor
