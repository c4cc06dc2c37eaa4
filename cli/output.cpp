#include "cli/output.h"

#include <cmath>

namespace krt6::cli {

nlohmann::ordered_json ChangesJson(const std::vector<Change>& changes) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const Change& change : changes) {
    list.push_back({{"key", change.Key}, {"before", change.Before}, {"after", change.After}});
  }
  return list;
}

std::string JsonLine(const std::string& target, const std::string& command,
                     const TargetResult& result, Language language) {
  nlohmann::ordered_json line;
  line["target"] = target;
  line["command"] = command;
  line["ok"] = result.Ok();
  line["code"] = result.Code;
  line["result"] = ResultText(result.Code, language);
  const Cause cause = ResultCause(result);
  if (cause == Cause::kNone) {
    line["cause"] = nullptr;
  } else {
    line["cause"] = std::string(CauseKey(cause));
  }
  line["detail"] = result.Detail;
  line["elapsed_ms"] = std::round(result.ElapsedMs * 10.0) / 10.0;
  line["changed"] = result.Changed;
  line["changes"] = ChangesJson(result.Changes);
  line["data"] = result.Data;
  // Texts from a printer may hold bytes that are no UTF-8: they are replaced, not refused.
  return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string ChangesText(const std::vector<Change>& changes, const std::string& indent) {
  std::string text;
  for (const Change& change : changes) {
    text += indent + change.Key + ": " + change.Before + " -> " + change.After + "\n";
  }
  return text;
}

}  // namespace krt6::cli
