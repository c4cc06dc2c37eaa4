#include "link/link_layer.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "link/posix_io.h"

namespace krt6 {
namespace {

const char* KindName(LinkKind kind) {
  switch (kind) {
    case lkUsb: return "USB";
    case lkCom: return "COM";
    case lkLpt: return "LPT";
    case lkEthernet: return "ETHERNET";
  }
  return "unknown interface";
}

// Stands in for a kind that has no driver on this system: every open fails and says why.
class UnavailableBackend final : public LinkBackend {
 public:
  explicit UnavailableBackend(LinkKind kind) : kind_(kind) {}
  LinkCapabilities Capabilities() const override { return {}; }
  LinkHandle Open(const LinkSettingsView&) override { return kInvalidLinkHandle; }
  std::size_t Write(LinkHandle, const std::uint8_t*, std::size_t) override { return 0; }
  std::size_t Fill(LinkHandle, std::uint8_t*, std::size_t,
                   std::chrono::steady_clock::time_point) override {
    return 0;
  }
  void Close(LinkHandle) override {}
  Result LastError() const override {
    return Failure(Cause::kUnavailable, {},
                   std::string("The ") + KindName(kind_) + " link is not available in this build.");
  }

 private:
  LinkKind kind_;
};

}  // namespace

LinkConnection& LinkConnection::operator=(LinkConnection&& other) noexcept {
  if (this != &other) {
    Close();
    layer_ = std::exchange(other.layer_, nullptr);
    kind_ = other.kind_;
    handle_ = std::exchange(other.handle_, kInvalidLinkHandle);
  }
  return *this;
}

LinkCapabilities LinkConnection::Capabilities() const {
  return layer_ != nullptr ? layer_->Capabilities(kind_) : LinkCapabilities{false, 0};
}

bool LinkConnection::Write(const std::uint8_t* data, std::size_t length) {
  return layer_ != nullptr && layer_->Write(kind_, handle_, data, length);
}

bool LinkConnection::ReadByte(std::uint8_t& byte, std::chrono::steady_clock::time_point until) {
  return layer_ != nullptr && layer_->ReadByte(kind_, handle_, byte, until);
}

void LinkConnection::Close() {
  if (layer_ == nullptr) return;
  std::exchange(layer_, nullptr)->Close(kind_, handle_);
  handle_ = kInvalidLinkHandle;
}

LinkLayer::LinkLayer() {
  for (int kind = 0; kind < kKindCount; ++kind) {
    backends_[kind] = std::make_unique<UnavailableBackend>(static_cast<LinkKind>(kind));
    backends_[kind]->AttachCancelToken(&cancel_);
  }
}

LinkLayer::~LinkLayer() = default;

void LinkLayer::SetLinkSettings(SerialSettings& serial, std::string& lpt_name, TcpSettings& tcp,
                                std::uint8_t& code_mode) {
  serial_ = &serial;
  lpt_name_ = &lpt_name;
  tcp_ = &tcp;
  code_mode_ = &code_mode;
}

void LinkLayer::SetBackend(LinkKind kind, std::unique_ptr<LinkBackend> backend) {
  if (!IsKind(kind) || !backend) return;
  backend->AttachCancelToken(&cancel_);
  backends_[kind] = std::move(backend);
}

LinkCapabilities LinkLayer::Capabilities(LinkKind kind) const {
  return IsKind(kind) ? backends_[kind]->Capabilities() : LinkCapabilities{false, 0};
}

void LinkLayer::SetError(Result error, const std::string& what) {
  last_error_ = std::move(error);
  last_error_text_ = what;
  const std::string described = last_error_.Describe();
  if (!described.empty()) last_error_text_ += (what.empty() ? "" : ": ") + described;
}

void LinkLayer::RecordFailure(LinkKind kind, const char* what, Cause fallback) {
  Result error = backends_[kind]->LastError();
  if (!error.Failed()) error.cause = fallback;
  if (error.hint.empty()) error.hint = HintFor(error.cause, kind);
  SetError(std::move(error), std::string(what) + " (" + KindName(kind) + ")");
}

bool LinkLayer::RefuseWhenCancelled() {
  if (!cancel_.Cancelled()) return false;
  SetError(Failure(Cause::kCancelled, {}, "Cancelled."), {});
  return true;
}

bool LinkLayer::Pause(int milliseconds) {
  return SleepUntil(SteadyNow() + std::chrono::milliseconds(milliseconds), &cancel_);
}

LinkConnection LinkLayer::Open(LinkKind kind) {
  last_error_ = {};
  last_error_text_.clear();
  if (RefuseWhenCancelled()) return {};
  if (!IsKind(kind)) {
    SetError(Failure(Cause::kBadSettings, {}, "No interface is selected."), {});
    return {};
  }
  if (serial_ == nullptr) {
    SetError(Failure(Cause::kBadSettings, {}, "The link settings were never registered."), {});
    return {};
  }
  const LinkSettingsView view{*serial_, *lpt_name_, *tcp_};
  const LinkHandle handle = backends_[kind]->Open(view);
  if (handle == kInvalidLinkHandle) {
    RecordFailure(kind, "Open failed", Cause::kOther);
    return {};
  }
  rings_[kind].Clear();
  return LinkConnection(this, kind, handle);
}

bool LinkLayer::Write(LinkKind kind, LinkHandle handle, const std::uint8_t* data,
                      std::size_t length) {
  if (RefuseWhenCancelled()) return false;
  LinkBackend& backend = *backends_[kind];
  const std::size_t chunk_size = backend.Capabilities().chunk_size;
  for (std::size_t sent = 0; sent < length;) {
    const std::size_t chunk = chunk_size == 0 ? length - sent : std::min(chunk_size, length - sent);
    const std::size_t written = backend.Write(handle, data + sent, chunk);
    bytes_sent_ += std::min(written, chunk);
    if (written != chunk) {
      RecordFailure(kind, "Write failed", Cause::kOther);
      return false;
    }
    Trace(kind, TraceDirection::kSent, data + sent, chunk);
    sent += chunk;
  }
  return true;
}

bool LinkLayer::ReadByte(LinkKind kind, LinkHandle handle, std::uint8_t& byte,
                         std::chrono::steady_clock::time_point until) {
  if (RefuseWhenCancelled()) return false;
  LinkBackend& backend = *backends_[kind];
  if (!backend.Capabilities().can_receive) {
    SetError(Failure(Cause::kUnavailable, {},
                     std::string("The ") + KindName(kind) + " link cannot receive."),
             {});
    return false;
  }
  ReceiveRing& ring = rings_[kind];
  if (ring.Count() == 0) {
    const std::size_t got = std::min(
        backend.Fill(handle, fill_buffer_.data(), fill_buffer_.size(), until), fill_buffer_.size());
    ring.Append(fill_buffer_.data(), got);
    Trace(kind, TraceDirection::kReceived, fill_buffer_.data(), got);
    if (ring.Count() == 0) {
      RecordFailure(kind, "No reply", Cause::kTimedOut);
      return false;
    }
  }
  return ring.Take(byte);
}

void LinkLayer::Trace(LinkKind kind, TraceDirection direction, const std::uint8_t* data,
                      std::size_t size) {
  if (!trace_ || size == 0) return;
  trace_(TraceEvent{kind, direction, std::vector<std::uint8_t>(data, data + size),
                    std::chrono::steady_clock::now()});
}

void LinkLayer::Close(LinkKind kind, LinkHandle handle) { backends_[kind]->Close(handle); }

}  // namespace krt6
