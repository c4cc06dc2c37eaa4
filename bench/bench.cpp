// krt6-bench: times each printer exchange of the protocol layer against the emulator, over TCP
// on loopback and over a serial line on a pseudo terminal paced at the line's rate, and compares
// it with the floor: the fixed waits of the exchange plus the time its bytes take on the line.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "emulator/emulator.h"
#include "link/link_kinds.h"
#include "protocol/protocol.h"

namespace {

using krt6::emulator::Emulator;
using krt6::emulator::EmulatorOptions;
using krt6::emulator::Transport;
using Clock = std::chrono::steady_clock;

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
  krt6::LinkHandle Open(krt6::Result& failure) override { return link_->Open(failure); }
  std::size_t Write(krt6::LinkHandle handle, const std::uint8_t* data, std::size_t size,
                    krt6::Result& failure) override {
    const auto at = Clock::now();
    const std::size_t taken = link_->Write(handle, data, size, failure);
    line_free_ = std::max(line_free_, at) + byte_time_ * static_cast<long long>(taken);
    written_ += taken;
    return taken;
  }
  std::size_t Fill(krt6::LinkHandle handle, std::uint8_t* out, std::size_t capacity,
                   Clock::time_point until, krt6::Result& failure) override {
    return link_->Fill(handle, out, capacity, until, failure);
  }
  void Close(krt6::LinkHandle handle) override { link_->Close(handle); }

  Clock::time_point LineFree() const { return line_free_; }
  std::size_t Written() const { return written_; }

 private:
  std::unique_ptr<krt6::LinkBackend> link_;
  std::chrono::nanoseconds byte_time_;
  Clock::time_point line_free_{};
  std::size_t written_ = 0;
};

// The shortest way to carry an exchange's bytes over the pseudo terminal: a client that holds the
// line open and only writes each command and reads its reply, nothing else. What it takes beyond
// the wire time is the line's own hand-over (the kernel passes a pseudo terminal's bytes on
// through a worker, in each direction), which no client can avoid and a real line does not have.
class BareClient {
 public:
  explicit BareClient(const std::string& device)
      : fd_(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
    termios t{};
    if (fd_ >= 0 && ::tcgetattr(fd_, &t) == 0) {
      ::cfmakeraw(&t);
      ::tcsetattr(fd_, TCSANOW, &t);
    }
  }
  ~BareClient() {
    if (fd_ >= 0) ::close(fd_);
  }
  BareClient(const BareClient&) = delete;
  BareClient& operator=(const BareClient&) = delete;

  // Writes each command and, where `replies` gives a size, reads that many bytes before the next.
  // The time it took, or a negative value when a reply did not come within a second.
  double Run(const std::vector<krt6::emulator::ReceivedCommand>& commands,
             const std::vector<std::size_t>& replies) {
    if (fd_ < 0) return -1.0;
    std::uint8_t buffer[512];
    while (::read(fd_, buffer, sizeof buffer) > 0) {
    }
    const auto start = Clock::now();
    for (std::size_t i = 0; i < commands.size(); ++i) {
      const auto& raw = commands[i].Raw;
      for (std::size_t sent = 0; sent < raw.size();) {
        const ssize_t n = ::write(fd_, raw.data() + sent, raw.size() - sent);
        if (n < 0) return -1.0;
        sent += static_cast<std::size_t>(n);
      }
      const auto give_up = Clock::now() + std::chrono::seconds(1);
      for (std::size_t got = 0; i < replies.size() && got < replies[i];) {
        const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, replies[i] - got));
        if (n > 0) {
          got += static_cast<std::size_t>(n);
          continue;
        }
        pollfd p{fd_, POLLIN, 0};
        if (Clock::now() >= give_up || ::poll(&p, 1, 1000) < 0) return -1.0;
      }
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  }

 private:
  int fd_;
};

// One operation of the table as the bench runs it: with a default record, at the newest firmware
// class.
struct Exchange {
  const krt6::Operation* operation;
  std::vector<std::size_t> replies;  // for each command it sends, the reply bytes it waits for
  double fixed_wait_ms;              // waits the operation makes on purpose
  int rounds;                        // at most this many (long waits are not repeated often)
};

constexpr int kFewestRounds = 10;
constexpr auto kTimePerExchange = std::chrono::seconds(2);
constexpr int kVersionIndex = 4;

