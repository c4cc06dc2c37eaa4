// The link contract: open a connection to the printer over the session's one backend, write, read
// one byte; the connection closes itself. Every call that fails says why in the caller's Result.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "link/cancel_token.h"
#include "link/link_backend.h"
#include "link/link_settings.h"
#include "link/receive_ring.h"
#include "link/result.h"
#include "link/trace.h"

namespace krt6 {

class LinkLayer;

// One open link. Move-only; closes the device when it goes out of scope (or at Close). A
// connection whose open failed is not Ok(): its writes and reads fail.
class LinkConnection {
 public:
  LinkConnection() = default;
  ~LinkConnection() { Close(); }
  LinkConnection(const LinkConnection&) = delete;
  LinkConnection& operator=(const LinkConnection&) = delete;
  LinkConnection(LinkConnection&& other) noexcept { *this = std::move(other); }
  LinkConnection& operator=(LinkConnection&& other) noexcept;

  bool Ok() const { return layer_ != nullptr; }
  LinkCapabilities Capabilities() const;

  // Hands all `length` bytes to the device, in chunks of the link's chunk size. On failure
  // `failure` says why: "Write failed (COM)", the cause, the device, the system's error, the hint.
  bool Write(const std::uint8_t* data, std::size_t length, Result& failure);
  // The next received byte; a refill waits no later than `until`, whatever the link's own limit.
  bool ReadByte(std::uint8_t& byte, std::chrono::steady_clock::time_point until, Result& failure);
  // Releases the device now; later writes and reads fail.
  void Close();

 private:
  friend class LinkLayer;
  LinkConnection(LinkLayer* layer, LinkHandle handle) : layer_(layer), handle_(handle) {}

  LinkLayer* layer_ = nullptr;
  LinkHandle handle_ = kInvalidLinkHandle;
};

class LinkLayer {
 public:
  static constexpr std::size_t kMaxFill = 4096;

  // Starts with no backend: every open fails until SetBackend.
  LinkLayer();
  ~LinkLayer();
  LinkLayer(const LinkLayer&) = delete;
  LinkLayer& operator=(const LinkLayer&) = delete;

  // Replaces the backend, the link of `kind` to one printer; the layer owns it from then on.
  // Only while no connection is open.
  void SetBackend(LinkKind kind, std::unique_ptr<LinkBackend> backend);
  LinkKind Kind() const { return kind_; }

  // What the backend can do; nothing without one.
  LinkCapabilities Capabilities() const;
  // Whether the link can carry the printer's replies.
  bool CanReceive() const { return Capabilities().can_receive; }

  // Installs the byte trace (none: nothing is traced). Only between exchanges, on the thread
  // that runs them.
  void SetTraceObserver(TraceObserver observer) { trace_ = std::move(observer); }

  // Opens the link. Not Ok() on failure, with `failure` saying why ("Open failed (COM)", ...).
  LinkConnection Open(Result& failure);

  // Cancels the running exchange, from any thread: every wait of the link ends at once, and
  // every open, write, read and pause fails until ClearCancel. Closing still works, without
  // waiting for queued output.
  void Cancel() noexcept { cancel_.Cancel(); }
  // Arms the link again; only while no exchange runs, on the thread that may cancel.
  void ClearCancel() noexcept { cancel_.Reset(); }
  bool Cancelled() const noexcept { return cancel_.Cancelled(); }

  // Waits `milliseconds` (a printer's settling time); false when cancelled first.
  bool Pause(int milliseconds);

  // Every byte a device took since the layer was made: tells a caller whether anything of a
  // failed write went out.
  std::uint64_t BytesSent() const { return bytes_sent_; }

 private:
  friend class LinkConnection;
  bool Write(LinkHandle handle, const std::uint8_t* data, std::size_t length, Result& failure);
  bool ReadByte(LinkHandle handle, std::uint8_t& byte, std::chrono::steady_clock::time_point until,
                Result& failure);
  void Close(LinkHandle handle);
  void Trace(TraceDirection direction, const std::uint8_t* data, std::size_t size);
  // Completes what the backend said about a failure: the cause when it gave none, the action
  // ("Open failed (COM)") and the kind's hint.
  void Complete(Result& failure, const char* what, Cause fallback) const;
  bool RefuseWhenCancelled(Result& failure) const;

  LinkKind kind_ = lkUsb;
  std::unique_ptr<LinkBackend> backend_;
  ReceiveRing ring_;
  std::array<std::uint8_t, kMaxFill> fill_buffer_{};
  CancelToken cancel_;
  TraceObserver trace_;
  std::uint64_t bytes_sent_ = 0;
};

}  // namespace krt6
