// The rows of the operation table. The command texts and reply layouts are the pure functions of
// commands.h; a row only says which of them an operation uses and in what order.
#include "protocol/operations.h"

#include <utility>

#include "protocol/commands.h"
#include "protocol/protocol.h"
#include "texts/field_texts.h"

namespace krt6 {
namespace {

template <typename T> const T& RecordOf(const CommandRecord& record) {
  return **std::get_if<T*>(&record);
}
template <typename T> constexpr std::size_t RecordIndex() {
  return CommandRecord(static_cast<T*>(nullptr)).index();
}

// A value the commands cannot carry: nothing goes out, and the refusal names the field.
Result Refused(SettingField field, Language language) {
  // No format for the firmware class: the printer's firmware takes none of the values.
  const Cause cause = field == SettingField::kVersion ? Cause::kNotSupported : Cause::kBadValue;
  return ProtocolFailure(kUnknownError, cause, RefusalDetail(field, language));
}

// One command without a reply.
Result Send(std::vector<OperationStep>& steps, std::string command) {
  steps.push_back({std::move(command), {}});
  return {};
}

Result BuildStatus(const StepInput&, std::vector<OperationStep>& steps) {
  steps.push_back({"WS", {13, kSOH, 0}});
  return {};
}

bool DecodeStatusReply(std::size_t, const std::uint8_t* reply, int, const CommandRecord& record) {
  **std::get_if<std::int32_t*>(&record) =
      DecodeStatus(static_cast<char>(reply[2]), static_cast<char>(reply[3]));
  return true;
}

Result BuildReadParameters(const StepInput& input, std::vector<OperationStep>& steps) {
  steps.push_back({"Z5;0", {FirstParameterReplyLength(input.version_index), kSTX, 0}});
  steps.push_back({"Z5;1", {kSecondParameterReplyLength, kSTX, 0}});
  return {};
}

// Each reply is stored as soon as it is read: a failure after the first keeps its values.
bool DecodeParameterReply(std::size_t step, const std::uint8_t* reply, int version_index,
                          const CommandRecord& record) {
  ParameterBlock& block = **std::get_if<ParameterBlock*>(&record);
  if (step == 0) {
    DecodeFirstParameterReply(reply, version_index, block);
  } else {
    DecodeSecondParameterReply(reply, block);
  }
  return true;
}

Result BuildWriteParameters(const StepInput& input, std::vector<OperationStep>& steps) {
  std::string first;
  std::string second;
  const SettingField refused =
      BuildParameterCommands(RecordOf<ParameterBlock>(input.record), input.version_index, first,
                             second, input.esc_framing);
  if (refused != SettingField::kNone) return Refused(refused, input.language);
  Send(steps, std::move(first));
  Send(steps, std::move(second));
  return Send(steps, "Z0");
}

Result BuildReadLan(const StepInput&, std::vector<OperationStep>& steps) {
  steps.push_back({"Z5;3", {kLanReplyLength, kSTX, 0}});
  return {};
}

bool DecodeLan(std::size_t, const std::uint8_t* reply, int, const CommandRecord& record) {
  DecodeLanReply(reply, **std::get_if<LanSettings*>(&record));
  return true;
}

Result BuildWriteLan(const StepInput& input, std::vector<OperationStep>& steps) {
  std::vector<std::string> commands;
  const SettingField refused = BuildLanCommands(RecordOf<LanSettings>(input.record), commands);
  if (refused != SettingField::kNone) return Refused(refused, input.language);
  for (std::string& command : commands) Send(steps, std::move(command));
  return {};
}

Result BuildZ1(const StepInput& input, std::vector<OperationStep>& steps) {
  return Send(steps, Z1CommandText(RecordOf<std::int32_t>(input.record)));
}

Result BuildZ4(const StepInput&, std::vector<OperationStep>& steps) { return Send(steps, "Z4;0"); }

Result BuildCalibration(const StepInput& input, std::vector<OperationStep>& steps) {
  return Send(steps, CalibrationCommandText(RecordOf<std::int32_t>(input.record)));
}

Result BuildVersion(const StepInput&, std::vector<OperationStep>& steps) {
  steps.push_back({"WV", {kVersionReplyLength, kSOH, kSTX}});
  return {};
}

bool DecodeVersion(std::size_t, const std::uint8_t* reply, int, const CommandRecord& record) {
  return DecodeVersionReply(reply, **std::get_if<VersionText*>(&record));
}

using S = Settle;
// What the window's controls that run an operation say.
constexpr TextPair kNoCaption{nullptr, nullptr};
constexpr TextPair kGetStatusCaption{"Get Status", "ステータス取得"};
constexpr TextPair kSendCaption{"SEND", "送信"};
// In CommandKind order. The version query gives the printer 500 ms after the link is closed
// before the next exchange opens it; Z4 needs the link held open for 3 s while the printer acts.
constexpr Operation kOperations[] = {
    {ckReadStatus, "status", "status query (WS)", RecordIndex<std::int32_t>(), true, S::kNone, 0, 1,
     BuildStatus, DecodeStatusReply, "ButtonGetStatus", kGetStatusCaption},
    {ckReadParameters, "read-parameters", "read parameters", RecordIndex<ParameterBlock>(), true,
     S::kNone, 0, 1, BuildReadParameters, DecodeParameterReply, nullptr, kNoCaption},
    {ckWriteParameters, "write-parameters", "write parameters", RecordIndex<ParameterBlock>(),
     false, S::kNone, 0, 1, BuildWriteParameters, nullptr, nullptr, kNoCaption},
    {ckReadLanSettings, "read-lan", "read LAN settings", RecordIndex<LanSettings>(), true, S::kNone,
     0, 1, BuildReadLan, DecodeLan, nullptr, kNoCaption},
    {ckWriteLanSettings, "write-lan", "write LAN settings", RecordIndex<LanSettings>(), false,
     S::kNone, 0, 1, BuildWriteLan, nullptr, nullptr, kNoCaption},
    {ckSendZ1Command, "z1", "Z1 command", RecordIndex<std::int32_t>(), false, S::kNone, 0, 1,
     BuildZ1, nullptr, nullptr, kNoCaption},
    {ckSendZ4Command, "z4", "Z4 command", RecordIndex<NoRecord>(), false, S::kLinkHeld, 3000, 1,
     BuildZ4, nullptr, nullptr, kNoCaption},
    {ckCalibrateSensor, "calibrate", "sensor calibration", RecordIndex<std::int32_t>(), false,
     S::kNone, 0, 1, BuildCalibration, nullptr, "ButtonCalibSensor", kSendCaption},
    // The version query sends its command first and then finds no reply on a link that cannot
    // receive, so it is not refused before opening.
    {ckReadFirmwareVersion, "version", "firmware version (WV)", RecordIndex<VersionText>(), false,
     S::kLinkClosed, 500, 3, BuildVersion, DecodeVersion, nullptr, kNoCaption},
};

static_assert([] {
  for (std::size_t i = 0; i < std::size(kOperations); ++i) {
    if (kOperations[i].kind != static_cast<CommandKind>(i)) return false;
  }
  return true;
}());

}  // namespace

std::span<const Operation> Operations() { return kOperations; }

RecordValue DefaultRecord(const Operation& operation) {
  static_assert(std::variant_size_v<RecordValue> == std::variant_size_v<CommandRecord>);
  RecordValue value;
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    ((I == operation.record ? (value.emplace<I>(), 0) : 0), ...);
  }
  (std::make_index_sequence<std::variant_size_v<RecordValue>>());
  return value;
}

CommandRecord RecordIn(RecordValue& value) {
  return std::visit([](auto& held) { return CommandRecord(&held); }, value);
}

std::vector<OperationStep> DefaultSteps(const Operation& operation, int version_index) {
  RecordValue value = DefaultRecord(operation);
  std::vector<OperationStep> steps;
  operation.build({RecordIn(value), version_index, false, Language::kEnglish}, steps);
  return steps;
}

const Operation* FindOperation(CommandKind kind) {
  const auto index = static_cast<std::size_t>(kind);
  return kind >= 0 && index < std::size(kOperations) ? &kOperations[index] : nullptr;
}

}  // namespace krt6
