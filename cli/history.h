// The audit trail of the runs that write to printers: one JSON line a target and run, appended
// to a history file that several krt6ctl runs may share. Writing it never fails a run: a file
// that cannot be written is one warning.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "cli/fleet.h"
#include "texts/language.h"

namespace krt6::cli {

// $XDG_STATE_HOME/krt6/history.jsonl, else $HOME/.local/state/krt6/history.jsonl (the home from
// the password database when HOME is unset); empty when no folder is known. `env` reads a
// variable (null when unset).
std::string DefaultHistoryPath(const std::function<const char*(const char*)>& env);

// `time` in UTC, ISO 8601 with milliseconds: "2025-03-04T05:06:07.089Z".
std::string UtcTimeText(std::chrono::system_clock::time_point time);

// "2025-03-04", "2025-03-04T05:06", "2025-03-04T05:06:07" or with a fraction of a second, each
// with or without a final Z, all in UTC: the milliseconds since 1970; nullopt for anything else
// (another zone, a day that does not exist, ...).
std::optional<std::int64_t> ParseUtcTime(std::string_view text);

// The login name of this process's user from the password database, else its uid.
std::string UserName();
// gethostname's name, "" when it has none.
std::string HostName();

// Creates the folders above `path` that are missing, each 0700, then appends `line` and a
// newline with one write() (retried on EINTR) to `path`, opened O_APPEND|O_CREAT|O_CLOEXEC with
// 0600 when it is new, so that the lines of concurrent runs never mix. The error's account, or
// empty.
std::string AppendLine(const std::string& path, const std::string& line);

// The history line of `command`'s `result` on `target`, at `time`:
// {"time", "user", "host", "target", "command", "code", "result", "cause", "detail", "changed",
// "changes", "firmware"} in that order; "result" is the English text of the code, "cause" null
// on success, "firmware" null when the version is not known.
nlohmann::ordered_json HistoryLine(const std::string& target, const std::string& command,
                                   const TargetResult& result,
                                   std::chrono::system_clock::time_point time);

// A run's history: where its lines go and whether it has warned yet.
class History {
 public:
  // `path` empty: no history is kept. `warn` shows the one warning of a file that cannot be
  // written.
  History(std::string path, Language language, std::function<void(const std::string&)> warn);

  // Appends the line of `result`; may be called from several threads.
  void Record(const std::string& target, const std::string& command, const TargetResult& result);

 private:
  std::string path_;
  Language language_;
  std::function<void(const std::string&)> warn_;
  std::mutex mutex_;
  bool warned_ = false;
};

}  // namespace krt6::cli
