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
  // The link's own report of its last failure (empty or default when the link did not fail).
  LinkFailure Link{};

  bool Ok() const { return Code == kSuccess; }
};

template <typename T> struct Outcome : OutcomeStatus { T Value{}; };

template <> struct Outcome<void> : OutcomeStatus {};

}  // namespace krt6
