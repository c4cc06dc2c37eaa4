// The real libusb code of the USB link against an emulated printer (vendor id 6f2d, bulk
// endpoints 0x01 and 0x81) in a umockdev testbed: usbdevfs requests are answered by a handler
// that feeds the emulator's printer model. The test runs itself again under the umockdev
// preload library when it was not started under it.
#include <gtest/gtest.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <umockdev.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "emulator/printer_model.h"
#include "link/usb_link.h"
#include "protocol/protocol.h"
#include "support/child_wait.h"
#include "support/fake_link.h"
#include "support/os_bench.h"

namespace krt6 {
namespace {

using Clock = std::chrono::steady_clock;

// What the emulated printer's usbdevfs node does with the requests libusb makes.
struct UsbDevfsPrinter {
  std::mutex mutex;
  emulator::PrinterModel model;
  std::vector<emulator::ReceivedCommand> commands;
  std::deque<std::uint8_t> pending;  // reply bytes not yet read
  bool no_reply = false;
  std::vector<UMockdevIoctlData*> flying;  // IN requests waiting for data
  std::vector<UMockdevIoctlData*> done;    // requests ready to be reaped
  std::vector<unsigned long> unknown;      // requests this handler does not know
  int claims = 0;

  // Completes waiting IN requests with what the printer has to say.
  void ServeReads() {
    while (!flying.empty() && !pending.empty()) {
      UMockdevIoctlData* urb_data = flying.front();
      flying.erase(flying.begin());
      auto* urb = reinterpret_cast<usbdevfs_urb*>(urb_data->data);
      GError* error = nullptr;
      UMockdevIoctlData* buffer =
          umockdev_ioctl_data_resolve(urb_data, G_STRUCT_OFFSET(usbdevfs_urb, buffer),
                                      static_cast<gsize>(urb->buffer_length), &error);
      int n = 0;
      while (n < urb->buffer_length && n < 64 && !pending.empty()) {
        buffer->data[n++] = pending.front();
        pending.pop_front();
      }
      g_object_unref(buffer);
      urb->actual_length = n;
      urb->status = 0;
      done.push_back(urb_data);
    }
  }
};

gboolean HandleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer user) {
  auto* printer = static_cast<UsbDevfsPrinter*>(user);
  std::lock_guard<std::mutex> lock(printer->mutex);
  const unsigned long request = umockdev_ioctl_client_get_request(client);
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
  GError* error = nullptr;
  switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
      UMockdevIoctlData* caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(guint32), &error);
      *reinterpret_cast<guint32*>(caps->data) =
          USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM;
      g_object_unref(caps);
      umockdev_ioctl_client_complete(client, 0, 0);
      return TRUE;
    }
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_DISCONNECT_CLAIM:  // what libusb asks for when it may detach a kernel driver
      ++printer->claims;
      umockdev_ioctl_client_complete(client, 0, 0);
      return TRUE;
    case USBDEVFS_RELEASEINTERFACE:
    case USBDEVFS_SETINTERFACE:
    case USBDEVFS_CLEAR_HALT: umockdev_ioctl_client_complete(client, 0, 0); return TRUE;
    case USBDEVFS_GETDRIVER:
    case USBDEVFS_IOCTL:
      umockdev_ioctl_client_complete(client, -1, ENODATA);  // no kernel driver bound
      return TRUE;
    case USBDEVFS_SUBMITURB: {
      UMockdevIoctlData* urb_data =
          umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), &error);
      auto* urb = reinterpret_cast<usbdevfs_urb*>(urb_data->data);
      if (urb->type != USBDEVFS_URB_TYPE_BULK) {
        g_object_unref(urb_data);
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        return TRUE;
      }
      if ((urb->endpoint & 0x80) == 0) {
        UMockdevIoctlData* buffer =
            umockdev_ioctl_data_resolve(urb_data, G_STRUCT_OFFSET(usbdevfs_urb, buffer),
                                        static_cast<gsize>(urb->buffer_length), &error);
        std::vector<emulator::Reply> replies;
        printer->model.Feed(buffer->data, static_cast<std::size_t>(urb->buffer_length),
                            printer->commands, replies);
        g_object_unref(buffer);
        if (!printer->no_reply) {
          for (const auto& r : replies) {
            printer->pending.insert(printer->pending.end(), r.Bytes.begin(), r.Bytes.end());
          }
        }
        urb->actual_length = urb->buffer_length;
        urb->status = 0;
        printer->done.push_back(urb_data);
      } else {
        printer->flying.push_back(urb_data);
      }
      printer->ServeReads();
      umockdev_ioctl_client_complete(client, 0, 0);
      return TRUE;
    }
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY: {
      if (printer->done.empty()) {
        umockdev_ioctl_client_complete(client, -1, EAGAIN);
        return TRUE;
      }
      UMockdevIoctlData* urb_data = printer->done.front();
      printer->done.erase(printer->done.begin());
      UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(gpointer), &error);
      umockdev_ioctl_data_set_ptr(slot, 0, urb_data);
      g_object_unref(slot);
      g_object_unref(urb_data);
      umockdev_ioctl_client_complete(client, 0, 0);
      return TRUE;
    }
    case USBDEVFS_DISCARDURB: {
      const gulong address = *reinterpret_cast<gulong*>(arg->data);
      for (auto it = printer->flying.begin(); it != printer->flying.end(); ++it) {
        if ((*it)->client_addr == address) {
          auto* urb = reinterpret_cast<usbdevfs_urb*>((*it)->data);
          urb->status = -ENOENT;
          urb->actual_length = 0;
          printer->done.push_back(*it);
          printer->flying.erase(it);
          umockdev_ioctl_client_complete(client, 0, 0);
          return TRUE;
        }
      }
      umockdev_ioctl_client_complete(client, -1, EINVAL);
      return TRUE;
    }
    default:
      printer->unknown.push_back(request);
      umockdev_ioctl_client_complete(client, -1, ENOTTY);
      return TRUE;
  }
}

