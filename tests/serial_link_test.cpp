// The serial link against pseudo terminals: the link opens the slave, the test holds the master.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <thread>

#include "link/serial_link.h"
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
  SerialLink* link = nullptr;

  explicit SerialBench(SerialTimings timings = {}) {
    ports->Serial["COM3"] = pty.SlavePath();
    auto backend = std::make_unique<SerialLink>(ports, timings);
    link = backend.get();
    f.layer.SetBackend(lkCom, std::move(backend));
    f.settings.Serial.PortName = "COM3";
  }
};

TEST(SerialLinkTest, OpensTheResolvedDeviceAndAppliesTheLine) {
  SerialBench b;
  ASSERT_TRUE(b.pty.Ok());
  b.f.settings.Serial.BaudRateIndex = 6;
  b.f.settings.Serial.HdShakIndex = 2;
  b.f.settings.Serial.SWShakIndex = 1;
  const LinkHandle h = b.f.layer.OpenLink(lkCom);
  ASSERT_NE(h, kInvalidLinkHandle) << b.f.layer.LastError();
  const termios t = b.pty.Attributes();
  EXPECT_EQ(cfgetospeed(&t), B115200);
  EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
  EXPECT_EQ(::fcntl(static_cast<int>(h), F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
  b.f.layer.CloseLink(lkCom, h);

  // An edit between two exchanges takes effect at the next open.
  b.f.settings.Serial.BaudRateIndex = 0;
  b.f.settings.Serial.SWShakIndex = 0;
  const LinkHandle h2 = b.f.layer.OpenLink(lkCom);
  ASSERT_NE(h2, kInvalidLinkHandle);
  const termios t2 = b.pty.Attributes();
  EXPECT_EQ(cfgetospeed(&t2), B2400);
  EXPECT_EQ(t2.c_iflag & (IXON | IXOFF), 0u);
  b.f.layer.CloseLink(lkCom, h2);
}

TEST(SerialLinkTest, WritesEveryChunkAndPurgesStaleInputAtOpen) {
  SerialBench b;
  b.pty.Send("stale");  // left over from an earlier exchange: purged by the open
  b.pty.Receive(50);    // a fresh terminal echoes it back; drop the echo
  const LinkHandle h = b.f.layer.OpenLink(lkCom);
  ASSERT_NE(h, kInvalidLinkHandle);
  std::vector<std::uint8_t> data(130);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>('A' + i % 26);
  ASSERT_TRUE(b.f.layer.LinkWrite(h, lkCom, data.data(), 130));
  EXPECT_EQ(b.pty.Receive(), std::string(data.begin(), data.end()));
  b.pty.Send("R");
  std::uint8_t byte = 0;
  ASSERT_TRUE(b.f.layer.LinkReadByte(h, lkCom, byte));
  EXPECT_EQ(byte, 'R');
  b.f.layer.CloseLink(lkCom, h);
}

TEST(SerialLinkTest, ReadTimingKeepsTheLimitsWithoutBlindPauses) {
  SerialBench b;
  const LinkHandle h = b.f.layer.OpenLink(lkCom);
  ASSERT_NE(h, kInvalidLinkHandle);
  std::uint8_t byte = 0;

  // A byte already waiting comes at once.
  b.pty.Send("A");
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  auto start = Clock::now();
  ASSERT_TRUE(b.f.layer.LinkReadByte(h, lkCom, byte));
  EXPECT_EQ(byte, 'A');
  EXPECT_LT(MillisecondsSince(start), 50);

  // Nothing: the read fails about 1200 ms after the call.
  start = Clock::now();
  EXPECT_FALSE(b.f.layer.LinkReadByte(h, lkCom, byte));
  const double none = MillisecondsSince(start);
  EXPECT_GE(none, 1190);
  EXPECT_LT(none, 1350);
  EXPECT_NE(b.f.layer.LastError().find("no reply"), std::string::npos) << b.f.layer.LastError();

  // A byte that arrives during what used to be a pause is taken when it arrives.
  start = Clock::now();
  std::thread late([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(330));
    b.pty.Send("B");
  });
  ASSERT_TRUE(b.f.layer.LinkReadByte(h, lkCom, byte));
  const double taken = MillisecondsSince(start);
  late.join();
  EXPECT_EQ(byte, 'B');
  EXPECT_GE(taken, 320);
  EXPECT_LT(taken, 390);  // not at the next 200 ms step (400)

  // A byte that first arrives after the last attempt (about 1000 ms) is not returned by that
  // call; the call still fails at about 1200 ms and the byte waits for the next read.
  start = Clock::now();
  std::thread later([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    b.pty.Send("C");
  });
  EXPECT_FALSE(b.f.layer.LinkReadByte(h, lkCom, byte));
  const double missed = MillisecondsSince(start);
  later.join();
  EXPECT_GE(missed, 1190);
  EXPECT_LT(missed, 1350);
  start = Clock::now();
  ASSERT_TRUE(b.f.layer.LinkReadByte(h, lkCom, byte));
  EXPECT_EQ(byte, 'C');
  EXPECT_LT(MillisecondsSince(start), 50);
  b.f.layer.CloseLink(lkCom, h);
}

TEST(SerialLinkTest, APortIsHeldExclusively) {
  SerialBench b;
  const LinkHandle h = b.f.layer.OpenLink(lkCom);
  ASSERT_NE(h, kInvalidLinkHandle);
  SerialLink second(b.ports);
  const LinkSettingsView view{b.f.settings.Serial, b.f.settings.LptName, b.f.settings.Tcp};
  EXPECT_EQ(second.Open(view), kInvalidLinkHandle);
  EXPECT_NE(second.LastError().find("held by another program"), std::string::npos)
      << second.LastError();
  EXPECT_NE(second.LastError().find(b.pty.SlavePath()), std::string::npos);
  b.f.layer.CloseLink(lkCom, h);
  const LinkHandle again = second.Open(view);
  EXPECT_NE(again, kInvalidLinkHandle) << "closing must release the port";
  second.Close(again);
}

TEST(SerialLinkTest, AbsentDeviceAndUnknownNameFailWithTheirReason) {
  SerialBench b;
  b.ports->Serial["COM7"] = "/dev/krt6-no-such-tty";
  b.f.settings.Serial.PortName = "COM7";
  EXPECT_EQ(b.f.layer.OpenLink(lkCom), kInvalidLinkHandle);
  EXPECT_NE(b.f.layer.LastError().find("/dev/krt6-no-such-tty"), std::string::npos);
  EXPECT_NE(b.f.layer.LastError().find("No such file or directory"), std::string::npos)
      << b.f.layer.LastError();

  b.f.settings.Serial.PortName = "COM31";
  EXPECT_EQ(b.f.layer.OpenLink(lkCom), kInvalidLinkHandle);
  EXPECT_NE(b.f.layer.LastError().find("COM31"), std::string::npos);

  // A file that is no terminal is refused.
  b.ports->Serial["COM8"] = "/dev/null";
  b.f.settings.Serial.PortName = "COM8";
  EXPECT_EQ(b.f.layer.OpenLink(lkCom), kInvalidLinkHandle);
  EXPECT_NE(b.f.layer.LastError().find("not a serial port"), std::string::npos);
}

TEST(SerialLinkTest, PermissionDeniedNamesTheDialoutGroup) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a device the test user cannot open";
  SerialBench b;
  ASSERT_EQ(::chmod(b.pty.SlavePath().c_str(), 0600), 0);
  ASSERT_EQ(::chown(b.pty.SlavePath().c_str(), 0, 0), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    const LinkHandle h = b.f.layer.OpenLink(lkCom);
    const std::string& e = b.f.layer.LastError();
    const bool ok = h == kInvalidLinkHandle && e.find("Permission denied") != std::string::npos &&
                    e.find("dialout") != std::string::npos;
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(SerialLinkTest, HangUpEndsTheReadAtOnce) {
  SerialBench b;
  const LinkHandle h = b.f.layer.OpenLink(lkCom);
  ASSERT_NE(h, kInvalidLinkHandle);
  b.pty.CloseMaster();
  std::uint8_t byte = 0;
  const auto start = Clock::now();
  EXPECT_FALSE(b.f.layer.LinkReadByte(h, lkCom, byte));
  EXPECT_LT(MillisecondsSince(start), 300);
  EXPECT_NE(b.f.layer.LastError().find("went away"), std::string::npos) << b.f.layer.LastError();
  b.f.layer.CloseLink(lkCom, h);
}

TEST(SerialLinkTest, XoffStallsTheWriteUntilItsLimit) {
  SerialTimings timings;
  timings.WriteBaseMs = 300;
  timings.WritePerByteMs = 2;
  SerialBench b(timings);
  b.f.settings.Serial.SWShakIndex = 1;
  const LinkHandle h = b.f.layer.OpenLink(lkCom);
  ASSERT_NE(h, kInvalidLinkHandle);
  b.pty.Send("\x13");  // XOFF
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  std::vector<std::uint8_t> data(64, 'x');
  const auto start = Clock::now();
  EXPECT_FALSE(b.f.layer.LinkWrite(h, lkCom, data.data(), 64));
  const double took = MillisecondsSince(start);
  EXPECT_GE(took, 300 + 2 * 64 - 5);
  EXPECT_LT(took, 300 + 2 * 64 + 150);
  EXPECT_NE(b.f.layer.LastError().find("did not take the data"), std::string::npos)
      << b.f.layer.LastError();
  b.f.layer.CloseLink(lkCom, h);
}

TEST(SerialLinkTest, NoDescriptorLeaksOnAnyPath) {
  SerialBench b;
  b.ports->Serial["COM9"] = "/dev/krt6-no-such-tty";
  const int before = OpenDescriptorCount();
  for (int i = 0; i < 5; ++i) {
    b.f.settings.Serial.PortName = "COM3";
    const LinkHandle h = b.f.layer.OpenLink(lkCom);
    ASSERT_NE(h, kInvalidLinkHandle);
    b.f.layer.CloseLink(lkCom, h);
    b.f.settings.Serial.PortName = "COM9";
    EXPECT_EQ(b.f.layer.OpenLink(lkCom), kInvalidLinkHandle);
  }
  {
    // The link's destructor releases a port that was never closed.
    auto link = std::make_unique<SerialLink>(b.ports);
    b.f.settings.Serial.PortName = "COM3";
    const LinkSettingsView view{b.f.settings.Serial, b.f.settings.LptName, b.f.settings.Tcp};
    ASSERT_NE(link->Open(view), kInvalidLinkHandle);
  }
  EXPECT_EQ(OpenDescriptorCount(), before);
}

}  // namespace
}  // namespace krt6
