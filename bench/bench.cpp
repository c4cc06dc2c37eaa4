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
  std::unique_ptr<krt6::UsbPrinterDevice> OpenPrinter(std::uint16_t, std::string& error) override {
    error = "not used";
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

struct Exchange {
  const char* name;
  std::size_t reply_bytes;  // the replies the tool waits for; 0 for a send-only exchange
  std::size_t commands;     // the commands it sends
  double fixed_wait_ms;     // waits the operation makes on purpose
  int rounds;               // at most this many (long waits are not repeated often)
  std::function<krt6::ResultCode(krt6::Protocol&, int link)> run;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Times every exchange against `emu`; false when one failed. On a paced line the floor adds the
// time every byte of the exchange takes on the wire, the commands' bytes as the emulator
// received them and the replies'. A send-only exchange ends when its last byte has left the
// line: a pseudo terminal takes the tool's bytes at once, so that moment comes from the
// emulator, which has the line carry them one after another at its rate.
bool Measure(const char* transport, int link, int rate, krt6::LinkLayer& layer, Emulator& emu,
             const std::vector<Exchange>& exchanges, int rounds) {
  krt6::Protocol protocol(layer);
  bool all_ok = true;
  for (const Exchange& e : exchanges) {
    std::vector<double> times;
    std::size_t command_bytes = 0;
    krt6::ResultCode result = krt6::kSuccess;
    std::string error;
    for (int i = 0; i < std::min(rounds, e.rounds) && result == krt6::kSuccess; ++i) {
      emu.ClearLog();
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
      if (got.size() != e.commands) {
        result = krt6::kUnknownError;
        error = "the emulator received " + std::to_string(got.size()) + " commands, not " +
                std::to_string(e.commands);
        break;
      }
      command_bytes = 0;
      for (const auto& c : got) command_bytes += c.Raw.size();
      if (rate > 0 && e.reply_bytes == 0) {
        end = std::max(end, got.back().LineDone);
        std::this_thread::sleep_until(got.back().LineDone);  // the next exchange finds it free
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
  return all_ok;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  // Each exchange: the reply bytes it waits for, the commands it sends, its own waits.
  const std::vector<Exchange> exchanges = {
      {"status query (WS)", 13, 1, 0.0, 20,
       [](krt6::Protocol& p, int link) {
         std::int32_t r = 0;
         int version = 4;
         return p.ExecuteCommand<krt6::ckReadStatus>(link, r, version);
       }},
      {"firmware version (WV)", 27, 1, 500.0, 5,
       [](krt6::Protocol& p, int link) {
         krt6::VersionText r;
         int version = 4;
         return p.ExecuteCommand<krt6::ckReadFirmwareVersion>(link, r, version);
       }},
      {"read parameters", 44 + 30, 2, 0.0, 20,
       [](krt6::Protocol& p, int link) {
         krt6::ParameterBlock r;
         int version = 4;
         return p.ExecuteCommand<krt6::ckReadParameters>(link, r, version);
       }},
      {"write parameters", 0, 3, 0.0, 20,
       [](krt6::Protocol& p, int link) {
         krt6::ParameterBlock r;
         int version = 4;
         return p.ExecuteCommand<krt6::ckWriteParameters>(link, r, version);
       }},
      {"read LAN settings", 99, 1, 0.0, 20,
       [](krt6::Protocol& p, int link) {
         krt6::LanSettings r;
         int version = 4;
         return p.ExecuteCommand<krt6::ckReadLanSettings>(link, r, version);
       }},
      {"write LAN settings", 0, 7, 0.0, 20,
       [](krt6::Protocol& p, int link) {
         krt6::LanSettings r;
         int version = 4;
         return p.ExecuteCommand<krt6::ckWriteLanSettings>(link, r, version);
       }},
      {"sensor calibration", 0, 1, 0.0, 20,
       [](krt6::Protocol& p, int link) {
         std::int32_t r = 0;
         int version = 4;
         return p.ExecuteCommand<krt6::ckCalibrateSensor>(link, r, version);
       }},
      {"Z1 command", 0, 1, 0.0, 20,
       [](krt6::Protocol& p, int link) {
         std::int32_t r = 1;
         int version = 4;
         return p.ExecuteCommand<krt6::ckSendZ1Command>(link, r, version);
       }},
      {"Z4 command", 0, 1, 3000.0, 2,
       [](krt6::Protocol& p, int link) {
         krt6::NoRecord r;
         int version = 4;
         return p.ExecuteCommand<krt6::ckSendZ4Command>(link, r, version);
       }},
  };
  std::printf(
      "krt6-bench: median of up to %d exchanges each, in ms. floor = the operation's own waits\n"
      "+ every byte of the exchange on the wire at 10 bits a byte (serial); ratio = median /\n"
      "floor where the floor is 1 ms or more. Send-only exchanges over serial end when their\n"
      "last byte has left the line.\n\n",
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
    all_ok = Measure("tcp", krt6::lkEthernet, 0, layer, emu, exchanges, rounds) && all_ok;
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
    settings.Serial.BaudRateIndex = index;
    char name[32];
    std::snprintf(name, sizeof name, "serial %d", rate);
    all_ok = Measure(name, krt6::lkCom, rate, layer, emu, exchanges, rounds) && all_ok;
  }
  return all_ok ? 0 : 1;
}
