#include "cli/settings_commands.h"

#include <algorithm>
#include <optional>

#include "protocol/commands.h"
#include "texts/field_texts.h"
#include "texts/texts.h"

namespace krt6::cli {
namespace {

TargetResult CannotReceive(Language language) {
  TargetResult result;
  result.Code = kCannotDo;
  result.Detail = TextFor(kParallelCannotReceiveText, language);
  return result;
}

void Append(std::vector<FieldChange>& to, std::vector<FieldChange> more) {
  to.insert(to.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
}

std::string Joined(const std::vector<std::string>& keys) {
  std::string text;
  for (const std::string& key : keys) text += (text.empty() ? "" : ", ") + key;
  return text;
}

std::string Keys(const std::vector<FieldChange>& changes) {
  std::vector<std::string> keys;
  for (const FieldChange& change : changes) keys.push_back(change.Key);
  return Joined(keys);
}

}  // namespace

std::vector<Change> Changes(const std::vector<FieldChange>& changes) {
  std::vector<Change> list;
  list.reserve(changes.size());
  for (const FieldChange& change : changes)
    list.push_back({change.Key, change.Before, change.After});
  return list;
}

ReadSettings ReadConfiguration(Session& session, Parts parts) {
  ReadSettings read;
  read.Status.code = kSuccess;
  ParameterBlock parameters = StartupParameters();
  LanSettings lan = StartupLanSettings();
  if (parts.Parameters) {
    const Outcome<VersionText> version = session.ReadFirmwareVersion();
    if (!version.Ok()) {
      read.Status = version;
      return read;
    }
    read.Firmware = version.Value.Text;
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
  read.Read = FromRecords(parts.Parameters ? &parameters : nullptr, parts.Lan ? &lan : nullptr);
  return read;
}

TargetResult GetCommand(Session& session, Parts parts, const std::string& output,
                        Language language) {
  if (!session.CanReceive(session.Kind())) return CannotReceive(language);
  ReadSettings read = ReadConfiguration(session, parts);
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

namespace {

// The named keys the firmware of `version_index` cannot receive and that the configuration would
// give a value other than the one the printer is taken to hold: a printer's reply carries none of
// them, so a read leaves the value a configuration read from such a printer holds too.
std::vector<std::string> NotTaken(const ParameterBlock& current_parameters,
                                  const ParameterBlock& intended_parameters,
                                  const LanSettings& current_lan, const LanSettings& intended_lan,
                                  int version_index, Language language) {
  std::vector<FieldChange> differences = Diff(current_parameters, intended_parameters, language);
  Append(differences, Diff(current_lan, intended_lan, language));
  std::vector<std::string> keys;
  for (const FieldChange& change : differences) {
    if (!FirmwareTakes(change.Key, version_index)) keys.push_back(change.Key);
  }
  return keys;
}

// A field of the values to be written that its command cannot carry. Named by the
// configuration, the configuration's checks let a value through that this firmware's format
// cannot take; not named, the printer's own value blocks a write of other fields.
std::optional<std::string> Unsendable(const Configuration& configuration,
                                      const ParameterBlock* parameters, const LanSettings* lan,
                                      int version_index, bool esc_framing, Language language) {
  SettingField field = SettingField::kNone;
  if (parameters != nullptr) field = CheckParameterBlock(*parameters, version_index, esc_framing);
  if (field == SettingField::kNone && lan != nullptr) field = CheckLanSettings(*lan);
  if (field == SettingField::kNone) return std::nullopt;
  const std::string key = KeyOfField(field);
  return FormatText(configuration.Has(key) ? kUnsendableNamedText : kUnsendablePrinterText,
                    language, key, RefusalText(field, language));
}

bool Stopped(const SetOptions& options) {
  return options.Stop != nullptr && options.Stop->load(std::memory_order_relaxed);
}

// What set works out before it writes: the version the formats follow, the printer's values and
// the intended ones, what differs where the printer reads it, and the parts to write.
struct SetPlan {
  bool can_receive = true;
  std::string firmware;
  int version_index = -1;
  ParameterBlock current_parameters;
  LanSettings current_lan;
  ParameterBlock intended_parameters;
  LanSettings intended_lan;
  std::vector<std::string> not_taken;
  std::vector<FieldChange> parameter_changes;
  std::vector<FieldChange> lan_changes;
  bool write_parameters = false;
  bool write_lan = false;
};

// Reads the version and the parts the configuration names (over a link without replies nothing
// can be read: the whole parts go out in the formats of the version given, over the values a
// configuration of no named field holds) and works out the plan. A failed read's result.
std::optional<TargetResult> Plan(Session& session, const Configuration& configuration,
                                 const SetOptions& options, Language language, SetPlan& plan) {
  plan.can_receive = session.CanReceive(session.Kind());
  plan.firmware = options.Firmware;
  if (plan.can_receive) {
    const Outcome<VersionText> version = session.ReadFirmwareVersion();
    if (!version.Ok()) return Failed(version);
    plan.firmware = version.Value.Text;
  } else {
    session.SetVersionIndex(VersionIndexForText(options.Firmware.c_str()));
  }
  const int version_index = plan.version_index = session.VersionIndex();

  plan.current_parameters = StartupParameters();
  plan.current_lan = StartupLanSettings();
  if (plan.can_receive && configuration.HasParameters) {
    Outcome<ParameterBlock> read = session.ReadParameters(plan.current_parameters);
    if (!read.Ok()) return Failed(read);
    plan.current_parameters = read.Value;
  }
  if (plan.can_receive && configuration.HasLan) {
    Outcome<LanSettings> read = session.ReadLanSettings(plan.current_lan);
    if (!read.Ok()) return Failed(read);
    plan.current_lan = read.Value;
  }
  plan.intended_parameters = Overlay(configuration, plan.current_parameters);
  plan.intended_lan = Overlay(configuration, plan.current_lan);
  plan.not_taken = NotTaken(plan.current_parameters, plan.intended_parameters, plan.current_lan,
                            plan.intended_lan, version_index, language);

  // What goes out: over a link without replies the whole parts named, otherwise the parts that
  // differ where the printer reads them.
  if (configuration.HasParameters) {
    plan.parameter_changes = Diff(plan.current_parameters, plan.intended_parameters, language,
                                  DiffScope::kPrinter, version_index);
  }
  if (configuration.HasLan) {
    plan.lan_changes =
        Diff(plan.current_lan, plan.intended_lan, language, DiffScope::kPrinter, version_index);
  }
  plan.write_parameters =
      configuration.HasParameters && (!plan.can_receive || !plan.parameter_changes.empty());
  plan.write_lan = configuration.HasLan && (!plan.can_receive || !plan.lan_changes.empty());
  return std::nullopt;
}

// Writes each part of the plan whole; whatever of it reached the printer counts as changed (in
// `result`, and its changes in `sent`), also when the write or anything after it fails. The
// result of a write that failed or was interrupted.
std::optional<TargetResult> WriteParts(Session& session, const SetOptions& options,
                                       const SetPlan& plan, TargetResult& result,
                                       std::vector<FieldChange>& sent) {
  auto write = [&](bool lan) -> std::optional<TargetResult> {
    if (Stopped(options)) {
      TargetResult stopped;
      stopped.Code = kInterrupted;
      stopped.Changed = !sent.empty() || result.Changed;
      stopped.Changes = Changes(sent);
      return stopped;
    }
    const std::uint64_t before = session.BytesSent();
    const Outcome<void> written = lan ? session.WriteLanSettings(plan.intended_lan)
                                      : session.WriteParameters(plan.intended_parameters);
    if (session.BytesSent() > before) {
      result.Changed = true;
      // Over a link without replies the printer's values before are not known.
      if (plan.can_receive) Append(sent, lan ? plan.lan_changes : plan.parameter_changes);
    }
    if (written.Ok()) return std::nullopt;
    TargetResult failed = Failed(written);
    failed.Changed = result.Changed;
    failed.Changes = Changes(sent);
    return failed;
  };
  if (plan.write_parameters) {
    if (auto failed = write(false)) return failed;
  }
  if (plan.write_lan) {
    if (auto failed = write(true)) return failed;
  }
  return std::nullopt;
}

// Reads the written parts back into `now_parameters` and `now_lan`; a read-back that differs from
// what was written marks `result` kReadBackDiffers. The result of a read that failed.
std::optional<TargetResult> ReadBack(Session& session, const Configuration& configuration,
                                     const SetPlan& plan, Language language, TargetResult& result,
                                     ParameterBlock& now_parameters, LanSettings& now_lan) {
  auto read_failed = [&](const Result& status) {
    TargetResult failed = Failed(status);
    failed.Changed = true;
    failed.Changes = result.Changes;
    return failed;
  };
  std::vector<FieldChange> differences;
  if (configuration.HasParameters) {
    Outcome<ParameterBlock> read = session.ReadParameters(StartupParameters());
    if (!read.Ok()) return read_failed(read);
    now_parameters = read.Value;
    Append(differences, Diff(plan.intended_parameters, now_parameters, language,
                             DiffScope::kPrinter, plan.version_index));
  }
  if (configuration.HasLan) {
    Outcome<LanSettings> read = session.ReadLanSettings(StartupLanSettings());
    if (!read.Ok()) return read_failed(read);
    now_lan = read.Value;
    Append(differences,
           Diff(plan.intended_lan, now_lan, language, DiffScope::kPrinter, plan.version_index));
  }
  if (!differences.empty()) {
    result.Code = kReadBackDiffers;
    result.Detail = FormatText(kNotKeptText, language, Keys(differences));
  }
  return std::nullopt;
}

// set once the plan is made.
TargetResult ApplyPlan(Session& session, const Configuration& configuration,
                       const SetOptions& options, Language language, const SetPlan& plan) {
  TargetResult result;
  const ParameterBlock* parameters_named =
      configuration.HasParameters ? &plan.current_parameters : nullptr;
  const LanSettings* lan_named = configuration.HasLan ? &plan.current_lan : nullptr;
  auto not_supported = [&](TargetResult& to) {
    if (plan.not_taken.empty() || !to.Ok()) return;
    to.Code = kNotSupported;
    to.Detail = FormatText(kNotTakenText, language, plan.firmware, Joined(plan.not_taken));
  };

  if (const std::optional<std::string> refusal =
          Unsendable(configuration, plan.write_parameters ? &plan.intended_parameters : nullptr,
                     plan.write_lan ? &plan.intended_lan : nullptr, plan.version_index,
                     session.Settings().CodeMode != 0, language)) {
    result.Code = kUnsendableValue;
    result.Detail = *refusal;
    return result;
  }

  std::vector<FieldChange> all = plan.parameter_changes;
  Append(all, plan.lan_changes);
  if (!plan.write_parameters && !plan.write_lan) {
    result.Text = TextFor(kUnchangedText, language);
    result.Data = ToJson(parameters_named, lan_named);
    not_supported(result);
    return result;
  }
  if (options.Check) {
    result.Changes = Changes(all);
    result.Text = FormatText(kWouldChangeText, language, std::to_string(all.size()));
    result.Data = ToJson(parameters_named, lan_named);
    not_supported(result);
    return result;
  }

  std::vector<FieldChange> sent;
  if (auto failed = WriteParts(session, options, plan, result, sent)) return *failed;
  result.Changes = Changes(sent);
  if (!plan.can_receive) {
    result.Text = FormatText(kChangedText, language, "all") + TextFor(kNotVerifiedText, language);
    result.Data = ToJson(configuration);
    not_supported(result);
    return result;
  }
  ParameterBlock now_parameters = plan.intended_parameters;
  LanSettings now_lan = plan.intended_lan;
  if (options.Verify) {
    if (auto failed =
            ReadBack(session, configuration, plan, language, result, now_parameters, now_lan)) {
      return *failed;
    }
  }
  result.Data = ToJson(configuration.HasParameters ? &now_parameters : nullptr,
                       configuration.HasLan ? &now_lan : nullptr);
  result.Text = FormatText(kChangedText, language, std::to_string(sent.size()));
  if (!options.Verify) result.Text += TextFor(kNotVerifiedText, language);
  not_supported(result);
  return result;
}

}  // namespace

TargetResult SetCommand(Session& session, const Configuration& configuration,
                        const SetOptions& options, Language language) {
  if (!session.CanReceive(session.Kind()) && options.Check) return CannotReceive(language);
  SetPlan plan;
  if (auto failed = Plan(session, configuration, options, language, plan)) return *failed;
  TargetResult result = ApplyPlan(session, configuration, options, language, plan);
  result.Firmware = plan.firmware;
  return result;
}

DriftReading ReadDrift(Session& session, const Configuration& configuration, Language language) {
  DriftReading drift;
  if (!session.CanReceive(session.Kind())) {
    drift.failed = CannotReceive(language);
    return drift;
  }
  SetOptions options;
  options.Check = true;
  SetPlan plan;
  drift.failed = Plan(session, configuration, options, language, plan);
  drift.firmware = plan.firmware;
  drift.changes = std::move(plan.parameter_changes);
  Append(drift.changes, plan.lan_changes);
  return drift;
}

}  // namespace krt6::cli
