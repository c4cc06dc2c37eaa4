// One status query of one printer, timed: what check, watch, --textfile and the exporter report.
#pragma once

#include "link/result.h"
#include "session/session.h"

namespace krt6::monitor {

struct Probe {
  bool up = false;       // the printer answered its status query
  int status_index = 0;  // its StatusIndex when up
  double seconds = 0;    // the exchange's time, on the monotonic clock
  Result result;         // what failed, with its cause, when not up
};

// Asks the session's printer for its status. A link that cannot carry replies fails at once
// (cause cannot_receive), without opening anything.
Probe ProbeStatus(Session& session);

}  // namespace krt6::monitor
