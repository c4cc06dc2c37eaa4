// set FILE|KEY=VALUE...: writes a configuration (a settings file and/or pairs, in order, each over
// the last) to every target; --check shows what would change.
#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <string_view>

#include "cli/commands/command.h"
#include "cli/settings_commands.h"
#include "config/configuration.h"
#include "texts/texts.h"

namespace krt6::cli {
namespace {

constexpr TextPair kSecondFileText{"set takes one FILE; '%1' is a second",
                                   "set に渡せるファイルは 1 つです。'%1' は 2 つ目です"};
constexpr TextPair kNoFieldText{"the configuration names no field to set",
                                "設定する項目が 1 つもありません"};
constexpr TextPair kNeedsFirmwareText{
    "%1: a parallel port cannot read the version: give --firmware",
    "%1: パラレルポートではバージョンを読めません: --firmware を指定してください"};
constexpr TextPair kNeedsWholePartText{
    "%1: a parallel port cannot read the current settings: give every field of the part (a "
    ".ts0/.ts1 file, or get all from another printer)",
    "%1: パラレルポートでは現在の設定を読めません: その部分の全項目を指定してください "
    "(.ts0/.ts1 ファイル、または別のプリンタから get all で読んだもの)"};
constexpr TextPair kSharedIdentityText{
    "refused: %1 would give %2 printers (%3) the same value, and no two printers may share it; "
    "nothing was sent. Leave the key out, add --keep-identity so that each printer keeps its "
    "own, or set each printer on its own with its own value",
    "拒否しました: %1 により %2 台のプリンター (%3) が同じ値になりますが、この値は共有できません。"
    "何も送信していません。このキーを外すか、--keep-identity で各プリンターの値を保つか、"
    "プリンターごとに個別の値で設定してください"};
// %1: the row, %2: the key.
constexpr TextPair kKeptIdentityText{
    "%1: the table gives %2, which --keep-identity would leave out; nothing was sent. Drop the "
    "column or --keep-identity",
    "%1: 表が %2 を指定していますが、--keep-identity では送られません。何も送信していません。"
    "列か --keep-identity を外してください"};
constexpr TextPair kFirmwareText{
    "--firmware '%1': give the version text the printer reports, such as 1.0J (a digit, '.', a "
    "digit and a letter), or one of the window's items (1.0B ~ 1.0C, ..., Other)",
    "--firmware '%1': プリンターが返すバージョン (1.0J のように数字、'.'、数字、英字) "
    "か、画面の項目 (1.0B ~ 1.0C、…、Other) を指定してください"};

struct SetArguments {
  std::vector<std::string> inputs;
  SetOptions options;
  bool no_verify = false;
  bool keep_identity = false;
  std::size_t batch = 0;
};

void AddSetOptions(CLI::App& command, SetArguments& arguments) {
  command.add_option("input", arguments.inputs,
                     "FILE or KEY=VALUE (e.g. comm_speed=19200); a CSV/TSV --targets file may "
                     "give each printer values of its own");
  command.add_flag("--check", arguments.options.Check, "show what would change, write nothing");
  command.add_flag("--no-verify", arguments.no_verify, "do not read the written settings back");
  command.add_flag("--keep-identity", arguments.keep_identity,
                   "leave out ip_address and dhcp_hostname: every printer keeps its own");
  command
      .add_option("--firmware", arguments.options.Firmware,
                  "links without replies (parallel): the printer's firmware version, e.g. 1.0J")
      ->type_name("VERSION");
  AddBatchOption(command, arguments.batch);
}

// The configuration `set` applies: a FILE and/or KEY=VALUE pairs, in order, each over the last.
// The refusal naming the key, or empty.
std::string BuildConfiguration(const std::vector<std::string>& inputs, bool keep_identity,
                               Language language, Configuration& configuration) {
  bool file_seen = false;
  for (const std::string& input : inputs) {
    const bool is_pair = input.find('=') != std::string::npos && !IsConfigurationFileName(input);
    ConfigError error;
    if (is_pair) {
      error = ApplyKeyValue(configuration, input, language);
    } else if (file_seen) {
      return FormatText(kSecondFileText, language, input);
    } else {
      file_seen = true;
      auto loaded = LoadConfiguration(input, language, ValueUse::kSend);
      if (auto* refused = std::get_if<ConfigError>(&loaded)) {
        error = *refused;
      } else {
        LayOver(configuration, std::get<Configuration>(loaded));
      }
    }
    if (!error.Ok()) return error.Message;
  }
  if (keep_identity) configuration = WithoutIdentity(std::move(configuration));
  return {};
}

using Configurations = std::vector<std::shared_ptr<const Configuration>>;

// The configuration of each target: the command line's, under the values of its table row
// (--keep-identity leaves the identity out of both).
Configurations TargetConfigurations(const Configuration& line, const std::vector<Target>& targets,
                                    bool keep_identity) {
  const auto shared = std::make_shared<const Configuration>(line);
  Configurations each;
  each.reserve(targets.size());
  for (const Target& target : targets) {
    if (!target.Values) {
      each.push_back(shared);
      continue;
    }
    Configuration own = line;
    LayOver(own, *target.Values);
    if (keep_identity) own = WithoutIdentity(std::move(own));
    each.push_back(std::make_shared<const Configuration>(std::move(own)));
  }
  return each;
}

// With --keep-identity, the refusal of a table row that gives a printer its identity (the run
// would drop the value the row asks for), or empty.
std::string KeptIdentityRefusal(const std::vector<Target>& targets, Language language) {
  for (const Target& target : targets) {
    if (!target.Values) continue;
    const std::vector<IdentityValue> values = IdentityValues(*target.Values);
    if (!values.empty()) {
      return FormatText(kKeptIdentityText, language, Printable(target.Origin), values[0].Key);
    }
  }
  return {};
}

// The refusal of a target whose configuration names no field (the row named for a table's), or
// empty.
std::string NoFieldRefusal(const Configurations& configurations, const std::vector<Target>& targets,
                           Language language) {
  for (std::size_t i = 0; i < targets.size(); ++i) {
    if (configurations[i]->HasParameters || configurations[i]->HasLan) continue;
    const std::string text = TextFor(kNoFieldText, language);
    return targets[i].Values ? Printable(targets[i].Origin) + ": " + text : text;
  }
  return configurations.empty() ? TextFor(kNoFieldText, language) : std::string();
}

// "1.0J": what a printer reports; "1.0B ~ 1.0C" and "Other": the window's version items.
bool IsFirmwareText(const std::string& text) {
  auto is_version = [](std::string_view v) {
    return v.size() == 4 && std::isdigit(static_cast<unsigned char>(v[0])) && v[1] == '.' &&
           std::isdigit(static_cast<unsigned char>(v[2])) &&
           std::isalpha(static_cast<unsigned char>(v[3]));
  };
  if (is_version(text) || text == "Other") return true;
  const std::string_view view(text);
  return view.size() == 11 && view.substr(4, 3) == " ~ " && is_version(view.substr(0, 4)) &&
         is_version(view.substr(7));
}

// The refusal of a run that would give several printers one identity (an address or a host
// name), or empty.
std::string SharedIdentity(const Configuration& configuration, const std::vector<Target>& targets,
                           Language language) {
  if (targets.size() < 2) return {};
  const std::vector<IdentityValue> values = IdentityValues(configuration);
  if (values.empty()) return {};
  std::string keys;
  for (const IdentityValue& value : values) {
    keys += (keys.empty() ? "" : ", ") + value.Key + " " + value.Value;
  }
  constexpr std::size_t kNamed = 3;
  std::string named;
  for (std::size_t i = 0; i < targets.size() && i < kNamed; ++i) {
    named += (i == 0 ? "" : ", ") + Printable(targets[i].Text);
  }
  if (targets.size() > kNamed) named += ", ...";
  return FormatText(kSharedIdentityText, language, {keys, std::to_string(targets.size()), named});
}

// The refusal of a run whose targets' own configurations (a table's rows among them) would give
// two printers one identity value, naming the value and the targets' origins; or empty.
std::string SharedIdentityOfRows(const Configurations& configurations,
                                 const std::vector<Target>& targets, Language language) {
  struct Holders {
    std::string shown;  // "lan.ip_address 10.0.0.5"
    std::vector<std::size_t> targets;
  };
  std::map<std::string, Holders> holders;  // by key and value, a host name in lower case
  for (std::size_t i = 0; i < targets.size(); ++i) {
    for (const IdentityValue& value : IdentityValues(*configurations[i])) {
      std::string folded = value.Key + " " + value.Value;
      std::transform(folded.begin(), folded.end(), folded.begin(), [](char c) {
        return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      });
      Holders& held = holders[folded];
      held.shown = value.Key + " " + value.Value;
      held.targets.push_back(i);
    }
  }
  constexpr std::size_t kNamed = 3;
  for (const auto& [key, held] : holders) {
    if (held.targets.size() < 2) continue;
    std::string named;
    for (std::size_t i = 0; i < held.targets.size() && i < kNamed; ++i) {
      named += (i == 0 ? "" : ", ") + Printable(targets[held.targets[i]].Origin);
    }
    if (held.targets.size() > kNamed) named += ", ...";
    return FormatText(kSharedIdentityText, language,
                      {held.shown, std::to_string(held.targets.size()), named});
  }
  return {};
}

// A parallel port takes no replies: the version must be given and the parts named whole.
std::string ParallelRefusal(const Configurations& configurations, const SetOptions& options,
                            const std::vector<Target>& targets, Language language) {
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const Target& target = targets[i];
    const Configuration& configuration = *configurations[i];
    if (target.Kind != lkLpt) continue;
    if (options.Firmware.empty()) {
      return FormatText(kNeedsFirmwareText, language, Printable(target.Text));
    }
    if ((configuration.HasParameters && !NamesWholeParameters(configuration)) ||
        (configuration.HasLan && !NamesWholeLan(configuration))) {
      return FormatText(kNeedsWholePartText, language, Printable(target.Text));
    }
  }
  return {};
}

int RunSet(const SetArguments& arguments, const CommandContext& context) {
  const Language language = context.language;
  Reporter& reporter = context.reporter;
  SetOptions options = arguments.options;
  if (!options.Firmware.empty() && !IsFirmwareText(options.Firmware)) {
    return reporter.Usage(FormatText(kFirmwareText, language, options.Firmware));
  }
  const std::vector<Target>& targets = context.targets;
  Configuration configuration;
  std::string refused =
      BuildConfiguration(arguments.inputs, arguments.keep_identity, language, configuration);
  const Configurations each = TargetConfigurations(configuration, targets, arguments.keep_identity);
  if (refused.empty() && arguments.keep_identity) refused = KeptIdentityRefusal(targets, language);
  if (refused.empty()) refused = NoFieldRefusal(each, targets, language);
  const bool rows = std::any_of(targets.begin(), targets.end(),
                                [](const Target& target) { return target.Values != nullptr; });
  if (refused.empty()) {
    refused = rows ? SharedIdentityOfRows(each, targets, language)
                   : SharedIdentity(configuration, targets, language);
  }
  if (refused.empty()) refused = ParallelRefusal(each, options, targets, language);
  if (!refused.empty()) return reporter.Usage(refused);
  options.Verify = !arguments.no_verify;
  options.Stop = context.globals.stop;
  TargetRun run;
  run.batch = arguments.batch;
  run.drift = options.Check;
  // A run that only looks leaves no history; one that changed nothing does (what was run).
  if (!options.Check) {
    run.each = [&context](const Target& target, const TargetResult& result) {
      RecordHistory(context, "set", target, result);
    };
  }
  // RunFleet hands each job its target from `targets`: its place there picks its configuration.
  const Target* first = targets.data();
  return RunOnTargets(
      context, "set",
      [each, first, options, language](Session& session, const Target& target) {
        return SetCommand(session, *each[static_cast<std::size_t>(&target - first)], options,
                          language);
      },
      run);
}

}  // namespace

CommandRegistration SetRegistration() {
  CommandRegistration registration = Register<SetArguments>(
      "set", "write a configuration: FILE (.json, .ts0, .ts1) and/or KEY=VALUE pairs", true,
      AddSetOptions, RunSet);
  registration.TakesTargetValues = true;
  return registration;
}

}  // namespace krt6::cli
