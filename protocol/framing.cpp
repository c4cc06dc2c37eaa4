#include <algorithm>

#include "protocol/protocol.h"

namespace krt6 {

std::vector<std::uint8_t> FrameCommand(const char* text, std::size_t length, bool esc_mode) {
  std::vector<std::uint8_t> out;
  out.reserve(length + 3);
  out.push_back(esc_mode ? kESC : '{');
  out.insert(out.end(), reinterpret_cast<const std::uint8_t*>(text),
             reinterpret_cast<const std::uint8_t*>(text) + length);
  if (esc_mode) {
    out.push_back(kLF);
    out.push_back(0x00);
  } else {
    out.push_back('|');
    out.push_back('}');
  }
  return out;
}

namespace {

// Reads and stores `count` bytes exactly as they come; each must come by the deadline.
bool ReadRest(const ByteReader& next, std::uint8_t* buffer, std::size_t count,
              const ReplyDeadline& deadline) {
  for (std::size_t i = 0; i < count; ++i) {
    if (!next(buffer[i], deadline.At) || deadline.Passed()) return false;
  }
  return true;
}

}  // namespace

bool ReadReply(const ByteReader& next, std::uint8_t* buffer, std::size_t total, std::uint8_t start,
               const ReplyDeadline& deadline) {
  if (total == 0) return false;
  std::uint8_t byte = 0;
  for (std::size_t discarded = 0;; ++discarded) {
    if (discarded >= kMaxDiscardedBytes || !ReadRest(next, &byte, 1, deadline)) return false;
    if (byte == start) break;
  }
  buffer[0] = start;
  if (!ReadRest(next, buffer + 1, total - 1, deadline)) return false;
  buffer[total] = 0;
  return true;
}

bool ReadReplyPair(const ByteReader& next, std::uint8_t* buffer, std::size_t total,
                   std::uint8_t first, std::uint8_t second, const ReplyDeadline& deadline) {
  if (total < 2) return false;
  std::uint8_t byte = 0;
  auto take = [&] { return ReadRest(next, &byte, 1, deadline); };
  for (std::size_t discarded = 0;;) {
    if (discarded >= kMaxDiscardedBytes || !take()) return false;
    if (byte != first) {
      ++discarded;
      continue;
    }
    if (!take()) return false;
    if (byte == second) break;
    discarded += 2;
  }
  buffer[0] = first;
  buffer[1] = second;
  if (!ReadRest(next, buffer + 2, total - 2, deadline)) return false;
  buffer[total] = 0;
  return true;
}

}  // namespace krt6
