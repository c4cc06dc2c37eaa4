#include "cli/watch_table.h"

#include <algorithm>
#include <numeric>

#include <nlohmann/json.hpp>

#include "cli/monitoring.h"
#include "cli/output.h"
#include "texts/texts.h"

namespace krt6::cli {
namespace {

constexpr TextPair kNoAnswerText{"NO ANSWER", "応答なし"};
constexpr TextPair kWaitingText{"waiting", "待機中"};
// %1 the time, %2 the interval in seconds, %3 the printers, %4 the count of each level.
constexpr TextPair kHeaderText{"krt6ctl watch  %1  every %2 s  %3 printers: %4",
                               "krt6ctl watch  %1  %2 秒ごと  プリンター %3 台: %4"};
constexpr TextPair kTargetHeading{"TARGET", "ターゲット"};
constexpr TextPair kStatusHeading{"STATUS", "ステータス"};
constexpr TextPair kSinceHeading{"SINCE", "変化時刻"};
constexpr TextPair kTimeHeading{"TIME", "応答時間"};
constexpr TextPair kCauseHeading{"CAUSE", "原因"};
// %1 the printers not shown.
constexpr TextPair kHiddenText{"%1 more printers not shown (the worst are shown first)",
                               "ほかに %1 台あります (状態の悪いものから表示しています)"};

constexpr std::size_t kMaxTargetWidth = 40;
constexpr std::size_t kMaxStatusWidth = 24;
constexpr std::string_view kGap = "  ";

std::string LocalTime(std::time_t wall, const char* format) {
  std::tm local{};
  ::localtime_r(&wall, &local);
  char buffer[64];
  const std::size_t size = std::strftime(buffer, sizeof buffer, format, &local);
  return std::string(buffer, size);
}

// "15:40:02" on the day of `now`, "12-08 23:59" before it.
std::string SinceText(std::time_t since, std::time_t now) {
  if (since == 0) return "";
  const bool today = LocalTime(since, "%Y%m%d") == LocalTime(now, "%Y%m%d");
  return LocalTime(since, today ? "%H:%M:%S" : "%m-%d %H:%M");
}

std::string StatusColumn(const WatchRow& row, Language language) {
  if (!row.probed) return TextFor(kWaitingText, language);
  if (!row.up) return TextFor(kNoAnswerText, language);
  const char* text = StatusText(row.status_index, language);
  return *text != '\0' ? text : TextFor(kUnknownStatusText, language);
}

std::string TimeColumn(const WatchRow& row) {
  if (!row.probed) return "";
  if (row.seconds < 1) return Fixed(row.seconds * 1000, 1) + " ms";
  return Fixed(row.seconds, 2) + " s";
}

std::string CauseColumn(const WatchRow& row) {
  if (!row.probed || row.up) return "";
  return std::string(CauseKey(row.cause)) + (row.detail.empty() ? "" : ": " + row.detail);
}

// "2 CRITICAL, 1 OK": the count of each level present, worst first.
std::string LevelCounts(const std::vector<WatchRow>& rows) {
  std::string text;
  for (monitor::Level level : {monitor::Level::kCritical, monitor::Level::kWarning,
                               monitor::Level::kUnknown, monitor::Level::kOk}) {
    const auto count = std::count_if(rows.begin(), rows.end(),
                                     [level](const WatchRow& r) { return RowLevel(r) == level; });
    if (count == 0) continue;
    text += (text.empty() ? "" : ", ") + std::to_string(count) + " " +
            std::string(monitor::LevelName(level));
  }
  return text;
}

// The rows in the order shown: target order when `room` holds them all, else the worst first.
std::vector<std::size_t> ShownOrder(const std::vector<WatchRow>& rows, std::size_t room) {
  std::vector<std::size_t> order(rows.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  if (rows.size() <= room) return order;
  std::stable_sort(order.begin(), order.end(), [&rows](std::size_t a, std::size_t b) {
    return Severity(RowLevel(rows[a])) > Severity(RowLevel(rows[b]));
  });
  order.resize(room);
  return order;
}

}  // namespace

bool SameState(const WatchRow& row, const monitor::Probe& probe) {
  if (row.up != probe.up) return false;
  if (probe.up) return row.status_index == probe.status_index;
  return row.cause == probe.result.cause;
}

bool Update(WatchRow& row, const monitor::Probe& probe, WatchClock::time_point now,
            std::time_t wall) {
  const bool first = !row.probed;
  const bool changed = !first && !SameState(row, probe);
  row.probed = true;
  row.up = probe.up;
  row.status_index = probe.up ? probe.status_index : 0;
  row.cause = probe.up ? Cause::kNone : probe.result.cause;
  row.detail = probe.up ? std::string() : probe.result.Describe();
  row.seconds = probe.seconds;
  if (first || changed) row.since = wall;
  if (changed) {
    row.changed = now;
    row.ever_changed = true;
  }
  return changed;
}

monitor::Level RowLevel(const WatchRow& row) {
  if (!row.probed) return monitor::Level::kUnknown;
  if (!row.up) return DownLevel(row.cause);
  return monitor::StatusRowOf(row.status_index).level;
}

std::size_t DisplayWidth(std::string_view text) {
  std::size_t width = 0;
  while (!text.empty()) {
    char32_t code = 0;
    std::size_t length = Utf8Character(text, code);
    if (length == 0) {
      length = 1;
      code = '?';
    }
    const bool wide = (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
                      (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
                      (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
                      (code >= 0xFFE0 && code <= 0xFFE6) || (code >= 0x20000 && code <= 0x3FFFD);
    width += wide ? 2 : 1;
    text.remove_prefix(length);
  }
  return width;
}

std::string FitToWidth(std::string_view text, std::size_t width) {
  std::string out;
  std::size_t used = 0;
  while (!text.empty()) {
    char32_t code = 0;
    std::size_t length = Utf8Character(text, code);
    if (length == 0) length = 1;
    const std::string_view character = text.substr(0, length);
    const std::size_t columns = Utf8Character(character, code) == 0 ? 1 : DisplayWidth(character);
    if (used + columns > width) break;
    if (static_cast<unsigned char>(character[0]) < 0x20 || character[0] == 0x7f) {
      out += '?';  // no control character reaches the terminal
    } else {
      out.append(character);
    }
    used += columns;
    text.remove_prefix(length);
  }
  out.append(width - used, ' ');
  return out;
}

std::vector<std::string> RenderTable(const std::vector<WatchRow>& rows, const TableView& view,
                                     WatchClock::time_point now, std::time_t wall) {
  const Language language = view.language;
  const auto columns = static_cast<std::size_t>(std::max(view.columns, 10));
  const auto lines = static_cast<std::size_t>(std::max(view.lines, 3));
  std::vector<std::string> out;
  const std::string interval = Fixed(view.interval, 3, true);
  out.push_back(FitToWidth(FormatText(kHeaderText, language,
                                      {LocalTime(wall, "%Y-%m-%d %H:%M:%S"), interval,
                                       std::to_string(rows.size()), LevelCounts(rows)}),
                           columns));
  std::size_t target_width = DisplayWidth(TextFor(kTargetHeading, language));
  std::size_t status_width = DisplayWidth(TextFor(kStatusHeading, language));
  for (const WatchRow& row : rows) {
    target_width = std::max(target_width, std::min(DisplayWidth(row.target), kMaxTargetWidth));
    status_width = std::max(status_width,
                            std::min(DisplayWidth(StatusColumn(row, language)), kMaxStatusWidth));
  }
  const auto line = [&](std::string_view target, std::string_view status, std::string_view since,
                        std::string_view time, std::string_view cause) {
    return FitToWidth(FitToWidth(target, target_width) + std::string(kGap) +
                          FitToWidth(status, status_width) + std::string(kGap) +
                          FitToWidth(since, 11) + std::string(kGap) + FitToWidth(time, 10) +
                          std::string(kGap) + std::string(cause),
                      columns);
  };
  out.push_back(line(TextFor(kTargetHeading, language), TextFor(kStatusHeading, language),
                     TextFor(kSinceHeading, language), TextFor(kTimeHeading, language),
                     TextFor(kCauseHeading, language)));
  const std::size_t room = lines - 2;
  const bool fits = rows.size() <= room;
  for (std::size_t index : ShownOrder(rows, fits ? room : room - 1)) {
    const WatchRow& row = rows[index];
    std::string text = line(row.target, StatusColumn(row, language), SinceText(row.since, wall),
                            TimeColumn(row), CauseColumn(row));
    const bool recent =
        row.ever_changed && now - row.changed < std::chrono::duration<double>(view.interval);
    out.push_back(recent ? "\033[7m" + text + "\033[0m" : text);
  }
  if (!fits) {
    out.push_back(FitToWidth(
        FormatText(kHiddenText, language, std::to_string(rows.size() - (room - 1))), columns));
  }
  return out;
}

std::string ScreenPainter::Paint(const std::vector<std::string>& lines) {
  std::string out;
  if (clear_) out += "\033[H\033[2J";
  for (std::size_t i = 0; i < std::max(lines.size(), shown_.size()); ++i) {
    const bool have = i < lines.size();
    if (!clear_ && i < shown_.size() && have && shown_[i] == lines[i]) continue;
    out += "\033[" + std::to_string(i + 1) + ";1H";
    out += have ? lines[i] + "\033[K" : "\033[K";
  }
  shown_ = lines;
  clear_ = false;
  return out;
}

std::string WatchJsonLine(const WatchRow& row, const WatchRow* previous, std::time_t wall,
                          Language language) {
  std::string time = LocalTime(wall, "%Y-%m-%dT%H:%M:%S%z");
  if (time.size() > 2) time.insert(time.size() - 2, ":");  // RFC 3339's "+09:00"
  nlohmann::ordered_json line;
  line["time"] = time;
  line["event"] = previous == nullptr ? "start" : "change";
  line["target"] = row.target;
  line["up"] = row.up;
  line["level"] = std::string(monitor::LevelName(RowLevel(row)));
  const auto state = [](nlohmann::ordered_json& into, const WatchRow& r) {
    into["status_code"] = r.up ? nlohmann::ordered_json(r.status_index) : nullptr;
    into["status_name"] =
        r.up ? nlohmann::ordered_json(std::string(monitor::StatusRowOf(r.status_index).name))
             : nullptr;
  };
  state(line, row);
  line["status"] = row.up ? nlohmann::ordered_json(StatusColumn(row, language)) : nullptr;
  line["cause"] = row.up ? nullptr : nlohmann::ordered_json(std::string(CauseKey(row.cause)));
  line["detail"] = row.detail;
  line["seconds"] = row.seconds;
  if (previous == nullptr) {
    line["previous"] = nullptr;
  } else {
    nlohmann::ordered_json before;
    before["up"] = previous->up;
    state(before, *previous);
    before["cause"] =
        previous->up ? nullptr : nlohmann::ordered_json(std::string(CauseKey(previous->cause)));
    line["previous"] = before;
  }
  return OneLine(line);
}

}  // namespace krt6::cli
