// krt6ctl set against an in-process printer model that can fail at any step: what it reports is
// what reached the printer, keys a firmware cannot receive fail on their own, and a value the
// printer holds that its Set command cannot carry is named before anything is written.
#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/settings_commands.h"
#include "config/configuration.h"
#include "emulator/printer_model.h"
#include "link/link_backend.h"
#include "support/fake_link.h"

namespace krt6 {
namespace {

struct ModelState {
  emulator::PrinterModel model;
  std::vector<std::string> commands;
  std::deque<std::uint8_t> incoming;
  int sets_before_mute = -1;    // after this many Set commands nothing more is answered
  std::string refuse_write_of;  // a write carrying this command text takes nothing
  int sets = 0;
};

bool IsSet(const std::string& text) {
  return text != "WS" && text != "WV" && text.rfind("Z5;", 0) != 0;
}

// The printer model behind a TCP link kind, answering at once.
class ModelPrinter final : public LinkBackend {
 public:
  explicit ModelPrinter(std::shared_ptr<ModelState> state) : state_(std::move(state)) {}
  LinkHandle Open(Result&) override { return 3; }
  std::size_t Write(LinkHandle, const std::uint8_t* data, std::size_t size, Result&) override {
    if (!state_->refuse_write_of.empty() &&
        std::string(data, data + size).find(state_->refuse_write_of) != std::string::npos) {
      return 0;
    }
    std::vector<emulator::ReceivedCommand> received;
    std::vector<emulator::Reply> replies;
    state_->model.Feed(data, size, received, replies);
    for (const auto& command : received) {
      state_->commands.push_back(command.Text);
      if (IsSet(command.Text)) ++state_->sets;
    }
    const bool mute = state_->sets_before_mute >= 0 && state_->sets >= state_->sets_before_mute;
    for (const auto& reply : replies) {
      if (!mute)
        state_->incoming.insert(state_->incoming.end(), reply.Bytes.begin(), reply.Bytes.end());
    }
    return size;
  }
  std::size_t Fill(LinkHandle, std::uint8_t* out, std::size_t capacity,
                   std::chrono::steady_clock::time_point, Result&) override {
    std::size_t n = 0;
    for (; n < capacity && !state_->incoming.empty(); ++n) {
      out[n] = state_->incoming.front();
      state_->incoming.pop_front();
    }
    return n;
  }
  void Close(LinkHandle) override {}
  LinkCapabilities Capabilities() const override { return testing::CapabilitiesOf(lkEthernet); }

 private:
  std::shared_ptr<ModelState> state_;
};

Configuration Pairs(const std::vector<std::string>& pairs) {
  Configuration configuration;
  for (const std::string& pair : pairs) {
    const ConfigError error = ApplyKeyValue(configuration, pair, Language::kEnglish);
    EXPECT_TRUE(error.Ok()) << error.Message;
  }
  return configuration;
}

std::vector<std::string> KeysOf(const std::vector<cli::Change>& changes) {
  std::vector<std::string> keys;
  for (const cli::Change& change : changes) keys.push_back(change.Key);
  return keys;
}

TEST(SetCommandTest, ReportsWhatReachedThePrinter) {
  struct Case {
    const char* name;
    std::string firmware;
    std::vector<std::string> pairs;
    int code;
    bool changed;
    std::vector<std::string> changes;  // the keys reported
    std::string detail;                // a word the detail names
    int sets;                          // Set commands the printer received
    std::function<void(ModelState&)> spoil = {};
    bool stop = false;
  };
  const std::string p = "parameters.";
  const std::string l = "lan.";
  const Case cases[] = {
      {"unchanged", "1.0J", {"comm_speed=9600"}, 0, false, {}, "", 0},
      {"written and kept", "1.0J", {"comm_speed=19200"}, 0, true, {p + "comm_speed"}, "", 3},
      {"1.0B takes comm_speed only",
       "1.0B",
       {"destination=JA", "mode_select=TT", "blank_space_len=50", "comm_speed=19200"},
       cli::kNotSupported,
       true,
       {p + "comm_speed"},
       "parameters.destination, parameters.mode_select, parameters.blank_space_len",
       3},
      {"1.0D takes neither",
       "1.0D",
       {"mode_select=TT", "blank_space_len=50"},
       cli::kNotSupported,
       false,
       {},
       "mode_select",
       0},
      {"no firmware takes reserved1 or lan_flag",
       "1.0J",
       {"reserved1=5", "lan_flag=0"},
       cli::kNotSupported,
       false,
       {},
       "parameters.reserved1, lan.lan_flag",
       0},
      {"the read-back fails after the write",
       "1.0J",
       {"comm_speed=19200"},
       kReceivingError,
       true,
       {p + "comm_speed"},
       "",
       3,
       [](ModelState& s) { s.sets_before_mute = 1; }},
      {"the LAN write fails half-way",
       "1.0J",
       {"socket_port=9100"},
       kTransmissionError,
       true,
       {l + "socket_port"},
       "",
       4,
       [](ModelState& s) { s.refuse_write_of = "IH;"; }},
      {"the first write fails at once",
       "1.0J",
       {"comm_speed=19200"},
       kTransmissionError,
       false,
       {},
       "",
       0,
       [](ModelState& s) { s.refuse_write_of = "Z2;1"; }},
      {"the printer's own X COORDINATE blocks",
       "1.0J",
       {"comm_speed=19200"},
       cli::kUnsendableValue,
       false,
       {},
       "parameters.x_coordinate",
       0,
       [](ModelState& s) { s.model.MutableState().Parameters2.replace(11, 4, "9999"); }},
      {"interrupted before the write",
       "1.0J",
       {"comm_speed=19200"},
       cli::kInterrupted,
       false,
       {},
       "",
       0,
       {},
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto state = std::make_shared<ModelState>();
    state->model.MutableState().Firmware = c.firmware;
    if (c.spoil) c.spoil(*state);
    Session session(
        LinkTarget{lkEthernet, {}},
        [state](LinkKind, const LinkSettings&) { return std::make_unique<ModelPrinter>(state); },
        [](int) {});
    std::atomic<bool> stop{c.stop};
    cli::SetOptions options;
    options.Stop = &stop;
    const cli::TargetResult result =
        cli::SetCommand(session, Pairs(c.pairs), options, Language::kEnglish);
    EXPECT_EQ(result.Code, c.code) << result.Detail;
    EXPECT_EQ(result.Changed, c.changed);
    EXPECT_EQ(KeysOf(result.Changes), c.changes);
    EXPECT_NE(result.Detail.find(c.detail), std::string::npos) << result.Detail;
    int sets = 0;
    for (const std::string& command : state->commands) sets += IsSet(command) ? 1 : 0;
    EXPECT_EQ(sets, c.sets);
  }
}

}  // namespace
}  // namespace krt6
