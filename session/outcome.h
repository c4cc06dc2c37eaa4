// The outcome of one printer operation: the result (its code and, on failure, why, as the link or
// the protocol saw it) and the value the operation brought back.
#pragma once

#include "link/result.h"

namespace krt6 {

template <typename T> struct Outcome : Result { T Value{}; };

template <> struct Outcome<void> : Result {};

}  // namespace krt6
