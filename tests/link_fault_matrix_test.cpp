// Every link against the printer emulator over real OS objects (a pseudo terminal, loopback TCP,
// a FIFO): each fault ends with the right result within the link's limit and leaks nothing.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>

#include "emulator/emulator.h"
#include "link/link_kinds.h"
#include "link/posix_io.h"
#include "protocol/protocol.h"
#include "support/child_wait.h"
#include "support/fake_link.h"
#include "support/os_bench.h"

namespace krt6 {
namespace {

using emulator::Emulator;
using emulator::EmulatorOptions;
using emulator::Faults;
using emulator::Transport;
using testing::LinkFixture;
using testing::MapPorts;
using testing::MillisecondsSince;
using testing::OpenDescriptorCount;
using Clock = std::chrono::steady_clock;

struct Bench {
  std::shared_ptr<MapPorts> ports = std::make_shared<MapPorts>();
  LinkFixture f;
  explicit Bench(int write_limit_ms = 300) {
    SystemLinkOptions o;
    o.Ports = ports;
    o.Usb = std::make_shared<testing::NoUsb>();
    o.Serial.WriteBaseMs = write_limit_ms;  // a stalled write fails sooner than in production
    o.Parallel.WriteBaseMs = write_limit_ms;
    f.options = o;
    f.Use(lkCom);
  }
  std::string last_error;  // what the last Status call reported as its failure
  ResultCode Status(LinkKind link, std::int32_t& status) {
    f.Use(link);
    Protocol protocol(f.layer, [](int) {});
    int version = 4;
    f.failure = protocol.ExecuteCommand<ckReadStatus>(status, version);
    last_error = f.failure.Text();
    return f.failure.code;
  }
};

struct FaultCase {
  const char* name;
  Faults faults;
  ResultCode expected;
  double min_ms;
  double max_ms;
};

constexpr double kBusySlackMs = 2000;

Faults Make(void (*edit)(Faults&)) {
  Faults f;
  edit(f);
  return f;
}

void RunMatrix(Transport transport, const std::vector<FaultCase>& cases) {
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    const int before = OpenDescriptorCount();
    {
      Bench b;
      EmulatorOptions o;
      o.Kind = transport;
      o.Port = 0;
      o.Spoil = c.faults;
      Emulator emu(o);
      std::string error;
      ASSERT_TRUE(emu.Start(error)) << error;
      LinkKind link = lkEthernet;
      if (transport == Transport::kPty) {
        link = lkCom;
        b.ports->Serial["COM1"] = emu.DevicePath();
        b.f.settings.Serial.SWShakIndex = c.faults.Stall ? 1 : 0;
      } else {
        b.f.settings.Tcp.IPAddr = "127.0.0.1";
        b.f.settings.Tcp.Port = emu.Port();
      }
      std::int32_t status = -1;
      const auto start = Clock::now();
      const ResultCode r = b.Status(link, status);
      const double took = MillisecondsSince(start);
      EXPECT_EQ(r, c.expected) << b.last_error;
      // A limit is never cut short; how far past it a busy machine gets is its own business,
      // bounded generously (the benchmarks measure the times themselves).
      EXPECT_GE(took, c.min_ms);
      EXPECT_LE(took, c.max_ms + kBusySlackMs);
      if (c.expected == kSuccess) {
        EXPECT_EQ(status, 1);  // "ON LINE"
      } else {
        EXPECT_FALSE(b.last_error.empty());
      }
      if (!c.faults.Stall) {
        ASSERT_FALSE(emu.Commands().empty());
        EXPECT_EQ(emu.Commands()[0].Raw, (std::vector<std::uint8_t>{'{', 'W', 'S', '|', '}'}));
      }
    }
    EXPECT_EQ(OpenDescriptorCount(), before);
  }
}

TEST(LinkFaultMatrixTest, SerialOverAPseudoTerminal) {
  RunMatrix(
      Transport::kPty,
      {
          {"reply", {}, kSuccess, 0, 200},
          {"no reply", Make([](Faults& f) { f.NoReply = true; }), kReceivingError, 1190, 1400},
          {"short reply", Make([](Faults& f) { f.CutAfter = 6; }), kReceivingError, 1190, 1400},
          {"noise before the start byte", Make([](Faults& f) { f.Noise = "\x02garbage\x7f"; }),
           kSuccess, 0, 200},
          {"slow start", Make([](Faults& f) { f.DelayMs = 600; }), kSuccess, 590, 800},
          {"trickling bytes", Make([](Faults& f) { f.TrickleMs = 30; }), kSuccess, 330, 600},
          {"hang-up mid-reply", Make([](Faults& f) {
             f.CutAfter = 6;
             f.HangupAfterReply = Faults::Hangup::kClose;
           }),
           kReceivingError, 0, 400},
      });
}

TEST(LinkFaultMatrixTest, TcpOverLoopback) {
  RunMatrix(
      Transport::kTcp,
      {
          {"reply", {}, kSuccess, 0, 200},
          {"no reply", Make([](Faults& f) { f.NoReply = true; }), kReceivingError, 990, 1200},
          {"short reply", Make([](Faults& f) { f.CutAfter = 6; }), kReceivingError, 990, 1200},
          {"noise before the start byte", Make([](Faults& f) { f.Noise = "\x02garbage\x7f"; }),
           kSuccess, 0, 200},
          {"trickling bytes", Make([](Faults& f) { f.TrickleMs = 30; }), kSuccess, 330, 600},
          // Each byte within the 1 s read limit, the reply complete within 10 s: 12 x 0.65 s.
          {"reply trickled over 8 s", Make([](Faults& f) { f.TrickleMs = 650; }), kSuccess, 7790,
           9600},
          // One junk byte every 0.6 s passes every read (a busy machine may stretch a gap by a
          // few hundred milliseconds), but not the 10 s bound of the reply.
          {"junk trickled past the reply limit", Make([](Faults& f) {
             f.Noise = std::string(40, 'x');
             f.TrickleMs = 600;
           }),
           kReceivingError, 9990, 12000},
          {"closed mid-reply", Make([](Faults& f) {
             f.CutAfter = 6;
             f.HangupAfterReply = Faults::Hangup::kClose;
           }),
           kReceivingError, 0, 300},
          {"reset mid-reply", Make([](Faults& f) {
             f.CutAfter = 6;
             f.HangupAfterReply = Faults::Hangup::kReset;
           }),
           kReceivingError, 0, 300},
          {"closed without a reply", Make([](Faults& f) {
             f.NoReply = true;
             f.HangupAfterReply = Faults::Hangup::kClose;
           }),
           kReceivingError, 0, 300},
          // The kernel takes the command whole; the stall shows as the missing reply.
          {"printer stops reading", Make([](Faults& f) { f.Stall = true; }), kReceivingError, 990,
           1200},
      });
}

TEST(LinkFaultMatrixTest, SerialPrinterThatHoldsXoffStallsTheNextWrite) {
  const int before = OpenDescriptorCount();
  {
    Bench b;
    EmulatorOptions o;
    o.Kind = Transport::kPty;
    o.Spoil.Stall = true;
    Emulator emu(o);
    std::string error;
    ASSERT_TRUE(emu.Start(error)) << error;
    b.ports->Serial["COM1"] = emu.DevicePath();
    b.f.settings.Serial.SWShakIndex = 1;
    std::int32_t status = 0;
    // The printer takes the query and answers XOFF only: no reply.
    EXPECT_EQ(b.Status(lkCom, status), kReceivingError);
    // The line stays held: the next query cannot be written within the write limit.
    const auto start = Clock::now();
    EXPECT_EQ(b.Status(lkCom, status), kTransmissionError);
    const double took = MillisecondsSince(start);
    EXPECT_GE(took, 290 + 5 * 10);
    EXPECT_LT(took, 700 + kBusySlackMs);
    EXPECT_NE(b.f.failure.Text().find("did not take the data"), std::string::npos)
        << b.f.failure.Text();
  }
  EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST(LinkFaultMatrixTest, AbsentOrVanishingDeviceIsAPortOpenError) {
  const int before = OpenDescriptorCount();
  {
    Bench b;
    std::int32_t status = 0;
    b.ports->Serial["COM1"] = "/dev/krt6-absent-tty";
    EXPECT_EQ(b.Status(lkCom, status), kPortOpenError);
    EXPECT_NE(b.f.failure.Text().find("/dev/krt6-absent-tty"), std::string::npos);

    // Serial: the adapter is pulled between two exchanges.
    {
      EmulatorOptions o;
      o.Kind = Transport::kPty;
      auto emu = std::make_unique<Emulator>(o);
      std::string error;
      ASSERT_TRUE(emu->Start(error)) << error;
      b.ports->Serial["COM1"] = emu->DevicePath();
      EXPECT_EQ(b.Status(lkCom, status), kSuccess);
      emu.reset();
      const auto start = Clock::now();
      EXPECT_EQ(b.Status(lkCom, status), kPortOpenError);
      EXPECT_LT(MillisecondsSince(start), 500);
    }
    // TCP: the printer is switched off between two exchanges.
    {
      EmulatorOptions o;
      o.Port = 0;
      auto emu = std::make_unique<Emulator>(o);
      std::string error;
      ASSERT_TRUE(emu->Start(error)) << error;
      b.f.settings.Tcp.IPAddr = "127.0.0.1";
      b.f.settings.Tcp.Port = emu->Port();
      EXPECT_EQ(b.Status(lkEthernet, status), kSuccess);
      EXPECT_EQ(emu->Connections(), 1);
      emu.reset();
      EXPECT_EQ(b.Status(lkEthernet, status), kPortOpenError);
      EXPECT_NE(b.f.failure.Text().find("Connection refused"), std::string::npos);
    }
  }
  EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST(LinkFaultMatrixTest, PermissionDeniedIsAPortOpenErrorWithAHint) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to drop privileges in a child";
  EmulatorOptions o;
  o.Kind = Transport::kPty;
  Emulator emu(o);
  std::string error;
  ASSERT_TRUE(emu.Start(error)) << error;
  ASSERT_EQ(::chmod(emu.DevicePath().c_str(), 0600), 0);
  char fifo[] = "/tmp/krt6-lpt-XXXXXX";
  ASSERT_NE(::mkdtemp(fifo), nullptr);
  const std::string lpt = std::string(fifo) + "/lp0";
  ASSERT_EQ(::mkfifo(lpt.c_str(), 0600), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(10);
    Bench b;
    b.ports->Serial["COM1"] = emu.DevicePath();
    b.ports->Parallel["LPT1"] = lpt;
    std::int32_t status = 0;
    if (b.Status(lkCom, status) != kPortOpenError) ::_exit(11);
    const Result& e = b.f.failure;
    if (e.cause != Cause::kPermission || e.hint != FindLinkKind(lkCom)->hint(e.cause)) ::_exit(12);
    if (b.f.Open(lkLpt).Ok()) ::_exit(13);
    if (e.cause != Cause::kPermission || e.hint != FindLinkKind(lkLpt)->hint(e.cause)) ::_exit(14);
    ::_exit(0);
  }
  const int status = testing::WaitChild(child, 30000);
  ::unlink(lpt.c_str());
  ::rmdir(fifo);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// A listening loopback socket that accepts nothing: connects succeed, nothing is ever answered.
// `port` of a socket already closed again gives an address that refuses.
struct SilentListener {
  UniqueFd fd{::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)};
  int port = 0;
  explicit SilentListener(bool listening) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&a), &len) != 0) {
      return;
    }
    port = ntohs(a.sin_port);
    if (listening)
      ::listen(fd.Get(), 4);
    else
      fd.Reset();
  }
};

