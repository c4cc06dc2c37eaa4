// The exporter's fleet file (YAML):
//   targets:
//     - target: 192.0.2.10:9100      # krt6ctl's target syntax
//       labels: {site: hall-a, line: "3"}
//       config: desired/hall-a.json  # optional, relative to the fleet file
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "cli/target.h"
#include "config/configuration.h"
#include "monitor/metrics.h"

namespace krt6::exporter {

struct FleetTarget {
  cli::Target target;
  std::string key;          // cli::PrinterKey: one printer whichever way it was written
  monitor::Labels labels;   // in the file's order
  std::string config_path;  // the desired configuration's file, resolved; empty: none
  std::optional<Configuration> desired;
  std::size_t line = 0;  // the line of its entry
};

struct Fleet {
  std::vector<FleetTarget> targets;
};

// The labels every printer series has of its own: a fleet label may not be one of them.
bool ReservedLabel(const std::string& name);

// The fleet of the YAML `text` read from `path` (desired configurations are loaded relative to
// its folder), or the first fault: "PATH:LINE: KEY: what is wrong".
std::variant<Fleet, std::string> ParseFleet(const std::string& text, const std::string& path);
// The same for the file at `path`.
std::variant<Fleet, std::string> LoadFleet(const std::string& path);

}  // namespace krt6::exporter
