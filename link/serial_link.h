// The serial link (lkCom) on termios.
#pragma once

#include <termios.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "link/link_backend.h"
#include "link/port_names.h"
#include "link/posix_io.h"

namespace krt6 {

// What the settings ask of the line, beyond what termios carries.
struct SerialLine {
  termios Attributes{};
  speed_t Speed = B9600;
  int Rate = 9600;               // bit/s, for messages and wire-time figures
  bool HoldOutputOnDsr = false;  // Linux has no DSR output flow control: checked before each chunk
};

// Maps the seven settings onto the line, starting from the port's current attributes `current`.
// Pure: no system call. Raw mode, receiver on, modem control lines ignored; rate, word size,
// parity (checked on input for odd parity only), stop bits (two stand in for one and a half),
// RTS/CTS and Xon/Xoff flow control; reads return at once (VMIN 0, VTIME 0).
SerialLine MapSerialSettings(const SerialSettings& settings, const termios& current);

// The rate of a BaudRateIndex: 0..6 give 2400..115200, anything else 9600.
int SerialRate(std::int32_t baud_rate_index);

// The time limits of the serial link, in milliseconds. Tests may shorten the write limit.
struct SerialTimings {
  int ReadAcceptMs = 1000;  // a byte that first arrives later than this is left for the next read
  int ReadFailMs = 1200;    // a read without data fails this long after it began
  int WriteBaseMs = 5000;   // a chunk of n bytes must be written within base + n * per byte
  int WritePerByteMs = 10;
};

class SerialLink final : public LinkBackend {
 public:
  // The port `settings` name, through `resolver`, with its line set from `settings`.
  explicit SerialLink(std::shared_ptr<const PortResolver> resolver,
                      SerialTimings timings = SerialTimings{}, SerialSettings settings = {});
  ~SerialLink() override;

  // Chunks of this size (0: the whole buffer); whether the printer's replies come back.
  static constexpr LinkCapabilities kCapabilities{true, 64};
  LinkCapabilities Capabilities() const override { return kCapabilities; }

  LinkHandle Open(Result& failure) override;
  std::size_t Write(LinkHandle handle, const std::uint8_t* data, std::size_t size,
                    Result& failure) override;
  std::size_t Fill(LinkHandle handle, std::uint8_t* out, std::size_t capacity,
                   std::chrono::steady_clock::time_point until, Result& failure) override;
  void Close(LinkHandle handle) override;

 private:
  struct Port {
    std::string Device;
    bool HoldOutputOnDsr = false;
    int Rate = 9600;
    bool OutputSettled = true;  // false from a write until its bytes have left or been discarded
  };
  // Waits until the driver's output queue is empty; false (with the queue discarded) when the
  // printer still holds bytes back at `deadline` or the exchange is cancelled. `queued` receives
  // what was left.
  bool WaitForOutputToLeave(int fd, const Port& port,
                            std::chrono::steady_clock::time_point deadline, int& queued);
  bool WaitForDsr(int fd, const Port& port, std::chrono::steady_clock::time_point deadline,
                  Result& failure);

  std::shared_ptr<const PortResolver> resolver_;
  SerialTimings timings_;
  SerialSettings settings_;
  std::map<int, Port> open_;
};

}  // namespace krt6
