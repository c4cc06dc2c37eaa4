// Which of two monitoring levels is the worse, for a run over several printers (check's overall
// state, watch's order when not every printer fits). The order is the monitoring plugins'
// "alternative" one: CRITICAL, then WARNING, then UNKNOWN, then OK, so that a printer whose state
// is not known is never hidden behind the ones that are fine.
#pragma once

#include "monitor/status_levels.h"

namespace krt6::cli {

// 0 for OK up to 3 for CRITICAL.
constexpr int Severity(monitor::Level level) {
  switch (level) {
    case monitor::Level::kOk: return 0;
    case monitor::Level::kUnknown: return 1;
    case monitor::Level::kWarning: return 2;
    case monitor::Level::kCritical: return 3;
  }
  return 1;
}

constexpr monitor::Level Worse(monitor::Level a, monitor::Level b) {
  return Severity(b) > Severity(a) ? b : a;
}

}  // namespace krt6::cli
