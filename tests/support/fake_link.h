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
#include "link/link_layer.h"
#include "link/parallel_link.h"
#include "link/serial_link.h"
#include "link/tcp_link.h"
#include "link/usb_link.h"

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
  switch (kind) {
    case lkUsb: return UsbLink::kCapabilities;
    case lkCom: return SerialLink::kCapabilities;
    case lkLpt: return ParallelLink::kCapabilities;
    case lkEthernet: return TcpLink::kCapabilities;
  }
  return {};
}

class FakeLink final : public LinkBackend {
 public:
  FakeLink(LinkKind kind, std::shared_ptr<FakeLinkState> state)
      : kind_(kind), state_(std::move(state)) {}

  LinkCapabilities Capabilities() const override { return CapabilitiesOf(kind_); }

  LinkHandle Open(const LinkSettingsView& settings) override {
    switch (kind_) {
      case lkCom: state_->last_opened = settings.Serial.PortName; break;
      case lkLpt: state_->last_opened = settings.LptName; break;
      case lkEthernet: state_->last_opened = settings.Tcp.IPAddr; break;
      default: state_->last_opened = "usb"; break;
    }
    if (state_->fail_open) return kInvalidLinkHandle;
    ++state_->opens;
    return kind_ == lkEthernet ? 1 : 100 + kind_;
  }

  std::size_t Write(LinkHandle, const std::uint8_t* data, std::size_t size) override {
    const int number = static_cast<int>(state_->write_sizes.size());
    state_->write_sizes.push_back(size);
    if (number == state_->fail_write_number) return 0;
    const std::size_t taken = std::min(size, state_->accept_limit);
    state_->written.insert(state_->written.end(), data, data + taken);
    return taken;
  }

  std::size_t Fill(LinkHandle, std::uint8_t* out, std::size_t capacity,
                   std::chrono::steady_clock::time_point) override {
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
  Result LastError() const override {
    return state_->fail_open ? Failure(Cause::kNotFound, {}, "fake device absent")
                             : Result{};
  }

 private:
  LinkKind kind_;
  std::shared_ptr<FakeLinkState> state_;
};

// Installs a fake backend for `kind` and returns its shared state.
inline std::shared_ptr<FakeLinkState> InstallFake(LinkLayer& layer, int kind) {
  auto state = std::make_shared<FakeLinkState>();
  const auto link = static_cast<LinkKind>(kind);
  layer.SetBackend(link, std::make_unique<FakeLink>(link, state));
  return state;
}

// A link layer with registered default settings, for protocol tests.
struct LinkFixture {
  LinkSettings settings;
  LinkLayer layer;
  LinkFixture() {
    layer.SetLinkSettings(settings.Serial, settings.LptName, settings.Tcp, settings.CodeMode);
  }
};

}  // namespace krt6::testing
