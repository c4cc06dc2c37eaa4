#include "cli/commands.h"

#include "protocol/commands.h"
#include "texts/texts.h"

namespace krt6::cli {

TargetResult CannotReceive(Language language) {
  TargetResult result;
  result.Code = kCannotDo;
  result.Detail = TextFor(kParallelCannotReceiveText, language);
  return result;
}

TargetResult StatusCommand(Session& session, Language language) {
  if (!session.CanReceive(session.Kind())) return CannotReceive(language);
  const Outcome<std::int32_t> outcome = session.ReadStatus();
  if (!outcome.Ok()) return Failed(outcome);
  TargetResult result;
  result.Text = StatusText(outcome.Value, language);
  if (result.Text.empty()) result.Text = "status " + std::to_string(outcome.Value);
  result.Data = {{"status_code", outcome.Value}, {"status", StatusText(outcome.Value, language)}};
  return result;
}

TargetResult VersionCommand(Session& session) {
  if (!session.CanReceive(session.Kind())) return CannotReceive(session.CurrentLanguage());
  const Outcome<VersionText> outcome = session.ReadFirmwareVersion();
  if (!outcome.Ok()) return Failed(outcome);
  TargetResult result;
  result.Text = outcome.Value.Text;
  result.Data = {{"version", std::string(outcome.Value.Text)},
                 {"class", VersionIndexForText(outcome.Value.Text)}};
  return result;
}

TargetResult MaintenanceCommand(Session& session, Maintenance command, std::int32_t value) {
  Outcome<void> outcome;
  switch (command) {
    case Maintenance::kCalibrate: outcome = session.CalibrateSensor(value); break;
    case Maintenance::kZ1: outcome = session.SendZ1Command(value); break;
    case Maintenance::kZ4: outcome = session.SendZ4Command(); break;
  }
  if (!outcome.Ok()) return Failed(outcome);
  TargetResult result;
  result.Text = TextFor(kSuccessText, session.CurrentLanguage());
  return result;
}

}  // namespace krt6::cli
