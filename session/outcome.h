// The result of one printer operation: its code, the value it brought back, and what went wrong.
#pragma once

#include <string>
#include <utility>

#include "link/result.h"

namespace krt6 {

// What every outcome carries besides its value.
struct OutcomeStatus {
  ResultCode Code = kUnknownError;
  // The protocol's detail for the message box (its own sentences or the link's text).
  std::string Details;
  // The failure as a result with its cause: the link's report (device, system error, hint), the
  // code, and the cause, which is the protocol's own when the protocol saw the failure (a link
  // that cannot receive, a reply that began and broke off, no version in the reply). Default
  // (cause kNone) on success.
  Result Link{};

  bool Ok() const { return Code == kSuccess; }
};

// The status of an operation that ended with `result`.
inline OutcomeStatus OutcomeOf(Result result) {
  OutcomeStatus status;
  status.Code = result.code;
  if (!result.Ok()) {
    status.Details = result.Text();
    status.Link = std::move(result);
  }
  return status;
}

template <typename T> struct Outcome : OutcomeStatus { T Value{}; };

template <> struct Outcome<void> : OutcomeStatus {};

}  // namespace krt6
