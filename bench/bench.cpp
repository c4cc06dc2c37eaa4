// krt6-bench: times each printer exchange of the protocol layer against the emulator, over TCP
// on loopback and over a serial line on a pseudo terminal paced at the line's rate, and compares
// it with the floor: the fixed waits of the exchange plus the time its bytes take on the wire.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
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
  std::unique_ptr<krt6::UsbPrinterDevice> OpenPrinter(std::uint16_t,
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

struct Exchange {
  const char* name;
  std::size_t wire_bytes;  // command frames plus replies
  double fixed_wait_ms;    // waits the operation makes on purpose
  int rounds;              // at most this many (long waits are not repeated often)
  std::function<krt6::ResultCode(krt6::Protocol&, krt6::LinkKind link)> run;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void Measure(const char* transport, krt6::LinkKind link, int rate, krt6::LinkLayer& layer,
             const std::vector<Exchange>& exchanges, int rounds) {
  krt6::Protocol protocol(layer);
  for (const Exchange& e : exchanges) {
    std::vector<double> times;
    krt6::ResultCode result = krt6::kSuccess;
    for (int i = 0; i < std::min(rounds, e.rounds); ++i) {
      const auto start = Clock::now();
      result = e.run(protocol, link);
      times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
      if (result != krt6::kSuccess) break;
    }
    if (result != krt6::kSuccess) {
      std::printf("%-10s %-22s failed with result %d: %s\n", transport, e.name, result,
                  protocol.LastError().c_str());
      continue;
    }
    const double wire = rate > 0 ? static_cast<double>(e.wire_bytes) * 10'000.0 / rate : 0.0;
    const double floor = e.fixed_wait_ms + wire;
    const double measured = Median(times);
    char ratio[32];
    if (floor >= 1.0) {
      std::snprintf(ratio, sizeof ratio, "%.3f", measured / floor);
    } else {
      std::snprintf(ratio, sizeof ratio, "n/a (floor < 1 ms)");
    }
    std::printf("%-10s %-22s measured %9.3f ms  floor %9.3f ms  ratio %s\n", transport, e.name,
                measured, floor, ratio);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  // Wire bytes count what the tool must wait for: the command frames and the replies of the
  // exchanges that read one. Commands without a reply end when the system has taken them.
  const std::vector<Exchange> exchanges = {
      {"status query (WS)", 5 + 13, 0.0, 20,
       [](krt6::Protocol& p, krt6::LinkKind link) {
         std::int32_t r = 0;
         int version = 4;
         return p.ExecuteCommand<krt6::ckReadStatus>(link, r, version);
       }},
      {"firmware version (WV)", 5 + 27, 500.0, 5,
       [](krt6::Protocol& p, krt6::LinkKind link) {
         krt6::VersionText r;
         int version = 4;
         return p.ExecuteCommand<krt6::ckReadFirmwareVersion>(link, r, version);
       }},
      {"read parameters", 7 + 44 + 7 + 30, 0.0, 20,
       [](krt6::Protocol& p, krt6::LinkKind link) {
         krt6::ParameterBlock r;
         int version = 4;
         return p.ExecuteCommand<krt6::ckReadParameters>(link, r, version);
       }},
      {"write parameters", 0, 0.0, 20,
       [](krt6::Protocol& p, krt6::LinkKind link) {
         krt6::ParameterBlock r;
         int version = 4;
         return p.ExecuteCommand<krt6::ckWriteParameters>(link, r, version);
       }},
      {"read LAN settings", 7 + 99, 0.0, 20,
       [](krt6::Protocol& p, krt6::LinkKind link) {
         krt6::LanSettings r;
         int version = 4;
         return p.ExecuteCommand<krt6::ckReadLanSettings>(link, r, version);
       }},
      {"write LAN settings", 0, 0.0, 20,
       [](krt6::Protocol& p, krt6::LinkKind link) {
         krt6::LanSettings r;
         int version = 4;
         return p.ExecuteCommand<krt6::ckWriteLanSettings>(link, r, version);
       }},
      {"sensor calibration", 0, 0.0, 20,
       [](krt6::Protocol& p, krt6::LinkKind link) {
         std::int32_t r = 0;
         int version = 4;
         return p.ExecuteCommand<krt6::ckCalibrateSensor>(link, r, version);
       }},
      {"Z1 command", 0, 0.0, 20,
       [](krt6::Protocol& p, krt6::LinkKind link) {
         std::int32_t r = 1;
         int version = 4;
         return p.ExecuteCommand<krt6::ckSendZ1Command>(link, r, version);
       }},
      {"Z4 command", 0, 3000.0, 2,
       [](krt6::Protocol& p, krt6::LinkKind link) {
         krt6::NoRecord r;
         int version = 4;
         return p.ExecuteCommand<krt6::ckSendZ4Command>(link, r, version);
       }},
  };
  std::printf(
      "krt6-bench: median of up to %d exchanges each; floor = fixed waits + bytes waited for x 10 "
      "bits / rate\n",
      rounds);

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
    Measure("tcp", krt6::lkEthernet, 0, layer, exchanges, rounds);
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
    std::snprintf(name, sizeof name, "com %d", rate);
    Measure(name, krt6::lkCom, rate, layer, exchanges, rounds);
  }
  return 0;
}
