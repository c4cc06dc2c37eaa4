// The USB link over a device source whose printer is the emulator's model, and the libusb source
// on this machine.
#include <gtest/gtest.h>

#include <cerrno>

#include "link/link_kinds.h"
#include "link/usb_link.h"
#include "protocol/protocol.h"
#include "support/emulated_usb.h"
#include "support/fake_link.h"

namespace krt6 {
namespace {

using testing::EmulatedUsbSource;
using testing::EmulatedUsbState;
using testing::LinkFixture;

struct UsbBench {
  std::shared_ptr<EmulatedUsbState> state = std::make_shared<EmulatedUsbState>();
  LinkFixture f;
  UsbBench() {
    f.layer.SetBackend(lkUsb,
                       std::make_unique<UsbLink>(std::make_shared<EmulatedUsbSource>(state)));
  }
  ResultCode Status(std::int32_t& status) {
    Protocol protocol(f.layer, [](int) {});
    int version = 4;
    f.failure = protocol.ExecuteCommand<ckReadStatus>(status, version);
    return f.failure.code;
  }
};

TEST(UsbLinkTest, StatusQueryRoundTripWithPacketsAndLimits) {
  UsbBench b;
  b.state->model.MutableState().Status[0] = '1';
  b.state->model.MutableState().Status[1] = '1';
  std::int32_t status = 0;
  ASSERT_EQ(b.Status(status), kSuccess) << b.f.failure.Text();
  EXPECT_EQ(status, 8);  // "Paper JAM"
  ASSERT_EQ(b.state->commands.size(), 1u);
  EXPECT_EQ(b.state->commands[0].Raw, (std::vector<std::uint8_t>{'{', 'W', 'S', '|', '}'}));
  EXPECT_EQ(b.state->write_timeouts, (std::vector<unsigned>{5000 + 10 * 5}));
  EXPECT_EQ(b.state->read_sizes,
            (std::vector<std::size_t>{64}));  // one full packet, served from the ring
  EXPECT_EQ(b.state->read_timeouts, (std::vector<unsigned>{5000}));
  EXPECT_EQ(b.state->devices_alive, 0) << "the device is released at close";
  // The device list is read again at every open.
  ASSERT_EQ(b.Status(status), kSuccess);
  EXPECT_EQ(b.state->opens, 2);
}

TEST(UsbLinkTest, WritesInChunksOf64Bytes) {
  UsbBench b;
  LinkConnection h = b.f.Open(lkUsb);
  ASSERT_TRUE(h.Ok());
  std::vector<std::uint8_t> data(130, 'x');
  ASSERT_TRUE(b.f.Write(h, data.data(), 130));
  EXPECT_EQ(b.state->write_sizes, (std::vector<std::size_t>{64, 64, 2}));
  EXPECT_EQ(b.state->write_timeouts, (std::vector<unsigned>{5640, 5640, 5020}));
  h.Close();
}

TEST(UsbLinkTest, FaultsEndWithTheirResultAndSayWhy) {
  std::int32_t status = 0;
  {
    UsbBench b;
    b.state->absent = true;
    EXPECT_EQ(b.Status(status), kPortOpenError);
    EXPECT_EQ(b.f.failure.cause, Cause::kNotFound);
    EXPECT_NE(b.f.failure.Text().find("6f2d"), std::string::npos);
  }
  {
    UsbBench b;
    b.state->absent = true;
    b.state->open_error = SystemFailure("USB 6f2d:0001", EACCES, "LIBUSB_ERROR_ACCESS", true);
    EXPECT_EQ(b.Status(status), kPortOpenError);
    EXPECT_EQ(b.f.failure.cause, Cause::kPermission);
    EXPECT_EQ(b.f.failure.hint, FindLinkKind(lkUsb)->hint(Cause::kPermission));
    EXPECT_NE(b.f.failure.Text().find("udev rule"), std::string::npos);
  }
  {
    UsbBench b;
    b.state->no_reply = true;
    EXPECT_EQ(b.Status(status), kReceivingError);
    EXPECT_EQ(b.f.failure.cause, Cause::kTimedOut);
    EXPECT_EQ(b.state->devices_alive, 0);
  }
  {
    UsbBench b;
    b.state->unplug_on_read = true;
    EXPECT_EQ(b.Status(status), kReceivingError);
    EXPECT_EQ(b.f.failure.cause, Cause::kGone);
    EXPECT_NE(b.f.failure.Text().find("unplugged"), std::string::npos);
  }
  {
    UsbBench b;
    b.state->write_accept_limit = 3;  // the printer stops taking data
    EXPECT_EQ(b.Status(status), kTransmissionError);
    EXPECT_EQ(b.state->devices_alive, 0);
  }
  {
    // Unplugged between two exchanges.
    UsbBench b;
    EXPECT_EQ(b.Status(status), kSuccess);
    b.state->absent = true;
    EXPECT_EQ(b.Status(status), kPortOpenError);
  }
}

TEST(UsbLinkTest, BusPortPathsAreWrittenAsSysfsNamesThem) {
  for (const char* good : {"1-1", "1-2.3", "12-1.2.3.4.5.6.7", "255-255"}) {
    EXPECT_TRUE(IsUsbPortPath(good)) << good;
  }
  for (const char* bad : {"", "1", "1-", "-1", "1-2.", "1-.2", "01-2", "1-02", "0-1", "1-0",
                          "256-1", "1-2.3.4.5.6.7.8.9", "usb1", "1-2:1.0", "1-2 "}) {
    EXPECT_FALSE(IsUsbPortPath(bad)) << bad;
  }
  UsbDeviceInfo info;
  info.Bus = 3;
  info.Ports = {2, 10};
  EXPECT_EQ(info.PortPath(), "3-2.10");
  EXPECT_EQ((UsbSelector{"3-2.10", "A1"}).Describe(), "3-2.10, serial number A1");
  EXPECT_EQ(UsbSelector{}.Describe(), "any");
}

TEST(UsbLinkTest, LibusbSourceOnThisMachineFindsNoPrinterAndSaysSo) {
  // No device with the printer's vendor id is attached to the build machines.
  auto source = MakeLibusbDeviceSource();
  Result error;
  auto device = source->OpenPrinter(kPrinterVendorId, {}, error);
  if (device) GTEST_SKIP() << "a printer is attached";
  EXPECT_TRUE(error.Failed());
  LinkFixture f;
  f.layer.SetBackend(
      lkUsb, std::make_unique<UsbLink>(std::shared_ptr<UsbDeviceSource>(std::move(source))));
  EXPECT_FALSE(f.Open(lkUsb).Ok());
  EXPECT_FALSE(f.failure.Text().empty());
}

}  // namespace
}  // namespace krt6
