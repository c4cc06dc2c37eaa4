// Finding printers: the attached devices under a fake /dev and /sys, the scan's network texts,
// and a scan of emulated printers on loopback addresses (never any other range).
#include "cli/discovery.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>

#include "emulator/emulator.h"
#include "support/temp_dir.h"
#include "texts/texts.h"

namespace krt6::cli {
namespace {

using Clock = std::chrono::steady_clock;

void Put(const std::string& path, const std::string& text = {}) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path) << text;
}

TEST(DiscoveryTest, ListsPrintersAndPortsOfADeviceTree) {
  testing::TempDir root;
  const std::string dev = root / "dev", sys = root / "sys";
  for (const char* node : {"ttyS0", "ttyS1", "ttyS2", "ttyUSB1", "ttyUSB16", "ttyACM0", "ttyUSBx",
                           "ttyprintk", "tty5", "lp0", "lp7", "usb/lp0", "usb/hiddev0"}) {
    Put(dev + "/" + node);
  }
  Put(sys + "/class/tty/ttyS0/type", "4\n");  // a 16550A
  Put(sys + "/class/tty/ttyS1/type", "0\n");  // an empty slot
  const std::string usb = sys + "/bus/usb/devices/";
  auto device = [&](const std::string& name, const char* vendor, const char* serial) {
    Put(usb + name + "/idVendor", std::string(vendor) + "\n");
    Put(usb + name + "/idProduct", "0001\n");
    if (serial != nullptr) Put(usb + name + "/serial", std::string(serial) + "\n");
  };
  device("usb1", "1d6b", nullptr);  // a root hub
  device("2-1", "6f2d", nullptr);
  device("1-10", "6f2d", "B-2");
  device("1-2.3", "6f2d", "A 1");
  device("1-2.3:1.0", "6f2d", nullptr);  // an interface of it
  device("1-4", "046d", "X");

  const AttachedDevices found = ListAttachedDevices({dev, sys});
  std::vector<std::string> usb_rows;
  for (const auto& u : found.Usb) usb_rows.push_back(u.PortPath + "|" + u.Serial + "|" + u.Uri);
  EXPECT_EQ(usb_rows,
            (std::vector<std::string>{"1-2.3|A 1|usb:1-2.3", "1-10|B-2|usb:1-10", "2-1||usb:2-1"}));
  ASSERT_FALSE(found.Usb.empty());
  EXPECT_EQ(found.Usb[0].ProductId, 1);

  auto rows = [&](const std::vector<PortEntry>& ports) {
    std::vector<std::string> out;
    for (const auto& p : ports)
      out.push_back(p.Device.substr(dev.size()) + "|" + p.Name + "|" + p.Uri);
    return out;
  };
  EXPECT_EQ(rows(found.Serial),
            (std::vector<std::string>{
                "/ttyS0|COM1|serial:COM1", "/ttyS2|COM3|serial:COM3", "/ttyUSB1|COM6|serial:COM6",
                "/ttyUSB16||serial:" + dev + "/ttyUSB16", "/ttyACM0|COM21|serial:COM21"}));
  EXPECT_EQ(rows(found.Parallel),
            (std::vector<std::string>{"/lp0|LPT1|parallel:LPT1", "/lp7||parallel:" + dev + "/lp7",
                                      "/usb/lp0||parallel:" + dev + "/usb/lp0"}));

  const AttachedDevices none = ListAttachedDevices({root / "nothing", root / "nothing"});
  EXPECT_TRUE(none.Usb.empty() && none.Serial.empty() && none.Parallel.empty());
}

