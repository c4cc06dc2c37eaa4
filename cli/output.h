// How krt6ctl reports: one JSON object a target (JSON Lines) with --json, readable lines
// otherwise. Every command reports through one Reporter; the functions below are its formats.
#pragma once

#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/fleet.h"

namespace krt6::cli {

// {"target", "command", "ok", "code", "result", "cause", "detail", "elapsed_ms", "changed",
// "changes", "data"} in that order, on one line. "cause" is the failure's CauseKey, null on
// success.
std::string JsonLine(const std::string& target, const std::string& command,
                     const TargetResult& result, Language language);

// The changes as JSON: [{"key", "before", "after"}, ...].
nlohmann::ordered_json ChangesJson(const std::vector<Change>& changes);

// A JSON value on one line; bytes that are no UTF-8 (texts from a printer) are replaced.
std::string OneLine(const nlohmann::ordered_json& value);

// "key: before -> after", one a line.
std::string ChangesText(const std::vector<Change>& changes, const std::string& indent);

// krt6ctl's output: results and records on `out`, failures, usage errors and notices on `err`
// (each "krt6ctl: ..."), as JSON Lines or as text by the mode. The result and notice writers may
// be called from the threads of a fleet run: they hold Lock().
class Reporter {
 public:
  // `terminal`: `err` is a terminal, where a progress line may be drawn.
  Reporter(std::ostream& out, std::ostream& err, bool terminal);

  // The mode once the command line is parsed: --json, -q and the message language.
  void SetMode(bool json, bool quiet, Language language);
  bool Json() const { return json_; }
  bool Quiet() const { return quiet_; }
  bool Terminal() const { return terminal_; }
  Language Lang() const { return language_; }

  // A monitoring plugin's run (check): Usage then writes on `out`, where plugin hosts read, and
  // gives the plugins' UNKNOWN (3).
  void SetPlugin(bool plugin) { plugin_ = plugin; }

  // "krt6ctl: MESSAGE" on `err`; Usage returns the exit status of bad usage (2). For a plugin:
  // "K-RT6 UNKNOWN - MESSAGE" on `out` (with --json {"state": "UNKNOWN", "exit_status": 3,
  // "error": MESSAGE}), returning 3.
  int Usage(const std::string& message);
  void Error(const std::string& message);

  // One target's result: its JSON line, else its text (after "TARGET: " when `prefixed`) and
  // changes on `out`, a failure with its detail and changes on `err`; -q shows only failures and
  // the texts that are the command's output.
  void Result(const std::string& target, const std::string& command, const TargetResult& result,
              bool prefixed);
  // A failure alone on `err` (whatever the mode): "krt6ctl: TARGET: RESULT[: DETAIL]".
  void Failure(const std::string& target, const TargetResult& result);
  // A comparison: {"changes": [...]} with --json, else one change a line (nothing with -q).
  void Comparison(const std::vector<Change>& changes);
  // A record on `out`: `json_line` with --json, else `text`.
  void Record(const std::string& json_line, const std::string& text);
  // A notice during a fleet run on `err`, over the progress line when `progress` draws one.
  void Notice(const std::string& message, bool progress);

  // Where results and records go (watch draws its table there when it is the terminal).
  std::ostream& Out() { return out_; }
  // Where a fleet run's trace, progress and notices go, and the lock they are written under.
  std::ostream& Messages() { return err_; }
  std::mutex& Lock() { return lock_; }

 private:
  void WriteFailure(const std::string& target, const TargetResult& result);

  std::ostream& out_;
  std::ostream& err_;
  bool terminal_;
  bool json_ = false;
  bool quiet_ = false;
  bool plugin_ = false;
  Language language_ = Language::kEnglish;
  std::mutex lock_;
};

}  // namespace krt6::cli
