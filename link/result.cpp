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

std::string HintFor(Cause cause, LinkKind kind) {
  switch (cause) {
    case Cause::kPermission:
      switch (kind) {
        case lkCom: return "Add your user to the dialout group.";
        case lkLpt: return "Add your user to the lp group.";
        case lkUsb:
          return "Install the udev rule SUBSYSTEM==\"usb\", ATTRS{idVendor}==\"6f2d\", "
                 "MODE=\"0660\", TAG+=\"uaccess\" (e.g. /etc/udev/rules.d/70-krt6.rules), then "
                 "plug the printer in again.";
        case lkEthernet: return {};
      }
      return {};
    case Cause::kBusy:
      return kind == lkUsb ? "The printer is held by another program."
                           : "The port is held by another program.";
    case Cause::kNotFound:
      switch (kind) {
        case lkCom: return "Check that the adapter is plugged in and the port name is right.";
        case lkLpt:
        case lkUsb: return "Check that the printer is connected and switched on.";
        case lkEthernet: return "Check the printer's address.";
      }
      return {};
    case Cause::kGone:
      switch (kind) {
        case lkCom: return "The device went away.";
        case lkLpt: return "The printer went off line.";
        case lkUsb: return "The printer was unplugged.";
        case lkEthernet: return "The printer ended the connection.";
      }
      return {};
    case Cause::kTimedOut:
      if (kind == lkLpt) return "Check that the printer is on line and has paper.";
      if (kind == lkEthernet) {
        return "Check the printer's address and port and that it is switched on.";
      }
      return {};
    case Cause::kRefused:
    case Cause::kUnreachable:
      return "Check the printer's address and port and that it is switched on.";
    case Cause::kBadSettings:
      return kind == lkEthernet ? "Enter the printer's address in the Ethernet setup." : "";
    case Cause::kNone:
    case Cause::kUnavailable:
    case Cause::kCancelled:
    case Cause::kOther:
    case Cause::kCannotReceive:
    case Cause::kBadReply:
    case Cause::kReplyTooShort:
    case Cause::kVersionNotDetected:
    case Cause::kNotSupported:
    case Cause::kBadValue:
    case Cause::kBadRequest:
    case Cause::kReadBackDiffers:
    case Cause::kInterrupted:
    case Cause::kNotStarted: return {};
  }
  return {};
}

}  // namespace krt6
