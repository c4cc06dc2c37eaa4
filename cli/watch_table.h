// What krt6ctl watch shows: each printer's last state, the table of them fit to a terminal, the
// escape sequences that turn the frame on the screen into the next one, and the JSON line of a
// printer's change.
#pragma once

#include <chrono>
#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "link/result.h"
#include "monitor/probe.h"
#include "monitor/status_levels.h"
#include "texts/language.h"

namespace krt6::cli {

using WatchClock = std::chrono::steady_clock;

// One printer as watch last saw it.
struct WatchRow {
  std::string target;
  bool probed = false;  // a probe has come back
  bool up = false;
  int status_index = 0;
  Cause cause = Cause::kNone;
  std::string detail;     // what failed, when down
  double seconds = 0;     // the last probe's time
  std::time_t since = 0;  // the wall-clock time the state began (the first probe's at the start)
  WatchClock::time_point changed{};  // when the state last changed (not the first probe)
  bool ever_changed = false;
};

// The state a change is told by: up or down, the status, the cause.
bool SameState(const WatchRow& row, const monitor::Probe& probe);
// Takes `probe` into `row` at `now` (`wall` the same moment on the wall clock); true when the
// printer's state changed (the first probe counts as no change).
bool Update(WatchRow& row, const monitor::Probe& probe, WatchClock::time_point now,
            std::time_t wall);
// A printer that does not answer is CRITICAL, one not probed yet UNKNOWN.
monitor::Level RowLevel(const WatchRow& row);

// The columns a UTF-8 text takes on a terminal: 2 for the wide characters of East Asian
// scripts, 1 for the others.
std::size_t DisplayWidth(std::string_view text);
// `text` cut to `width` columns (never in the middle of a character) and padded with blanks to it.
std::string FitToWidth(std::string_view text, std::size_t width);

struct TableView {
  int columns = 80;
  int lines = 24;
  double interval = 2;  // seconds: a row that changed within it stands out
  Language language = Language::kEnglish;
};

// The screen's lines: a header with the time and the count of each level, the column headings,
// one row a printer (in target order; the worst first when not all fit, the last line then
// saying how many are not shown). Each line is exactly `columns` wide; a row that changed within
// the last interval is in reverse video.
std::vector<std::string> RenderTable(const std::vector<WatchRow>& rows, const TableView& view,
                                     WatchClock::time_point now, std::time_t wall);

// Draws frames on a terminal, writing only the lines that differ from the last frame.
class ScreenPainter {
 public:
  // The escape sequences that make the screen show `lines` (the whole screen after Reset).
  std::string Paint(const std::vector<std::string>& lines);
  // The next Paint clears the screen and draws every line (after a resize).
  void Reset() {
    shown_.clear();
    clear_ = true;
  }

 private:
  std::vector<std::string> shown_;
  bool clear_ = true;
};

// A printer's JSON line: {"time", "event" ("start" for its first probe, "change"), "target",
// "up", "level", "status_code", "status_name", "status", "cause", "detail", "seconds",
// "previous"} ("previous": the state before a change, {"up", "status_code", "status_name",
// "cause"}; null for "start").
std::string WatchJsonLine(const WatchRow& row, const WatchRow* previous, std::time_t wall,
                          Language language);

}  // namespace krt6::cli
