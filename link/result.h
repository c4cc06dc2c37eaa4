// The result of every exchange, from the link to the window and krt6ctl: the result code, why it
// failed (a cause callers can act on), the system's error number and text, the device, our own
// account of what happened and what the operator can do about it. It is made where the failure is
// seen and carried unchanged to the top.
#pragma once

#include <string>
#include <string_view>

namespace krt6 {

// The result of every printer operation, and the row of the message table shown for it.
enum ResultCode : int {
  kSuccess = 0,
  kPortOpenError = 1,
  kTransmissionError = 2,
  kReceivingError = 3,
  kFileOpenError = 4,
  kUnknownError = 5,
  kCancelled = 6,  // the operator cancelled the exchange, or closed the window during it
};

// Why an exchange failed. The first group is seen by the links, the second by the protocol,
// the last by a run over many printers.
// Every cause has a stable English key (CauseKey) for scripts and monitoring.
enum class Cause {
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
  // The protocol's causes.
  kCannotReceive,       // the link cannot carry the printer's replies (a parallel port)
  kBadReply,            // bytes came, but none began the reply expected
  kReplyTooShort,       // the reply began but ended before its length
  kVersionNotDetected,  // the printer's reply named no firmware version
  kNotSupported,        // the printer's firmware does not take what was asked
  kBadValue,            // a value was refused before anything was sent
  kBadRequest,          // the caller asked for no operation or gave the wrong record
  // What a command run over many printers adds.
  kReadBackDiffers,  // the printer did not keep what was written
  kInterrupted,      // the operator interrupted the run while this printer's job ran
  kNotStarted,       // the operator interrupted the run before this printer's job began
};

struct Result {
  ResultCode code = kSuccess;
  Cause cause = Cause::kNone;
  int error_number = 0;     // errno, 0 when no system call failed
  std::string system_text;  // the system's text for error_number, or the driver library's
  std::string device;       // the port and device node, or the address
  std::string detail;       // what was seen, e.g. "no reply within 1200 ms."
  std::string hint;         // what the operator can do: the link kind's hint for the cause
  std::string action;       // what failed on which link, e.g. "Open failed (COM)"; may be empty

  bool Ok() const { return code == kSuccess; }
  bool Failed() const { return cause != Cause::kNone; }
  // "<device>: <system text> (errno N). <detail>. <hint>", leaving out the parts that are empty.
  std::string Describe() const;
  // The details of a message box: "<action>: <Describe()>", or Describe() without an action.
  std::string Text() const;
};

// The stable key of a cause: "refused", "not_found", "timeout", "busy", "permission", ...; empty
// for kNone. docs/krt6ctl.md lists them.
std::string_view CauseKey(Cause cause);

// The cause of a system error number. `opening` tells an absent device (at open) from one that
// went away during the exchange (ENODEV, ENXIO).
Cause CauseOfErrno(int error_number, bool opening);

// A failed system call on `device`: the cause from the error number, and its text.
Result SystemFailure(std::string device, int error_number, std::string detail = {},
                     bool opening = false);

// A failure that no system call reported.
Result Failure(Cause cause, std::string device, std::string detail);

// A failed operation of the protocol: its code, its cause and its own sentence.
Result ProtocolFailure(ResultCode code, Cause cause, std::string detail);

}  // namespace krt6
