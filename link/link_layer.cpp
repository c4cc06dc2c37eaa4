#include "link/link_layer.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "link/link_kinds.h"
#include "link/posix_io.h"

namespace krt6 {

LinkConnection& LinkConnection::operator=(LinkConnection&& other) noexcept {
  if (this != &other) {
    Close();
    layer_ = std::exchange(other.layer_, nullptr);
    handle_ = std::exchange(other.handle_, kInvalidLinkHandle);
  }
  return *this;
}

LinkCapabilities LinkConnection::Capabilities() const {
  return layer_ != nullptr ? layer_->Capabilities() : LinkCapabilities{false, 0};
}

bool LinkConnection::Write(const std::uint8_t* data, std::size_t length, Result& failure) {
  if (layer_ == nullptr) {
    failure = Failure(Cause::kOther, {}, "The link is not open.");
    return false;
  }
  return layer_->Write(handle_, data, length, failure);
}

bool LinkConnection::ReadByte(std::uint8_t& byte, std::chrono::steady_clock::time_point until,
                              Result& failure) {
  if (layer_ == nullptr) {
    failure = Failure(Cause::kOther, {}, "The link is not open.");
    return false;
  }
  return layer_->ReadByte(handle_, byte, until, failure);
}

void LinkConnection::Close() {
  if (layer_ == nullptr) return;
  std::exchange(layer_, nullptr)->Close(handle_);
  handle_ = kInvalidLinkHandle;
}

LinkLayer::LinkLayer() = default;
LinkLayer::~LinkLayer() = default;

void LinkLayer::SetBackend(LinkKind kind, std::unique_ptr<LinkBackend> backend) {
  kind_ = kind;
  backend_ = std::move(backend);
  if (backend_) backend_->AttachCancelToken(&cancel_);
}

LinkCapabilities LinkLayer::Capabilities() const {
  return backend_ ? backend_->Capabilities() : LinkCapabilities{false, 0};
}

void LinkLayer::Complete(Result& failure, const char* what, Cause fallback) const {
  if (!failure.Failed()) failure.cause = fallback;
  const LinkKindInfo* info = FindLinkKind(kind_);
  if (failure.hint.empty() && info != nullptr) failure.hint = info->hint(failure.cause);
  failure.action = std::string(what) + " (" + std::string(LinkKindName(kind_)) + ")";
}

bool LinkLayer::RefuseWhenCancelled(Result& failure) const {
  if (!cancel_.Cancelled()) return false;
  failure = Failure(Cause::kCancelled, {}, "Cancelled.");
  return true;
}

bool LinkLayer::Pause(int milliseconds) {
  return SleepUntil(SteadyNow() + std::chrono::milliseconds(milliseconds), &cancel_);
}

LinkConnection LinkLayer::Open(Result& failure) {
  if (RefuseWhenCancelled(failure)) return {};
  if (!backend_) {
    failure = Failure(Cause::kBadSettings, {}, "No interface is selected.");
    return {};
  }
  Result seen;
  const LinkHandle handle = backend_->Open(seen);
  if (handle == kInvalidLinkHandle) {
    Complete(seen, "Open failed", Cause::kOther);
    failure = std::move(seen);
    return {};
  }
  ring_.Clear();
  return LinkConnection(this, handle);
}

bool LinkLayer::Write(LinkHandle handle, const std::uint8_t* data, std::size_t length,
                      Result& failure) {
  if (RefuseWhenCancelled(failure)) return false;
  const std::size_t chunk_size = backend_->Capabilities().chunk_size;
  for (std::size_t sent = 0; sent < length;) {
    const std::size_t chunk = chunk_size == 0 ? length - sent : std::min(chunk_size, length - sent);
    Result seen;
    const std::size_t written = backend_->Write(handle, data + sent, chunk, seen);
    bytes_sent_ += std::min(written, chunk);
    if (written != chunk) {
      Complete(seen, "Write failed", Cause::kOther);
      failure = std::move(seen);
      return false;
    }
    Trace(TraceDirection::kSent, data + sent, chunk);
    sent += chunk;
  }
  return true;
}

bool LinkLayer::ReadByte(LinkHandle handle, std::uint8_t& byte,
                         std::chrono::steady_clock::time_point until, Result& failure) {
  if (RefuseWhenCancelled(failure)) return false;
  if (!backend_->Capabilities().can_receive) {
    failure = Failure(Cause::kCannotReceive, {},
                      "The " + std::string(LinkKindName(kind_)) + " link cannot receive.");
    return false;
  }
  if (ring_.Count() == 0) {
    Result seen;
    const std::size_t got =
        std::min(backend_->Fill(handle, fill_buffer_.data(), fill_buffer_.size(), until, seen),
                 fill_buffer_.size());
    ring_.Append(fill_buffer_.data(), got);
    Trace(TraceDirection::kReceived, fill_buffer_.data(), got);
    if (ring_.Count() == 0) {
      Complete(seen, "No reply", Cause::kTimedOut);
      failure = std::move(seen);
      return false;
    }
  }
  return ring_.Take(byte);
}

void LinkLayer::Trace(TraceDirection direction, const std::uint8_t* data, std::size_t size) {
  if (!trace_ || size == 0) return;
  trace_(TraceEvent{kind_, direction, std::vector<std::uint8_t>(data, data + size),
                    std::chrono::steady_clock::now()});
}

void LinkLayer::Close(LinkHandle handle) { backend_->Close(handle); }

}  // namespace krt6
