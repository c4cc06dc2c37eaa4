// The emulator as a server: every connection is served on its own with one printer state, idle
// connections are closed, many printers run from one emulator, and a paced serial line charges
// each command its own wire time.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "emulator/emulator.h"
#include "link/link_kinds.h"
#include "protocol/protocol.h"
#include "support/child_wait.h"
#include "support/fake_link.h"
#include "support/os_bench.h"

namespace krt6 {
namespace {

using emulator::Emulator;
using emulator::EmulatorOptions;
using emulator::Transport;
using testing::MillisecondsSince;
using Clock = std::chrono::steady_clock;

// A raw client on loopback, with small buffers so that unread replies back up soon.
int Connect(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int size = 16 * 1024;
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Milliseconds until the emulator closes `fd` (what it sends is read and dropped); -1 when it
// is still open after `limit_ms`.
double MsUntilClosed(int fd, Clock::time_point since, int limit_ms) {
  char buffer[4096];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    const int left = limit_ms - static_cast<int>(MillisecondsSince(since));
    if (left <= 0 || ::poll(&p, 1, left) <= 0) return -1;
    if (::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) == 0) return MillisecondsSince(since);
  }
}

struct TcpTool {
  testing::LinkFixture f;
  krt6::Result last;
  Protocol protocol{f.layer, [](int) {}};
  explicit TcpTool(int port) {
    SystemLinkOptions links;
    links.Usb = std::make_shared<testing::NoUsb>();
    f.options = links;
    f.settings.Tcp.IPAddr = "127.0.0.1";
    f.settings.Tcp.Port = port;
    f.Use(lkEthernet);
  }
  ResultCode Status(std::int32_t& status) {
    int version = 4;
    return (last = protocol.ExecuteCommand<ckReadStatus>(status, version)).code;
  }
  ResultCode Lan(LanSettings& lan, bool write) {
    int version = 4;
    return write ? (last = protocol.ExecuteCommand<ckWriteLanSettings>(lan, version)).code
                 : (last = protocol.ExecuteCommand<ckReadLanSettings>(lan, version)).code;
  }
};

TEST(EmulatorServingTest, NoClientHoldsUpAnotherAndIdleOnesAreClosed) {
  const int before = testing::OpenDescriptorCount();
  EmulatorOptions o;
  o.Port = 0;
  o.IdleLimitMs = 1000;
  auto emu = std::make_unique<Emulator>(o);
  std::string error;
  ASSERT_TRUE(emu->Start(error)) << error;
  // A client that sends commands until neither the emulator nor the kernel takes more, and
  // reads none of the replies.
  const int never_reads = Connect(emu->Port());
  ASSERT_GE(never_reads, 0);
  const std::string flood = [] {
    std::string s;
    for (int i = 0; i < 2000; ++i) s += "{WS|}";
    return s;
  }();
  std::size_t flooded = 0;
  for (int idle_rounds = 0; idle_rounds < 20;) {
    const ssize_t n = ::send(never_reads, flood.data(), flood.size(), MSG_DONTWAIT);
    if (n > 0) {
      flooded += static_cast<std::size_t>(n);
      idle_rounds = 0;
    } else {
      ++idle_rounds;
      ::usleep(5000);
    }
  }
  EXPECT_GT(flooded, 64'000u);
  // One that connects and sends nothing, one that stops in the middle of a frame.
  const auto opened = Clock::now();
  const int silent = Connect(emu->Port());
  const int half_frame = Connect(emu->Port());
  ASSERT_GE(silent, 0);
  ASSERT_GE(half_frame, 0);
  ASSERT_EQ(::send(half_frame, "{IP;2,001,", 10, 0), 10);  // the rest comes later

  // The tool is served at once, on the printer state every connection shares.
  auto tool = std::make_unique<TcpTool>(emu->Port());
  LanSettings sent;
  sent.LanFlag = 1;
  const std::int32_t ip[4] = {10, 9, 8, 7};
  std::memcpy(sent.IpAddress, ip, sizeof ip);
  sent.SocketPortMode = 1;
  sent.SocketPort = 9100;
  std::memcpy(sent.DhcpId, "0123456789ABCDEF0123456789ABCDEF", 33);
  std::memcpy(sent.DhcpHostName, "SHARED", 7);
  const auto start = Clock::now();
  ASSERT_EQ(tool->Lan(sent, true), kSuccess) << tool->last.Text();
  LanSettings got;
  {
    TcpTool other(emu->Port());
    ASSERT_EQ(other.Lan(got, false), kSuccess) << other.last.Text();
  }
  EXPECT_LT(MillisecondsSince(start), 800);  // a held-up exchange would wait the 1 s idle limit
  EXPECT_EQ(+got.IpAddress[0], 10);
  EXPECT_EQ(+got.IpAddress[3], 7);
  EXPECT_STREQ(got.DhcpHostName, "SHARED");
  EXPECT_GE(emu->Connections(), 5);

  // Each connection frames its own bytes: the tool's frames in between did not end the half
  // frame, its rest does.
  ASSERT_EQ(::send(half_frame, "002,003,004|}", 13, 0), 13);
  const auto half_frame_done = Clock::now();
  for (int i = 0; i < 100 && emu->State().Lan.Ip[0] != 1; ++i) ::usleep(5000);
  const emulator::PrinterState state = emu->State();
  EXPECT_EQ(std::vector<int>(state.Lan.Ip, state.Lan.Ip + 4), (std::vector<int>{1, 2, 3, 4}));

  // The connections that carry nothing are closed at the idle limit, the one whose replies
  // pile up unread as well; the connection still in use stays.
  ASSERT_LT(MillisecondsSince(opened), 800) << "too slow to time the idle limit";
  // Never before the limit; how late after it a busy machine gets is bounded generously.
  for (const double closed :
       {MsUntilClosed(silent, opened, 3000), MsUntilClosed(half_frame, half_frame_done, 3000)}) {
    EXPECT_GE(closed, 950);
    EXPECT_LT(closed, 2900);
  }
  EXPECT_GT(MsUntilClosed(never_reads, opened, 3000), 0);

  // Ends at once with a client that never reads.
  const int blocked = Connect(emu->Port());
  while (::send(blocked, flood.data(), flood.size(), MSG_DONTWAIT) > 0) {
  }
  ::usleep(50000);
  const auto stop = Clock::now();
  emu.reset();
  EXPECT_LT(MillisecondsSince(stop), 600);  // not the 1 s idle limit
  for (int fd : {silent, half_frame, never_reads, blocked}) ::close(fd);
  tool.reset();  // its link layer holds the descriptor that wakes a cancelled wait
  EXPECT_EQ(testing::OpenDescriptorCount(), before);
}

TEST(EmulatorServingTest, PrintersOfOneEmulatorKeepTheirOwnStateAndVary) {
  EmulatorOptions o;
  o.Port = 0;
  o.Count = 3;
  o.Vary = true;
  o.Printer.Lan.Ip[3] = 254;  // the addresses carry into the next part
  std::vector<std::string> log;
  std::mutex log_mutex;
  o.Log = [&](const std::string& line) {
    std::lock_guard<std::mutex> lock(log_mutex);
    log.push_back(line);
  };
  Emulator emu(o);
  std::string error;
  ASSERT_TRUE(emu.Start(error)) << error;
  ASSERT_EQ(emu.Count(), 3);
  EXPECT_NE(emu.Port(0), emu.Port(1));
  EXPECT_NE(emu.Port(1), emu.Port(2));

  const char* names[] = {"KRT60001", "KRT60002", "KRT60003"};
  const int last_parts[][2] = {{10, 254}, {10, 255}, {11, 0}};
  for (int i = 0; i < 3; ++i) {
    TcpTool tool(emu.Port(i));
    LanSettings lan;
    ASSERT_EQ(tool.Lan(lan, false), kSuccess) << tool.last.Text();
    EXPECT_STREQ(lan.DhcpHostName, names[i]);
    EXPECT_EQ(+lan.IpAddress[2], last_parts[i][0]) << i;
    EXPECT_EQ(+lan.IpAddress[3], last_parts[i][1]) << i;
  }
  // A setting on one printer stays on that printer.
  TcpTool second(emu.Port(1));
  LanSettings lan;
  ASSERT_EQ(second.Lan(lan, false), kSuccess);
  std::memcpy(lan.DhcpHostName, "CHANGED", 8);
  ASSERT_EQ(second.Lan(lan, true), kSuccess);
  for (int i = 0; i < 100 && emu.CommandTexts(1).size() < 9; ++i) ::usleep(2000);
  EXPECT_EQ(emu.State(1).Lan.HostName, "CHANGED");
  EXPECT_EQ(emu.State(0).Lan.HostName, "KRT60001");
  EXPECT_EQ(emu.State(2).Lan.HostName, "KRT60003");
  EXPECT_EQ(emu.CommandTexts(0), std::vector<std::string>{"Z5;3"});
  EXPECT_EQ(emu.CommandTexts(1).size(), 9u);
  EXPECT_EQ(emu.Connections(2), 1);

  // Log lines name the printer by its port.
  emu.Stop();
  const std::string tag = "[" + std::to_string(emu.Port(2)) + "] ";
  int tagged = 0;
  for (const auto& line : log) tagged += line.rfind(tag, 0) == 0 ? 1 : 0;
  EXPECT_GE(tagged, 4);  // listening, accepted, the command, the reply
}

TEST(EmulatorServingTest, APacedLineChargesEachCommandItsOwnWireTime) {
  EmulatorOptions o;
  o.Kind = Transport::kPty;
  o.Spoil.LineRate = 9600;
  Emulator emu(o);
  std::string error;
  ASSERT_TRUE(emu.Start(error)) << error;
  auto ports = std::make_shared<testing::MapPorts>();
  ports->Serial["COM1"] = emu.DevicePath();
  testing::LinkFixture f;
  SystemLinkOptions links;
  links.Ports = ports;
  links.Usb = std::make_shared<testing::NoUsb>();
  f.options = links;
  f.settings.Serial.BaudRateIndex = 2;  // 9600
  f.Use(lkCom);
  krt6::Result last;
  Protocol protocol(f.layer, [](int) {});
  int version = 4;
  const double byte_ms = 10'000.0 / 9600;

  // A pseudo terminal takes the twenty writes at once; the read after them is answered as soon
  // as its own command and reply have crossed the line.
  for (int i = 0; i < 20; ++i) {
    ParameterBlock block;
    ASSERT_EQ((last = protocol.ExecuteCommand<ckWriteParameters>(block, version)).code, kSuccess);
  }
  LanSettings lan;
  auto start = Clock::now();
  ASSERT_EQ((last = protocol.ExecuteCommand<ckReadLanSettings>(lan, version)).code, kSuccess)
      << last.Text();
  const double read_ms = MillisecondsSince(start);
  EXPECT_GE(read_ms, (7 + 99) * byte_ms);
  // Waiting for the writes' bytes as well would take more than a second longer.
  EXPECT_LT(read_ms, (7 + 99) * byte_ms + 500);

  // The line carries one exchange's commands one after another: the last byte of a parameter
  // write leaves as long after the first arrived as its bytes take.
  for (int i = 0; i < 50 && emu.Commands().size() < 61; ++i) ::usleep(10000);
  std::this_thread::sleep_until(emu.Commands().back().LineDone);  // the line is free again
  emu.ClearLog();
  ParameterBlock block;
  start = Clock::now();
  ASSERT_EQ((last = protocol.ExecuteCommand<ckWriteParameters>(block, version)).code, kSuccess);
  for (int i = 0; i < 1000 && emu.Commands().size() < 3; ++i) ::usleep(2000);
  const auto commands = emu.Commands();
  ASSERT_EQ(commands.size(), 3u);
  std::size_t bytes = 0;
  for (const auto& c : commands) bytes += c.Raw.size();
  const double line_ms =
      std::chrono::duration<double, std::milli>(commands[2].LineDone - start).count();
  EXPECT_GE(line_ms, static_cast<double>(bytes) * byte_ms);
  EXPECT_LT(line_ms, static_cast<double>(bytes) * byte_ms + 500);  // generous: a busy machine
  for (std::size_t i = 1; i < 3; ++i) {
    const double apart =
        std::chrono::duration<double, std::milli>(commands[i].LineDone - commands[i - 1].LineDone)
            .count();
    EXPECT_NEAR(apart, static_cast<double>(commands[i].Raw.size()) * byte_ms, 0.01) << i;
  }

  // A command that comes in pieces arrived with its first piece.
  emu.ClearLog();
  const int line = ::open(emu.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(line, 0);
  Clock::time_point sent[3];
  for (int i = 0; const char* piece : {"{Z5", ";3|}{W", "S|}"}) {
    if (i > 0) ::usleep(300000);
    sent[i++] = Clock::now();
    ASSERT_GT(::write(line, piece, std::strlen(piece)), 0);
  }
  for (int i = 0; i < 1000 && emu.Commands().size() < 2; ++i) ::usleep(2000);
  ::close(line);
  const auto pieces = emu.Commands();
  ASSERT_EQ(pieces.size(), 2u);
  for (int i = 0; i < 2; ++i) {
    const double late =
        std::chrono::duration<double, std::milli>(pieces[i].Arrived - sent[i]).count();
    EXPECT_NEAR(late, 0, 150) << i;  // a command stamped at its end would be 300 ms late
  }
}

}  // namespace
}  // namespace krt6

namespace krt6 {
namespace {

// A connection the emulator closes while a forked child still holds a copy of its descriptor
// (as a child does between fork and exec when a test starts a program) is never reported again:
// its state is freed at once, and the emulator goes on serving.
TEST(EmulatorServingTest, AClosedConnectionSharedWithAChildIsNotReportedAgain) {
  EmulatorOptions o;
  o.Port = 0;
  Emulator emu(o);
  std::string error;
  ASSERT_TRUE(emu.Start(error)) << error;
  std::int32_t status = 0;
  for (int round = 0; round < 3; ++round) {
    const int client = Connect(emu.Port());
    ASSERT_GE(client, 0);
    TcpTool first(emu.Port());
    ASSERT_EQ(first.Status(status), kSuccess);  // the emulator has accepted `client` by now
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(client);  // only the emulator's end stays shared
      ::usleep(300'000);
      ::_exit(0);
    }
    // The emulator sees the end of the stream, closes its side and frees the connection while
    // the child keeps the socket readable at its end of file.
    ::close(client);
    ::usleep(50'000);
    TcpTool tool(emu.Port());
    EXPECT_EQ(tool.Status(status), kSuccess) << "round " << round;
    testing::WaitChild(child, 10000);
  }
  emu.Stop();
}

}  // namespace
}  // namespace krt6