// Every failure an operator can act on ends with its cause, and with the hint for that cause and
// link, over the real links: a device that is absent, one the user may not open (in a child that
// drops root), one that another opener holds, and a printer that never answers.
TEST(LinkFaultMatrixTest, EachFailureCarriesItsCause) {
  testing::Pty pty;
  testing::Pty locked;
  ASSERT_TRUE(pty.Ok() && locked.Ok());
  ASSERT_EQ(::chmod(locked.SlavePath().c_str(), 0600), 0);
  char dir[] = "/tmp/krt6-cause-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string lpt = std::string(dir) + "/lp0";
  const std::string locked_lpt = std::string(dir) + "/lp1";
  ASSERT_EQ(::mkfifo(lpt.c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo(locked_lpt.c_str(), 0600), 0);
  const UniqueFd lpt_reader(::open(lpt.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  ASSERT_TRUE(lpt_reader.Valid());
  SilentListener silent(true);
  SilentListener closed(false);
  ASSERT_NE(silent.port, 0);

  struct Case {
    const char* what;
    LinkKind kind;
    std::string device;  // the port's device node, or the TCP port
    bool second_open;    // a first connection holds the device while a second opens it
    bool read;           // opens, then waits for a reply
    bool drop_root;      // runs as an unprivileged user
    Cause cause;
  };
  const Case cases[] = {
      {"absent tty", lkCom, "/dev/krt6-absent-tty", false, false, false, Cause::kNotFound},
      {"absent lp", lkLpt, std::string(dir) + "/lp9", false, false, false, Cause::kNotFound},
      {"absent usb", lkUsb, "", false, false, false, Cause::kNotFound},
      {"refused tcp", lkEthernet, std::to_string(closed.port), false, false, false,
       Cause::kRefused},
      {"busy tty", lkCom, pty.SlavePath(), true, false, false, Cause::kBusy},
      {"busy lp", lkLpt, lpt, true, false, false, Cause::kBusy},
      {"silent tty", lkCom, pty.SlavePath(), false, true, false, Cause::kTimedOut},
      {"silent tcp", lkEthernet, std::to_string(silent.port), false, true, false, Cause::kTimedOut},
      {"locked tty", lkCom, locked.SlavePath(), false, false, true, Cause::kPermission},
      {"locked lp", lkLpt, locked_lpt, false, false, true, Cause::kPermission},
  };
  auto run = [](const Case& c) {
    auto ports = std::make_shared<MapPorts>();
    ports->Serial["COM1"] = c.device;
    ports->Parallel["LPT1"] = c.device;
    SystemLinkOptions o;
    o.Ports = ports;
    o.Usb = std::make_shared<testing::NoUsb>();
    o.Serial.ReadAcceptMs = 100;
    o.Serial.ReadFailMs = 120;
    o.Tcp.WaitMs = 100;
    LinkFixture f;
    f.options = o;
    f.Use(c.kind);
    f.settings.Tcp.IPAddr = "127.0.0.1";
    if (c.kind == lkEthernet) f.settings.Tcp.Port = std::stoi(c.device);
    LinkConnection first;
    if (c.second_open) first = f.Open(c.kind);
    LinkConnection connection = f.Open(c.kind);
    std::uint8_t byte = 0;
    if (c.read && connection.Ok()) f.ReadByte(connection, byte);
    return f.failure;
  };
  for (const Case& c : cases) {
    if (!c.drop_root) {
      const Result e = run(c);
      EXPECT_EQ(e.cause, c.cause) << c.what << ": " << e.Describe();
      EXPECT_EQ(e.hint, FindLinkKind(c.kind)->hint(c.cause)) << c.what;
      continue;
    }
    if (::geteuid() != 0) continue;  // only root can drop to a user the device refuses
    const pid_t child = ::fork();
    if (child == 0) {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(100);
      const Result e = run(c);
      const bool ok = e.cause == c.cause && e.error_number == EACCES && !e.hint.empty() &&
                      e.hint == FindLinkKind(c.kind)->hint(c.cause);
      ::_exit(ok ? 0 : 1 + static_cast<int>(e.cause));
    }
    const int status = testing::WaitChild(child, 30000);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << c.what << " (cause + 1 when it differs)";
  }
  ::unlink(lpt.c_str());
  ::unlink(locked_lpt.c_str());
  ::rmdir(dir);
}

// The parallel link cannot read, so its exchanges are the ones without a reply: open, write the
// framed command, close.
ResultCode SendOverLpt(LinkFixture& f, const std::string& text) {
  LinkConnection h = f.Open(lkLpt);
  if (!h.Ok()) return kPortOpenError;
  const auto framed = FrameCommand(text.data(), text.size(), false);
  const bool ok = f.Write(h, framed.data(), framed.size());
  h.Close();
  return ok ? kSuccess : kTransmissionError;
}

TEST(LinkFaultMatrixTest, ParallelOverAFifo) {
  char dir[] = "/tmp/krt6-lpt-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/lp0";
  const int before = OpenDescriptorCount();
  {
    Bench b;
    b.ports->Parallel["LPT1"] = path;
    std::int32_t status = 0;

    EXPECT_EQ(SendOverLpt(b.f, "WT;1000,1"), kPortOpenError);  // no device node
    EXPECT_NE(b.f.failure.Text().find(path), std::string::npos);
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EXPECT_EQ(SendOverLpt(b.f, "WT;1000,1"), kPortOpenError);  // nobody reads: off line
    EXPECT_NE(b.f.failure.Text().find("No such device or address"), std::string::npos)
        << b.f.failure.Text();

    {
      EmulatorOptions o;
      o.Kind = Transport::kFifo;
      o.Path = path;
      Emulator emu(o);
      std::string error;
      ASSERT_TRUE(emu.Start(error)) << error;
      EXPECT_EQ(SendOverLpt(b.f, "WT;1000,2"), kSuccess);
      // A status query is refused before the port is opened.
      EXPECT_EQ(b.Status(lkLpt, status), kReceivingError);
      for (int i = 0; i < 50 && emu.Commands().empty(); ++i) ::usleep(10000);
      EXPECT_EQ(emu.CommandTexts(), std::vector<std::string>{"WT;1000,2"});
    }
    {
      // The printer takes nothing: the FIFO fills up and the write ends at its limit.
      EmulatorOptions o;
      o.Kind = Transport::kFifo;
      o.Path = path;
      o.Spoil.Stall = true;
      Emulator emu(o);
      std::string error;
      ASSERT_TRUE(emu.Start(error)) << error;
      const int filler = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      ASSERT_GE(filler, 0);
      const std::string block(4096, 'f');
      while (::write(filler, block.data(), block.size()) > 0) {
      }
      const auto start = Clock::now();
      EXPECT_EQ(SendOverLpt(b.f, "WT;1000,3"), kTransmissionError);
      const double took = MillisecondsSince(start);
      EXPECT_GE(took, 290 + 12 * 10);
      EXPECT_LT(took, 700 + kBusySlackMs);
      ::close(filler);
    }
    {
      // The printer goes away after the first command.
      EmulatorOptions o;
      o.Kind = Transport::kFifo;
      o.Path = path;
      o.Spoil.HangupAfterReply = Faults::Hangup::kClose;
      Emulator emu(o);
      std::string error;
      ASSERT_TRUE(emu.Start(error)) << error;
      EXPECT_EQ(SendOverLpt(b.f, "Z4;0"), kSuccess);
      for (int i = 0; i < 50 && ::access(path.c_str(), F_OK) == 0; ++i) ::usleep(10000);
      EXPECT_EQ(SendOverLpt(b.f, "Z4;0"), kPortOpenError);
    }
  }
  EXPECT_EQ(OpenDescriptorCount(), before);
  ::unlink(path.c_str());
  ::rmdir(dir);
}

}  // namespace
}  // namespace krt6
