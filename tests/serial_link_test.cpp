// The serial link against pseudo terminals: the link opens the slave, the test holds the master.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <filesystem>

#include <thread>

#include "link/link_kinds.h"
#include "link/serial_link.h"
#include "support/child_wait.h"
#include "support/fake_link.h"
#include "support/os_bench.h"

namespace krt6 {
namespace {

using testing::LinkFixture;
using testing::MapPorts;
using testing::MillisecondsSince;
using testing::OpenDescriptorCount;
using testing::Pty;
using Clock = std::chrono::steady_clock;

struct SerialBench {
  Pty pty;
  std::shared_ptr<MapPorts> ports = std::make_shared<MapPorts>();
  LinkFixture f;

  explicit SerialBench(SerialTimings timings = {}) {
    ports->Serial["COM3"] = pty.SlavePath();
    f.options.Ports = ports;
    f.options.Serial = timings;
    f.settings.Serial.PortName = "COM3";
    f.Use(lkCom);
  }
};

// The descriptor this process holds open on `path`, or -1.
int DescriptorOf(const std::string& path) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (std::filesystem::read_symlink(entry.path(), error) == path) {
      return std::stoi(entry.path().filename().string());
    }
  }
  return -1;
}

TEST(SerialLinkTest, OpensTheResolvedDeviceAndAppliesTheLine) {
  SerialBench b;
  ASSERT_TRUE(b.pty.Ok());
  b.f.settings.Serial.BaudRateIndex = 6;
  b.f.settings.Serial.HdShakIndex = 2;
  b.f.settings.Serial.SWShakIndex = 1;
  LinkConnection h = b.f.Open(lkCom);
  ASSERT_TRUE(h.Ok()) << b.f.failure.Text();
  const termios t = b.pty.Attributes();
  EXPECT_EQ(cfgetospeed(&t), B115200);
  EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
  EXPECT_EQ(::fcntl(DescriptorOf(b.pty.SlavePath()), F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
  h.Close();

  // An edit between two exchanges takes effect at the next open.
  b.f.settings.Serial.BaudRateIndex = 0;
  b.f.settings.Serial.SWShakIndex = 0;
  LinkConnection h2 = b.f.Open(lkCom);
  ASSERT_TRUE(h2.Ok());
  const termios t2 = b.pty.Attributes();
  EXPECT_EQ(cfgetospeed(&t2), B2400);
  EXPECT_EQ(t2.c_iflag & (IXON | IXOFF), 0u);
  h2.Close();

  // The line is set only when it differs; what another program changed in between is set back.
  termios other = t2;
  cfsetospeed(&other, B9600);
  cfsetispeed(&other, B9600);
  other.c_lflag |= ECHO;
  ASSERT_EQ(::tcsetattr(b.pty.Master(), TCSANOW, &other), 0);
  LinkConnection h3 = b.f.Open(lkCom);
  ASSERT_TRUE(h3.Ok());
  const termios t3 = b.pty.Attributes();
  EXPECT_EQ(cfgetospeed(&t3), B2400);
  EXPECT_EQ(t3.c_lflag & ECHO, 0u);
  h3.Close();
}

TEST(SerialLinkTest, WritesEveryChunkAndPurgesStaleInputAtOpen) {
  SerialBench b;
  b.pty.Send("stale");  // left over from an earlier exchange: purged by the open
  b.pty.Receive(50);    // a fresh terminal echoes it back; drop the echo
  LinkConnection h = b.f.Open(lkCom);
  ASSERT_TRUE(h.Ok());
  std::vector<std::uint8_t> data(130);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>('A' + i % 26);
  ASSERT_TRUE(b.f.Write(h, data.data(), 130));
  EXPECT_EQ(b.pty.Receive(), std::string(data.begin(), data.end()));
  b.pty.Send("R");
  std::uint8_t byte = 0;
  ASSERT_TRUE(b.f.ReadByte(h, byte));
  EXPECT_EQ(byte, 'R');
  h.Close();
}

TEST(SerialLinkTest, ReadTimingKeepsTheLimitsWithoutBlindPauses) {
  SerialBench b;
  LinkConnection h = b.f.Open(lkCom);
  ASSERT_TRUE(h.Ok());
  std::uint8_t byte = 0;

  // A byte already waiting comes at once.
  b.pty.Send("A");
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  auto start = Clock::now();
  ASSERT_TRUE(b.f.ReadByte(h, byte));
  EXPECT_EQ(byte, 'A');
  EXPECT_LT(MillisecondsSince(start), 150);  // not after a 200 ms pause

  // Nothing: the read fails about 1200 ms after the call.
  start = Clock::now();
  EXPECT_FALSE(b.f.ReadByte(h, byte));
  const double none = MillisecondsSince(start);
  EXPECT_GE(none, 1190);
  EXPECT_LT(none, 1350);
  EXPECT_NE(b.f.failure.Text().find("no reply"), std::string::npos) << b.f.failure.Text();

  // A byte that arrives during what used to be a pause is taken when it arrives: not at the next
  // 200 ms step (400). A busy machine can be late by itself now and then, so the best of three
  // tries counts; a reader that still pauses is late in every one.
  double taken = 1e9;
  for (int attempt = 0; attempt < 3 && !(taken < 390); ++attempt) {
    start = Clock::now();
    std::thread late([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(330));
      b.pty.Send("B");
    });
    ASSERT_TRUE(b.f.ReadByte(h, byte));
    taken = MillisecondsSince(start);
    late.join();
    EXPECT_EQ(byte, 'B');
    EXPECT_GE(taken, 320);
  }
  EXPECT_LT(taken, 390);

  // A byte that first arrives after the last attempt (about 1000 ms) is not returned by that
  // call; the call still fails at about 1200 ms and the byte waits for the next read.
  start = Clock::now();
  std::thread later([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    b.pty.Send("C");
  });
  EXPECT_FALSE(b.f.ReadByte(h, byte));
  const double missed = MillisecondsSince(start);
  later.join();
  EXPECT_GE(missed, 1190);
  EXPECT_LT(missed, 1350);
  start = Clock::now();
  ASSERT_TRUE(b.f.ReadByte(h, byte));
  EXPECT_EQ(byte, 'C');
  EXPECT_LT(MillisecondsSince(start), 150);
  h.Close();
}

TEST(SerialLinkTest, APortIsHeldExclusively) {
  SerialBench b;
  LinkConnection h = b.f.Open(lkCom);
  ASSERT_TRUE(h.Ok());
  SerialLink second(b.ports, {}, b.f.settings.Serial);
  Result failure;
  EXPECT_EQ(second.Open(failure), kInvalidLinkHandle);
  EXPECT_EQ(failure.cause, Cause::kBusy) << failure.Describe();
  EXPECT_NE(failure.device.find(b.pty.SlavePath()), std::string::npos);
  h.Close();
  const LinkHandle again = second.Open(failure);
  EXPECT_NE(again, kInvalidLinkHandle) << "closing must release the port";
  second.Close(again);
}

TEST(SerialLinkTest, AbsentDeviceAndUnknownNameFailWithTheirReason) {
  SerialBench b;
  b.ports->Serial["COM7"] = "/dev/krt6-no-such-tty";
  b.f.settings.Serial.PortName = "COM7";
  EXPECT_FALSE(b.f.Open(lkCom).Ok());
  EXPECT_NE(b.f.failure.Text().find("/dev/krt6-no-such-tty"), std::string::npos);
  EXPECT_NE(b.f.failure.Text().find("No such file or directory"), std::string::npos)
      << b.f.failure.Text();

  b.f.settings.Serial.PortName = "COM31";
  EXPECT_FALSE(b.f.Open(lkCom).Ok());
  EXPECT_NE(b.f.failure.Text().find("COM31"), std::string::npos);

  // A file that is no terminal is refused.
  b.ports->Serial["COM8"] = "/dev/null";
  b.f.settings.Serial.PortName = "COM8";
  EXPECT_FALSE(b.f.Open(lkCom).Ok());
  EXPECT_NE(b.f.failure.Text().find("not a serial port"), std::string::npos);
}

TEST(SerialLinkTest, PermissionDeniedNamesTheDialoutGroup) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a device the test user cannot open";
  SerialBench b;
  ASSERT_EQ(::chmod(b.pty.SlavePath().c_str(), 0600), 0);
  ASSERT_EQ(::chown(b.pty.SlavePath().c_str(), 0, 0), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    LinkConnection h = b.f.Open(lkCom);
    const Result& e = b.f.failure;
    const bool ok = !h.Ok() && e.cause == Cause::kPermission && e.error_number == EACCES &&
                    e.hint == FindLinkKind(lkCom)->hint(Cause::kPermission);
    ::_exit(ok ? 0 : 1);
  }
  const int status = testing::WaitChild(child, 30000);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(SerialLinkTest, HangUpEndsTheReadAtOnce) {
  SerialBench b;
  LinkConnection h = b.f.Open(lkCom);
  ASSERT_TRUE(h.Ok());
  b.pty.CloseMaster();
  std::uint8_t byte = 0;
  const auto start = Clock::now();
  EXPECT_FALSE(b.f.ReadByte(h, byte));
  EXPECT_LT(MillisecondsSince(start), 900);  // not the 1200 ms read limit
  EXPECT_NE(b.f.failure.Text().find("went away"), std::string::npos) << b.f.failure.Text();
  h.Close();
}

TEST(SerialLinkTest, XoffStallsTheWriteUntilItsLimit) {
  SerialTimings timings;
  timings.WriteBaseMs = 300;
  timings.WritePerByteMs = 2;
  SerialBench b(timings);
  b.f.settings.Serial.SWShakIndex = 1;
  LinkConnection h = b.f.Open(lkCom);
  ASSERT_TRUE(h.Ok());
  b.pty.Send("\x13");  // XOFF
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  std::vector<std::uint8_t> data(64, 'x');
  const auto start = Clock::now();
  EXPECT_FALSE(b.f.Write(h, data.data(), 64));
  const double took = MillisecondsSince(start);
  EXPECT_GE(took, 300 + 2 * 64 - 5);
  EXPECT_LT(took, 300 + 2 * 64 + 500);
  EXPECT_NE(b.f.failure.Text().find("did not take the data"), std::string::npos)
      << b.f.failure.Text();
  h.Close();
}

TEST(SerialLinkTest, NoDescriptorLeaksOnAnyPath) {
  SerialBench b;
  b.ports->Serial["COM9"] = "/dev/krt6-no-such-tty";
  const int before = OpenDescriptorCount();
  for (int i = 0; i < 5; ++i) {
    b.f.settings.Serial.PortName = "COM3";
    LinkConnection h = b.f.Open(lkCom);
    ASSERT_TRUE(h.Ok());
    h.Close();
    b.f.settings.Serial.PortName = "COM9";
    EXPECT_FALSE(b.f.Open(lkCom).Ok());
  }
  {
    // The link's destructor releases a port that was never closed.
    b.f.settings.Serial.PortName = "COM3";
    auto link = std::make_unique<SerialLink>(b.ports, SerialTimings{}, b.f.settings.Serial);
    Result failure;
    ASSERT_NE(link->Open(failure), kInvalidLinkHandle);
  }
  EXPECT_EQ(OpenDescriptorCount(), before);
}

}  // namespace
}  // namespace krt6
