#include <chrono>
#include <type_traits>

#include "protocol/protocol.h"

#include "texts/texts.h"

namespace krt6 {

Protocol::Protocol(LinkLayer& link, Sleeper sleep)
    : link_(link),
      sleep_(sleep ? std::move(sleep) : Sleeper([this](int ms) { link_.Pause(ms); })) {}

std::string Protocol::LastError() const {
  if (!protocol_error_.empty()) return protocol_error_;
  // Every byte arrived but none started a reply: the reader gave up after its bound.
  if (link_.LastErrorText().empty()) return TextFor(kNoReplyStartText, language_);
  return link_.LastErrorText();
}

Cause Protocol::LastCause() const {
  if (protocol_cause_ != Cause::kNone) return protocol_cause_;
  return link_.LastError().Failed() ? link_.LastError().cause : Cause::kBadReply;
}

ResultCode Protocol::Execute(CommandKind kind, LinkKind link, CommandRecord record, int& version) {
  version_index_ = version;
  protocol_error_.clear();
  protocol_cause_ = Cause::kNone;
  const Operation* operation = FindOperation(kind);
  if (operation == nullptr) {
    // Only a value cast from outside the enumeration gets here.
    NoteProtocolError(Cause::kBadRequest,
                      FormatText(kCommandKindOutOfRangeText, language_, std::to_string(kind)));
    return kUnknownError;
  }
  const ResultCode result = Run(*operation, link, record);
  // A cancel ends the operation wherever it was; what it had done by then is not reported as
  // its outcome.
  if (link_.Cancelled()) {
    NoteProtocolError(
        Cause::kCancelled,
        "The exchange was cancelled before it ended; commands already sent may have reached the "
        "printer.");
    return kCancelled;
  }
  return result;
}

ResultCode Protocol::Run(const Operation& operation, LinkKind link, const CommandRecord& record) {
  if (operation.needs_reply && !link_.CanReceive(link)) {
    NoteProtocolError(Cause::kCannotReceive, TextFor(kParallelCannotReceiveText, language_));
    return kReceivingError;
  }
  const bool given = record.index() == operation.record &&
                     std::visit([](auto* held) { return held != nullptr; }, record);
  if (!given) {
    NoteProtocolError(Cause::kBadRequest,
                      FormatText(kWrongRecordText, language_, std::to_string(operation.kind)));
    return kUnknownError;
  }
  const int version = version_index_;
  std::vector<OperationStep> steps;
  const Result refused =
      operation.build({record, version, link_.CodeMode() != 0, language_}, steps);
  if (!refused.Ok()) {
    NoteProtocolError(refused.cause, refused.detail);
    return refused.code;
  }
  LinkConnection connection = link_.Open(link);
  if (!connection.Ok()) return kPortOpenError;
  for (std::size_t index = 0; index < steps.size(); ++index) {
    const OperationStep& step = steps[index];
    for (int attempt = 1;; ++attempt) {
      if (!SendCommand(connection, step.command)) return kTransmissionError;
      if (step.reply.length == 0) break;
      std::vector<std::uint8_t> reply(step.reply.length + 1, 0);
      if (!AwaitReply(connection, step.reply, reply.data())) return kReceivingError;
      if (operation.decode(index, reply.data(), version, record)) break;
      if (attempt >= operation.attempts) {
        NoteProtocolError(Cause::kVersionNotDetected, TextFor(kNoFirmwareVersionText, language_));
        return kReceivingError;
      }
    }
  }
  // The printer needs the link held open while it acts on some commands, and time after others
  // before the next exchange opens the link.
  if (operation.settle == Settle::kLinkClosed) connection.Close();
  if (operation.settle != Settle::kNone) sleep_(operation.settle_ms);
  return kSuccess;
}

bool Protocol::SendCommand(LinkConnection& connection, const std::string& text) {
  const std::vector<std::uint8_t> framed =
      FrameCommand(text.data(), text.size(), link_.CodeMode() != 0);
  return connection.Write(framed.data(), framed.size());
}

bool Protocol::AwaitReply(LinkConnection& connection, const ReplyShape& shape,
                          std::uint8_t* buffer) {
  if (!connection.Capabilities().can_receive) {
    NoteProtocolError(Cause::kCannotReceive, TextFor(kParallelCannotReceiveText, language_));
    return false;
  }
  const ReplyDeadline due{SteadyNow() + kReplyTimeLimit, SteadyNow};
  std::size_t arrived = 0;
  const ByteReader next = [&](std::uint8_t& byte, std::chrono::steady_clock::time_point until) {
    const bool got = connection.ReadByte(byte, until);
    arrived += got ? 1 : 0;
    return got;
  };
  const bool complete =
      shape.second == 0
          ? ReadReply(next, buffer, shape.length, shape.first, due)
          : ReadReplyPair(next, buffer, shape.length, shape.first, shape.second, due);
  if (complete) return true;
  if (due.Passed()) {
    NoteProtocolError(arrived > 0 ? Cause::kReplyTooShort : Cause::kTimedOut,
                      "The printer's reply was not complete within " +
                          std::to_string(kReplyTimeLimit.count() / 1000) + " s of its command.");
  } else if (arrived > 0 && link_.LastError().cause == Cause::kTimedOut) {
    // The link saw silence after the reply had begun: it was cut short. The link's text stays.
    protocol_cause_ = Cause::kReplyTooShort;
  }
  return false;
}

}  // namespace krt6
