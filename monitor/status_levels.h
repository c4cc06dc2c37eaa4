// How serious each printer status is for monitoring, and the stable name it carries in metrics
// and scripts. The levels are the monitoring plugins' exit statuses.
#pragma once

#include <span>
#include <string_view>

namespace krt6::monitor {

enum class Level { kOk = 0, kWarning = 1, kCritical = 2, kUnknown = 3 };

struct StatusRow {
  int index;              // the StatusIndex (0: a status code the printer table does not know)
  std::string_view name;  // lower case, digits and '_': a metric label's value
  Level level;
};

// Every status row, in StatusIndex order (0..24).
std::span<const StatusRow> StatusRows();
// The row of `status_index`; row 0 for a value outside the table.
const StatusRow& StatusRowOf(int status_index);
// "OK", "WARNING", "CRITICAL", "UNKNOWN".
std::string_view LevelName(Level level);

}  // namespace krt6::monitor
