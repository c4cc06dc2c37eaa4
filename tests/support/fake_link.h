// An in-memory link backend: it records what was written, serves scripted replies, and can be
// told to fail at each step. Tests install it into a LinkLayer in place of a real device.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/link_backend.h"
#include "link/link_kinds.h"
#include "link/link_layer.h"
#include "link/link_settings.h"
#include "link/parallel_link.h"
#include "link/serial_link.h"
#include "link/tcp_link.h"
#include "link/usb_link.h"
#include "session/session.h"

namespace krt6::testing {

struct FakeLinkState {
  bool fail_open = false;
  std::size_t accept_limit = SIZE_MAX;   // a write takes at most this many bytes
  int fail_write_number = -1;            // the n-th write (0-based) takes nothing
  std::size_t fill_limit = SIZE_MAX;     // bytes handed out per refill
  int fill_delay_ms = 0;                 // each refill first waits this long (a slow printer)
  std::deque<std::uint8_t> incoming;     // bytes the "printer" has sent
  std::vector<std::uint8_t> written;     // every byte the link took, in order
  std::vector<std::size_t> write_sizes;  // the size asked of each write
  int opens = 0;
  int closes = 0;
  int fills = 0;
  std::string last_opened;  // the name or address the link opened

  std::string WrittenText() const { return std::string(written.begin(), written.end()); }
  void Queue(const std::string& bytes) {
    incoming.insert(incoming.end(), bytes.begin(), bytes.end());
  }
};

// What the real backend of `kind` can do, so that a fake behaves like the link it stands for.
inline LinkCapabilities CapabilitiesOf(LinkKind kind) {
  const LinkKindInfo* info = FindLinkKind(kind);
  return info != nullptr ? info->capabilities : LinkCapabilities{false, 0};
}

// One state for each kind of link, by LinkKind.
template <typename State> std::vector<std::shared_ptr<State>> StatePerKind() {
  std::vector<std::shared_ptr<State>> states;
  for (std::size_t i = 0; i < LinkKinds().size(); ++i) states.push_back(std::make_shared<State>());
  return states;
}

class FakeLink final : public LinkBackend {
 public:
  // `settings`, when given, are read at every open (a fixture's, which tests change in between).
  FakeLink(LinkKind kind, std::shared_ptr<FakeLinkState> state, LinkSettings settings = {},
           const LinkSettings* live = nullptr)
      : kind_(kind), state_(std::move(state)), settings_(std::move(settings)), live_(live) {}

  LinkCapabilities Capabilities() const override { return CapabilitiesOf(kind_); }

  LinkHandle Open(Result& failure) override {
    const LinkSettings& settings = live_ != nullptr ? *live_ : settings_;
    switch (kind_) {
      case lkCom: state_->last_opened = settings.Serial.PortName; break;
      case lkLpt: state_->last_opened = settings.LptName; break;
      case lkEthernet: state_->last_opened = settings.Tcp.IPAddr; break;
      default: state_->last_opened = "usb"; break;
    }
    if (state_->fail_open) {
      failure = Failure(Cause::kNotFound, {}, "fake device absent");
      return kInvalidLinkHandle;
    }
    ++state_->opens;
    return kind_ == lkEthernet ? 1 : 100 + kind_;
  }

  std::size_t Write(LinkHandle, const std::uint8_t* data, std::size_t size, Result&) override {
    const int number = static_cast<int>(state_->write_sizes.size());
    state_->write_sizes.push_back(size);
    if (number == state_->fail_write_number) return 0;
    const std::size_t taken = std::min(size, state_->accept_limit);
    state_->written.insert(state_->written.end(), data, data + taken);
    return taken;
  }

  std::size_t Fill(LinkHandle, std::uint8_t* out, std::size_t capacity,
                   std::chrono::steady_clock::time_point, Result&) override {
    ++state_->fills;
    if (state_->fill_delay_ms > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(state_->fill_delay_ms));
    }
    std::size_t n = 0;
    const std::size_t limit = std::min(capacity, state_->fill_limit);
    while (n < limit && !state_->incoming.empty()) {
      out[n++] = state_->incoming.front();
      state_->incoming.pop_front();
    }
    return n;
  }

