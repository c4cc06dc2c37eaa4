// Probes as Prometheus text exposition (version 0.0.4): one printer's page for the exporter's
// /probe, and a fleet's page, where every printer series carries target="<URI>" and the fleet's
// labels, for the exporter's /metrics and krt6ctl status --textfile. Each metric family has its
// "# HELP" and "# TYPE" once, with its samples after them; label values are escaped and numbers
// written the same whatever the locale.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "monitor/probe.h"

namespace krt6::monitor {

// The exposition's content type.
inline constexpr std::string_view kExpositionContentType =
    "text/plain; version=0.0.4; charset=utf-8";

using Labels = std::vector<std::pair<std::string, std::string>>;

// What one printer's series say.
struct PrinterSample {
  Probe probe;
  std::string firmware;             // krt6_info's firmware label; empty: not known, no krt6_info
  std::optional<int> drift_fields;  // krt6_config_drift_fields; empty: no desired configuration
};

// A printer of a fleet page: its target as written, its own labels, its sample.
struct FleetPrinter {
  std::string target;
  Labels labels;
  PrinterSample sample;
};

// Whether `name` may be a label name: [a-zA-Z_][a-zA-Z0-9_]*, not beginning with "__" (kept for
// Prometheus itself).
bool ValidLabelName(std::string_view name);

// Backslash, double quote and line feed escaped as the exposition's label values want them.
std::string EscapeLabelValue(std::string_view value);

// A sample's value: the shortest text that reads back as `value`, in the C locale; NaN, +Inf,
// -Inf as the exposition writes them.
std::string FormatValue(double value);

// Builds an exposition page family by family: Family writes the HELP and TYPE lines (once per
// name; a name begun again only adds samples after the first family's, so group the samples of
// one family together), Sample one line.
class Exposition {
 public:
  void Family(std::string_view name, std::string_view type, std::string_view help);
  void Sample(std::string_view name, const Labels& labels, double value);
  // A sample whose labels are `common` followed by `own`.
  void Sample(std::string_view name, const Labels& common, const Labels& own, double value);
  // Makes room for `bytes` more, so that a large page is not copied as it grows.
  void Reserve(std::size_t bytes) { text_.reserve(text_.size() + bytes); }
  const std::string& Text() const { return text_; }
  std::string Take() { return std::move(text_); }

 private:
  std::string text_;
};

// One printer's page (the exporter's /probe): krt6_up, krt6_probe_duration_seconds and, when up,
// krt6_status_code and the state set krt6_status; krt6_info when its firmware is known,
// krt6_probe_failure_info with the cause when down, krt6_config_drift_fields when counted.
std::string RenderPrinter(const PrinterSample& sample);

// Every printer's series in one page, family by family, each series with target="<URI>" and the
// printer's labels before its own.
void RenderFleet(std::span<const FleetPrinter> printers, Exposition& page);
std::string RenderFleet(std::span<const FleetPrinter> printers);

}  // namespace krt6::monitor
