#include "cli/output.h"

#include <cmath>

namespace krt6::cli {
std::string OneLine(const nlohmann::ordered_json& value) {
  return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

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
  return OneLine(line);
}

std::string ChangesText(const std::vector<Change>& changes, const std::string& indent) {
  std::string text;
  for (const Change& change : changes) {
    text += indent + change.Key + ": " + change.Before + " -> " + change.After + "\n";
  }
  return text;
}

Reporter::Reporter(std::ostream& out, std::ostream& err, bool terminal)
    : out_(out), err_(err), terminal_(terminal) {}

void Reporter::SetMode(bool json, bool quiet, Language language) {
  json_ = json;
  quiet_ = quiet;
  language_ = language;
}

int Reporter::Usage(const std::string& message) {
  if (!plugin_) {
    Error(message);
    return 2;
  }
  if (json_) {
    nlohmann::ordered_json line;
    line["state"] = "UNKNOWN";
    line["exit_status"] = 3;
    line["error"] = message;
    out_ << OneLine(line) << "\n" << std::flush;
  } else {
    std::string text = message;
    for (char& c : text) {
      if (c == '\n' || c == '\r') c = ' ';
      if (c == '|') c = '/';
    }
    out_ << "K-RT6 UNKNOWN - " << text << "\n" << std::flush;
  }
  return 3;
}

void Reporter::Error(const std::string& message) { err_ << "krt6ctl: " << message << "\n"; }

void Reporter::Result(const std::string& target, const std::string& command,
                      const TargetResult& result, bool prefixed) {
  std::lock_guard lock(lock_);
  if (json_) {
    out_ << JsonLine(target, command, result, language_) << "\n" << std::flush;
    return;
  }
  if (!result.Ok()) {
    WriteFailure(target, result);
    if (!result.Changes.empty()) err_ << ChangesText(result.Changes, "  ");
    return;
  }
  if (quiet_ && !result.TextIsOutput) return;
  out_ << (prefixed ? target + ": " : std::string()) << result.Text << "\n";
  if (!result.Changes.empty()) out_ << ChangesText(result.Changes, "  ");
  out_ << std::flush;
}

void Reporter::Failure(const std::string& target, const TargetResult& result) {
  std::lock_guard lock(lock_);
  WriteFailure(target, result);
}

void Reporter::WriteFailure(const std::string& target, const TargetResult& result) {
  err_ << "krt6ctl: " << target << ": " << ResultText(result.Code, language_);
  if (!result.Detail.empty()) err_ << ": " << result.Detail;
  err_ << "\n";
}

void Reporter::Comparison(const std::vector<Change>& changes) {
  if (json_) {
    nlohmann::ordered_json document;
    document["changes"] = ChangesJson(changes);
    out_ << OneLine(document) << "\n";
  } else if (!quiet_) {
    out_ << ChangesText(changes, "");
  }
}

void Reporter::Record(const std::string& json_line, const std::string& text) {
  out_ << (json_ ? json_line : text) << "\n";
}

void Reporter::Notice(const std::string& message, bool progress) {
  std::lock_guard lock(lock_);
  if (progress) err_ << "\r\033[K";
  err_ << "krt6ctl: " << message << "\n" << std::flush;
}

}  // namespace krt6::cli
