// A byte ring of 65,536 bytes that buffers what a link received until the protocol takes it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace krt6 {

class ReceiveRing {
 public:
  static constexpr std::size_t kSize = 65536;

  void Clear() { write_ = read_ = count_ = 0; }
  std::size_t Count() const { return count_; }

  // Appends what arrived; the caller refills only an empty ring with at most 4,096 bytes, so the
  // ring cannot overflow. Bytes beyond the free space are dropped rather than overwriting.
  void Append(const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i < size && count_ < kSize; ++i) {
      bytes_[write_] = data[i];
      write_ = (write_ + 1) % kSize;
      ++count_;
    }
  }

  bool Take(std::uint8_t& byte) {
    if (count_ == 0) return false;
    byte = bytes_[read_];
    read_ = (read_ + 1) % kSize;
    --count_;
    return true;
  }

 private:
  // Left uninitialized: a byte is read only after it was written, and a fleet run holds a ring
  // per printer, most of whose pages are then never touched.
  std::array<std::uint8_t, kSize> bytes_;
  std::size_t write_ = 0;
  std::size_t read_ = 0;
  std::size_t count_ = 0;
};

}  // namespace krt6
