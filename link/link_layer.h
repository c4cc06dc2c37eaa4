// The link contract: open a connection over the interface the operator chose, write, read one
// byte; the connection closes itself.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "link/cancel_token.h"
#include "link/link_backend.h"
#include "link/result.h"
#include "link/link_settings.h"
#include "link/receive_ring.h"
#include "link/trace.h"

namespace krt6 {

class LinkLayer;

// One open link. Move-only; closes the device when it goes out of scope (or at Close). A
// connection whose open failed is not Ok(): its writes and reads fail, and the layer's
// LastError says why.
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

  // Hands all `length` bytes to the device, in chunks of the link's chunk size.
  bool Write(const std::uint8_t* data, std::size_t length);
  // The next received byte; a refill waits no later than `until`, whatever the link's own limit.
  bool ReadByte(std::uint8_t& byte, std::chrono::steady_clock::time_point until =
                                        std::chrono::steady_clock::time_point::max());
  // Releases the device now; later writes and reads fail.
  void Close();

 private:
  friend class LinkLayer;
  LinkConnection(LinkLayer* layer, LinkKind kind, LinkHandle handle)
      : layer_(layer), kind_(kind), handle_(handle) {}

  LinkLayer* layer_ = nullptr;
  LinkKind kind_ = lkUsb;
  LinkHandle handle_ = kInvalidLinkHandle;
};

class LinkLayer {
 public:
  static constexpr std::size_t kMaxFill = 4096;
  static constexpr int kKindCount = 4;

  // Starts with a backend for every kind that fails to open.
  LinkLayer();
  ~LinkLayer();
  LinkLayer(const LinkLayer&) = delete;
  LinkLayer& operator=(const LinkLayer&) = delete;

  // Stores references to the owner's settings; they are read again at every open.
  void SetLinkSettings(SerialSettings& serial, std::string& lpt_name, TcpSettings& tcp,
                       std::uint8_t& code_mode);

  // Replaces the backend of one kind. The layer owns it from then on.
  void SetBackend(LinkKind kind, std::unique_ptr<LinkBackend> backend);

  // What the backend of `kind` can do; a kind outside the four can do nothing.
  LinkCapabilities Capabilities(LinkKind kind) const;
  // Whether a link of `kind` can carry the printer's replies.
  bool CanReceive(LinkKind kind) const { return Capabilities(kind).can_receive; }

  // Installs the byte trace (none: nothing is traced). Only between exchanges, on the thread
  // that runs them.
  void SetTraceObserver(TraceObserver observer) { trace_ = std::move(observer); }

  // Opens the link of `kind` from the registered settings. Not Ok() on failure, with LastError
  // set. Clears LastError.
  LinkConnection Open(LinkKind kind);

  // Cancels the running exchange, from any thread: every wait of the links ends at once, and
  // every open, write, read and pause fails until ClearCancel. Closing still works, without
  // waiting for queued output.
  void Cancel() noexcept { cancel_.Cancel(); }
  // Arms the links again; only while no exchange runs, on the thread that may cancel.
  void ClearCancel() noexcept { cancel_.Reset(); }
  bool Cancelled() const noexcept { return cancel_.Cancelled(); }

  // Waits `milliseconds` (a printer's settling time); false when cancelled first.
  bool Pause(int milliseconds);

  // The framing flag registered with SetLinkSettings (0 when none was registered).
  std::uint8_t CodeMode() const { return code_mode_ != nullptr ? *code_mode_ : 0; }

  // The last failure of an open, write or read: its cause, the device and the system's error,
  // with the hint for the cause. Cleared by every Open.
  const Result& LastError() const { return last_error_; }
  // The same for the details of a message box: "Open failed (COM): <described error>"; empty
  // when nothing failed.
  const std::string& LastErrorText() const { return last_error_text_; }

  // Every byte a device took since the layer was made, over every kind: tells a caller whether
  // anything of a failed write went out.
  std::uint64_t BytesSent() const { return bytes_sent_; }

 private:
  friend class LinkConnection;
  static bool IsKind(LinkKind kind) { return kind >= 0 && kind < kKindCount; }
  bool Write(LinkKind kind, LinkHandle handle, const std::uint8_t* data, std::size_t length);
  bool ReadByte(LinkKind kind, LinkHandle handle, std::uint8_t& byte,
                std::chrono::steady_clock::time_point until);
  void Close(LinkKind kind, LinkHandle handle);
  void Trace(LinkKind kind, TraceDirection direction, const std::uint8_t* data, std::size_t size);
  void RecordFailure(LinkKind kind, const char* what, Cause fallback);
  void SetError(Result error, const std::string& what);
  bool RefuseWhenCancelled();

  SerialSettings* serial_ = nullptr;
  std::string* lpt_name_ = nullptr;
  TcpSettings* tcp_ = nullptr;
  std::uint8_t* code_mode_ = nullptr;
  std::array<std::unique_ptr<LinkBackend>, kKindCount> backends_;
  std::array<ReceiveRing, kKindCount> rings_;  // used by the kinds that can receive
  std::array<std::uint8_t, kMaxFill> fill_buffer_{};
  Result last_error_;
  std::string last_error_text_;
  CancelToken cancel_;
  TraceObserver trace_;
  std::uint64_t bytes_sent_ = 0;
};

}  // namespace krt6
