#include <chrono>
#include <type_traits>

#include "protocol/protocol.h"

#include "texts/texts.h"

namespace krt6 {
namespace {

// A failure the link reported, as the result of the step it ended.
Result LinkFailure(ResultCode code, Result failure) {
  failure.code = code;
  return failure;
}

}  // namespace

Protocol::Protocol(LinkLayer& link, Sleeper sleep)
    : link_(link),
      sleep_(sleep ? std::move(sleep) : Sleeper([this](int ms) { link_.Pause(ms); })) {}

Result Protocol::Execute(CommandKind kind, CommandRecord record, int& version) {
  version_index_ = version;
  const Operation* operation = FindOperation(kind);
  if (operation == nullptr) {
    // Only a value cast from outside the enumeration gets here.
    return ProtocolFailure(kUnknownError, Cause::kBadRequest,
                           FormatText(kCommandKindOutOfRangeText, language_, std::to_string(kind)));
  }
  Result result = Run(*operation, record);
  // A cancel ends the operation wherever it was; what it had done by then is not reported as
  // its outcome.
  if (link_.Cancelled()) {
    return ProtocolFailure(
        kCancelled, Cause::kCancelled,
        "The exchange was cancelled before it ended; commands already sent may have reached the "
        "printer.");
  }
  return result;
}

Result Protocol::Run(const Operation& operation, const CommandRecord& record) {
  if (operation.needs_reply && !link_.CanReceive()) {
    return ProtocolFailure(kReceivingError, Cause::kCannotReceive,
                           TextFor(kParallelCannotReceiveText, language_));
  }
  const bool given = record.index() == operation.record &&
                     std::visit([](auto* held) { return held != nullptr; }, record);
  if (!given) {
    return ProtocolFailure(kUnknownError, Cause::kBadRequest,
                           FormatText(kWrongRecordText, language_, std::to_string(operation.kind)));
  }
  const int version = version_index_;
  std::vector<OperationStep> steps;
  Result refused = operation.build({record, version, esc_framing_, language_}, steps);
  if (!refused.Ok()) return refused;
  Result failure;
  LinkConnection connection = link_.Open(failure);
  if (!connection.Ok()) return LinkFailure(kPortOpenError, std::move(failure));
  for (std::size_t index = 0; index < steps.size(); ++index) {
    const OperationStep& step = steps[index];
    for (int attempt = 1;; ++attempt) {
      if (!SendCommand(connection, step.command, failure)) {
        return LinkFailure(kTransmissionError, std::move(failure));
      }
      if (step.reply.length == 0) break;
      std::vector<std::uint8_t> reply(step.reply.length + 1, 0);
      if (!AwaitReply(connection, step.reply, reply.data(), failure)) {
        return LinkFailure(kReceivingError, std::move(failure));
      }
      if (operation.decode(index, reply.data(), version, record)) break;
      if (attempt >= operation.attempts) {
        return ProtocolFailure(kReceivingError, Cause::kVersionNotDetected,
                               TextFor(kNoFirmwareVersionText, language_));
      }
    }
  }
  // The printer needs the link held open while it acts on some commands, and time after others
  // before the next exchange opens the link.
  if (operation.settle == Settle::kLinkClosed) connection.Close();
  if (operation.settle != Settle::kNone) sleep_(operation.settle_ms);
  return {};
}

bool Protocol::SendCommand(LinkConnection& connection, const std::string& text, Result& failure) {
  const std::vector<std::uint8_t> framed = FrameCommand(text.data(), text.size(), esc_framing_);
  return connection.Write(framed.data(), framed.size(), failure);
}

bool Protocol::AwaitReply(LinkConnection& connection, const ReplyShape& shape, std::uint8_t* buffer,
                          Result& failure) {
  if (!connection.Capabilities().can_receive) {
    failure = ProtocolFailure(kReceivingError, Cause::kCannotReceive,
                              TextFor(kParallelCannotReceiveText, language_));
    return false;
  }
  const ReplyDeadline due{SteadyNow() + kReplyTimeLimit, SteadyNow};
  std::size_t arrived = 0;
  Result link_failure;
  const ByteReader next = [&](std::uint8_t& byte, std::chrono::steady_clock::time_point until) {
    const bool got = connection.ReadByte(byte, until, link_failure);
    arrived += got ? 1 : 0;
    return got;
  };
  const bool complete =
      shape.second == 0 ? ReadReply(next, buffer, shape.length, shape.first, due)
                        : ReadReplyPair(next, buffer, shape.length, shape.first, shape.second, due);
  if (complete) return true;
  if (due.Passed()) {
    failure =
        ProtocolFailure(kReceivingError, arrived > 0 ? Cause::kReplyTooShort : Cause::kTimedOut,
                        "The printer's reply was not complete within " +
                            std::to_string(kReplyTimeLimit.count() / 1000) + " s of its command.");
  } else if (!link_failure.Failed()) {
    // Every byte arrived but none started a reply: the reader gave up after its bound.
    failure =
        ProtocolFailure(kReceivingError, Cause::kBadReply, TextFor(kNoReplyStartText, language_));
  } else {
    failure = std::move(link_failure);
    // The link saw silence after the reply had begun: it was cut short. The link's text stays.
    if (arrived > 0 && failure.cause == Cause::kTimedOut) failure.cause = Cause::kReplyTooShort;
  }
  return false;
}

}  // namespace krt6
