// The interface each kind of link implements. A backend is made for one printer from its kind's
// own settings (link/link_kinds.h); the link layer drives one. Tests use in-memory backends.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/cancel_token.h"
#include "link/link_settings.h"
#include "link/result.h"

namespace krt6 {

// What OpenLink hands back: a device descriptor, or 1 for the TCP link. -1 means not open.
using LinkHandle = std::intptr_t;
inline constexpr LinkHandle kInvalidLinkHandle = -1;

// What a link can do: carry the printer's replies or not, and how much one write may hand the
// device (0: the whole buffer at once).
struct LinkCapabilities {
  bool can_receive = true;
  std::size_t chunk_size = 0;
};

class LinkBackend {
 public:
  virtual ~LinkBackend() = default;

  virtual LinkCapabilities Capabilities() const = 0;

  // Every call that can fail says why in `failure`: its cause, the device or address and the
  // system's error (the link layer adds the hint). `failure` is left alone on success.

  // Opens the device the backend was made for; kInvalidLinkHandle on failure.
  virtual LinkHandle Open(Result& failure) = 0;

  // Writes one chunk (USB, COM: at most 64 bytes) or the whole buffer (LPT, TCP) within the
  // link's write limit. Returns the number of bytes the device took; fewer than `size` is a
  // failure.
  virtual std::size_t Write(LinkHandle handle, const std::uint8_t* data, std::size_t size,
                            Result& failure) = 0;

  // One refill: waits for data within the link's read limit, and no later than `until`, and
  // stores up to `capacity` bytes into `out`. Returns the number of bytes received, 0 (with
  // `failure` set) when nothing came in time.
  virtual std::size_t Fill(LinkHandle handle, std::uint8_t* out, std::size_t capacity,
                           std::chrono::steady_clock::time_point until, Result& failure) = 0;

  // Releases the device. Called exactly once after every successful Open. After a cancel it
  // does not wait for output still queued: that is discarded.
  virtual void Close(LinkHandle handle) = 0;

  // The token that cancels the running exchange; every wait of the backend watches it. The
  // link layer attaches its own; a backend without one is never cancelled.
  void AttachCancelToken(const CancelToken* token) { cancel_ = token; }

 protected:
  const CancelToken* Cancellation() const { return cancel_; }
  bool CancelRequested() const { return cancel_ != nullptr && cancel_->Cancelled(); }

 private:
  const CancelToken* cancel_ = nullptr;
};

}  // namespace krt6
