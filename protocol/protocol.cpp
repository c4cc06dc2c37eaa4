#include <chrono>
#include <type_traits>

#include "protocol/protocol.h"

#include "texts/texts.h"

namespace krt6 {
namespace {

// Kinds refused before anything is opened when the link cannot carry the printer's reply. The
// version query is not among them: it sends its command first and then finds no reply.
bool RefusedWithoutReceive(CommandKind kind) {
  switch (kind) {
    case ckReadStatus:
    case ckReadParameters:
    case ckReadLanSettings: return true;
    case ckWriteParameters:
    case ckWriteLanSettings:
    case ckSendZ1Command:
    case ckSendZ4Command:
    case ckCalibrateSensor:
    case ckReadFirmwareVersion: return false;
  }
  return false;  // a value that names no kind is refused by Dispatch
}

template <typename Record> Record* RecordOf(const CommandRecord& record) {
  Record* const* held = std::get_if<Record*>(&record);
  return held != nullptr ? *held : nullptr;
}

}  // namespace

Protocol::Protocol(LinkLayer& link, Sleeper sleep)
    : link_(link),
      sleep_(sleep ? std::move(sleep) : Sleeper([this](int ms) { link_.Pause(ms); })) {}

void Protocol::Sleep(int milliseconds) { sleep_(milliseconds); }

std::string Protocol::LastError() const {
  if (!protocol_error_.empty()) return protocol_error_;
  // Every byte arrived but none started a reply: the reader gave up after its bound.
  if (link_.LastErrorText().empty()) return TextFor(kNoReplyStartText, language_);
  return link_.LastErrorText();
}

ResultCode Protocol::Execute(CommandKind kind, LinkKind link, CommandRecord record, int& version) {
  version_index_ = version;
  protocol_error_.clear();
  const ResultCode result = Dispatch(kind, link, record);
  // A cancel ends the operation wherever it was; what it had done by then is not reported as
  // its outcome.
  if (link_.Cancelled()) {
    NoteProtocolError(
        "The exchange was cancelled before it ended; commands already sent may have reached the "
        "printer.");
    return kCancelled;
  }
  return result;
}

ResultCode Protocol::Dispatch(CommandKind kind, LinkKind link, CommandRecord record) {
  if (RefusedWithoutReceive(kind) && !link_.CanReceive(link)) {
    NoteProtocolError(TextFor(kParallelCannotReceiveText, language_));
    return kReceivingError;
  }
  auto run = [&](auto* data, auto&& operation) {
    if (data != nullptr) return operation(*data);
    NoteProtocolError(FormatText(kWrongRecordText, language_, std::to_string(kind)));
    return kUnknownError;
  };
  // No default: a new kind without an operation here does not compile.
  switch (kind) {
    case ckReadStatus:
      return run(RecordOf<std::int32_t>(record),
                 [&](std::int32_t& s) { return ReadStatus(link, s); });
    case ckReadParameters:
      return run(RecordOf<ParameterBlock>(record),
                 [&](ParameterBlock& b) { return ReadParameters(link, b); });
    case ckWriteParameters:
      return run(RecordOf<ParameterBlock>(record),
                 [&](ParameterBlock& b) { return WriteParameters(link, b); });
    case ckReadLanSettings:
      return run(RecordOf<LanSettings>(record),
                 [&](LanSettings& s) { return ReadLanSettings(link, s); });
    case ckWriteLanSettings:
      return run(RecordOf<LanSettings>(record),
                 [&](LanSettings& s) { return WriteLanSettings(link, s); });
    case ckSendZ1Command:
      return run(RecordOf<std::int32_t>(record),
                 [&](std::int32_t& selector) { return SendZ1Command(link, selector); });
    case ckSendZ4Command: return SendZ4Command(link);
    case ckCalibrateSensor:
      return run(RecordOf<std::int32_t>(record),
                 [&](std::int32_t& sensor) { return CalibrateSensor(link, sensor); });
    case ckReadFirmwareVersion:
      return run(RecordOf<VersionText>(record),
                 [&](VersionText& text) { return ReadFirmwareVersion(link, text); });
  }
  // Only a value cast from outside the enumeration gets here.
  NoteProtocolError(FormatText(kCommandKindOutOfRangeText, language_, std::to_string(kind)));
  return kUnknownError;
}

bool Protocol::SendCommand(LinkConnection& connection, const char* text, std::size_t length) {
  const std::vector<std::uint8_t> framed = FrameCommand(text, length, link_.CodeMode() != 0);
  return connection.Write(framed.data(), framed.size());
}

bool Protocol::AwaitReply(LinkConnection& connection, std::uint8_t* buffer, std::size_t total,
                          std::uint8_t start) {
  return AwaitComplete(connection, [&](const ByteReader& next, const ReplyDeadline& due) {
    return ReadReply(next, buffer, total, start, due);
  });
}

bool Protocol::AwaitReplyPair(LinkConnection& connection, std::uint8_t* buffer, std::size_t total,
                              std::uint8_t first, std::uint8_t second) {
  return AwaitComplete(connection, [&](const ByteReader& next, const ReplyDeadline& due) {
    return ReadReplyPair(next, buffer, total, first, second, due);
  });
}

bool Protocol::AwaitComplete(LinkConnection& connection, const ReplyReader& read) {
  if (!connection.Capabilities().can_receive) {
    NoteProtocolError(TextFor(kParallelCannotReceiveText, language_));
    return false;
  }
  const ReplyDeadline due{SteadyNow() + kReplyTimeLimit, SteadyNow};
  const ByteReader next = [&connection](std::uint8_t& byte,
                                        std::chrono::steady_clock::time_point until) {
    return connection.ReadByte(byte, until);
  };
  const bool complete = read(next, due);
  if (!complete && due.Passed()) {
    NoteProtocolError("The printer's reply was not complete within " +
                      std::to_string(kReplyTimeLimit.count() / 1000) + " s of its command.");
  }
  return complete;
}

ResultCode Protocol::ReadStatus(LinkKind link, std::int32_t& status) {
  LinkConnection connection = link_.Open(link);
  if (!connection.Ok()) return kPortOpenError;
  if (!SendCommand(connection, "WS", 2)) {
    return kTransmissionError;
  }
  std::uint8_t reply[13 + 1] = {};
  if (!AwaitReply(connection, reply, 13, kSOH)) {
    return kReceivingError;
  }
  status = DecodeStatus(static_cast<char>(reply[2]), static_cast<char>(reply[3]));
  return kSuccess;
}

}  // namespace krt6
