// Each firmware class end to end over the real links: the version is detected from the
// printer, Set sends exactly the commands of that class, and Read brings back every field the
// class carries. The expected wire texts are written out by hand for one sample block.
#include <gtest/gtest.h>

#include <cstring>

#include "emulator/emulator.h"
#include "link/system_links.h"
#include "protocol/commands.h"
#include "protocol/protocol.h"
#include "support/fake_link.h"
#include "support/os_bench.h"

namespace krt6 {
namespace {

using emulator::Emulator;
using emulator::EmulatorOptions;
using emulator::Transport;

class NoUsb final : public UsbDeviceSource {
 public:
  std::unique_ptr<UsbPrinterDevice> OpenPrinter(std::uint16_t, std::string& error) override {
    error = "no USB in this test";
    return nullptr;
  }
};

ParameterBlock SampleBlock() {
  ParameterBlock b;
  b.FontCode = 3;  // "PC-8": the printer's digit 1
  b.ZeroCode = 1;
  b.Speed = 6;
  b.DataLeng = 0;
  b.StopBit = 1;
  b.Parity = 2;
  b.Control = 4;
  b.Destination = 3;
  b.ForwardWait = 0;
  b.Code = 2;
  b.FeedKey = 1;
  std::memcpy(b.EuroCode, "D5", 3);
  b.AutoHome = 1;
  b.AutoCalib = 1;
  b.ModelSelect = 1;
  b.XAdj = -37;
  b.CarriedValue1 = 41;
  b.CarriedValue2 = 17;
  b.CarriedAdj = 9;
  b.BlankSpaceLen = 64;
  return b;
}

struct FirmwareClass {
  const char* firmware;
  int version_index;
  const char* first;   // the "Z2;1," command text
  const char* second;  // the "Z2;2," command text
  bool destination;    // which fields this class carries
  bool model_select;
  bool carried_adj;
  bool carried_value1;
  bool carried_value2_and_blank;
};

const FirmwareClass kClasses[] = {
    {"1.0B", 0, "Z2;1,1160124000020010D500011", "Z2;2,+000+000+00-037+00+00-00+00000041", false,
     false, false, true, false},
    {"1.0D", 1, "Z2;1,1160124300020010D500011", "Z2;2,+000+000+00-037-09+00-00+000000", true, false,
     true, false, false},
    {"1.0G", 2, "Z2;1,1160124300020010D5000111", "Z2;2,+000+000+00-037-09+00-00+000000", true, true,
     true, false, false},
    {"1.0J", 3, "Z2;1,1160124300020010D5000111", "Z2;2,+000+000+00-037-09+00-00+000000411764", true,
     true, true, true, true},
    {"2.0A", 4, "Z2;1,1160124300020010D5000111", "Z2;2,+000+000+00-037-09+00-00+000000411764", true,
     true, true, true, true},
};

std::string Framed(const std::string& text) { return "{" + text + "|}"; }

class FirmwareClassTest : public ::testing::TestWithParam<std::tuple<FirmwareClass, Transport>> {};

TEST_P(FirmwareClassTest, DetectSetAndReadBack) {
  const FirmwareClass& c = std::get<0>(GetParam());
  const Transport transport = std::get<1>(GetParam());

  EmulatorOptions options;
  options.Kind = transport;
  options.Port = 0;
  options.Printer.Firmware = c.firmware;
  Emulator emu(options);
  std::string error;
  ASSERT_TRUE(emu.Start(error)) << error;

  testing::LinkFixture f;
  auto ports = std::make_shared<testing::MapPorts>();
  SystemLinkOptions links;
  links.Ports = ports;
  links.Usb = std::make_shared<NoUsb>();
  InstallSystemLinks(f.layer, links);
  int link = lkEthernet;
  if (transport == Transport::kPty) {
    link = lkCom;
    ports->Serial["COM1"] = emu.DevicePath();
  } else {
    f.settings.Tcp.IPAddr = "127.0.0.1";
    f.settings.Tcp.Port = emu.Port();
  }
  Protocol protocol(f.layer, [](int) {});

  // The version query chooses the class, as the window does before every Read and Set.
  int version = 4;
  VersionText text;
  ASSERT_EQ(protocol.ExecuteCommand<ckReadFirmwareVersion>(link, text, version), kSuccess)
      << protocol.LastError();
  EXPECT_STREQ(text.Text, c.firmware);
  version = VersionIndexForText(text.Text);
  ASSERT_EQ(version, c.version_index);

  ParameterBlock sent = SampleBlock();
  ASSERT_EQ(protocol.ExecuteCommand<ckWriteParameters>(link, sent, version), kSuccess)
      << protocol.LastError();
  ParameterBlock got;
  std::memset(got.EuroCode, 0, sizeof got.EuroCode);
  got.BlankSpaceLen = 50;
  ASSERT_EQ(protocol.ExecuteCommand<ckReadParameters>(link, got, version), kSuccess)
      << protocol.LastError();

  // Exactly these bytes went over the wire, in this order.
  const auto commands = emu.Commands();
  ASSERT_EQ(commands.size(), 6u);
  const std::string expected[] = {Framed("WV"), Framed(c.first), Framed(c.second),
                                  Framed("Z0"), Framed("Z5;0"),  Framed("Z5;1")};
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(std::string(commands[i].Raw.begin(), commands[i].Raw.end()), expected[i]) << i;
  }

  // Every field the class carries reads back as it was set.
  EXPECT_EQ(got.FontCode, sent.FontCode);
  EXPECT_EQ(got.ZeroCode, sent.ZeroCode);
  EXPECT_EQ(got.Speed, sent.Speed);
  EXPECT_EQ(got.DataLeng, sent.DataLeng);
  EXPECT_EQ(got.StopBit, sent.StopBit);
  EXPECT_EQ(got.Parity, sent.Parity);
  EXPECT_EQ(got.Control, sent.Control);
  EXPECT_EQ(got.ForwardWait, sent.ForwardWait);
  EXPECT_EQ(got.Code, sent.Code);
  EXPECT_EQ(got.FeedKey, sent.FeedKey);
  EXPECT_STREQ(got.EuroCode, "D5");
  EXPECT_EQ(got.AutoHome, sent.AutoHome);
  EXPECT_EQ(got.AutoCalib, sent.AutoCalib);
  EXPECT_EQ(got.XAdj, sent.XAdj);
  // The oldest class sends a fixed 0 in place of the destination.
  EXPECT_EQ(got.Destination, c.destination ? sent.Destination : 0);
  if (c.model_select) {
    EXPECT_EQ(got.ModelSelect, sent.ModelSelect);
  }
  if (c.carried_adj) {
    EXPECT_EQ(got.CarriedAdj, sent.CarriedAdj);
  }
  if (c.carried_value1) {
    EXPECT_EQ(got.CarriedValue1, sent.CarriedValue1);
  }
  if (c.carried_value2_and_blank) {
    EXPECT_EQ(got.CarriedValue2, sent.CarriedValue2);
    EXPECT_EQ(got.BlankSpaceLen, sent.BlankSpaceLen);
  } else {
    EXPECT_EQ(got.BlankSpaceLen, 50) << "the short reply carries no blank space length";
  }
}

INSTANTIATE_TEST_SUITE_P(AllClasses, FirmwareClassTest,
                         ::testing::Combine(::testing::ValuesIn(kClasses),
                                            ::testing::Values(Transport::kTcp, Transport::kPty)));

}  // namespace
}  // namespace krt6
