#include <chrono>
#include <type_traits>

#include "protocol/protocol.h"

#include "texts/texts.h"

namespace krt6 {
namespace {

// Kinds whose operation needs a reply; a parallel link cannot receive one.
bool NeedsReplyRefusedOnLpt(int kind) {
  return kind == ckReadStatus || kind == ckReadParameters || kind == ckReadLanSettings;
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
  if (link_.LastError().empty()) return TextFor(kNoReplyStartText, language_);
  return link_.LastError();
}

ResultCode Protocol::Execute(int kind, int link, CommandRecord record, int& version) {
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

ResultCode Protocol::Dispatch(int kind, int link, CommandRecord record) {
  if (static_cast<unsigned>(kind) > ckReadFirmwareVersion) {
    NoteProtocolError(FormatText(kCommandKindOutOfRangeText, language_, std::to_string(kind)));
    return kUnknownError;
  }
  if (NeedsReplyRefusedOnLpt(kind) && link == lkLpt) {
    NoteProtocolError(TextFor(kParallelCannotReceiveText, language_));
    return kReceivingError;
  }
  ResultCode result = kUnknownError;
  auto run = [&](auto* data, auto&& operation) {
    if (data == nullptr) {
      NoteProtocolError(FormatText(kWrongRecordText, language_, std::to_string(kind)));
      return;
    }
    result = operation(*data);
  };
  switch (kind) {
    case ckReadStatus:
      run(RecordOf<std::int32_t>(record), [&](std::int32_t& s) { return ReadStatus(link, s); });
      break;
    case ckReadParameters:
      run(RecordOf<ParameterBlock>(record),
          [&](ParameterBlock& b) { return ReadParameters(link, b); });
      break;
    case ckWriteParameters:
      run(RecordOf<ParameterBlock>(record),
          [&](ParameterBlock& b) { return WriteParameters(link, b); });
      break;
    case ckReadLanSettings:
      run(RecordOf<LanSettings>(record), [&](LanSettings& s) { return ReadLanSettings(link, s); });
      break;
    case ckWriteLanSettings:
      run(RecordOf<LanSettings>(record), [&](LanSettings& s) { return WriteLanSettings(link, s); });
      break;
    case ckSendZ1Command:
      run(RecordOf<std::int32_t>(record),
          [&](std::int32_t& selector) { return SendZ1Command(link, selector); });
      break;
    case ckSendZ4Command: result = SendZ4Command(link); break;
    case ckCalibrateSensor:
      run(RecordOf<std::int32_t>(record),
          [&](std::int32_t& sensor) { return CalibrateSensor(link, sensor); });
      break;
    case ckReadFirmwareVersion:
      run(RecordOf<VersionText>(record),
          [&](VersionText& text) { return ReadFirmwareVersion(link, text); });
      break;
  }
  return result;
}

bool Protocol::SendCommand(LinkHandle handle, int link, const char* text, std::size_t length) {
  const std::vector<std::uint8_t> framed = FrameCommand(text, length, link_.CodeMode() != 0);
  return link_.LinkWrite(handle, link, framed.data(), static_cast<std::uint32_t>(framed.size()));
}

bool Protocol::AwaitReply(LinkHandle handle, int link, std::uint8_t* buffer, std::size_t total,
                          std::uint8_t start) {
  return AwaitComplete(handle, link, [&](const ByteReader& next, const ReplyDeadline& due) {
    return ReadReply(next, buffer, total, start, due);
  });
}

bool Protocol::AwaitReplyPair(LinkHandle handle, int link, std::uint8_t* buffer, std::size_t total,
                              std::uint8_t first, std::uint8_t second) {
  return AwaitComplete(handle, link, [&](const ByteReader& next, const ReplyDeadline& due) {
    return ReadReplyPair(next, buffer, total, first, second, due);
  });
}

bool Protocol::AwaitComplete(LinkHandle handle, int link, const ReplyReader& read) {
  const ReplyDeadline due{SteadyNow() + kReplyTimeLimit, SteadyNow};
  const ByteReader next = [this, handle, link](std::uint8_t& byte,
                                               std::chrono::steady_clock::time_point until) {
    return link_.LinkReadByte(handle, link, byte, until);
  };
  const bool complete = read(next, due);
  if (!complete && due.Passed()) {
    NoteProtocolError("The printer's reply was not complete within " +
                      std::to_string(kReplyTimeLimit.count() / 1000) + " s of its command.");
  }
  return complete;
}

ResultCode Protocol::ReadStatus(int link, std::int32_t& status) {
  const LinkHandle handle = link_.OpenLink(link);
  if (handle == kInvalidLinkHandle) return kPortOpenError;
  if (!SendCommand(handle, link, "WS", 2)) {
    link_.CloseLink(link, handle);
    return kTransmissionError;
  }
  std::uint8_t reply[13 + 1] = {};
  if (!AwaitReply(handle, link, reply, 13, kSOH)) {
    link_.CloseLink(link, handle);
    return kReceivingError;
  }
  link_.CloseLink(link, handle);
  status = DecodeStatus(static_cast<char>(reply[2]), static_cast<char>(reply[3]));
  return kSuccess;
}

}  // namespace krt6
