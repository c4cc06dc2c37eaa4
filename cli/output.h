// How krt6ctl reports: one JSON object a target (JSON Lines) with --json, readable lines
// otherwise.
#pragma once

#include <string>

#include "cli/fleet.h"

namespace krt6::cli {

// {"target", "command", "ok", "code", "result", "cause", "detail", "elapsed_ms", "changed",
// "changes", "data"} in that order, on one line. "cause" is the failure's CauseKey, null on
// success.
std::string JsonLine(const std::string& target, const std::string& command,
                     const TargetResult& result, Language language);

// The changes as JSON: [{"key", "before", "after"}, ...].
nlohmann::ordered_json ChangesJson(const std::vector<Change>& changes);

// "key: before -> after", one a line.
std::string ChangesText(const std::vector<Change>& changes, const std::string& indent);

}  // namespace krt6::cli
