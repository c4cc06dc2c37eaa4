#include "link/link_kinds.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace krt6 {

// In link_kinds_list.cpp, generated from KRT6_LINK_KINDS.
std::vector<const LinkKindInfo*> RegisteredLinkKinds();

namespace {

// Stands in for a kind that has no driver in this build: every open fails and says why.
class UnavailableBackend final : public LinkBackend {
 public:
  explicit UnavailableBackend(LinkKind kind) : kind_(kind) {}
  LinkCapabilities Capabilities() const override { return {false, 0}; }
  LinkHandle Open(Result& failure) override {
    failure = Failure(
        Cause::kUnavailable, {},
        "The " + std::string(LinkKindName(kind_)) + " link is not available in this build.");
    return kInvalidLinkHandle;
  }
  std::size_t Write(LinkHandle, const std::uint8_t*, std::size_t, Result&) override { return 0; }
  std::size_t Fill(LinkHandle, std::uint8_t*, std::size_t, std::chrono::steady_clock::time_point,
                   Result&) override {
    return 0;
  }
  void Close(LinkHandle) override {}

 private:
  LinkKind kind_;
};

const std::vector<const LinkKindInfo*>& Registered() {
  static const std::vector<const LinkKindInfo*> kinds = RegisteredLinkKinds();
  return kinds;
}

}  // namespace

std::span<const LinkKindInfo* const> LinkKinds() { return Registered(); }

const LinkKindInfo* FindLinkKind(LinkKind kind) {
  for (const LinkKindInfo* info : Registered()) {
    if (info->kind == kind) return info;
  }
  return nullptr;
}

const LinkKindInfo* FindLinkPrefix(std::string_view target) {
  // A scheme is case-insensitive: SOCKET:// is socket://.
  const auto same = [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) ==
           std::tolower(static_cast<unsigned char>(b));
  };
  for (const LinkKindInfo* info : Registered()) {
    const std::string_view start = target.substr(0, info->prefix.size());
    if (start.size() == info->prefix.size() &&
        std::equal(start.begin(), start.end(), info->prefix.begin(), same)) {
      return info;
    }
  }
  return nullptr;
}

std::string_view LinkKindName(LinkKind kind) {
  const LinkKindInfo* info = FindLinkKind(kind);
  return info != nullptr ? info->item.english : "unknown interface";
}

std::unique_ptr<LinkBackend> MakeSystemLink(LinkKind kind, const LinkSettings& settings,
                                            SystemLinkOptions options) {
  if (!options.Ports) options.Ports = std::make_shared<FixedPortTable>();
  const LinkKindInfo* info = FindLinkKind(kind);
  if (info == nullptr) return std::make_unique<UnavailableBackend>(kind);
  return info->make(settings, options);
}

}  // namespace krt6
