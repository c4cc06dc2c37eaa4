// history [--since TIME]: the lines of the history file (the runs that wrote to printers), all or
// those of the targets of -t and after a time; one readable line an entry, or with --json the
// lines as the file holds them. No printer is opened.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>

#include "cli/commands/command.h"
#include "cli/history.h"
#include "texts/texts.h"

namespace krt6::cli {
namespace {

constexpr TextPair kSinceText{
    "--since '%1': give a UTC date or date and time in ISO 8601, such as 2025-03-04 or "
    "2025-03-04T05:06:07Z",
    "--since '%1': UTC の日付または日時を ISO 8601 で指定してください (例: 2025-03-04、"
    "2025-03-04T05:06:07Z)"};
constexpr TextPair kNoHistoryText{
    "no history file: --no-history was given, or no folder for it is known (give --history "
    "FILE)",
    "履歴ファイルがありません: --no-history が指定されたか、置き場所がわかりません (--history "
    "FILE を指定してください)"};
constexpr TextPair kTargetsFileText{
    "history selects by -t TARGET only; it takes no --targets",
    "history は -t TARGET でのみ絞り込みます。--targets は取りません"};
constexpr TextPair kUnreadableText{"%1: cannot read the history (%2)", "%1: 履歴を読めません (%2)"};
// %1 the file, %2 the line's number.
constexpr TextPair kTornLineText{
    "%1:%2: not a history entry (a run that ended while writing it?); skipped",
    "%1:%2: 履歴の行ではありません (書き込み中に終了した実行の跡?)。読み飛ばします"};

struct HistoryArguments {
  std::string since;
};

void AddHistoryOptions(CLI::App& command, HistoryArguments& arguments) {
  command
      .add_option("--since", arguments.since,
                  "only the entries from this UTC time on (2025-03-04 or 2025-03-04T05:06:07Z)")
      ->type_name("TIME");
}

std::string Text(const nlohmann::json& entry, const char* key) {
  const auto found = entry.find(key);
  return found != entry.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// "TIME  TARGET  COMMAND  RESULT (cause)  key: before -> after, ..."
std::string EntryText(const nlohmann::json& entry, Language language) {
  const auto code = entry.find("code");
  std::string text =
      Text(entry, "time") + "  " + Text(entry, "target") + "  " + Text(entry, "command") + "  " +
      (code != entry.end() && code->is_number_integer() ? ResultText(code->get<int>(), language)
                                                        : Text(entry, "result"));
  if (const std::string cause = Text(entry, "cause"); !cause.empty()) text += " (" + cause + ")";
  const auto changes = entry.find("changes");
  if (changes == entry.end() || !changes->is_array()) return text;
  std::string listed;
  for (const nlohmann::json& change : *changes) {
    if (!change.is_object()) continue;
    listed += (listed.empty() ? "" : ", ") + Text(change, "key") + ": " + Text(change, "before") +
              " -> " + Text(change, "after");
  }
  return listed.empty() ? text : text + "  " + listed;
}

// Whether the entry is one to show: of a target of -t (when given) and from `since` on.
bool Selected(const nlohmann::json& entry, const std::vector<std::string>& targets,
              std::optional<std::int64_t> since, std::optional<std::int64_t> time) {
  if (!targets.empty() &&
      std::find(targets.begin(), targets.end(), Text(entry, "target")) == targets.end()) {
    return false;
  }
  return !since || *time >= *since;
}

int RunHistory(const HistoryArguments& arguments, const CommandContext& context) {
  const Language language = context.language;
  Reporter& reporter = context.reporter;
  if (!context.globals.targets_file.empty()) {
    return reporter.Usage(TextFor(kTargetsFileText, language));
  }
  std::optional<std::int64_t> since;
  if (!arguments.since.empty()) {
    since = ParseUtcTime(arguments.since);
    if (!since) return reporter.Usage(FormatText(kSinceText, language, arguments.since));
  }
  const std::string path = HistoryPath(context.globals);
  if (path.empty()) return reporter.Usage(TextFor(kNoHistoryText, language));
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    const int error = errno;
    if (error == ENOENT) return kExitOk;  // no run has written yet
    reporter.Error(FormatText(kUnreadableText, language, path, std::strerror(error)));
    return kExitFailed;
  }
  std::size_t number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (line.empty()) continue;
    const nlohmann::json entry = nlohmann::json::parse(line, nullptr, false);
    const std::optional<std::int64_t> time =
        entry.is_object() ? ParseUtcTime(Text(entry, "time")) : std::nullopt;
    if (!time) {
      reporter.Error(FormatText(kTornLineText, language, path, std::to_string(number)));
      continue;
    }
    if (Selected(entry, context.globals.targets, since, time)) {
      reporter.Record(line, EntryText(entry, language));
    }
  }
  return kExitOk;
}

}  // namespace

CommandRegistration HistoryRegistration() {
  CommandRegistration registration = Register<HistoryArguments>(
      "history", "the runs that wrote to printers (-t TARGET selects the entries of a printer)",
      false, AddHistoryOptions, RunHistory);
  registration.FiltersByTarget = true;
  return registration;
}

}  // namespace krt6::cli
