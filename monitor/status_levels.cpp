#include "monitor/status_levels.h"

#include <array>

namespace krt6::monitor {
namespace {

using L = Level;

// A printer that can go on printing by itself is OK; one that waits for an operator's hand but
// loses nothing (a pause, an open head it still reports as on line, a full form store) is a
// warning; one that cannot print (no paper, a jam, a hardware error) is critical. The two motor
// temperature rows share their texts, so their names carry their codes.
constexpr std::array<StatusRow, 25> kRows{{
    {0, "unknown", L::kUnknown},
    {1, "on_line", L::kOk},
    {2, "head_open_on_line", L::kWarning},
    {3, "on_running", L::kOk},
    {4, "pause", L::kWarning},
    {5, "peel_off_waiting", L::kOk},
    {6, "command_error", L::kWarning},
    {7, "rs232c_error", L::kCritical},
    {8, "paper_jam", L::kCritical},
    {9, "cutter_error", L::kCritical},
    {10, "paper_error", L::kCritical},
    {11, "no_ribbon", L::kCritical},
    {12, "head_open_error", L::kCritical},
    {13, "motor_temp_error_16", L::kCritical},
    {14, "thermal_head_error", L::kCritical},
    {15, "thermal_head_temp_error", L::kCritical},
    {16, "motor_temp_error_19", L::kCritical},
    {17, "ribbon_error", L::kCritical},
    {18, "thermistor_connector_omission", L::kCritical},
    {19, "stacked_form_full", L::kWarning},
    {20, "stacker_power_off", L::kWarning},
    {21, "flash_memory_write_error", L::kCritical},
    {22, "flash_memory_format_error", L::kCritical},
    {23, "flash_memory_empty", L::kWarning},
    {24, "save_mode", L::kOk},
}};

constexpr bool InOrder() {
  for (std::size_t i = 0; i < kRows.size(); ++i) {
    if (kRows[i].index != static_cast<int>(i)) return false;
  }
  return true;
}
static_assert(InOrder(), "the status rows are in StatusIndex order");

}  // namespace

std::span<const StatusRow> StatusRows() { return kRows; }

const StatusRow& StatusRowOf(int status_index) {
  if (status_index < 0 || status_index >= static_cast<int>(kRows.size())) return kRows[0];
  return kRows[static_cast<std::size_t>(status_index)];
}

std::string_view LevelName(Level level) {
  switch (level) {
    case Level::kOk: return "OK";
    case Level::kWarning: return "WARNING";
    case Level::kCritical: return "CRITICAL";
    case Level::kUnknown: break;
  }
  return "UNKNOWN";
}

}  // namespace krt6::monitor