// Every operation of the table, its replies taken from its own steps: an operation that settles
// for half a second or more is run 5 times, one of seconds twice.
std::vector<Exchange> Exchanges() {
  std::vector<Exchange> exchanges;
  for (const krt6::Operation& operation : krt6::Operations()) {
    Exchange e{&operation,
               {},
               static_cast<double>(operation.settle_ms),
               operation.settle_ms >= 3000  ? 2
               : operation.settle_ms >= 500 ? 5
                                            : 300};
    for (const krt6::OperationStep& step : krt6::DefaultSteps(operation, kVersionIndex)) {
      e.replies.push_back(step.reply.length);
    }
    exchanges.push_back(std::move(e));
  }
  return exchanges;
}

krt6::Result Run(krt6::Protocol& protocol, const krt6::Operation& operation) {
  krt6::RecordValue record = krt6::DefaultRecord(operation);
  int version = kVersionIndex;
  return protocol.Execute(operation.kind, krt6::RecordIn(record), version);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Times every exchange against `emu`; false when one failed. Over serial (`line` set) the floor
// adds the time every byte of the exchange takes on the line. The wire time is the commands the
// tool wrote (the emulator must have received the same bytes) and the replies at ten bits a byte;
// an exchange that waits for replies takes at least what `bare` takes for the same bytes, which
// adds the pseudo terminal's hand-over to it. An exchange that sends without a reply ends when its
// last byte has left the line, and the next one starts after that.
bool Measure(const char* transport, int rate, krt6::LinkLayer& layer, Emulator& emu,
             TimedSerial* line, BareClient* bare, const std::vector<Exchange>& exchanges,
             int rounds) {
  krt6::Protocol protocol(layer);
  bool all_ok = true;
  std::vector<double> hand_over;
  for (const Exchange& e : exchanges) {
    const std::size_t commands = e.replies.size();
    std::size_t reply_bytes = 0;
    for (std::size_t r : e.replies) reply_bytes += r;
    std::vector<double> times, floors;
    std::vector<krt6::emulator::ReceivedCommand> last;  // the commands of the round before
    double wire = 0.0;  // every byte of the exchange on the wire, in ms
    krt6::ResultCode result = krt6::kSuccess;
    std::string error;
    const std::string name(e.operation->title);
    // Short exchanges are repeated often, so that their median holds still against the other
    // work of a shared machine; long ones stop once they have taken their share of time.
    const auto began = Clock::now();
    for (int i = 0; i < std::min(rounds, e.rounds) && result == krt6::kSuccess &&
                    (i < kFewestRounds || Clock::now() - began < kTimePerExchange);
         ++i) {
      // The bare client runs next to the tool's exchange, before it every other round, so that
      // both meet the machine in the same state and neither is always the one that starts cold.
      const bool bare_round = bare != nullptr && reply_bytes > 0;
      const bool bare_first = bare_round && i % 2 == 1;
      double line_time = bare_first ? bare->Run(last, e.replies) : 0.0;
      emu.ClearLog();
      const std::size_t written_before = line != nullptr ? line->Written() : 0;
      const auto start = Clock::now();
      const krt6::Result outcome = Run(protocol, *e.operation);
      auto end = Clock::now();
      result = outcome.code;
      if (!outcome.Ok()) {
        error = outcome.Text();
        break;
      }
      // Every command has reached the emulator (a send-only exchange may return before).
      std::vector<krt6::emulator::ReceivedCommand> got = emu.Commands();
      while (got.size() < commands && Clock::now() - end < std::chrono::seconds(2)) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        got = emu.Commands();
      }
      std::size_t command_bytes = 0;
      for (const auto& c : got) command_bytes += c.Raw.size();
      if (got.size() != commands ||
          (line != nullptr && line->Written() - written_before != command_bytes)) {
        result = krt6::kUnknownError;
        error = "the emulator received " + std::to_string(got.size()) + " commands (" +
                std::to_string(command_bytes) + " bytes), not " + std::to_string(commands);
        break;
      }
      if (line != nullptr && reply_bytes == 0) {
        end = std::max(end, line->LineFree());
        // The emulator sees the bytes only after the pseudo terminal has handed them over.
        hand_over.push_back(Ms(got.back().LineDone - line->LineFree()) * 1000.0);
        std::this_thread::sleep_until(std::max(line->LineFree(), got.back().LineDone));
      }
      times.push_back(Ms(end - start));
      wire = rate > 0 ? static_cast<double>(command_bytes + reply_bytes) * 10'000.0 / rate : 0.0;
      if (bare_round && !bare_first) line_time = bare->Run(got, e.replies);
      if (bare_round && line_time < 0) {
        result = krt6::kUnknownError;
        error = "the bare client had no reply to the same commands";
        break;
      }
      floors.push_back(e.fixed_wait_ms + std::max(wire, line_time));
      last = std::move(got);
    }
    if (result != krt6::kSuccess) {
      std::printf("%-13s %-22s FAILED (result %d): %s\n", transport, name.c_str(), result,
                  error.c_str());
      all_ok = false;
      continue;
    }
    const double wire_floor = e.fixed_wait_ms + wire;
    const double floor = Median(floors);
    const double measured = Median(times);
    // Each exchange over the floor of its own round: a moment when the machine was slow then
    // weighs on both sides alike.
    std::vector<double> ratios(times.size());
    for (std::size_t i = 0; i < times.size(); ++i) ratios[i] = times[i] / floors[i];
    char ratio[32] = "-", wire_ratio[32] = "-";
    if (floor >= 1.0) std::snprintf(ratio, sizeof ratio, "%.3f", Median(ratios));
    if (wire_floor >= 1.0)
      std::snprintf(wire_ratio, sizeof wire_ratio, "%.3f", measured / wire_floor);
    std::printf("%-13s %-22s %10.3f %10.3f %7s %10.3f %7s\n", transport, name.c_str(), measured,
                floor, ratio, wire_floor, wire_ratio);
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
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300;
  const std::vector<Exchange> exchanges = Exchanges();
  std::printf(
      "krt6-bench: median of up to %d exchanges each (as many as fit in 2 s, at least 10;\n"
      "5 for the firmware version, 2 for Z4), in ms. wire = the operation's own waits + every\n"
      "byte of the exchange on the wire at 10 bits a byte (serial). floor = the same, but over\n"
      "serial an exchange that waits for replies takes at least what a bare client holding the\n"
      "line open takes for the same bytes next to it (the wire time and the pseudo terminal's\n"
      "hand-over in each direction). ratio = the median of each exchange over the floor of its\n"
      "round; then the median over the wire; where that is 1 ms or more. Send-only exchanges\n"
      "over serial end when their last byte has left the line, sent from the tool's end at the\n"
      "line's rate.\n\n",
      rounds);
  if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
    char load[64] = {};
    if (std::fgets(load, sizeof load, f) != nullptr) std::printf("load average: %s\n", load);
    std::fclose(f);
  }
  std::printf("%-13s %-22s %10s %10s %7s %10s %7s\n", "link", "operation", "median", "floor",
              "ratio", "wire", "ratio");
  bool all_ok = true;

  krt6::LinkSettings settings;
  krt6::LinkLayer layer;

  {
    EmulatorOptions o;
    o.Port = 0;
    Emulator emu(o);
    std::string error;
    if (!emu.Start(error)) {
      std::fprintf(stderr, "krt6-bench: %s\n", error.c_str());
      return 1;
    }
    settings.Tcp.IPAddr = "127.0.0.1";
    settings.Tcp.Port = emu.Port();
    layer.SetBackend(krt6::lkEthernet, krt6::MakeSystemLink(krt6::lkEthernet, settings));
    all_ok = Measure("tcp", 0, layer, emu, nullptr, nullptr, exchanges, rounds) && all_ok;
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
    links.Ports = std::make_shared<OnePort>(emu.DevicePath());
    settings.Serial.BaudRateIndex = index;
    auto timed =
        std::make_unique<TimedSerial>(krt6::MakeSystemLink(krt6::lkCom, settings, links), rate);
    TimedSerial* line = timed.get();
    layer.SetBackend(krt6::lkCom, std::move(timed));
    char name[32];
    std::snprintf(name, sizeof name, "serial %d", rate);
    BareClient bare(emu.DevicePath());
    all_ok = Measure(name, rate, layer, emu, line, &bare, exchanges, rounds) && all_ok;
  }
  return all_ok ? 0 : 1;
}
