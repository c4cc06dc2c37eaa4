// The least any client can spend on a command's exchanges with a fleet of printers: one thread,
// epoll, nothing done beyond sending each command and taking each reply, with the printer's pause
// after the version query kept. krt6ctl's own time is measured against it.
#pragma once

#include <string>
#include <vector>

#include "protocol/operations.h"

namespace krt6::bench {

enum class Connections {
  kEachExchange,      // a connection for every exchange, as the printers see from krt6ctl
  kOneAfterSettling,  // for comparison: one connection for all the exchanges after the pause
};

// Runs `kinds` (operations of the table, in order, each with its start-up record) against every
// printer of `addresses` ("HOST:PORT", numeric) at once, a write a command as krt6ctl writes
// them. The wall time in ms, or -1 when a printer did not answer in full within 30 s.
double WireFloorMs(const std::vector<std::string>& addresses, const std::vector<CommandKind>& kinds,
                   Connections connections);

}  // namespace krt6::bench