TEST(DiscoveryTest, NetworkTextsGiveTheirHostsOrSayWhatIsWrong) {
  struct Case {
    const char* text;
    std::size_t count;  // 0: refused
    const char* first;
    const char* last;
  };
  const Case cases[] = {
      {"192.168.1.0/24", 254, "192.168.1.1", "192.168.1.254"},
      {"192.168.1.77/24", 254, "192.168.1.1", "192.168.1.254"},
      {"10.0.0.0/22", 1022, "10.0.0.1", "10.0.3.254"},
      {"10.0.0.4/30", 2, "10.0.0.5", "10.0.0.6"},
      {"10.0.0.4/31", 2, "10.0.0.4", "10.0.0.5"},
      {"10.0.0.4/32", 1, "10.0.0.4", "10.0.0.4"},
      {"printer-1, 10.0.0.2  [::1],10.0.0.8/31", 5, "printer-1", "10.0.0.9"},
      {"10.0.0.0/21", 0, "at most a /22", nullptr},
      {"0.0.0.0/0", 0, "\"0.0.0.0/0\" is too large", nullptr},
      {"10.0.0.0/22 10.0.4.0/29", 0, "more than 1024", nullptr},
      {"10.0.0.0/22 10.0.4.0/30", 1024, "10.0.0.1", "10.0.4.2"},
      {"10.0.0.0/33", 0, "not an IPv4 range", nullptr},
      {"10.0.0/24", 0, "not an IPv4 range", nullptr},
      {"fe80::/64", 0, "not an IPv4 range", nullptr},
      {"10.0.0.0/", 0, "not an IPv4 range", nullptr},
      {"host;reboot", 0, "neither a host", nullptr},
      {" , ", 0, "No network", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const ScanHosts parsed = ParseScanNetwork(c.text);
    if (c.count == 0) {
      EXPECT_TRUE(parsed.Hosts.empty());
      EXPECT_NE(parsed.Error.find(c.first), std::string::npos) << parsed.Error;
      continue;
    }
    EXPECT_EQ(parsed.Error, "");
    ASSERT_EQ(parsed.Hosts.size(), c.count);
    EXPECT_EQ(parsed.Hosts.front(), c.first);
    EXPECT_EQ(parsed.Hosts.back(), c.last);
  }
  EXPECT_EQ(ParseScanNetwork("10.0.0.0/16", Language::kJapanese).Error,
            "「10.0.0.0/16」は広すぎます。スキャンできるのは /22 (1024 アドレス) までです。");
}

// Emulated printers on loopback addresses, all on one port.
struct LoopbackPrinters {
  std::vector<std::unique_ptr<emulator::Emulator>> printers;
  int port = 0;
  // A printer on `host` answering status `code` (two characters), or nothing at all.
  void Add(const std::string& host, const char* code, bool silent = false) {
    emulator::EmulatorOptions o;
    o.Host = host;
    o.Port = port;
    o.Printer.Status[0] = code[0];
    o.Printer.Status[1] = code[1];
    o.Spoil.NoReply = silent;
    printers.push_back(std::make_unique<emulator::Emulator>(o));
    std::string error;
    ASSERT_TRUE(printers.back()->Start(error)) << host << ": " << error;
    port = printers.back()->Port();
  }
};

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

TEST(DiscoveryTest, ScanFindsExactlyThePrintersOnLoopbackWithinItsLimit) {
  LoopbackPrinters p;
  p.Add("127.0.0.1", "00");  // the first takes a free port; the others share it
  p.Add("127.0.0.3", "04");
  p.Add("127.0.0.4", "11");
  p.Add("127.0.0.9", "00", true);  // outside the /29: takes commands, never answers
  ASSERT_EQ(p.printers.size(), 4u);

  ScanOptions options;
  options.Port = p.port;
  options.Jobs = 4;
  const ScanHosts range = ParseScanNetwork("127.0.0.0/29");
  ASSERT_EQ(range.Hosts.size(), 6u);
  auto start = Clock::now();
  std::vector<std::string> rows;
  for (const ScanHit& h : ScanNetwork(range.Hosts, options)) {
    EXPECT_EQ(h.Port, p.port);
    rows.push_back(h.Host + " " + std::to_string(h.StatusCode) + " " + h.StatusText);
  }
  EXPECT_EQ(rows, (std::vector<std::string>{"127.0.0.1 1 ON LINE", "127.0.0.3 4 PAUSE",
                                            "127.0.0.4 8 Paper JAM"}));
  EXPECT_LT(MillisecondsSince(start), 1500);  // the dead addresses refuse at once

  // The silent printer is cut off at the scan's limit; what answered before is kept, and no
  // address is asked after it.
  options.Jobs = 2;
  options.TotalLimit = std::chrono::milliseconds(400);
  options.Lang = Language::kJapanese;
  start = Clock::now();
  const auto hits = ScanNetwork({"127.0.0.9", "127.0.0.3"}, options);
  const double took = MillisecondsSince(start);
  EXPECT_GE(took, 390);
  EXPECT_LT(took, 800);
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0].Host, "127.0.0.3");
  EXPECT_EQ(hits[0].StatusText, StatusText(4, Language::kJapanese));
  options.Jobs = 1;
  EXPECT_TRUE(ScanNetwork({"127.0.0.9", "127.0.0.3"}, options).empty());
  EXPECT_EQ(p.printers[1]->Connections(), 2);  // asked once by each scan that reached it
}

}  // namespace
}  // namespace krt6::cli
