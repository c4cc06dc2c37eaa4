#include "session/trace_text.h"

#include <cstdio>

namespace krt6 {

std::string TraceHex(const std::vector<std::uint8_t>& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 3);
  for (const std::uint8_t b : bytes) {
    if (!text.empty()) text += ' ';
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
  return text;
}

std::string TracePrintable(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (const std::uint8_t b : bytes) text += b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.';
  return text;
}

std::string TraceLine(const TraceEvent& event, std::chrono::steady_clock::time_point origin) {
  const auto since =
      std::chrono::duration_cast<std::chrono::milliseconds>(event.time - origin).count();
  char time[32];
  std::snprintf(time, sizeof time, "%8lld.%03lld", static_cast<long long>(since / 1000),
                static_cast<long long>(since % 1000));
  const char* arrow = event.direction == TraceDirection::kSent ? "->" : "<-";
  return std::string(time) + "  " + arrow + "  " + TraceHex(event.bytes) + "  " +
         TracePrintable(event.bytes);
}

}  // namespace krt6
