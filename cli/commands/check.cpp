// check: the printers' state for a monitoring host, in the conventions of its plugins: one line
// "K-RT6 STATE - TEXT | PERFDATA" (more lines for several targets), exit status 0 OK, 1 WARNING,
// 2 CRITICAL, 3 UNKNOWN. Bad arguments are UNKNOWN too (see Reporter::SetPlugin).
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

#include "cli/commands/command.h"
#include "cli/monitoring.h"
#include "monitor/probe.h"
#include "monitor/status_levels.h"
#include "texts/texts.h"

namespace krt6::cli {
namespace {

using monitor::Level;

// %1 the response time in seconds, %2 the option, %3 its range.
constexpr TextPair kSlowText{"response %1 s (%2 %3)", "応答時間 %1 秒 (%2 %3)"};
// %1 the number of printers, %2 the count of each state ("2 CRITICAL, 1 OK").
constexpr TextPair kSummaryText{"%1 printers: %2", "プリンター %1 台: %2"};
constexpr TextPair kCheckInterruptedText{"interrupted before every printer had answered",
                                         "すべてのプリンターが応答する前に中断しました"};
constexpr TextPair kBadRangeText{
    "not a threshold: give seconds (N: above N), or a range [@][START:][END]",
    "しきい値ではありません: 秒数 (N: N より上) か範囲 [@][START:][END] を指定してください"};

// A threshold in the plugins' range syntax [@][START:][END]: "N" alerts outside 0..N (above N),
// "N:" below N, "~:N" above N, "A:B" outside A..B, "@A:B" inside A..B.
struct Range {
  std::string text;  // as given; empty: no threshold
  double start = 0;
  double end = std::numeric_limits<double>::infinity();
  bool inside = false;
  bool Alerts(double value) const {
    if (text.empty()) return false;
    const bool within = value >= start && value <= end;
    return inside ? within : !within;
  }
};

// A number in the C locale's form, whatever the process's locale.
std::optional<double> Number(std::string_view text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
      !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::optional<Range> ParseRange(const std::string& text) {
  Range range;
  range.text = text;
  std::string_view rest = text;
  if (!rest.empty() && rest.front() == '@') {
    range.inside = true;
    rest.remove_prefix(1);
  }
  const std::size_t colon = rest.find(':');
  std::string_view first =
      colon == std::string_view::npos ? std::string_view() : rest.substr(0, colon);
  std::string_view second = colon == std::string_view::npos ? rest : rest.substr(colon + 1);
  if (first == "~") {
    range.start = -std::numeric_limits<double>::infinity();
  } else if (!first.empty()) {
    const auto start = Number(first);
    if (!start) return std::nullopt;
    range.start = *start;
  }
  if (!second.empty()) {
    const auto end = Number(second);
    if (!end) return std::nullopt;
    range.end = *end;
  } else if (colon == std::string_view::npos) {
    return std::nullopt;  // nothing at all
  }
  if (range.start > range.end) return std::nullopt;
  return range;
}

struct CheckOptions {
  std::string warning;
  std::string critical;
  Range warning_range;
  Range critical_range;
};

void AddCheckOptions(CLI::App& command, CheckOptions& options) {
  command
      .add_option("-w,--warning", options.warning,
                  "WARNING when the response time in seconds is outside this range (N: above N)")
      ->type_name("SECONDS");
  command
      .add_option("-c,--critical", options.critical,
                  "CRITICAL when the response time in seconds is outside this range (N: above N)")
      ->type_name("SECONDS");
}

// "ok", "warning", ...: the level's name as a perfdata label or a JSON key.
std::string LowerName(Level level) {
  std::string name(monitor::LevelName(level));
  for (char& c : name) c = static_cast<char>(c | 0x20);
  return name;
}

// A printer's level and the text after "K-RT6 LEVEL - ".
struct Verdict {
  Level level = Level::kUnknown;
  std::string text;
  double seconds = 0;
};

std::ptrdiff_t CountOf(const std::vector<Verdict>& verdicts, Level level) {
  return std::count_if(verdicts.begin(), verdicts.end(),
                       [level](const Verdict& v) { return v.level == level; });
}

// A text fit for a plugin's output line: no line breaks, no '|' (which begins the perfdata).
std::string PluginText(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    if (c == '|') c = '/';
  }
  return text;
}

// A perfdata label: quoted, without the '=' and quote characters the format reserves.
std::string PerfLabel(std::string label) {
  for (char& c : label) {
    if (c == '=' || c == '\'') c = '_';
  }
  return "'" + label + "'";
}

// One printer's status probe as a result: the status with its stable name, and the probe's time.
TargetResult ProbeJob(Session& session, Language language) {
  const monitor::Probe probe = monitor::ProbeStatus(session);
  TargetResult result;
  if (!probe.up) {
    result = Failed(probe.result);
    result.Data = {{"seconds", probe.seconds}};
    return result;
  }
  const monitor::StatusRow& row = monitor::StatusRowOf(probe.status_index);
  std::string text = StatusText(probe.status_index, language);
  if (text.empty()) text = TextFor(kUnknownStatusText, language);
  result.Text = text;
  result.Data = {{"status_code", probe.status_index},
                 {"status_name", std::string(row.name)},
                 {"status", text},
                 {"seconds", probe.seconds}};
  return result;
}

Verdict Judge(const TargetResult& result, const CheckOptions& options, Language language) {
  Verdict verdict;
  verdict.seconds = result.Data.is_object() ? result.Data.value("seconds", 0.0) : 0.0;
  if (!result.Ok()) {
    // A probe that threw (RunFleet's kUnknownError without a cause) is a fault of the check.
    const bool internal = result.Code == kUnknownError && result.Why == Cause::kNone;
    verdict.level = internal ? Level::kUnknown : DownLevel(ResultCause(result));
    verdict.text =
        ResultText(result.Code, language) + " (" + std::string(CauseKey(ResultCause(result))) + ")";
    if (!result.Detail.empty()) verdict.text += ": " + result.Detail;
    verdict.text = PluginText(verdict.text);
    return verdict;
  }
  verdict.level = monitor::StatusRowOf(result.Data.value("status_code", 0)).level;
  verdict.text = PluginText(result.Text);
  const std::string seconds = Fixed(verdict.seconds, verdict.seconds < 0.1 ? 6 : 3);
  for (const auto& [range, level, name] :
       {std::tuple{&options.critical_range, Level::kCritical, "--critical"},
        std::tuple{&options.warning_range, Level::kWarning, "--warning"}}) {
    if (!range->Alerts(verdict.seconds)) continue;
    verdict.level = Worse(verdict.level, level);
    verdict.text += ", " + FormatText(kSlowText, language, {seconds, name, range->text});
    break;
  }
  return verdict;
}

std::string TimePerf(const std::string& label, double seconds, const CheckOptions& options) {
  return PerfLabel(label) + "=" + Fixed(seconds, 6) + "s;" + options.warning + ";" +
         options.critical + ";0";
}

std::string LevelWord(Level level) { return "K-RT6 " + std::string(monitor::LevelName(level)); }

// "2 CRITICAL, 1 OK": the count of each level present, worst first.
std::string Counts(const std::vector<Verdict>& verdicts) {
  std::string text;
  for (Level level : {Level::kCritical, Level::kWarning, Level::kUnknown, Level::kOk}) {
    const auto count = CountOf(verdicts, level);
    if (count == 0) continue;
    text += (text.empty() ? "" : ", ") + std::to_string(count) + " " +
            std::string(monitor::LevelName(level));
  }
  return text;
}

// The plugin's text: the first line with the overall state and perfdata, then for several
// targets one line each, the last followed by the printers' response times.
std::string PluginOutput(const std::vector<Target>& targets, const std::vector<Verdict>& verdicts,
                         Level overall, const CheckOptions& options, Language language) {
  if (targets.size() == 1) {
    return LevelWord(overall) + " - " + verdicts[0].text + " | " +
           TimePerf("time", verdicts[0].seconds, options);
  }
  std::string out =
      LevelWord(overall) + " - " +
      FormatText(kSummaryText, language, std::to_string(targets.size()), Counts(verdicts)) + " |";
  for (Level level : {Level::kOk, Level::kWarning, Level::kCritical, Level::kUnknown}) {
    out += " '" + LowerName(level) + "'=" + std::to_string(CountOf(verdicts, level)) + ";;;0";
  }
  out += "\n";
  for (std::size_t i = 0; i < targets.size(); ++i) {
    out += "[" + std::string(monitor::LevelName(verdicts[i].level)) + "] " +
           PluginText(targets[i].Text) + ": " + verdicts[i].text;
    out += i + 1 < targets.size() ? "\n" : " | ";
  }
  for (std::size_t i = 0; i < targets.size(); ++i) {
    out += (i == 0 ? "" : "\n") + TimePerf(targets[i].Text + " time", verdicts[i].seconds, options);
  }
  return out;
}

// One JSON line a target (the output contract's, its data with the state and the text), then
// the overall state with the count of each level.
void ReportJson(const CommandContext& context, const std::vector<TargetResult>& results,
                const std::vector<Verdict>& verdicts, Level overall) {
  for (std::size_t i = 0; i < results.size(); ++i) {
    TargetResult result = results[i];
    result.Data["state"] = std::string(monitor::LevelName(verdicts[i].level));
    result.Data["text"] = verdicts[i].text;
    context.reporter.Record(JsonLine(context.targets[i].Text, "check", result, context.language),
                            {});
  }
  nlohmann::ordered_json summary;
  summary["state"] = std::string(monitor::LevelName(overall));
  summary["exit_status"] = static_cast<int>(overall);
  summary["printers"] = results.size();
  for (Level level : {Level::kOk, Level::kWarning, Level::kCritical, Level::kUnknown}) {
    summary[LowerName(level)] = CountOf(verdicts, level);
  }
  context.reporter.Record(OneLine(summary), {});
}

// The thresholds of --warning and --critical; false (after the message) when one is no range.
bool ReadRanges(CheckOptions& options, const CommandContext& context) {
  for (const auto& [text, range, name] :
       {std::tuple{&options.warning, &options.warning_range, "--warning"},
        std::tuple{&options.critical, &options.critical_range, "--critical"}}) {
    if (text->empty()) continue;
    const std::optional<Range> parsed = ParseRange(*text);
    if (!parsed) {
      context.reporter.Usage(std::string(name) + " " + Printable(*text) + ": " +
                             TextFor(kBadRangeText, context.language));
      return false;
    }
    *range = *parsed;
  }
  return true;
}

int CheckTargets(const CheckOptions& given, const CommandContext& context) {
  CheckOptions options = given;
  if (!ReadRanges(options, context)) return static_cast<int>(Level::kUnknown);
  const Language language = context.language;
  FleetOptions fleet = FleetOptionsFor(context, false);
  fleet.Stop = context.globals.stop;
  std::vector<TargetResult> results;
  {
    InterruptWatch interrupts(*context.globals.stop, [](int) {});
    results = RunFleet(
        context.targets, fleet,
        [language](Session& session, const Target&) { return ProbeJob(session, language); },
        [](std::size_t, const TargetResult&) {});
  }
  if (context.globals.stop->load()) {
    return context.reporter.Usage(TextFor(kCheckInterruptedText, language));
  }
  std::vector<Verdict> verdicts;
  Level overall = Level::kOk;
  for (const TargetResult& result : results) {
    verdicts.push_back(Judge(result, options, language));
    overall = Worse(overall, verdicts.back().level);
  }
  if (context.reporter.Json()) {
    ReportJson(context, results, verdicts, overall);
  } else {
    context.reporter.Record({},
                            PluginOutput(context.targets, verdicts, overall, options, language));
  }
  return static_cast<int>(overall);
}

// An internal failure is UNKNOWN as well, never krt6ctl's end by an exception.
int RunCheck(const CheckOptions& options, const CommandContext& context) {
  try {
    return CheckTargets(options, context);
  } catch (const std::exception& error) {
    return context.reporter.Usage(error.what());
  }
}

}  // namespace

CommandRegistration CheckRegistration() {
  CommandRegistration registration =
      Register<CheckOptions>("check",
                             "a monitoring plugin: the printers' state in one line, exit 0 OK, 1 "
                             "WARNING, 2 CRITICAL, 3 UNKNOWN",
                             true, AddCheckOptions, RunCheck);
  registration.Plugin = true;
  return registration;
}

}  // namespace krt6::cli