// Device, configuration, interface and endpoint descriptors of the emulated printer, as the
// kernel exposes them in sysfs.
std::vector<std::uint8_t> Descriptors() {
  return {
      18,   1,    0x00, 0x02, 0,    0,    0, 64,   0x2d,
      0x6f, 0x01, 0x00, 0x00, 0x01, 0,    0, 0,    1,   // device
      9,    2,    32,   0,    1,    1,    0, 0xc0, 50,  // config
      9,    4,    0,    0,    2,    0xff, 0, 0,    0,   // interface
      7,    5,    0x01, 2,    64,   0,    0,            // bulk OUT
      7,    5,    0x81, 2,    64,   0,    0,            // bulk IN
  };
}

class UmockdevUsbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!UnderPreload()) return;
    testbed_ = umockdev_testbed_new();
    // The device as the kernel shows it: sysfs attributes (the descriptors in hex) and the
    // usbdevfs node.
    AddDevice("1-1", 2, "", handler_ = NewHandler(printer_));
    syspath_ = g_strdup("/sys/devices/1-1");
  }

  static UMockdevIoctlBase* NewHandler(UsbDevfsPrinter& printer) {
    auto* handler =
        static_cast<UMockdevIoctlBase*>(g_object_new(UMOCKDEV_TYPE_IOCTL_BASE, nullptr));
    g_signal_connect(handler, "handle-ioctl", G_CALLBACK(HandleIoctl), &printer);
    return handler;
  }

  // A printer on bus 1 at `path` ("1-1") with device number `address`, its serial number string
  // `serial` (none when empty), its usbdevfs requests answered by `handler`.
  void AddDevice(const std::string& path, int address, const std::string& serial,
                 UMockdevIoctlBase* handler) {
    char node[32];
    std::snprintf(node, sizeof node, "bus/usb/001/%03d", address);
    std::string record = "P: /devices/" + path + "\nN: " + node + "\nE: DEVNAME=/dev/" + node +
                         "\nE: DEVTYPE=usb_device\nE: SUBSYSTEM=usb\nE: BUSNUM=001\n" +
                         "E: DEVNUM=" + std::string(node + 12) +
                         "\nA: busnum=1\nA: devnum=" + std::to_string(address) +
                         "\nA: speed=480\nA: bConfigurationValue=1\nA: idVendor=6f2d\n"
                         "A: idProduct=0001\n";
    if (!serial.empty()) record += "A: serial=" + serial + "\n";
    record += "H: descriptors=";
    char hex[4];
    for (std::uint8_t b : Descriptors()) {
      std::snprintf(hex, sizeof hex, "%02X", b);
      record += hex;
    }
    record += "\n";
    GError* add_error = nullptr;
    ASSERT_TRUE(umockdev_testbed_add_from_string(testbed_, record.c_str(), &add_error))
        << (add_error ? add_error->message : "");
    GError* error = nullptr;
    ASSERT_TRUE(umockdev_testbed_attach_ioctl(testbed_, ("/dev/" + std::string(node)).c_str(),
                                              handler, &error))
        << (error ? error->message : "");
  }
  void TearDown() override {
    if (handler_ != nullptr) g_object_unref(handler_);
    g_free(syspath_);
    if (testbed_ != nullptr) g_object_unref(testbed_);
  }

  // Runs this test again in a child under the umockdev preload library; true when this process
  // is the one to run the test body.
  static bool UnderPreload() { return std::getenv("KRT6_UMOCKDEV_CHILD") != nullptr; }

  static bool InMockEnvironment() {
    if (UnderPreload()) return true;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter =
        std::string("--gtest_filter=") + info->test_suite_name() + "." + info->name();
    const pid_t child = ::fork();
    if (child == 0) {
      std::string preload = "libumockdev-preload.so.0";
      if (const char* old = std::getenv("LD_PRELOAD")) preload += std::string(" ") + old;
      ::setenv("LD_PRELOAD", preload.c_str(), 1);
      ::setenv("KRT6_UMOCKDEV_CHILD", "1", 1);
      std::string asan = "verify_asan_link_order=0:detect_leaks=0";
      if (const char* old = std::getenv("ASAN_OPTIONS")) asan = std::string(old) + ":" + asan;
      ::setenv("ASAN_OPTIONS", asan.c_str(), 1);
      char self[] = "/proc/self/exe";
      char* argv[] = {self, const_cast<char*>(filter.c_str()), nullptr};
      ::execv(self, argv);
      ::_exit(127);
    }
    const int status = testing::WaitChild(child, 120000);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the test failed under umockdev (status " << status << ")";
    return false;
  }

  UMockdevTestbed* testbed_ = nullptr;
  gchar* syspath_ = nullptr;
  UMockdevIoctlBase* handler_ = nullptr;
  UsbDevfsPrinter printer_;
};

