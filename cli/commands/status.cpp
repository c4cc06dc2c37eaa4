// status: the printer's status text and code.
#include "cli/commands.h"
#include "cli/commands/command.h"

namespace krt6::cli {
namespace {

int RunStatus(const NoOptions&, const CommandContext& context) {
  const Language language = context.language;
  return RunOnTargets(context, "status", [language](Session& session, const Target&) {
    return StatusCommand(session, language);
  });
}

}  // namespace

CommandRegistration StatusRegistration() {
  return Register<NoOptions>("status", "the printer's status text and code", true, AddNoOptions,
                             RunStatus);
}

}  // namespace krt6::cli
