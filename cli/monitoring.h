// What check and watch share: which of two monitoring levels is the worse, for a run over several
// printers (check's overall state, watch's order when not every printer fits), and numbers in
// the C locale's form. The order is the monitoring plugins'
// "alternative" one: CRITICAL, then WARNING, then UNKNOWN, then OK, so that a printer whose state
// is not known is never hidden behind the ones that are fine.
#pragma once

#include <charconv>
#include <string>

#include "link/result.h"
#include "monitor/status_levels.h"
#include "texts/texts.h"

namespace krt6::cli {

// The text of status index 0: a code the printer table does not know.
inline constexpr TextPair kUnknownStatusText{"status code the printer table does not know",
                                             "プリンターの表にないステータスコード"};

// The level of a printer whose status query failed: CRITICAL, but UNKNOWN when the target can
// never be asked (a link that carries no replies, one this build or system has no driver for).
constexpr monitor::Level DownLevel(Cause cause) {
  return cause == Cause::kCannotReceive || cause == Cause::kUnavailable ? monitor::Level::kUnknown
                                                                        : monitor::Level::kCritical;
}

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

// `value` with `decimals` digits after the point, in the C locale's form whatever the locale
// (`trim`: without the zeros at the end, and without the point when nothing follows it).
inline std::string Fixed(double value, int decimals, bool trim = false) {
  char buffer[64];
  const auto end =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals).ptr;
  std::string text(buffer, end);
  if (trim && text.find('.') != std::string::npos) {
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.pop_back();
  }
  return text;
}

}  // namespace krt6::cli