TEST_F(UmockdevUsbTest, StatusQueryAndReadLimitThroughLibusb) {
  if (!InMockEnvironment()) return;
  testing::LinkFixture f;
  std::shared_ptr<UsbDeviceSource> source = MakeLibusbDeviceSource();
  f.layer.SetBackend(lkUsb, std::make_unique<UsbLink>(source));
  krt6::Result last;
  Protocol protocol(f.layer, [](int) {});
  int version = 4;
  std::int32_t status = 0;
  {
    std::lock_guard<std::mutex> lock(printer_.mutex);
    printer_.model.MutableState().Status[0] = '0';
    printer_.model.MutableState().Status[1] = '4';
  }
  ASSERT_EQ((last = protocol.ExecuteCommand<ckReadStatus>(status, version)).code, kSuccess)
      << last.Text();
  EXPECT_EQ(status, 4);  // "PAUSE"
  {
    std::lock_guard<std::mutex> lock(printer_.mutex);
    ASSERT_EQ(printer_.commands.size(), 1u);
    EXPECT_EQ(printer_.commands[0].Text, "WS");
    EXPECT_EQ(printer_.claims, 1);
    EXPECT_TRUE(printer_.flying.empty());
  }

  // Two chunks of 64 bytes and one of 2 reach the device in order.
  LinkConnection h = f.Open(lkUsb);
  ASSERT_TRUE(h.Ok()) << f.failure.Text();
  std::string long_command = "{IH;0," + std::string(122, 'A') + "|}";
  ASSERT_EQ(long_command.size(), 130u);
  ASSERT_TRUE(f.Write(h, reinterpret_cast<const std::uint8_t*>(long_command.data()), 130));
  h.Close();
  {
    std::lock_guard<std::mutex> lock(printer_.mutex);
    ASSERT_EQ(printer_.commands.size(), 2u);
    EXPECT_EQ(printer_.commands[1].Text, "IH;0," + std::string(122, 'A'));
    printer_.no_reply = true;
  }

  // No reply: the read gives up after 5000 ms and the exchange is a receiving error.
  const auto start = Clock::now();
  EXPECT_EQ((last = protocol.ExecuteCommand<ckReadStatus>(status, version)).code, kReceivingError);
  const double took = testing::MillisecondsSince(start);
  EXPECT_GE(took, 4990);
  EXPECT_LT(took, 5500);
  EXPECT_NE(last.Text().find("5000 ms"), std::string::npos) << last.Text();
  std::lock_guard<std::mutex> lock(printer_.mutex);
  EXPECT_TRUE(printer_.unknown.empty()) << "unexpected request " << std::hex << printer_.unknown[0];
}

