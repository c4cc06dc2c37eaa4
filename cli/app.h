// krt6ctl: every printer operation from the command line, for one printer or a fleet.
#pragma once

#include <ostream>

namespace krt6::cli {

// Parses the command line and runs the command. Exit status: 0 every target succeeded, 1 some
// target failed, 2 bad usage or input (nothing was sent to any printer), 130 the operator
// interrupted a fleet run (every target is still reported).
int RunKrt6ctl(int argc, char** argv);

// The same with the output on `out` and the messages on `err` (a progress line is drawn only
// when `err` is std::cerr on a terminal).
int RunKrt6ctl(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace krt6::cli
