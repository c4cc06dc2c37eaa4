#include "cli/commands/shared.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>

#include "texts/system_language.h"
#include "texts/texts.h"

namespace krt6::cli {
namespace {

constexpr TextPair kNoTargetText{
    "no target: give -t TARGET or --targets FILE",
    "ターゲットがありません: -t TARGET か --targets FILE を指定してください"};
// An operator's interrupt during a fleet run: the first, and every one after it.
constexpr TextPair kStoppingText{
    "interrupted: no further target is started; the running ones end their exchange",
    "中断します: 次のターゲットは始めません。実行中のターゲットは通信を終えるまで続けます"};
constexpr TextPair kStillFinishingText{
    "still ending the running targets' exchanges (no Set is cut in two); Ctrl-\\ quits at once, "
    "even in the middle of a write",
    "実行中のターゲットの通信を終えるまで待っています (Set を途中で切ることはありません)。"
    "Ctrl-\\ で直ちに終了します (書き込みの途中でも)"};
// %1 failed, %2 done (failures included), %3 not started.
constexpr TextPair kFailureLimitSummaryText{
    "stopped after %1 failed targets (--max-failures): %2 done, %3 not started",
    "失敗したターゲットが %1 件になったため停止しました (--max-failures): 完了 %2 件、"
    "未実行 %3 件"};

}  // namespace

void AddGlobalOptions(CLI::App& app, Globals& globals) {
  app.add_option("-t,--target", globals.targets, "a printer (repeatable)")->type_name("TARGET");
  app.add_option("--targets", globals.targets_file, "a file of targets, one a line, # comments")
      ->type_name("FILE");
  app.add_flag("--json", globals.json, "one JSON object a target on stdout (JSON Lines)");
  app.add_option("-j,--jobs", globals.jobs,
                 "targets handled at once, at most (default: every target, as many as the "
                 "descriptor limit carries)")
      ->check(CLI::Range(1, 1024));
  app.add_flag("-v,--verbose", globals.verbose, "byte trace of every exchange on stderr");
  app.add_flag("-q,--quiet", globals.quiet, "print failures only");
  app.add_option("--lang", globals.lang, "message language (default: from the locale)")
      ->check(CLI::IsMember({"en", "ja"}));
  app.add_option("--history", globals.history_path,
                 "the history file of the runs that write (default "
                 "$XDG_STATE_HOME/krt6/history.jsonl)")
      ->type_name("FILE");
  app.add_flag("--no-history", globals.no_history, "keep no history of this run");
  app.add_option("--max-failures", globals.max_failures,
                 "start no further target once N targets have failed (default: no limit)")
      ->type_name("N")
      ->check(CLI::Range(1, 1000000));
}

void AddBatchOption(CLI::App& command, std::size_t& batch) {
  command
      .add_option("--batch", batch,
                  "write and verify N targets, then the next N (default: all at once, -j of them "
                  "at a time)")
      ->type_name("N")
      ->check(CLI::Range(1, 1000000));
}

std::string HistoryPath(const Globals& globals) {
  if (globals.no_history) return {};
  if (!globals.history_path.empty()) return globals.history_path;
  return DefaultHistoryPath([](const char* name) { return std::getenv(name); });
}

void RecordHistory(const CommandContext& context, const std::string& command, const Target& target,
                   const TargetResult& result) {
  if (context.history != nullptr) context.history->Record(target.Text, command, result);
}

Language ChosenLanguage(const Globals& globals) {
  if (globals.lang == "ja") return Language::kJapanese;
  if (globals.lang == "en") return Language::kEnglish;
  return LanguageForLocale(SystemLocaleName([](const char* name) { return std::getenv(name); }));
}

bool CollectTargets(const Globals& globals, Reporter& reporter, std::vector<Target>& targets,
                    int& status) {
  const Language language = reporter.Lang();
  std::vector<TargetText> texts;
  for (const std::string& text : globals.targets) texts.push_back({text, {}, 0, {}, nullptr});
  if (!globals.targets_file.empty()) {
    std::string error;
    if (!ReadTargetsFile(globals.targets_file, texts, error, language)) {
      status = reporter.Usage(error);
      return false;
    }
  }
  if (texts.empty()) {
    status = reporter.Usage(TextFor(kNoTargetText, language));
    return false;
  }
  auto parsed = ParseTargets(texts, language);
  if (auto* error = std::get_if<std::string>(&parsed)) {
    status = reporter.Usage(*error);
    return false;
  }
  targets = std::get<std::vector<Target>>(std::move(parsed));
  return true;
}

FleetOptions FleetOptionsFor(const CommandContext& context, bool reported) {
  FleetOptions options;
  options.Jobs = context.globals.jobs;
  options.Lang = context.language;
  options.Trace = context.globals.verbose;
  options.Messages = &context.reporter.Messages();
  if (!reported) return options;
  options.Progress =
      !context.globals.quiet && context.targets.size() > 1 && context.reporter.Terminal();
  options.MessagesLock = &context.reporter.Lock();
  options.Quiet = context.globals.quiet;
  options.Stop = context.globals.stop;
  options.MaxFailures = static_cast<std::size_t>(std::max(0, context.globals.max_failures));
  return options;
}

int RunOnTargets(const CommandContext& context, const std::string& command, const TargetJob& job,
                 const TargetRun& run) {
  FleetOptions options = FleetOptionsFor(context, true);
  options.Batch = run.batch;
  const std::vector<Target>& targets = context.targets;
  const bool several = targets.size() > 1;
  bool all_ok = true;
  bool any_changes = false;
  std::vector<TargetResult> results;
  {
    InterruptWatch interrupts(*context.globals.stop, [&](int count) {
      context.reporter.Notice(
          TextFor(count == 1 ? kStoppingText : kStillFinishingText, context.language),
          options.Progress);
    });
    results = RunFleet(targets, options, job, [&](std::size_t index, const TargetResult& result) {
      all_ok = all_ok && result.Ok();
      any_changes = any_changes || !result.Changes.empty();
      context.reporter.Result(targets[index].Text, command, result, several);
      if (run.each) run.each(targets[index], result);
    });
  }
  if (context.globals.stop->load()) {
    context.reporter.Error(InterruptSummary(results, context.language));
    return kExitInterrupted;
  }
  const auto not_started = static_cast<std::size_t>(std::count_if(
      results.begin(), results.end(), [](const TargetResult& r) { return r.Code == kNotStarted; }));
  if (not_started > 0) {
    context.reporter.Error(
        FormatText(kFailureLimitSummaryText, context.language,
                   {std::to_string(options.MaxFailures),
                    std::to_string(results.size() - not_started), std::to_string(not_started)}));
  }
  if (!all_ok) return kExitFailed;
  return run.drift && any_changes ? kExitDrift : kExitOk;
}

}  // namespace krt6::cli
