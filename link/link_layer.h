// The link contract: open, write, read one byte, close, over the interface the operator chose.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "link/cancel_token.h"
#include "link/link_backend.h"
#include "link/link_settings.h"
#include "link/receive_ring.h"
#include "link/trace.h"

namespace krt6 {

class LinkLayer {
 public:
  static constexpr std::size_t kChunkSize = 64;
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

  // Replaces the backend of one kind (0..3). The layer owns it from then on.
  void SetBackend(int kind, std::unique_ptr<LinkBackend> backend);
  LinkBackend* Backend(int kind) const;

  // Called after each chunk written (USB, COM) or once after the write (LPT, TCP), so that a
  // window can process its pending messages during a long send.
  void SetPendingMessagesHandler(std::function<void()> handler);

  // Whether a link of `kind` can carry the printer's replies.
  static bool CanReceive(int kind) { return IsReadable(kind); }

  // Installs the byte trace (none: nothing is traced). Only between exchanges, on the thread
  // that runs them.
  void SetTraceObserver(TraceObserver observer) { trace_ = std::move(observer); }

  LinkHandle OpenLink(int kind);
  bool LinkWrite(LinkHandle handle, int kind, const std::uint8_t* data, std::uint32_t length);
  // A refill waits no later than `until`, whatever the link's own read limit.
  bool LinkReadByte(
      LinkHandle handle, int kind, std::uint8_t& byte,
      std::chrono::steady_clock::time_point until = std::chrono::steady_clock::time_point::max());
  void CloseLink(int kind, LinkHandle handle);

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

  // What the link layer learned about the last failure of an open, write or read: the device
  // or address and the system's error text. Cleared by every OpenLink.
  const std::string& LastError() const { return last_error_; }

 private:
  static bool IsKind(int kind) { return kind >= 0 && kind < kKindCount; }
  static bool IsReadable(int kind) { return kind == lkUsb || kind == lkCom || kind == lkEthernet; }
  void NotePending();
  void Trace(int kind, TraceDirection direction, const std::uint8_t* data, std::size_t size);
  void RecordFailure(int kind, const char* what);
  bool RefuseWhenCancelled();

  SerialSettings* serial_ = nullptr;
  std::string* lpt_name_ = nullptr;
  TcpSettings* tcp_ = nullptr;
  std::uint8_t* code_mode_ = nullptr;
  std::array<std::unique_ptr<LinkBackend>, kKindCount> backends_;
  std::array<ReceiveRing, kKindCount> rings_;  // the LPT slot stays unused
  std::array<std::uint8_t, kMaxFill> fill_buffer_{};
  std::function<void()> pending_messages_;
  std::string last_error_;
  CancelToken cancel_;
  TraceObserver trace_;
};

}  // namespace krt6
