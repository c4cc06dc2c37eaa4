// The TCP link (lkEthernet) on POSIX sockets.
#pragma once

#include <string>

#include "link/link_backend.h"
#include "link/posix_io.h"

namespace krt6 {

// The time limits of the TCP link, in milliseconds.
struct TcpTimings {
  int ConnectMs = 5000;  // every address of the name in turn, within this bound in all
  int WaitMs = 1000;     // the wait for the next batch of reply bytes
  int WriteMs = 3000;    // the whole command must be handed to the socket within this
};

class TcpLink final : public LinkBackend {
 public:
  static constexpr LinkHandle kHandle = 1;
  static constexpr std::size_t kMaxRead = 4096;

  explicit TcpLink(TcpTimings timings = TcpTimings{}) : timings_(timings) {}

  // Chunks of this size (0: the whole buffer); whether the printer's replies come back.
  static constexpr LinkCapabilities kCapabilities{true, 0};
  LinkCapabilities Capabilities() const override { return kCapabilities; }

  LinkHandle Open(const LinkSettingsView& settings) override;
  std::size_t Write(LinkHandle handle, const std::uint8_t* data, std::size_t size) override;
  std::size_t Fill(LinkHandle handle, std::uint8_t* out, std::size_t capacity,
                   std::chrono::steady_clock::time_point until) override;
  void Close(LinkHandle handle) override;
  Result LastError() const override { return last_error_; }

 private:
  TcpTimings timings_;
  UniqueFd socket_;
  std::string peer_;
  Result last_error_;
};

}  // namespace krt6
