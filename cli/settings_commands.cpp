#include "cli/settings_commands.h"

#include "protocol/commands.h"
#include "texts/texts.h"

namespace krt6::cli {
namespace {

// A configuration that names every field of the parts given.
Configuration Whole(const ParameterBlock* parameters, const LanSettings* lan, Language language) {
  auto parsed = ConfigurationFromJson(ToJson(parameters, lan), language, ValueUse::kStore);
  if (auto* configuration = std::get_if<Configuration>(&parsed)) return std::move(*configuration);
  Configuration fallback;  // every record converts; kept only for completeness
  fallback.HasParameters = parameters != nullptr;
  fallback.HasLan = lan != nullptr;
  if (parameters != nullptr) fallback.Parameters = *parameters;
  if (lan != nullptr) fallback.Lan = *lan;
  return fallback;
}

TargetResult CannotReceive(Language language) {
  TargetResult result;
  result.Code = kCannotDo;
  result.Detail = TextFor(kParallelCannotReceiveText, language);
  return result;
}

void Append(std::vector<FieldChange>& to, std::vector<FieldChange> more) {
  to.insert(to.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
}

std::string Keys(const std::vector<FieldChange>& changes) {
  std::string keys;
  for (const FieldChange& change : changes) keys += (keys.empty() ? "" : ", ") + change.Key;
  return keys;
}

}  // namespace

std::vector<Change> Changes(const std::vector<FieldChange>& changes) {
  std::vector<Change> list;
  list.reserve(changes.size());
  for (const FieldChange& change : changes)
    list.push_back({change.Key, change.Before, change.After});
  return list;
}

ReadSettings ReadConfiguration(Session& session, Parts parts, Language language) {
  ReadSettings read;
  read.Status.Code = kSuccess;
  ParameterBlock parameters = StartupParameters();
  LanSettings lan = StartupLanSettings();
  if (parts.Parameters) {
    const Outcome<VersionText> version = session.ReadFirmwareVersion();
    if (!version.Ok()) {
      read.Status = version;
      return read;
    }
    Outcome<ParameterBlock> outcome = session.ReadParameters(parameters);
    if (!outcome.Ok()) {
      read.Status = outcome;
      return read;
    }
    parameters = outcome.Value;
  }
  if (parts.Lan) {
    Outcome<LanSettings> outcome = session.ReadLanSettings(lan);
    if (!outcome.Ok()) {
      read.Status = outcome;
      return read;
    }
    lan = outcome.Value;
  }
  read.Read = Whole(parts.Parameters ? &parameters : nullptr, parts.Lan ? &lan : nullptr, language);
  return read;
}

TargetResult GetCommand(Session& session, Parts parts, const std::string& output,
                        Language language) {
  if (!session.CanReceive(session.Kind())) return CannotReceive(language);
  ReadSettings read = ReadConfiguration(session, parts, language);
  if (!read.Status.Ok()) return Failed(read.Status);
  TargetResult result;
  result.Data = ToJson(read.Read);
  if (output.empty()) {
    result.Text = JsonText(result.Data);
    result.TextIsOutput = true;
    if (!result.Text.empty() && result.Text.back() == '\n') result.Text.pop_back();
    return result;
  }
  const ConfigError saved = SaveConfiguration(output, read.Read, language);
  if (!saved.Ok()) {
    result.Code = kFileOpenError;
    result.Detail = saved.Message;
    return result;
  }
  result.Text = output;
  return result;
}

TargetResult SetCommand(Session& session, const Configuration& configuration,
                        const SetOptions& options, Language language) {
  TargetResult result;
  if (!session.CanReceive(session.Kind())) {
    // Nothing can be read: the whole parts go out in the formats of the version given.
    if (options.Check) return CannotReceive(language);
    session.SetVersionIndex(VersionIndexForText(options.Firmware.c_str()));
    if (configuration.HasParameters) {
      const Outcome<void> written = session.WriteParameters(configuration.Parameters);
      if (!written.Ok()) return Failed(written);
    }
    if (configuration.HasLan) {
      const Outcome<void> written = session.WriteLanSettings(configuration.Lan);
      if (!written.Ok()) return Failed(written);
    }
    result.Changed = true;
    result.Text = FormatText(kChangedText, language, "all") + TextFor(kNotVerifiedText, language);
    result.Data = ToJson(configuration);
    return result;
  }

  const Outcome<VersionText> version = session.ReadFirmwareVersion();
  if (!version.Ok()) return Failed(version);
  const int version_index = session.VersionIndex();

  ParameterBlock current_parameters = StartupParameters();
  LanSettings current_lan = StartupLanSettings();
  if (configuration.HasParameters) {
    Outcome<ParameterBlock> read = session.ReadParameters(current_parameters);
    if (!read.Ok()) return Failed(read);
    current_parameters = read.Value;
  }
  if (configuration.HasLan) {
    Outcome<LanSettings> read = session.ReadLanSettings(current_lan);
    if (!read.Ok()) return Failed(read);
    current_lan = read.Value;
  }
  const ParameterBlock intended_parameters = Overlay(configuration, current_parameters);
  const LanSettings intended_lan = Overlay(configuration, current_lan);
  std::vector<FieldChange> parameter_changes;
  std::vector<FieldChange> lan_changes;
  if (configuration.HasParameters) {
    parameter_changes =
        Diff(current_parameters, intended_parameters, language, DiffScope::kPrinter, version_index);
  }
  if (configuration.HasLan) {
    lan_changes = Diff(current_lan, intended_lan, language, DiffScope::kPrinter, version_index);
  }
  std::vector<FieldChange> all = parameter_changes;
  Append(all, lan_changes);
  result.Changes = Changes(all);
  const ParameterBlock* parameters_named =
      configuration.HasParameters ? &current_parameters : nullptr;
  const LanSettings* lan_named = configuration.HasLan ? &current_lan : nullptr;
  if (all.empty()) {
    result.Text = TextFor(kUnchangedText, language);
    result.Data = ToJson(parameters_named, lan_named);
    return result;
  }
  if (options.Check) {
    result.Text = FormatText(kWouldChangeText, language, std::to_string(all.size()));
    result.Data = ToJson(parameters_named, lan_named);
    return result;
  }

  if (!parameter_changes.empty()) {
    const Outcome<void> written = session.WriteParameters(intended_parameters);
    if (!written.Ok()) return Failed(written);
    result.Changed = true;
  }
  if (!lan_changes.empty()) {
    const Outcome<void> written = session.WriteLanSettings(intended_lan);
    if (!written.Ok()) {
      TargetResult failed = Failed(written);
      failed.Changed = result.Changed;
      failed.Changes = result.Changes;
      return failed;
    }
    result.Changed = true;
  }
  ParameterBlock now_parameters = intended_parameters;
  LanSettings now_lan = intended_lan;
  if (options.Verify) {
    std::vector<FieldChange> differences;
    if (configuration.HasParameters) {
      Outcome<ParameterBlock> read = session.ReadParameters(StartupParameters());
      if (!read.Ok()) return Failed(read);
      now_parameters = read.Value;
      Append(differences, Diff(intended_parameters, now_parameters, language, DiffScope::kPrinter,
                               version_index));
    }
    if (configuration.HasLan) {
      Outcome<LanSettings> read = session.ReadLanSettings(StartupLanSettings());
      if (!read.Ok()) return Failed(read);
      now_lan = read.Value;
      Append(differences,
             Diff(intended_lan, now_lan, language, DiffScope::kPrinter, version_index));
    }
    if (!differences.empty()) {
      result.Code = kReadBackDiffers;
      result.Detail = FormatText(kNotKeptText, language, Keys(differences));
    }
  }
  result.Data = ToJson(configuration.HasParameters ? &now_parameters : nullptr,
                       configuration.HasLan ? &now_lan : nullptr);
  result.Text = FormatText(kChangedText, language, std::to_string(all.size()));
  if (!options.Verify) result.Text += TextFor(kNotVerifiedText, language);
  return result;
}

}  // namespace krt6::cli
