// get [params|lan|all] [-o FILE]: the settings as the JSON document, on stdout or into a file.
#include "cli/commands/command.h"
#include "cli/settings_commands.h"
#include "config/configuration.h"
#include "texts/texts.h"

namespace krt6::cli {
namespace {

constexpr TextPair kOneTargetText{"get -o FILE reads one target, not %1",
                                  "get -o FILE で読めるターゲットは 1 つだけです (%1 個あります)"};
constexpr TextPair kOnePartText{
    "%1: a setting file holds one part: get params or get lan",
    "%1: 設定ファイルに入るのは一方だけです: get params か get lan を使ってください"};
constexpr TextPair kTs0Text{
    "%1: a .ts0 file holds the parameters: get params",
    "%1: .ts0 ファイルにはパラメータが入ります: get params を使ってください"};
constexpr TextPair kTs1Text{"%1: a .ts1 file holds the LAN settings: get lan",
                            "%1: .ts1 ファイルには LAN 設定が入ります: get lan を使ってください"};

struct GetOptions {
  std::string parts = "all";
  std::string output;
};

void AddGetOptions(CLI::App& command, GetOptions& options) {
  command.add_option("part", options.parts, "params, lan or all (default all)")
      ->check(CLI::IsMember({"params", "lan", "all"}));
  command
      .add_option("-o,--output", options.output,
                  "write to FILE: .json the document, .ts0/.ts1 the setting file")
      ->type_name("FILE");
}

// Why -o FILE cannot take what is read, or empty.
std::string OutputRefusal(const GetOptions& options, Parts parts, std::size_t targets,
                          Language language) {
  const std::string& output = options.output;
  if (output.empty()) return {};
  if (targets > 1) return FormatText(kOneTargetText, language, std::to_string(targets));
  if (!IsConfigurationFileName(output)) return FormatText(kFileNameText, language, output);
  const std::string ext = FileExtension(output);
  if (ext != ".json" && parts.Parameters && parts.Lan) {
    return FormatText(kOnePartText, language, output);
  }
  if (ext == ".ts0" && !parts.Parameters) return FormatText(kTs0Text, language, output);
  if (ext == ".ts1" && !parts.Lan) return FormatText(kTs1Text, language, output);
  return {};
}

int RunGet(const GetOptions& options, const CommandContext& context) {
  const Language language = context.language;
  Parts parts;
  parts.Parameters = options.parts != "lan";
  parts.Lan = options.parts != "params";
  const std::string refused = OutputRefusal(options, parts, context.targets.size(), language);
  if (!refused.empty()) return context.reporter.Usage(refused);
  return RunOnTargets(context, "get",
                      [parts, output = options.output, language](Session& session, const Target&) {
                        return GetCommand(session, parts, output, language);
                      });
}

}  // namespace

CommandRegistration GetRegistration() {
  return Register<GetOptions>("get", "read the settings into JSON (stdout, or -o FILE)", true,
                              AddGetOptions, RunGet);
}

}  // namespace krt6::cli
