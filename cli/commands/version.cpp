// version: the firmware version text and its class.
#include "cli/commands.h"
#include "cli/commands/command.h"

namespace krt6::cli {
namespace {

int RunVersion(const NoOptions&, const CommandContext& context) {
  return RunOnTargets(context, "version",
                      [](Session& session, const Target&) { return VersionCommand(session); });
}

}  // namespace

CommandRegistration VersionRegistration() {
  return Register<NoOptions>("version", "the firmware version text and its class", true,
                             AddNoOptions, RunVersion);
}

}  // namespace krt6::cli
