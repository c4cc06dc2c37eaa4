// A link backend that answers framed commands like a printer would: every brace-framed command
// it receives is recorded, and a reply scripted for that command text is queued for reading.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "link/link_backend.h"
#include "link/link_layer.h"
#include "support/fake_link.h"

namespace krt6::testing {

struct ScriptedPrinterState {
  bool fail_open = false;
  // Replies by command text; each command takes the next of its replies. A command with none
  // left gets no reply.
  std::map<std::string, std::deque<std::string>> replies;
  std::vector<std::string> commands;  // every command text received, in order
  std::string pending;                // bytes of a command not yet complete
  std::deque<std::uint8_t> incoming;
  int opens = 0;
  int closes = 0;

  void Reply(const std::string& command, const std::string& reply) {
    replies[command].push_back(reply);
  }
};

class ScriptedPrinter final : public LinkBackend {
 public:
  ScriptedPrinter(LinkKind kind, std::shared_ptr<ScriptedPrinterState> state)
      : kind_(kind), state_(std::move(state)) {}

  LinkHandle Open(Result& failure) override {
    if (state_->fail_open) {
      failure = Failure(Cause::kNotFound, {}, "printer absent");
      return kInvalidLinkHandle;
    }
    ++state_->opens;
    return 7;
  }

  std::size_t Write(LinkHandle, const std::uint8_t* data, std::size_t size, Result&) override {
    state_->pending.append(reinterpret_cast<const char*>(data), size);
    for (;;) {
      const std::size_t begin = state_->pending.find('{');
      const std::size_t end = state_->pending.find("|}", begin == std::string::npos ? 0 : begin);
      if (begin == std::string::npos || end == std::string::npos) break;
      const std::string text = state_->pending.substr(begin + 1, end - begin - 1);
      state_->pending.erase(0, end + 2);
      state_->commands.push_back(text);
      auto found = state_->replies.find(text);
      if (found != state_->replies.end() && !found->second.empty()) {
        const std::string reply = found->second.front();
        found->second.pop_front();
        state_->incoming.insert(state_->incoming.end(), reply.begin(), reply.end());
      }
    }
    return size;
  }

  std::size_t Fill(LinkHandle, std::uint8_t* out, std::size_t capacity,
                   std::chrono::steady_clock::time_point, Result&) override {
    std::size_t n = 0;
    while (n < capacity && !state_->incoming.empty()) {
      out[n++] = state_->incoming.front();
      state_->incoming.pop_front();
    }
    return n;
  }

  void Close(LinkHandle) override {
    ++state_->closes;
    state_->pending.clear();
  }
  LinkCapabilities Capabilities() const override { return CapabilitiesOf(kind_); }

 private:
  LinkKind kind_;
  std::shared_ptr<ScriptedPrinterState> state_;
};

// A scripted printer on every kind of link, made again whenever the session's settings change;
// each kind's state lives on.
struct ScriptedPrinters {
  std::vector<std::shared_ptr<ScriptedPrinterState>> state = StatePerKind<ScriptedPrinterState>();

  LinkMaker Maker() {
    return [this](LinkKind kind, const LinkSettings&) -> std::unique_ptr<LinkBackend> {
      if (kind < 0 || static_cast<std::size_t>(kind) >= state.size()) return nullptr;
      return std::make_unique<ScriptedPrinter>(kind, state[kind]);
    };
  }
};

}  // namespace krt6::testing
