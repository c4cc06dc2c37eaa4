// A byte trace of the link: an observer sees every chunk the device took and every chunk it
// delivered, with the moment it happened. Nothing is traced while no observer is installed.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "link/link_settings.h"

namespace krt6 {

enum class TraceDirection { kSent, kReceived };

struct TraceEvent {
  LinkKind kind = lkUsb;
  TraceDirection direction = TraceDirection::kSent;
  std::vector<std::uint8_t> bytes;
  std::chrono::steady_clock::time_point time;
};

// Called on the thread that runs the exchange, once per chunk, after the bytes moved.
using TraceObserver = std::function<void(const TraceEvent&)>;

}  // namespace krt6
