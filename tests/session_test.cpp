// The session without widgets against the emulator: every operation over TCP and a pseudo
// terminal, fifty sessions on fifty threads at once, the byte trace, and a cancel through the
// runner.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "emulator/emulator.h"
#include "link/link_kinds.h"
#include "session/session.h"
#include "session/session_runner.h"
#include "session/trace_text.h"
#include "support/os_bench.h"

namespace krt6 {
namespace {

using emulator::Emulator;
using emulator::EmulatorOptions;
using emulator::Transport;

// One emulated printer and a session with the system's links pointed at it.
struct Printer {
  std::unique_ptr<Emulator> emu;
  std::shared_ptr<testing::MapPorts> ports = std::make_shared<testing::MapPorts>();
  Session session{SystemLinks([this] {
                    SystemLinkOptions o;
                    o.Ports = ports;
                    o.Usb = std::make_shared<testing::NoUsb>();
                    return o;
                  }()),
                  [](int) {}};

  explicit Printer(Transport transport, EmulatorOptions o = {}) {
    o.Kind = transport;
    o.Port = 0;
    emu = std::make_unique<Emulator>(o);
    std::string error;
    EXPECT_TRUE(emu->Start(error)) << error;
    if (transport == Transport::kPty) {
      ports->Serial["COM1"] = emu->DevicePath();
      session.SetLinkKind(lkCom);
    } else {
      session.Settings().Tcp.IPAddr = "127.0.0.1";
      session.Settings().Tcp.Port = emu->Port();
      session.SetLinkKind(lkEthernet);
    }
  }
};

ParameterBlock Block(int x_adj) {
  ParameterBlock b;
  b.FontCode = 3;
  b.Speed = 6;
  b.Parity = 2;
  std::memcpy(b.EuroCode, "D5", 3);
  b.XAdj = x_adj;
  b.BlankSpaceLen = 64;
  return b;
}

LanSettings Lan(int last_octet) {
  LanSettings s;
  const std::int32_t ip[4] = {10, 1, 2, last_octet};
  std::memcpy(s.IpAddress, ip, sizeof ip);
  s.LanFlag = 1;
  s.SocketPort = 9100;
  std::memcpy(s.DhcpHostName, "PRN", 4);
  return s;
}

TEST(SessionTest, EveryOperationOverTcpAndPty) {
  for (Transport t : {Transport::kTcp, Transport::kPty}) {
    SCOPED_TRACE(t == Transport::kTcp ? "tcp" : "pty");
    Printer p(t);
    Session& s = p.session;
    s.SetVersionIndex(0);
    const Outcome<VersionText> version = s.ReadFirmwareVersion();
    ASSERT_TRUE(version.Ok()) << version.Text();
    EXPECT_STREQ(version.Value.Text, "1.0J");
    EXPECT_EQ(s.VersionIndex(), 3) << "the session follows the printer's version";
    const Outcome<std::int32_t> status = s.ReadStatus();
    EXPECT_TRUE(status.Ok()) << status.Text();
    EXPECT_GT(status.Value, 0);
    EXPECT_TRUE(s.WriteParameters(Block(-37)).Ok());
    const Outcome<ParameterBlock> block = s.ReadParameters();
    ASSERT_TRUE(block.Ok()) << block.Text();
    EXPECT_EQ(block.Value.XAdj, -37);
    EXPECT_EQ(block.Value.BlankSpaceLen, 64);
    EXPECT_STREQ(block.Value.EuroCode, "D5");
    EXPECT_TRUE(s.WriteLanSettings(Lan(77)).Ok());
    const Outcome<LanSettings> lan = s.ReadLanSettings();
    ASSERT_TRUE(lan.Ok()) << lan.Text();
    EXPECT_EQ(+lan.Value.IpAddress[3], 77);
    EXPECT_STREQ(lan.Value.DhcpHostName, "PRN");
    EXPECT_TRUE(s.CalibrateSensor(1).Ok());
    EXPECT_TRUE(s.SendZ1Command(0).Ok());
    EXPECT_TRUE(s.SendZ4Command().Ok());
    for (int i = 0; i < 100 && p.emu->Commands().size() < 18; ++i) ::usleep(10000);
    const std::vector<std::string> texts = p.emu->CommandTexts();
    ASSERT_EQ(texts.size(), 18u) << ::testing::PrintToString(texts);
    EXPECT_EQ(texts[0], "WV");
    EXPECT_EQ(texts[1], "WS");
    EXPECT_EQ(texts[7], "IP;2,010,001,002,077");
    EXPECT_EQ(texts[15], "WT;1000,2");
    EXPECT_EQ(texts[16], "Z10");
    EXPECT_EQ(texts[17], "Z4;0");
    // A link that cannot be opened is a failed outcome with the details, not an error raised.
    p.ports->Serial.clear();
    s.SetLinkKind(lkCom);
    const Outcome<std::int32_t> absent = s.ReadStatus();
    EXPECT_EQ(absent.code, kPortOpenError);
    EXPECT_FALSE(absent.Text().empty());
  }
}

TEST(SessionTest, FiftySessionsOnFiftyThreadsKeepTheirOwnResults) {
  constexpr int kCount = 50;
  std::vector<std::unique_ptr<Printer>> printers;
  std::vector<std::unique_ptr<SessionRunner>> runners;
  std::vector<std::promise<Outcome<ParameterBlock>>> blocks(kCount);
  std::vector<std::promise<Outcome<LanSettings>>> lans(kCount);
  for (int i = 0; i < kCount; ++i) {
    printers.push_back(std::make_unique<Printer>(Transport::kTcp));
    runners.push_back(std::make_unique<SessionRunner>(printers.back()->session));
  }
  for (int i = 0; i < kCount; ++i) {
    ASSERT_TRUE(runners[i]->Start(
        [i](Session& s) {
          Outcome<ParameterBlock> failed = s.ReadParameters();
          const Outcome<void> written = s.WriteParameters(Block(i - 25));
          if (!written.Ok()) static_cast<Result&>(failed) = written;
          return written.Ok() ? s.ReadParameters() : failed;
        },
        [&, i](Outcome<ParameterBlock> r) { blocks[i].set_value(std::move(r)); }));
  }
  for (int i = 0; i < kCount; ++i) {
    const Outcome<ParameterBlock> r = blocks[i].get_future().get();
    ASSERT_TRUE(r.Ok()) << i << ": " << r.Text();
    EXPECT_EQ(r.Value.XAdj, i - 25) << i;
  }
  // The runners are free again: a second round on the same threads, with the LAN settings.
  for (int i = 0; i < kCount; ++i) {
    ASSERT_TRUE(runners[i]->Start(
        [i](Session& s) {
          const Outcome<void> written = s.WriteLanSettings(Lan(i));
          Outcome<LanSettings> read = s.ReadLanSettings();
          if (!written.Ok()) static_cast<Result&>(read) = written;
          return read;
        },
        [&, i](Outcome<LanSettings> r) { lans[i].set_value(std::move(r)); }));
  }
  for (int i = 0; i < kCount; ++i) {
    const Outcome<LanSettings> r = lans[i].get_future().get();
    ASSERT_TRUE(r.Ok()) << i << ": " << r.Text();
    EXPECT_EQ(+r.Value.IpAddress[3], i) << i;
    EXPECT_EQ(printers[i]->emu->Connections(), 5) << i;  // one per operation
  }
}

TEST(SessionTest, TheTraceSeesExactlyTheBytesOnTheWire) {
  for (Transport t : {Transport::kTcp, Transport::kPty}) {
    SCOPED_TRACE(t == Transport::kTcp ? "tcp" : "pty");
    Printer p(t);
    std::vector<TraceEvent> events;
    p.session.SetTraceObserver([&](const TraceEvent& e) { events.push_back(e); });
    ASSERT_TRUE(p.session.ReadFirmwareVersion().Ok());
    ASSERT_TRUE(p.session.WriteParameters(Block(5)).Ok());
    ASSERT_TRUE(p.session.ReadParameters().Ok());
    std::vector<std::uint8_t> sent;
    std::string received;
    for (std::size_t i = 0; i < events.size(); ++i) {
      const TraceEvent& e = events[i];
      EXPECT_EQ(e.kind, p.session.Kind());
      if (i > 0) {
        EXPECT_GE(e.time, events[i - 1].time);
      }
      if (e.direction == TraceDirection::kSent) {
        sent.insert(sent.end(), e.bytes.begin(), e.bytes.end());
      } else {
        received.append(e.bytes.begin(), e.bytes.end());
      }
    }
    EXPECT_EQ(sent, p.emu->ReceivedBytes());
    EXPECT_NE(received.find("1.0J"), std::string::npos);
    // The log line of a chunk: time, direction, hex and printable text.
    const TraceEvent& first = events.front();
    EXPECT_EQ(TraceLine(first, first.time), "       0.000  ->  7B 57 56 7C 7D  {WV|}");
  }
}

TEST(SessionTest, TheRunnerCancelsAnExchangeAndReportsAnErrorRaisedInAJob) {
  EmulatorOptions o;
  o.Spoil.NoReply = true;
  Printer p(Transport::kTcp, o);
  SessionRunner runner(p.session);
  std::promise<Outcome<std::int32_t>> done;
  ASSERT_TRUE(runner.Start([](Session& s) { return s.ReadStatus(); },
                           [&](Outcome<std::int32_t> r) { done.set_value(std::move(r)); }));
  EXPECT_FALSE(
      runner.Start([](Session& s) { return s.ReadStatus(); }, [](Outcome<std::int32_t>) {}))
      << "one job at a time";
  ::usleep(200000);
  const auto cancelled_at = std::chrono::steady_clock::now();
  runner.Cancel();
  EXPECT_EQ(done.get_future().get().code, kCancelled);
  EXPECT_LT(std::chrono::steady_clock::now() - cancelled_at, std::chrono::seconds(1));
  std::promise<Result> raised;
  ASSERT_TRUE(runner.Start([](Session&) -> Result { throw std::runtime_error("device vanished"); },
                           [&](Result r) { raised.set_value(std::move(r)); }));
  const Result r = raised.get_future().get();
  EXPECT_EQ(r.code, kUnknownError);
  EXPECT_EQ(r.Text(), "device vanished");
}

}  // namespace
}  // namespace krt6
