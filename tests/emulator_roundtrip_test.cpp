// Every printer operation over the real links against the emulator: what is set reads back, the
// version query retries as the printer demands, and the wire carries exactly the commands sent.
#include <gtest/gtest.h>

#include <cstring>

#include "emulator/emulator.h"
#include "link/link_kinds.h"
#include "protocol/commands.h"
#include "protocol/protocol.h"
#include "support/fake_link.h"
#include "support/os_bench.h"
#include "support/record_fields.h"

namespace krt6 {
namespace {

using emulator::Emulator;
using emulator::EmulatorOptions;
using emulator::Transport;

// One emulator on one transport and a link layer with the real links pointed at it.
struct Rig {
  std::unique_ptr<Emulator> emu;
  std::shared_ptr<testing::MapPorts> ports = std::make_shared<testing::MapPorts>();
  testing::LinkFixture f;
  krt6::Result last;
  Protocol protocol{f.layer, [](int) {}};
  LinkKind link = lkEthernet;

  Rig(Transport transport, EmulatorOptions o = {}) {
    o.Kind = transport;
    o.Port = 0;
    emu = std::make_unique<Emulator>(o);
    std::string error;
    EXPECT_TRUE(emu->Start(error)) << error;
    SystemLinkOptions links;
    links.Ports = ports;
    links.Usb = std::make_shared<testing::NoUsb>();
    f.options = links;
    if (transport == Transport::kPty) {
      link = lkCom;
      ports->Serial["COM1"] = emu->DevicePath();
    } else {
      f.settings.Tcp.IPAddr = "127.0.0.1";
      f.settings.Tcp.Port = emu->Port();
    }
    f.Use(link);
  }
};

ParameterBlock SampleBlock() {
  ParameterBlock b;
  b.FontCode = 11;
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

TEST(EmulatorRoundTripTest, ParametersSetReadBackOverTcpAndSerial) {
  for (Transport t : {Transport::kTcp, Transport::kPty}) {
    SCOPED_TRACE(t == Transport::kTcp ? "tcp" : "serial");
    Rig rig(t);
    int version = 4;
    ParameterBlock sent = SampleBlock();
    ASSERT_EQ((rig.last = rig.protocol.ExecuteCommand<ckWriteParameters>(sent, version)).code,
              kSuccess)
        << rig.last.Text();
    ParameterBlock got;
    ASSERT_EQ((rig.last = rig.protocol.ExecuteCommand<ckReadParameters>(got, version)).code,
              kSuccess)
        << rig.last.Text();
    EXPECT_EQ(testing::CarriedDifferences(got, sent, version), "");
    const auto texts = rig.emu->CommandTexts();
    ASSERT_EQ(texts.size(), 5u);
    EXPECT_EQ(texts[0].substr(0, 5), "Z2;1,");
    EXPECT_EQ(texts[1].substr(0, 5), "Z2;2,");
    EXPECT_EQ(texts[2], "Z0");
    EXPECT_EQ(texts[3], "Z5;0");
    EXPECT_EQ(texts[4], "Z5;1");
  }
}

TEST(EmulatorRoundTripTest, OlderFirmwareGivesTheShortReplyAndKeepsBlankSpaceLength) {
  EmulatorOptions o;
  o.Printer.Firmware = "1.0F";
  Rig rig(Transport::kTcp, o);
  VersionText text;
  int version = 4;
  ASSERT_EQ((rig.last = rig.protocol.ExecuteCommand<ckReadFirmwareVersion>(text, version)).code,
            kSuccess);
  EXPECT_STREQ(text.Text, "1.0F");
  version = 2;  // "1.0F ~ 1.0I"
  ParameterBlock block;
  block.BlankSpaceLen = 77;
  ASSERT_EQ((rig.last = rig.protocol.ExecuteCommand<ckReadParameters>(block, version)).code,
            kSuccess)
      << rig.last.Text();
  EXPECT_EQ(block.BlankSpaceLen, 77);
  EXPECT_EQ(block.CarriedValue1, 32);
}

TEST(EmulatorRoundTripTest, LanSettingsSetReadBack) {
  Rig rig(Transport::kTcp);
  LanSettings sent;
  const std::int32_t ip[4] = {10, 1, 2, 3}, mask[4] = {255, 255, 0, 0}, gw[4] = {10, 1, 2, 254};
  std::memcpy(sent.IpAddress, ip, sizeof ip);
  std::memcpy(sent.SubnetMask, mask, sizeof mask);
  std::memcpy(sent.Gateway, gw, sizeof gw);
  sent.LanFlag = 1;
  sent.SocketPortMode = 3;
  sent.SocketPort = 9100;
  sent.DhcpEnabled = 1;
  std::memcpy(sent.DhcpId, "0123456789ABCDEF0123456789ABCDEF", 33);
  std::memcpy(sent.DhcpHostName, "PRN42", 6);
  int version = 4;
  ASSERT_EQ((rig.last = rig.protocol.ExecuteCommand<ckWriteLanSettings>(sent, version)).code,
            kSuccess);
  LanSettings got;
  ASSERT_EQ((rig.last = rig.protocol.ExecuteCommand<ckReadLanSettings>(got, version)).code,
            kSuccess)
      << rig.last.Text();
  EXPECT_EQ(got.LanFlag, 1);
  EXPECT_EQ(testing::CarriedDifferences(got, sent, version), "");
}

TEST(EmulatorRoundTripTest, VersionQueryRetriesAsThePrinterDemands) {
  for (int missing : {2, 3}) {
    EmulatorOptions o;
    o.Spoil.WvWithoutMarker = missing;
    Rig rig(Transport::kTcp, o);
    VersionText text;
    int version = 4;
    const ResultCode r =
        (rig.last = rig.protocol.ExecuteCommand<ckReadFirmwareVersion>(text, version)).code;
    EXPECT_EQ(r, missing < 3 ? kSuccess : kReceivingError);
    EXPECT_EQ(rig.emu->CommandTexts(), std::vector<std::string>(3, "WV"));
    EXPECT_EQ(rig.emu->Connections(), 1) << "all attempts on one connection";
  }
}

TEST(EmulatorRoundTripTest, MaintenanceCommandsGoOutAsFramed) {
  Rig rig(Transport::kPty);
  int version = 4;
  std::int32_t sensor = 1;
  std::int32_t selector = 0;
  NoRecord none;
  EXPECT_EQ((rig.last = rig.protocol.ExecuteCommand<ckCalibrateSensor>(sensor, version)).code,
            kSuccess);
  EXPECT_EQ((rig.last = rig.protocol.ExecuteCommand<ckSendZ1Command>(selector, version)).code,
            kSuccess);
  EXPECT_EQ((rig.last = rig.protocol.ExecuteCommand<ckSendZ4Command>(none, version)).code,
            kSuccess);
  for (int i = 0; i < 50 && rig.emu->Commands().size() < 3; ++i) ::usleep(10000);
  const auto commands = rig.emu->Commands();
  ASSERT_EQ(commands.size(), 3u);
  EXPECT_EQ(std::string(commands[0].Raw.begin(), commands[0].Raw.end()), "{WT;1000,2|}");
  EXPECT_EQ(commands[1].Text, "Z10");
  EXPECT_EQ(commands[2].Text, "Z4;0");
}

// Each firmware class end to end: the version is detected from the printer, Set sends exactly
// the commands of that class, and Read brings back every field the class carries. The expected
// wire texts are written out by hand for the sample block with "PC-8" as its font.
struct FirmwareClass {
  const char* firmware;
  int version_index;
  const char* first;   // the "Z2;1," command text
  const char* second;  // the "Z2;2," command text
};

const FirmwareClass kClasses[] = {
    {"1.0B", 0, "Z2;1,1160124000020010D500011", "Z2;2,+000+000+00-037+00+00-00+00000041"},
    {"1.0D", 1, "Z2;1,1160124300020010D500011", "Z2;2,+000+000+00-037-09+00-00+000000"},
    {"1.0G", 2, "Z2;1,1160124300020010D5000111", "Z2;2,+000+000+00-037-09+00-00+000000"},
    {"1.0J", 3, "Z2;1,1160124300020010D5000111", "Z2;2,+000+000+00-037-09+00-00+000000411764"},
    {"2.0A", 4, "Z2;1,1160124300020010D5000111", "Z2;2,+000+000+00-037-09+00-00+000000411764"},
};

std::string Framed(const std::string& text) { return "{" + text + "|}"; }

class FirmwareClassTest : public ::testing::TestWithParam<std::tuple<FirmwareClass, Transport>> {};

TEST_P(FirmwareClassTest, DetectSetAndReadBack) {
  const FirmwareClass& c = std::get<0>(GetParam());
  const Transport transport = std::get<1>(GetParam());

  EmulatorOptions options;
  options.Printer.Firmware = c.firmware;
  Rig rig(transport, options);
  Protocol& protocol = rig.protocol;
  Result& last = rig.last;
  Emulator& emu = *rig.emu;

  // The version query chooses the class, as the window does before every Read and Set.
  int version = 4;
  VersionText text;
  ASSERT_EQ((last = protocol.ExecuteCommand<ckReadFirmwareVersion>(text, version)).code, kSuccess)
      << last.Text();
  EXPECT_STREQ(text.Text, c.firmware);
  version = VersionIndexForText(text.Text);
  ASSERT_EQ(version, c.version_index);

  ParameterBlock sent = SampleBlock();
  sent.FontCode = 3;  // "PC-8": the printer's digit 1
  ASSERT_EQ((last = protocol.ExecuteCommand<ckWriteParameters>(sent, version)).code, kSuccess)
      << last.Text();
  ParameterBlock got;
  std::memset(got.EuroCode, 0, sizeof got.EuroCode);
  got.BlankSpaceLen = 50;
  ASSERT_EQ((last = protocol.ExecuteCommand<ckReadParameters>(got, version)).code, kSuccess)
      << last.Text();

  // Exactly these bytes went over the wire, in this order.
  const auto commands = emu.Commands();
  ASSERT_EQ(commands.size(), 6u);
  const std::string expected[] = {Framed("WV"), Framed(c.first), Framed(c.second),
                                  Framed("Z0"), Framed("Z5;0"),  Framed("Z5;1")};
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(std::string(commands[i].Raw.begin(), commands[i].Raw.end()), expected[i]) << i;
  }

  // Every field the class's commands carry reads back as it was set. The oldest class sends a
  // fixed 0 in place of the destination; the short first reply of the classes before 1.0J
  // carries no blank space length.
  EXPECT_EQ(testing::CarriedDifferences(got, sent, version), "");
  if (version == 0) {
    EXPECT_EQ(got.Destination, 0);
  }
  if (version < 3) {
    EXPECT_EQ(got.BlankSpaceLen, 50);
  }
}

INSTANTIATE_TEST_SUITE_P(AllClasses, FirmwareClassTest,
                         ::testing::Combine(::testing::ValuesIn(kClasses),
                                            ::testing::Values(Transport::kTcp, Transport::kPty)));

}  // namespace
}  // namespace krt6
