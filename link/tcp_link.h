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

  // The printer at `settings` (its address or host name and port).
  explicit TcpLink(TcpTimings timings = TcpTimings{}, TcpSettings settings = {})
      : timings_(timings), settings_(std::move(settings)) {}

  // Chunks of this size (0: the whole buffer); whether the printer's replies come back.
  static constexpr LinkCapabilities kCapabilities{true, 0};
  LinkCapabilities Capabilities() const override { return kCapabilities; }

  LinkHandle Open(Result& failure) override;
  std::size_t Write(LinkHandle handle, const std::uint8_t* data, std::size_t size,
                    Result& failure) override;
  std::size_t Fill(LinkHandle handle, std::uint8_t* out, std::size_t capacity,
                   std::chrono::steady_clock::time_point until, Result& failure) override;
  void Close(LinkHandle handle) override;

 private:
  TcpTimings timings_;
  UniqueFd socket_;
  TcpSettings settings_;
  std::string peer_;
};

}  // namespace krt6
