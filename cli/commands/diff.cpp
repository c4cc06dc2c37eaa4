// diff A B: two configurations field by field, each side a settings file or a target (read
// whole: parameters and LAN settings).
#include <sys/stat.h>

#include <optional>

#include "cli/commands.h"
#include "cli/commands/command.h"
#include "cli/settings_commands.h"
#include "config/configuration.h"

namespace krt6::cli {
namespace {

struct DiffOptions {
  std::string a;
  std::string b;
};

struct Side {
  std::string text;
  std::optional<Target> target;
  Configuration configuration;
};

void AddDiffOptions(CLI::App& command, DiffOptions& options) {
  command.add_option("a", options.a, "FILE or TARGET")->required();
  command.add_option("b", options.b, "FILE or TARGET")->required();
}

// Loads a side that is a file, or parses its target; the refusal, or empty.
std::string ReadSide(Side& side, Language language) {
  struct stat info {};
  if (IsConfigurationFileName(side.text) ||
      (::stat(side.text.c_str(), &info) == 0 && S_ISREG(info.st_mode))) {
    auto loaded = LoadConfiguration(side.text, language, ValueUse::kStore);
    if (auto* refused = std::get_if<ConfigError>(&loaded)) return refused->Message;
    side.configuration = std::get<Configuration>(std::move(loaded));
    return {};
  }
  auto parsed = ParseTarget(side.text, language);
  if (auto* error = std::get_if<std::string>(&parsed)) return *error;
  side.target = std::get<Target>(std::move(parsed));
  return {};
}

// Reads the sides that are targets (each failure on stderr); false when one failed.
bool ReadTargets(std::vector<Side>& sides, const CommandContext& context) {
  std::vector<Target> targets;
  for (const Side& side : sides) {
    if (side.target) targets.push_back(*side.target);
  }
  if (targets.empty()) return true;
  const Language language = context.language;
  std::vector<Configuration> read(targets.size());
  bool all_ok = true;
  RunFleet(
      targets, FleetOptionsFor(context, false),
      [&](Session& session, const Target& target) {
        if (!session.CanReceive(session.Kind())) return GetCommand(session, {}, {}, language);
        ReadSettings settings = ReadConfiguration(session, Parts{});
        if (!settings.Status.Ok()) return Failed(settings.Status);
        read[static_cast<std::size_t>(&target - targets.data())] = std::move(settings.Read);
        return TargetResult{};
      },
      [&](std::size_t index, const TargetResult& result) {
        if (result.Ok()) return;
        all_ok = false;
        context.reporter.Failure(targets[index].Text, result);
      });
  if (!all_ok) return false;
  std::size_t next = 0;
  for (Side& side : sides) {
    if (side.target) side.configuration = std::move(read[next++]);
  }
  return true;
}

int RunDiff(const DiffOptions& options, const CommandContext& context) {
  std::vector<Side> sides{{options.a, {}, {}}, {options.b, {}, {}}};
  for (Side& side : sides) {
    const std::string refused = ReadSide(side, context.language);
    if (!refused.empty()) return context.reporter.Usage(refused);
  }
  if (!ReadTargets(sides, context)) return kExitFailed;
  const std::vector<Change> changes =
      Changes(Diff(sides[0].configuration, sides[1].configuration, context.language));
  context.reporter.Comparison(changes);
  return changes.empty() ? kExitOk : kExitDrift;
}

}  // namespace

CommandRegistration DiffRegistration() {
  return Register<DiffOptions>(
      "diff", "compare two configurations field by field: files (.json, .ts0, .ts1) or targets",
      false, AddDiffOptions, RunDiff);
}

}  // namespace krt6::cli
