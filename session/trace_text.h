// One line of text per traced chunk, for the communication log and the command line:
// the time since `origin` in seconds, the direction, the bytes in hex and as printable text.
#pragma once

#include <chrono>
#include <string>

#include "link/trace.h"

namespace krt6 {

// "  12.345  ->  7B 57 56 7C 7D  {WV|}": "->" sent, "<-" received; bytes outside printable
// ASCII show as '.'.
std::string TraceLine(const TraceEvent& event, std::chrono::steady_clock::time_point origin);
std::string TraceHex(const std::vector<std::uint8_t>& bytes);
std::string TracePrintable(const std::vector<std::uint8_t>& bytes);

}  // namespace krt6