TEST_F(UmockdevUsbTest, ACancelEndsAWaitingReadThroughLibusb) {
  if (!InMockEnvironment()) return;
  testing::LinkFixture f;
  f.layer.SetBackend(lkUsb, std::make_unique<UsbLink>(MakeLibusbDeviceSource()));
  krt6::Result last;
  Protocol protocol(f.layer);
  {
    std::lock_guard<std::mutex> lock(printer_.mutex);
    printer_.no_reply = true;
  }
  int version = 4;
  std::int32_t status = 0;
  ResultCode result = kSuccess;
  std::thread worker(
      [&] { result = (last = protocol.ExecuteCommand<ckReadStatus>(status, version)).code; });
  std::this_thread::sleep_for(std::chrono::milliseconds(400));  // the 5000 ms read is waiting
  const auto cancelled = Clock::now();
  protocol.Cancel();
  worker.join();
  EXPECT_LT(testing::MillisecondsSince(cancelled), 150);
  EXPECT_EQ(result, kCancelled);
  std::lock_guard<std::mutex> lock(printer_.mutex);
  EXPECT_TRUE(printer_.flying.empty()) << "the read was left submitted";
}

TEST_F(UmockdevUsbTest, ASelectorPicksOneOfTwoPrintersByPortPathOrSerialNumber) {
  if (!InMockEnvironment()) return;
  UsbDevfsPrinter second;
  UMockdevIoctlBase* second_handler = NewHandler(second);
  AddDevice("1-3", 3, "KRT6B", second_handler);
  printer_.model.MutableState().Status[1] = '4';  // 1-1: "PAUSE"
  second.model.MutableState().Status[0] = '1';    // 1-3: "Paper JAM"
  second.model.MutableState().Status[1] = '1';

  const std::vector<UsbDeviceInfo> listed = ListSysfsUsbDevices("/sys", kPrinterVendorId);
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].PortPath() + "/" + listed[0].Serial, "1-1/");
  EXPECT_EQ(listed[1].PortPath() + "/" + listed[1].Serial, "1-3/KRT6B");
  EXPECT_EQ(listed[1].Address, 3);

  struct Case {
    UsbSelector selector;
    std::int32_t status;  // 0: not found
  };
  const Case cases[] = {
      {{}, 4},
      {{"1-1", ""}, 4},
      {{"1-3", ""}, 8},
      {{"", "KRT6B"}, 8},
      {{"1-3", "KRT6B"}, 8},
      {{"1-2", ""}, 0},
      {{"", "KRT6"}, 0},
      {{"1-1", "KRT6B"}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.selector.Describe());
    testing::LinkFixture f;
    f.layer.SetBackend(
        lkUsb, std::make_unique<UsbLink>(MakeLibusbDeviceSource(), UsbTimings{}, c.selector));
    Protocol protocol(f.layer, [](int) {});
    int version = 4;
    std::int32_t status = -1;
    const ResultCode result =
        (f.failure = protocol.ExecuteCommand<ckReadStatus>(status, version)).code;
    if (c.status == 0) {
      EXPECT_EQ(result, kPortOpenError);
      EXPECT_EQ(f.failure.cause, Cause::kNotFound);
      const std::string text = f.failure.Text();
      EXPECT_NE(
          text.find("at " + c.selector.Describe() + "; attached: 1-1, 1-3 (serial number KRT6B)"),
          std::string::npos)
          << text;
    } else {
      EXPECT_EQ(result, kSuccess) << f.failure.Text();
      EXPECT_EQ(status, c.status);
    }
  }
  std::lock_guard<std::mutex> lock(printer_.mutex);
  EXPECT_EQ(printer_.commands.size(), 2u);  // the empty selector and 1-1
  EXPECT_EQ(second.commands.size(), 3u);
  g_object_unref(second_handler);
}

TEST_F(UmockdevUsbTest, NoPrinterWithTheVendorIdIsAPortOpenError) {
  if (!InMockEnvironment()) return;
  umockdev_testbed_remove_device(testbed_, syspath_);
  testing::LinkFixture f;
  f.layer.SetBackend(lkUsb, std::make_unique<UsbLink>(MakeLibusbDeviceSource()));
  EXPECT_FALSE(f.Open(lkUsb).Ok());
  EXPECT_NE(f.failure.Text().find("6f2d"), std::string::npos) << f.failure.Text();
}

}  // namespace
}  // namespace krt6
