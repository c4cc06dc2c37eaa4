// The result of one printer operation: its code, the value it brought back, and what went wrong.
#pragma once

#include <string>
#include <type_traits>
#include <utility>

#include "link/link_layer.h"
#include "protocol/protocol.h"

namespace krt6 {

// Whatever the link layer reports about its last failure.
using LinkFailure = std::decay_t<decltype(std::declval<const LinkLayer&>().LastError())>;

// What every outcome carries besides its value.
struct OutcomeStatus {
  ResultCode Code = kUnknownError;
  // The protocol's detail for the message box (its own sentences or the link's text).
  std::string Details;
  // The failure as a result with its cause: the link's report (device, system error, hint), the
  // code, and the cause, which is the protocol's own when the protocol saw the failure (a link
  // that cannot receive, a reply that began and broke off, no version in the reply). Default
  // (cause kNone) on success.
  LinkFailure Link{};

  bool Ok() const { return Code == kSuccess; }
};

template <typename T> struct Outcome : OutcomeStatus { T Value{}; };

template <> struct Outcome<void> : OutcomeStatus {};

}  // namespace krt6
