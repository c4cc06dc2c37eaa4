#include "link/result.h"

#include <cerrno>
#include <cstring>

namespace krt6 {

std::string Result::Describe() const {
  std::string text = device.empty() ? std::string() : device + ": ";
  auto add = [&text](const std::string& part) {
    if (part.empty()) return;
    if (!text.empty() && text.back() != ' ') text += text.back() == '.' ? " " : ". ";
    text += part;
  };
  if (!system_text.empty()) {
    text += system_text;
    if (error_number != 0) text += " (errno " + std::to_string(error_number) + ")";
  }
  add(detail);
  add(hint);
  return text;
}

std::string Result::Text() const {
  const std::string described = Describe();
  if (action.empty()) return described;
  return described.empty() ? action : action + ": " + described;
}

std::string_view CauseKey(Cause cause) {
  switch (cause) {
    case Cause::kNone: return {};
    case Cause::kNotFound: return "not_found";
    case Cause::kPermission: return "permission";
    case Cause::kBusy: return "busy";
    case Cause::kTimedOut: return "timeout";
    case Cause::kGone: return "gone";
    case Cause::kRefused: return "refused";
    case Cause::kUnreachable: return "unreachable";
    case Cause::kBadSettings: return "bad_settings";
    case Cause::kUnavailable: return "unavailable";
    case Cause::kCancelled: return "cancelled";
    case Cause::kOther: return "other";
    case Cause::kCannotReceive: return "cannot_receive";
    case Cause::kBadReply: return "bad_reply";
    case Cause::kReplyTooShort: return "reply_too_short";
    case Cause::kVersionNotDetected: return "no_version";
    case Cause::kNotSupported: return "not_supported";
    case Cause::kBadValue: return "bad_value";
    case Cause::kBadRequest: return "bad_request";
    case Cause::kReadBackDiffers: return "read_back_differs";
    case Cause::kInterrupted: return "interrupted";
    case Cause::kNotStarted: return "not_started";
  }
  return "other";
}

Cause CauseOfErrno(int error_number, bool opening) {
  switch (error_number) {
    case 0: return Cause::kNone;
    case EACCES:
    case EPERM: return Cause::kPermission;
    case EBUSY: return Cause::kBusy;
    case ENOENT: return Cause::kNotFound;
    case ENODEV:
    case ENXIO: return opening ? Cause::kNotFound : Cause::kGone;
    case ETIMEDOUT: return Cause::kTimedOut;
    case ECONNREFUSED: return Cause::kRefused;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ENETDOWN:
    case EHOSTDOWN: return Cause::kUnreachable;
    case EPIPE:
    case EIO:
    case ECONNRESET:
    case ECONNABORTED:
    case ESHUTDOWN: return Cause::kGone;
    case ENOTTY:
    case EINVAL: return Cause::kBadSettings;
    case ENOTSUP: return Cause::kUnavailable;
    case ECANCELED: return Cause::kCancelled;
    default: return Cause::kOther;
  }
}

Result SystemFailure(std::string device, int error_number, std::string detail, bool opening) {
  Result e;
  e.cause = CauseOfErrno(error_number, opening);
  if (e.cause == Cause::kNone) e.cause = Cause::kOther;
  e.error_number = error_number;
  e.system_text = std::strerror(error_number);
  e.device = std::move(device);
  e.detail = std::move(detail);
  return e;
}

Result Failure(Cause cause, std::string device, std::string detail) {
  Result e;
  e.cause = cause;
  e.device = std::move(device);
  e.detail = std::move(detail);
  return e;
}

Result ProtocolFailure(ResultCode code, Cause cause, std::string detail) {
  Result e;
  e.code = code;
  e.cause = cause;
  e.detail = std::move(detail);
  return e;
}

}  // namespace krt6
