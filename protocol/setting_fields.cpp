// The characters a command text may carry, and the atoi-style conversion of reply fields.
#include <algorithm>

#include "protocol/commands.h"
#include "protocol/protocol.h"

namespace krt6 {
namespace {

bool IsBlank(std::uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

}  // namespace

bool IsFramingByte(std::uint8_t byte, bool esc_framing) {
  if (esc_framing) return byte == kESC || byte == kLF || byte == 0x00;
  return byte == '{' || byte == '|' || byte == '}';
}

bool IsCommandText(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<std::uint8_t>(c);
    // Both framings' bytes are refused: a text must not depend on the framing to stay whole.
    return byte >= 0x20 && byte <= 0x7E && !IsFramingByte(byte, false) &&
           !IsFramingByte(byte, true);
  });
}

bool IsHostNameText(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
  });
}

std::int32_t DecimalField(const std::uint8_t* text, std::size_t count) {
  std::size_t i = 0;
  while (i < count && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < count && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  std::int64_t value = 0;
  for (; i < count && IsDigit(text[i]); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > INT32_MAX) value = INT32_MAX;  // only reachable with very wide fields
  }
  return static_cast<std::int32_t>(negative ? -value : value);
}

}  // namespace krt6
