// Cancelling an exchange from another thread, and the reply deadline, over every link kind and
// real OS objects: each wait of a link ends at once, the link is closed, nothing leaks.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <functional>
#include <thread>

#include "emulator/emulator.h"
#include "link/link_kinds.h"
#include "protocol/protocol.h"
#include "support/emulated_usb.h"
#include "support/fake_link.h"
#include "support/os_bench.h"
#include "support/temp_dir.h"

namespace krt6 {
namespace {

using emulator::Emulator;
using emulator::EmulatorOptions;
using emulator::Transport;
using testing::MillisecondsSince;
using testing::OpenDescriptorCount;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Real links with their production limits, except that the ports are the test's own.
struct Rig {
  std::shared_ptr<testing::MapPorts> ports = std::make_shared<testing::MapPorts>();
  std::shared_ptr<testing::EmulatedUsbState> usb = std::make_shared<testing::EmulatedUsbState>();
  testing::LinkFixture f;
  krt6::Result last;
  Protocol protocol{f.layer};
  Rig() {
    SystemLinkOptions o;
    o.Ports = ports;
    o.Usb = std::make_shared<testing::EmulatedUsbSource>(usb);
    f.options = o;
  }
  void Serve(Emulator& emu) {
    if (emu.Port() != 0) {
      f.settings.Tcp.IPAddr = "127.0.0.1";
      f.settings.Tcp.Port = emu.Port();
      f.Use(lkEthernet);
    } else {
      ports->Serial["COM1"] = emu.DevicePath();
      f.Use(lkCom);
    }
  }
};

std::unique_ptr<Emulator> Start(Transport kind, void (*spoil)(emulator::Faults&),
                                const std::string& path = {}) {
  EmulatorOptions o;
  o.Kind = kind;
  o.Port = 0;
  o.Path = path;
  spoil(o.Spoil);
  auto emu = std::make_unique<Emulator>(o);
  std::string error;
  if (!emu->Start(error)) ADD_FAILURE() << error;
  return emu;
}

// Fills the listen queue of `fd` so that a further connect is never answered.
std::vector<int> FillAcceptQueue(int port) {
  std::vector<int> fillers;
  for (int i = 0; i < 3; ++i) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    fillers.push_back(s);
  }
  std::this_thread::sleep_for(milliseconds(50));
  return fillers;
}

TEST(LinkCancelTest, EveryWaitOfEveryLinkEndsAtOnceAndTheLinkIsClosed) {
  testing::TempDir dir;
  const std::string fifo = dir / "lp0";
  int version = 4;
  struct Case {
    const char* name;
    // Sets the printer up and returns the exchange, which on its own would wait a second or more.
    std::function<std::function<ResultCode()>(Rig&, std::vector<std::unique_ptr<Emulator>>&,
                                              std::vector<int>&)>
        arrange;
  };
  std::int32_t status = 0;
  std::int32_t sensor = 0;
  const Case cases[] = {
      {"COM read (1.2 s)",
       [&](Rig& r, auto& emus, auto&) {
         emus.push_back(Start(Transport::kPty, [](emulator::Faults& f) { f.NoReply = true; }));
         r.Serve(*emus.back());
         return [&] {
           return (r.last = r.protocol.ExecuteCommand<ckReadStatus>(status, version)).code;
         };
       }},
      {"COM write held by XOFF (5 s)",
       [&](Rig& r, auto& emus, auto&) {
         emus.push_back(Start(Transport::kPty, [](emulator::Faults& f) { f.Stall = true; }));
         r.Serve(*emus.back());
         r.f.settings.Serial.SWShakIndex = 1;
         // The printer answers the first command with XOFF; the next write is held.
         return [&] {
           (r.last = r.protocol.ExecuteCommand<ckCalibrateSensor>(sensor, version)).code;
           std::this_thread::sleep_for(milliseconds(50));
           return (r.last = r.protocol.ExecuteCommand<ckCalibrateSensor>(sensor, version)).code;
         };
       }},
      {"TCP read (1 s)",
       [&](Rig& r, auto& emus, auto&) {
         emus.push_back(Start(Transport::kTcp, [](emulator::Faults& f) { f.NoReply = true; }));
         r.Serve(*emus.back());
         return [&] {
           return (r.last = r.protocol.ExecuteCommand<ckReadStatus>(status, version)).code;
         };
       }},
      {"TCP connect never answered (5 s)",
       [&](Rig& r, auto&, auto& fds) {
         const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
         sockaddr_in a{};
         a.sin_family = AF_INET;
         a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
         socklen_t len = sizeof a;
         ::bind(listener, reinterpret_cast<sockaddr*>(&a), len);
         ::listen(listener, 0);
         ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
         fds = FillAcceptQueue(ntohs(a.sin_port));
         fds.push_back(listener);
         r.f.settings.Tcp.IPAddr = "127.0.0.1";
         r.f.settings.Tcp.Port = ntohs(a.sin_port);
         r.f.Use(lkEthernet);
         return [&] {
           return (r.last = r.protocol.ExecuteCommand<ckReadStatus>(status, version)).code;
         };
       }},
      {"TCP settling pause after Z4 (3 s)",
       [&](Rig& r, auto& emus, auto&) {
         emus.push_back(Start(Transport::kTcp, [](emulator::Faults&) {}));
         r.Serve(*emus.back());
         NoRecord none;
         return [&r, &version, none]() mutable {
           return (r.last = r.protocol.ExecuteCommand<ckSendZ4Command>(none, version)).code;
         };
       }},
      {"LPT write the printer does not take (5 s)",
       [&](Rig& r, auto& emus, auto& fds) {
         emus.push_back(Start(
             Transport::kFifo, [](emulator::Faults& f) { f.Stall = true; }, fifo));
         const int filler = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
         const std::string block(4096, 'f');
         while (::write(filler, block.data(), block.size()) > 0) {
         }
         fds.push_back(filler);
         r.ports->Parallel["LPT1"] = fifo;
         r.f.Use(lkLpt);
         return [&] {
           return (r.last = r.protocol.ExecuteCommand<ckCalibrateSensor>(sensor, version)).code;
         };
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int before = OpenDescriptorCount();
    {
      Rig rig;
      std::vector<std::unique_ptr<Emulator>> emus;
      std::vector<int> fds;
      const std::function<ResultCode()> exchange = c.arrange(rig, emus, fds);
      ResultCode result = kSuccess;
      std::thread worker([&] { result = exchange(); });
      std::this_thread::sleep_for(milliseconds(400));
      const auto cancelled = Clock::now();
      rig.protocol.Cancel();
      worker.join();
      EXPECT_LT(MillisecondsSince(cancelled), 600);  // every limit here is a second or more
      EXPECT_EQ(result, kCancelled) << rig.last.Text();
      EXPECT_NE(rig.last.Text().find("cancelled"), std::string::npos);
      // Nothing starts until the protocol is armed again.
      EXPECT_FALSE(rig.f.Open(lkEthernet).Ok());
      rig.protocol.ClearCancel();
      for (int fd : fds) ::close(fd);
    }
    EXPECT_EQ(OpenDescriptorCount(), before);  // every link was closed
  }
}

TEST(LinkCancelTest, AReplyDeadlineCutsTheLinksOwnReadLimit) {
  Rig rig;
  auto pty = Start(Transport::kPty, [](emulator::Faults&) {});
  auto tcp = Start(Transport::kTcp, [](emulator::Faults&) {});
  rig.Serve(*pty);
  rig.Serve(*tcp);
  for (const LinkKind kind : {lkCom, lkEthernet, lkUsb}) {
    SCOPED_TRACE(kind);
    LinkConnection h = rig.f.Open(kind);
    ASSERT_TRUE(h.Ok()) << rig.f.failure.Text();
    const auto start = Clock::now();
    std::uint8_t byte = 0;
    EXPECT_FALSE(rig.f.ReadByte(h, byte, start + milliseconds(300)));
    h.Close();
    if (kind == lkUsb) {
      // The emulated device answers at once; the limit it was given is what counts.
      ASSERT_FALSE(rig.usb->read_timeouts.empty());
      EXPECT_LE(rig.usb->read_timeouts.back(), 300u);
      EXPECT_GE(rig.usb->read_timeouts.back(), 250u);
    } else {
      // Far below the link's own limit of a second or more, whatever else the machine runs.
      EXPECT_GE(MillisecondsSince(start), 295);
      EXPECT_LT(MillisecondsSince(start), 900);
    }
  }
}

}  // namespace
}  // namespace krt6
