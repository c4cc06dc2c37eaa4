// Why a link failed, in a form callers can act on: a cause, the system's error number and text,
// the device, our own account of what happened and what the operator can do about it.
#pragma once

#include <string>

#include "link/link_settings.h"

namespace krt6 {

enum class LinkCause {
  kNone,         // nothing failed
  kNotFound,     // no such port, device node, USB device or host name
  kPermission,   // the user may not open the device
  kBusy,         // another program holds the device
  kTimedOut,     // the printer did not answer, or did not take the data, in time
  kGone,         // the device went away or the printer ended the connection during the exchange
  kRefused,      // the printer's address refused the connection
  kUnreachable,  // no route to the printer's network
  kBadSettings,  // the settings name nothing that can be opened (no address, not a serial port)
  kUnavailable,  // this build or system has no driver for the link
  kCancelled,    // the operator cancelled the exchange
  kOther,
};

struct LinkError {
  LinkCause cause = LinkCause::kNone;
  int error_number = 0;     // errno, 0 when no system call failed
  std::string system_text;  // the system's text for error_number, or the driver library's
  std::string device;       // the port and device node, or the address
  std::string detail;       // what the link saw, e.g. "no reply within 1200 ms."
  std::string hint;         // what the operator can do, chosen by HintFor

  bool Failed() const { return cause != LinkCause::kNone; }
  // "<device>: <system text> (errno N). <detail>. <hint>", leaving out the parts that are empty.
  std::string Describe() const;
};

// The cause of a system error number. `opening` tells an absent device (at open) from one that
// went away during the exchange (ENODEV, ENXIO).
LinkCause CauseOfErrno(int error_number, bool opening);

// A failed system call on `device`: the cause from the error number, and its text.
LinkError SystemFailure(std::string device, int error_number, std::string detail = {},
                        bool opening = false);

// A failure that no system call reported.
LinkError Failure(LinkCause cause, std::string device, std::string detail);

// What the operator can do about `cause` on a link of `kind` (the dialout or lp group, the udev
// rule, another program holding the port); empty when there is nothing to suggest.
std::string HintFor(LinkCause cause, LinkKind kind);

}  // namespace krt6