  void Close(LinkHandle) override { ++state_->closes; }

 private:
  LinkKind kind_;
  std::shared_ptr<FakeLinkState> state_;
  LinkSettings settings_;
  const LinkSettings* live_;
};

// Makes `layer`'s backend a fake of `kind` and returns its shared state. A fake given `settings`
// reads them at every open.
inline std::shared_ptr<FakeLinkState> InstallFake(LinkLayer& layer, int kind,
                                                  const LinkSettings* settings = nullptr) {
  auto state = std::make_shared<FakeLinkState>();
  const auto link = static_cast<LinkKind>(kind);
  layer.SetBackend(link, std::make_unique<FakeLink>(link, state, LinkSettings{}, settings));
  return state;
}

// A fake for every kind, made again with the session's settings whenever they change: the state
// of each kind's fake lives on.
struct FakeLinks {
  std::vector<std::shared_ptr<FakeLinkState>> state = StatePerKind<FakeLinkState>();

  LinkMaker Maker() {
    return [this](LinkKind kind, const LinkSettings& settings) -> std::unique_ptr<LinkBackend> {
      if (kind < 0 || static_cast<std::size_t>(kind) >= state.size()) return nullptr;
      return std::make_unique<FakeLink>(kind, state[kind], settings);
    };
  }
};

// A link layer and the settings of its tests, which keeps what the last open, write or read said
// about its failure.
struct LinkFixture {
  LinkSettings settings;
  LinkLayer layer;
  Result failure;
  SystemLinkOptions options;  // what Use makes the system's links with

  // From now on the layer's link is the system's link of `kind`, made again from `settings` at
  // an open when they changed since (as a session does).
  void Use(LinkKind kind);

  // Opens the layer's link (after Use: the one of `kind`).
  LinkConnection Open(LinkKind kind = lkUsb) {
    if (following_) Use(kind);
    failure = {};
    return layer.Open(failure);
  }
  bool Write(LinkConnection& connection, const std::uint8_t* data, std::size_t size) {
    failure = {};
    return connection.Write(data, size, failure);
  }
  bool ReadByte(
      LinkConnection& connection, std::uint8_t& byte,
      std::chrono::steady_clock::time_point until = std::chrono::steady_clock::time_point::max()) {
    failure = {};
    return connection.ReadByte(byte, until, failure);
  }

 private:
  // The system's link of one kind for the fixture's settings as they are at each open.
  class Follower final : public LinkBackend {
   public:
    Follower(LinkFixture& fixture, LinkKind kind) : fixture_(fixture), kind_(kind) {}
    LinkCapabilities Capabilities() const override {
      const LinkKindInfo* info = FindLinkKind(kind_);
      return info != nullptr ? info->capabilities : LinkCapabilities{false, 0};
    }
    LinkHandle Open(Result& failure) override {
      if (!link_ || built_for_ != fixture_.settings) {
        link_ = MakeSystemLink(kind_, fixture_.settings, fixture_.options);
        link_->AttachCancelToken(Cancellation());
        built_for_ = fixture_.settings;
      }
      return link_->Open(failure);
    }
    std::size_t Write(LinkHandle handle, const std::uint8_t* data, std::size_t size,
                      Result& failure) override {
      return link_->Write(handle, data, size, failure);
    }
    std::size_t Fill(LinkHandle handle, std::uint8_t* out, std::size_t capacity,
                     std::chrono::steady_clock::time_point until, Result& failure) override {
      return link_->Fill(handle, out, capacity, until, failure);
    }
    void Close(LinkHandle handle) override { link_->Close(handle); }

   private:
    LinkFixture& fixture_;
    LinkKind kind_;
    std::unique_ptr<LinkBackend> link_;
    LinkSettings built_for_;
  };

  bool following_ = false;
};

inline void LinkFixture::Use(LinkKind kind) {
  if (following_ && layer.Kind() == kind) return;
  layer.SetBackend(kind, std::make_unique<Follower>(*this, kind));
  following_ = true;
}

}  // namespace krt6::testing
