// krt6-bench: times each printer exchange of the protocol layer against the emulator, over TCP
// on loopback and over a serial line on a pseudo terminal paced at the line's rate, and compares
// it with the floor: the fixed waits of the exchange plus the time its bytes take on the wire.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "emulator/emulator.h"
#include "link/system_links.h"
#include "protocol/protocol.h"

namespace {

using krt6::emulator::Emulator;
using krt6::emulator::EmulatorOptions;
using krt6::emulator::Transport;
using Clock = std::chrono::steady_clock;

class NoUsb final : public krt6::UsbDeviceSource {
 public:
  std::unique_ptr<krt6::UsbPrinterDevice> OpenPrinter(std::uint16_t, const krt6::UsbSelector&,
                                                      krt6::LinkError& error) override {
    error = krt6::Failure(krt6::LinkCause::kNotFound, {}, "not used");
    return nullptr;
  }
};

class OnePort final : public krt6::PortResolver {
 public:
  explicit OnePort(std::string path) : path_(std::move(path)) {}
  std::string SerialDevice(const std::string&) const override { return path_; }
  std::string ParallelDevice(const std::string&) const override { return {}; }

 private:
  std::string path_;
};

// The serial link with the line's sending end: each write's bytes leave one after another at
// the line's rate from the moment the write is made, as from a UART. A pseudo terminal takes them
// at once and reports nothing queued, so this is where an exchange that sends without a reply
// learns when its last byte has left.
class TimedSerial final : public krt6::LinkBackend {
 public:
  TimedSerial(std::unique_ptr<krt6::LinkBackend> link, int rate)
      : link_(std::move(link)), byte_time_(std::chrono::nanoseconds(10'000'000'000LL / rate)) {}
  krt6::LinkCapabilities Capabilities() const override { return link_->Capabilities(); }
  krt6::LinkHandle Open(const krt6::LinkSettingsView& settings) override {
    return link_->Open(settings);
  }
  std::size_t Write(krt6::LinkHandle handle, const std::uint8_t* data, std::size_t size) override {
    const auto at = Clock::now();
    const std::size_t taken = link_->Write(handle, data, size);
    line_free_ = std::max(line_free_, at) + byte_time_ * static_cast<long long>(taken);
    written_ += taken;
    return taken;
  }
  std::size_t Fill(krt6::LinkHandle handle, std::uint8_t* out, std::size_t capacity,
                   Clock::time_point until) override {
    return link_->Fill(handle, out, capacity, until);
  }
  void Close(krt6::LinkHandle handle) override { link_->Close(handle); }
  krt6::LinkError LastError() const override { return link_->LastError(); }

  Clock::time_point LineFree() const { return line_free_; }
  std::size_t Written() const { return written_; }

 private:
  std::unique_ptr<krt6::LinkBackend> link_;
  std::chrono::nanoseconds byte_time_;
  Clock::time_point line_free_{};
  std::size_t written_ = 0;
};

struct Exchange {
  const char* name;
  std::size_t reply_bytes;  // the replies the tool waits for; 0 for a send-only exchange
  std::size_t commands;     // the commands it sends
  double fixed_wait_ms;     // waits the operation makes on purpose
  int rounds;               // at most this many (long waits are not repeated often)
  std::function<krt6::ResultCode(krt6::Protocol&, krt6::LinkKind link)> run;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Times every exchange against `emu`; false when one failed. Over serial (`line` set) the floor
// adds the time every byte of the exchange takes on the wire: the commands the tool wrote (the
// emulator must have received the same bytes) and the replies. An exchange that sends without a
// reply ends when its last byte has left the line, and the next one starts after that.
bool Measure(const char* transport, krt6::LinkKind link, int rate, krt6::LinkLayer& layer,
             Emulator& emu, TimedSerial* line, const std::vector<Exchange>& exchanges, int rounds) {
  krt6::Protocol protocol(layer);
  bool all_ok = true;
  std::vector<double> hand_over;
  for (const Exchange& e : exchanges) {
    std::vector<double> times;
    std::size_t command_bytes = 0;
    krt6::ResultCode result = krt6::kSuccess;
    std::string error;
    for (int i = 0; i < std::min(rounds, e.rounds) && result == krt6::kSuccess; ++i) {
      emu.ClearLog();
      const std::size_t written_before = line != nullptr ? line->Written() : 0;
      const auto start = Clock::now();
      result = e.run(protocol, link);
      auto end = Clock::now();
      if (result != krt6::kSuccess) {
        error = protocol.LastError();
        break;
      }
      // Every command has reached the emulator (a send-only exchange may return before).
      std::vector<krt6::emulator::ReceivedCommand> got = emu.Commands();
      while (got.size() < e.commands && Clock::now() - end < std::chrono::seconds(2)) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        got = emu.Commands();
      }
      command_bytes = 0;
      for (const auto& c : got) command_bytes += c.Raw.size();
      if (got.size() != e.commands ||
          (line != nullptr && line->Written() - written_before != command_bytes)) {
        result = krt6::kUnknownError;
        error = "the emulator received " + std::to_string(got.size()) + " commands (" +
                std::to_string(command_bytes) + " bytes), not " + std::to_string(e.commands);
        break;
      }
      if (line != nullptr && e.reply_bytes == 0) {
        end = std::max(end, line->LineFree());
        // The emulator sees the bytes only after the pseudo terminal has handed them over.
        hand_over.push_back(Ms(got.back().LineDone - line->LineFree()) * 1000.0);
        std::this_thread::sleep_until(std::max(line->LineFree(), got.back().LineDone));
      }
      times.push_back(Ms(end - start));
    }
    if (result != krt6::kSuccess) {
      std::printf("%-13s %-22s FAILED (result %d): %s\n", transport, e.name, result, error.c_str());
      all_ok = false;
      continue;
    }
    const double wire =
        rate > 0 ? static_cast<double>(command_bytes + e.reply_bytes) * 10'000.0 / rate : 0.0;
    const double floor = e.fixed_wait_ms + wire;
    const double measured = Median(times);
    char ratio[32] = "-";
    if (floor >= 1.0) std::snprintf(ratio, sizeof ratio, "%.3f", measured / floor);
    std::printf("%-13s %-22s %10.3f %10.3f %7s\n", transport, e.name, measured, floor, ratio);
    std::fflush(stdout);
  }
  if (!hand_over.empty()) {
    std::printf(
        "%-13s (the emulator had the last byte of a send-only exchange a median %.0f us "
        "after the line)\n",
        transport, Median(hand_over));
  }
  return all_ok;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  // Each exchange: the reply bytes it waits for, the commands it sends, its own waits.
  const std::vector<Exchange> exchanges = {
      {"status query (WS)", 13, 1, 0.0, 20,
       [](krt6::Protocol& p, krt6::LinkKind link) {
         std::int32_t r = 0;
         int version = 4;
         return p.ExecuteCommand<krt6::ckReadStatus>(link, r, version);
       }},
      {"firmware version (WV)", 27, 1, 500.0, 5,
       [](krt6::Protocol& p, krt6::LinkKind link) {
         krt6::VersionText r;
         int version = 4;
         return p.ExecuteCommand<krt6::ckReadFirmwareVersion>(link, r, version);
       }},
      {"read parameters", 44 + 30, 2, 0.0, 20,
       [](krt6::Protocol& p, krt6::LinkKind link) {
         krt6::ParameterBlock r;
         int version = 4;
         return p.ExecuteCommand<krt6::ckReadParameters>(link, r, version);
       }},
      {"write parameters", 0, 3, 0.0, 20,
       [](krt6::Protocol& p, krt6::LinkKind link) {
         krt6::ParameterBlock r;
         int version = 4;
         return p.ExecuteCommand<krt6::ckWriteParameters>(link, r, version);
       }},
      {"read LAN settings", 99, 1, 0.0, 20,
       [](krt6::Protocol& p, krt6::LinkKind link) {
         krt6::LanSettings r;
         int version = 4;
         return p.ExecuteCommand<krt6::ckReadLanSettings>(link, r, version);
       }},
      {"write LAN settings", 0, 7, 0.0, 20,
       [](krt6::Protocol& p, krt6::LinkKind link) {
         krt6::LanSettings r;
         int version = 4;
         return p.ExecuteCommand<krt6::ckWriteLanSettings>(link, r, version);
       }},
      {"sensor calibration", 0, 1, 0.0, 20,
       [](krt6::Protocol& p, krt6::LinkKind link) {
         std::int32_t r = 0;
         int version = 4;
         return p.ExecuteCommand<krt6::ckCalibrateSensor>(link, r, version);
       }},
      {"Z1 command", 0, 1, 0.0, 20,
       [](krt6::Protocol& p, krt6::LinkKind link) {
         std::int32_t r = 1;
         int version = 4;
         return p.ExecuteCommand<krt6::ckSendZ1Command>(link, r, version);
       }},
      {"Z4 command", 0, 1, 3000.0, 2,
       [](krt6::Protocol& p, krt6::LinkKind link) {
         krt6::NoRecord r;
         int version = 4;
         return p.ExecuteCommand<krt6::ckSendZ4Command>(link, r, version);
       }},
  };
  std::printf(
      "krt6-bench: median of up to %d exchanges each, in ms. floor = the operation's own waits\n"
      "+ every byte of the exchange on the wire at 10 bits a byte (serial); ratio = median /\n"
      "floor where the floor is 1 ms or more. Send-only exchanges over serial end when their\n"
      "last byte has left the line, sent from the tool's end at the line's rate.\n\n",
      rounds);
  if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
    char load[64] = {};
    if (std::fgets(load, sizeof load, f) != nullptr) std::printf("load average: %s\n", load);
    std::fclose(f);
  }
  std::printf("%-13s %-22s %10s %10s %7s\n", "link", "operation", "median", "floor", "ratio");
  bool all_ok = true;

  krt6::LinkSettings settings;
  krt6::LinkLayer layer;
  layer.SetLinkSettings(settings.Serial, settings.LptName, settings.Tcp, settings.CodeMode);

  {
    EmulatorOptions o;
    o.Port = 0;
    Emulator emu(o);
    std::string error;
    if (!emu.Start(error)) {
      std::fprintf(stderr, "krt6-bench: %s\n", error.c_str());
      return 1;
    }
    krt6::SystemLinkOptions links;
    links.Usb = std::make_shared<NoUsb>();
    krt6::InstallSystemLinks(layer, links);
    settings.Tcp.IPAddr = "127.0.0.1";
    settings.Tcp.Port = emu.Port();
    all_ok = Measure("tcp", krt6::lkEthernet, 0, layer, emu, nullptr, exchanges, rounds) && all_ok;
  }

  for (int index : {2, 6}) {
    const int rate = krt6::SerialRate(index);
    EmulatorOptions o;
    o.Kind = Transport::kPty;
    o.Spoil.LineRate = rate;
    Emulator emu(o);
    std::string error;
    if (!emu.Start(error)) {
      std::fprintf(stderr, "krt6-bench: %s\n", error.c_str());
      return 1;
    }
    krt6::SystemLinkOptions links;
    links.Usb = std::make_shared<NoUsb>();
    links.Ports = std::make_shared<OnePort>(emu.DevicePath());
    krt6::InstallSystemLinks(layer, links);
    auto timed =
        std::make_unique<TimedSerial>(std::make_unique<krt6::SerialLink>(links.Ports), rate);
    TimedSerial* line = timed.get();
    layer.SetBackend(krt6::lkCom, std::move(timed));
    settings.Serial.BaudRateIndex = index;
    char name[32];
    std::snprintf(name, sizeof name, "serial %d", rate);
    all_ok = Measure(name, krt6::lkCom, rate, layer, emu, line, exchanges, rounds) && all_ok;
  }
  return all_ok ? 0 : 1;
}
