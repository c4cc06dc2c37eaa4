// The printer operations as one table: a row per operation says what it is called, the commands
// it sends and the replies it expects for the firmware class, how a reply is read into its record,
// whether it needs a link that receives, how long the printer is given afterwards and how often a
// reply that is not the one expected is asked for again. Protocol::Run carries out any row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "link/result.h"
#include "records/records.h"
#include "records/text_pair.h"
#include "texts/language.h"

namespace krt6 {

enum CommandKind : int {
  ckReadStatus = 0,
  ckReadParameters = 1,
  ckWriteParameters = 2,
  ckReadLanSettings = 3,
  ckWriteLanSettings = 4,
  ckSendZ1Command = 5,
  ckSendZ4Command = 6,
  ckCalibrateSensor = 7,
  ckReadFirmwareVersion = 8,
};

// The record each command kind works on. Kind 6 takes none.
struct NoRecord {};
using CommandRecord =
    std::variant<NoRecord*, std::int32_t*, ParameterBlock*, LanSettings*, VersionText*>;

template <CommandKind Kind> struct CommandRecordFor;
template <> struct CommandRecordFor<ckReadStatus> { using type = std::int32_t; };  // StatusIndex
template <> struct CommandRecordFor<ckReadParameters> { using type = ParameterBlock; };
template <> struct CommandRecordFor<ckWriteParameters> { using type = ParameterBlock; };
template <> struct CommandRecordFor<ckReadLanSettings> { using type = LanSettings; };
template <> struct CommandRecordFor<ckWriteLanSettings> { using type = LanSettings; };
template <> struct CommandRecordFor<ckSendZ1Command> { using type = std::int32_t; };
template <> struct CommandRecordFor<ckSendZ4Command> { using type = NoRecord; };
template <> struct CommandRecordFor<ckCalibrateSensor> { using type = std::int32_t; };
template <> struct CommandRecordFor<ckReadFirmwareVersion> { using type = VersionText; };

inline constexpr std::uint8_t kSOH = 0x01;
inline constexpr std::uint8_t kSTX = 0x02;

// The reply a command brings: `length` bytes from its start byte `first` (directly followed by
// `second` when that is not 0). Length 0: the command brings none.
struct ReplyShape {
  std::size_t length = 0;
  std::uint8_t first = 0;
  std::uint8_t second = 0;
};

// One command of an operation and the reply it brings.
struct OperationStep {
  std::string command;  // the text inside the framing, exactly as many bytes as are framed
  ReplyShape reply;
};

// What the steps of a row are built from: the record, the firmware class and the framing.
struct StepInput {
  CommandRecord record;
  int version_index = 4;
  bool esc_framing = false;
  Language language = Language::kEnglish;  // of a refusal's sentence
};

// When the printer is given its settling time after the last step.
enum class Settle { kNone, kLinkHeld, kLinkClosed };

struct Operation {
  CommandKind kind;
  std::string_view name;   // "status", "read-parameters", ...: the bench's and krt6ctl's name
  std::string_view title;  // what it is in a report: "status query (WS)"
  std::size_t record;      // the index of its record type in CommandRecord
  bool needs_reply;        // refused before anything is opened on a link that cannot receive
  Settle settle;
  int settle_ms;
  int attempts;  // how often a step is sent whose reply is not the one expected
  // The steps for the input; a failure (a value the commands cannot carry) means nothing is sent.
  Result (*build)(const StepInput& input, std::vector<OperationStep>& steps);
  // Takes the reply of step `step` (from its start byte) into the record; false when it is not
  // the reply expected (the step is then sent again, up to `attempts` times). Null: no replies.
  bool (*decode)(std::size_t step, const std::uint8_t* reply, int version_index,
                 const CommandRecord& record);
  // The main window's control that runs it (its objectName) and what the control says in both
  // languages; null when the window has none. The window's caption table takes both from here.
  const char* control;
  TextPair caption;
};

// A record of any operation's type, held by value: for callers that pick the row at run time (the
// bench, krt6ctl).
using RecordValue = std::variant<NoRecord, std::int32_t, ParameterBlock, LanSettings, VersionText>;
// A default record of the type `operation` takes.
RecordValue DefaultRecord(const Operation& operation);
// The record `value` holds, for Protocol::Execute.
CommandRecord RecordIn(RecordValue& value);
// The steps `operation` takes for a default record of firmware class `version_index` (the
// commands it sends and the replies it waits for).
std::vector<OperationStep> DefaultSteps(const Operation& operation, int version_index);

// Every operation, in CommandKind order.
std::span<const Operation> Operations();
// The row of `kind`; nullptr for a value that names no operation.
const Operation* FindOperation(CommandKind kind);

}  // namespace krt6
