#include "monitor/probe.h"

#include <chrono>

namespace krt6::monitor {

Probe ProbeStatus(Session& session) {
  const auto start = std::chrono::steady_clock::now();
  Outcome<std::int32_t> outcome = session.ReadStatus();
  Probe probe;
  probe.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  probe.up = outcome.Ok();
  if (probe.up) {
    probe.status_index = outcome.Value;
  } else {
    probe.result = std::move(outcome);
  }
  return probe;
}

}  // namespace krt6::monitor
