#include "link/link_layer.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

#include "link/posix_io.h"

namespace krt6 {
namespace {

const char* KindName(int kind) {
  switch (kind) {
    case lkUsb: return "USB";
    case lkCom: return "COM";
    case lkLpt: return "LPT";
    case lkEthernet: return "ETHERNET";
    default: return "unknown interface";
  }
}

// Stands in for a kind that has no driver on this system: every open fails and says why.
class UnavailableBackend final : public LinkBackend {
 public:
  explicit UnavailableBackend(int kind) : kind_(kind) {}
  LinkHandle Open(const LinkSettingsView&) override { return kInvalidLinkHandle; }
  std::size_t Write(LinkHandle, const std::uint8_t*, std::size_t) override { return 0; }
  std::size_t Fill(LinkHandle, std::uint8_t*, std::size_t,
                   std::chrono::steady_clock::time_point) override {
    return 0;
  }
  void Close(LinkHandle) override {}
  std::string LastError() const override {
    return std::string("The ") + KindName(kind_) + " link is not available in this build.";
  }

 private:
  int kind_;
};

}  // namespace

std::string DescribeSystemError(const std::string& device, int error_number,
                                const std::string& hint) {
  std::string text = device.empty() ? std::string() : device + ": ";
  text += std::strerror(error_number);
  text += " (errno " + std::to_string(error_number) + ")";
  if (!hint.empty()) text += ". " + hint;
  return text;
}

LinkLayer::LinkLayer() {
  for (int kind = 0; kind < kKindCount; ++kind) {
    backends_[kind] = std::make_unique<UnavailableBackend>(kind);
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

void LinkLayer::SetBackend(int kind, std::unique_ptr<LinkBackend> backend) {
  if (!IsKind(kind) || !backend) return;
  backend->AttachCancelToken(&cancel_);
  backends_[kind] = std::move(backend);
}

LinkBackend* LinkLayer::Backend(int kind) const {
  return IsKind(kind) ? backends_[kind].get() : nullptr;
}

void LinkLayer::SetPendingMessagesHandler(std::function<void()> handler) {
  pending_messages_ = std::move(handler);
}

void LinkLayer::NotePending() {
  if (pending_messages_) pending_messages_();
}

void LinkLayer::RecordFailure(int kind, const char* what) {
  std::string detail = IsKind(kind) ? backends_[kind]->LastError() : std::string();
  last_error_ = std::string(what) + " (" + KindName(kind) + ")";
  if (!detail.empty()) last_error_ += ": " + detail;
}

bool LinkLayer::RefuseWhenCancelled() {
  if (!cancel_.Cancelled()) return false;
  last_error_ = "Cancelled.";
  return true;
}

bool LinkLayer::Pause(int milliseconds) {
  return SleepUntil(SteadyNow() + std::chrono::milliseconds(milliseconds), &cancel_);
}

LinkHandle LinkLayer::OpenLink(int kind) {
  last_error_.clear();
  if (RefuseWhenCancelled()) return kInvalidLinkHandle;
  if (!IsKind(kind)) {
    last_error_ = "No interface is selected.";
    return kInvalidLinkHandle;
  }
  if (serial_ == nullptr) {
    last_error_ = "The link settings were never registered.";
    return kInvalidLinkHandle;
  }
  const LinkSettingsView view{*serial_, *lpt_name_, *tcp_};
  const LinkHandle handle = backends_[kind]->Open(view);
  if (handle == kInvalidLinkHandle) {
    RecordFailure(kind, "Open failed");
    return kInvalidLinkHandle;
  }
  if (IsReadable(kind)) rings_[kind].Clear();
  return handle;
}

bool LinkLayer::LinkWrite(LinkHandle handle, int kind, const std::uint8_t* data,
                          std::uint32_t length) {
  if (RefuseWhenCancelled()) return false;
  switch (kind) {
    case lkUsb:
    case lkCom:
      for (std::uint32_t sent = 0; sent < length;) {
        const std::size_t chunk = std::min<std::size_t>(kChunkSize, length - sent);
        if (backends_[kind]->Write(handle, data + sent, chunk) != chunk) {
          RecordFailure(kind, "Write failed");
          return false;
        }
        Trace(kind, TraceDirection::kSent, data + sent, chunk);
        sent += static_cast<std::uint32_t>(chunk);
        NotePending();
      }
      return true;
    case lkLpt:
    case lkEthernet:
      if (backends_[kind]->Write(handle, data, length) != length) {
        RecordFailure(kind, "Write failed");
        return false;
      }
      Trace(kind, TraceDirection::kSent, data, length);
      NotePending();
      return true;
    default: return false;
  }
}

bool LinkLayer::LinkReadByte(LinkHandle handle, int kind, std::uint8_t& byte,
                             std::chrono::steady_clock::time_point until) {
  if (!IsReadable(kind) || RefuseWhenCancelled()) return false;
  ReceiveRing& ring = rings_[kind];
  if (ring.Count() == 0) {
    const std::size_t got =
        backends_[kind]->Fill(handle, fill_buffer_.data(), fill_buffer_.size(), until);
    ring.Append(fill_buffer_.data(), std::min(got, fill_buffer_.size()));
    Trace(kind, TraceDirection::kReceived, fill_buffer_.data(), std::min(got, fill_buffer_.size()));
    if (ring.Count() == 0) {
      RecordFailure(kind, "No reply");
      return false;
    }
  }
  return ring.Take(byte);
}

void LinkLayer::Trace(int kind, TraceDirection direction, const std::uint8_t* data,
                      std::size_t size) {
  if (!trace_ || size == 0) return;
  trace_(TraceEvent{static_cast<LinkKind>(kind), direction,
                    std::vector<std::uint8_t>(data, data + size),
                    std::chrono::steady_clock::now()});
}

void LinkLayer::CloseLink(int kind, LinkHandle handle) {
  if (IsKind(kind)) backends_[kind]->Close(handle);
}

}  // namespace krt6
