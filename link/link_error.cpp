#include "link/link_error.h"

#include <cerrno>
#include <cstring>

namespace krt6 {

std::string LinkError::Describe() const {
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

LinkCause CauseOfErrno(int error_number, bool opening) {
  switch (error_number) {
    case 0: return LinkCause::kNone;
    case EACCES:
    case EPERM: return LinkCause::kPermission;
    case EBUSY: return LinkCause::kBusy;
    case ENOENT: return LinkCause::kNotFound;
    case ENODEV:
    case ENXIO: return opening ? LinkCause::kNotFound : LinkCause::kGone;
    case ETIMEDOUT: return LinkCause::kTimedOut;
    case ECONNREFUSED: return LinkCause::kRefused;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ENETDOWN:
    case EHOSTDOWN: return LinkCause::kUnreachable;
    case EPIPE:
    case EIO:
    case ECONNRESET:
    case ECONNABORTED:
    case ESHUTDOWN: return LinkCause::kGone;
    case ENOTTY:
    case EINVAL: return LinkCause::kBadSettings;
    case ENOTSUP: return LinkCause::kUnavailable;
    case ECANCELED: return LinkCause::kCancelled;
    default: return LinkCause::kOther;
  }
}

LinkError SystemFailure(std::string device, int error_number, std::string detail, bool opening) {
  LinkError e;
  e.cause = CauseOfErrno(error_number, opening);
  if (e.cause == LinkCause::kNone) e.cause = LinkCause::kOther;
  e.error_number = error_number;
  e.system_text = std::strerror(error_number);
  e.device = std::move(device);
  e.detail = std::move(detail);
  return e;
}

LinkError Failure(LinkCause cause, std::string device, std::string detail) {
  LinkError e;
  e.cause = cause;
  e.device = std::move(device);
  e.detail = std::move(detail);
  return e;
}

std::string HintFor(LinkCause cause, LinkKind kind) {
  switch (cause) {
    case LinkCause::kPermission:
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
    case LinkCause::kBusy:
      return kind == lkUsb ? "The printer is held by another program."
                           : "The port is held by another program.";
    case LinkCause::kNotFound:
      switch (kind) {
        case lkCom: return "Check that the adapter is plugged in and the port name is right.";
        case lkLpt:
        case lkUsb: return "Check that the printer is connected and switched on.";
        case lkEthernet: return "Check the printer's address.";
      }
      return {};
    case LinkCause::kGone:
      switch (kind) {
        case lkCom: return "The device went away.";
        case lkLpt: return "The printer went off line.";
        case lkUsb: return "The printer was unplugged.";
        case lkEthernet: return "The printer ended the connection.";
      }
      return {};
    case LinkCause::kTimedOut:
      if (kind == lkLpt) return "Check that the printer is on line and has paper.";
      if (kind == lkEthernet) {
        return "Check the printer's address and port and that it is switched on.";
      }
      return {};
    case LinkCause::kRefused:
    case LinkCause::kUnreachable:
      return "Check the printer's address and port and that it is switched on.";
    case LinkCause::kBadSettings:
      return kind == lkEthernet ? "Enter the printer's address in the Ethernet setup." : "";
    case LinkCause::kNone:
    case LinkCause::kUnavailable:
    case LinkCause::kCancelled:
    case LinkCause::kOther: return {};
  }
  return {};
}

}  // namespace krt6
