// The interface each kind of link implements. The link layer dispatches to one backend per
// kind; tests replace backends with in-memory ones.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/cancel_token.h"
#include "link/link_settings.h"

namespace krt6 {

// What OpenLink hands back: a device descriptor, or 1 for the TCP link. -1 means not open.
using LinkHandle = std::intptr_t;
inline constexpr LinkHandle kInvalidLinkHandle = -1;

// Read-only view of the settings the main window registered with the link layer.
struct LinkSettingsView {
  const SerialSettings& Serial;
  const std::string& LptName;
  const TcpSettings& Tcp;
};

class LinkBackend {
 public:
  virtual ~LinkBackend() = default;

  // Opens the device of this kind from the current settings; kInvalidLinkHandle on failure.
  virtual LinkHandle Open(const LinkSettingsView& settings) = 0;

  // Writes one chunk (USB, COM: at most 64 bytes) or the whole buffer (LPT, TCP) within the
  // link's write limit. Returns the number of bytes the device took.
  virtual std::size_t Write(LinkHandle handle, const std::uint8_t* data, std::size_t size) = 0;

  // One refill: waits for data within the link's read limit, and no later than `until`, and
  // stores up to `capacity` bytes into `out`. Returns the number of bytes received, 0 when
  // nothing came in time.
  virtual std::size_t Fill(LinkHandle handle, std::uint8_t* out, std::size_t capacity,
                           std::chrono::steady_clock::time_point until) = 0;

  // Releases the device. Called exactly once after every successful Open. After a cancel it
  // does not wait for output still queued: that is discarded.
  virtual void Close(LinkHandle handle) = 0;

  // What the backend learned about its last failure: the device or address, the system's error
  // text and, where it helps, what the operator can do about it. Empty when nothing failed.
  virtual std::string LastError() const = 0;

  // The token that cancels the running exchange; every wait of the backend watches it. The
  // link layer attaches its own; a backend without one is never cancelled.
  void AttachCancelToken(const CancelToken* token) { cancel_ = token; }

 protected:
  const CancelToken* Cancellation() const { return cancel_; }
  bool CancelRequested() const { return cancel_ != nullptr && cancel_->Cancelled(); }

 private:
  const CancelToken* cancel_ = nullptr;
};

// Formats a system error for the operator: "<device>: <strerror> (errno N)" plus a hint for the
// errors an operator can fix (permissions, a port held by another program).
std::string DescribeSystemError(const std::string& device, int error_number,
                                const std::string& hint = {});

}  // namespace krt6
