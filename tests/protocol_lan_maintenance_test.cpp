// The LAN settings read and write, and the maintenance commands with their waits.
#include <gtest/gtest.h>

#include <cstring>

#include "protocol/commands.h"
#include "protocol/protocol.h"
#include "support/fake_link.h"
#include "texts/field_texts.h"

namespace krt6 {
namespace {

using testing::InstallFake;
using testing::LinkFixture;

std::string Framed(const std::string& text) { return "{" + text + "|}"; }

// The record the Extra Setting page's initial values give.
LanSettings DefaultLan() {
  LanSettings s;
  s.LanFlag = 1;
  const std::int32_t ip[4] = {192, 168, 10, 20};
  const std::int32_t mask[4] = {255, 255, 255, 0};
  std::memcpy(&s.IpAddress, ip, sizeof ip);
  std::memcpy(&s.SubnetMask, mask, sizeof mask);
  s.SocketPortMode = 1;
  s.SocketPort = 8000;
  s.DhcpEnabled = 0;
  std::memset(s.DhcpId, 'F', 32);
  return s;
}

const std::uint8_t* Bytes(const std::string& s) {
  return reinterpret_cast<const std::uint8_t*>(s.data());
}

class LanTest : public ::testing::Test {
 protected:
  LinkFixture f;
  krt6::Result last;
  Protocol protocol{f.layer, [](int) {}};
  std::shared_ptr<testing::FakeLinkState> fake = InstallFake(f.layer, lkEthernet);
  int version = 4;

  ResultCode Write(LanSettings s) {
    return (last = protocol.ExecuteCommand<ckWriteLanSettings>(s, version)).code;
  }
};

TEST_F(LanTest, DefaultCommandsOnTheWire) {
  ASSERT_EQ(Write(DefaultLan()), kSuccess);
  const std::string expected = Framed("IP;2,192,168,010,020") + Framed("IP;3,000,000,000,000") +
                               Framed("IP;4,255,255,255,000") + Framed("IS;1,08000") +
                               Framed("IH;0,FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF") + Framed("ZW01;") +
                               Framed("Z0");
  EXPECT_EQ(fake->WrittenText(), expected);
  EXPECT_EQ(fake->write_sizes, (std::vector<std::size_t>{23, 23, 23, 13, 40, 8, 5}));
  EXPECT_EQ(fake->opens, 1);
  EXPECT_EQ(fake->closes, 1);
}

TEST(LanCommandsTest, TextsByField) {
  struct Case {
    const char* name;
    void (*edit)(LanSettings&);
    std::size_t index;
    std::string text;
  };
  const Case cases[] = {
      {"DHCP ID padded on the left",
       [](LanSettings& s) {
         std::memset(s.DhcpId, 0, sizeof s.DhcpId);
         std::strcpy(s.DhcpId, "ABC");
       },
       4, "IH;0," + std::string(29, ' ') + "ABC"},
      {"DHCP on", [](LanSettings& s) { s.DhcpEnabled = 1; }, 4, "IH;1," + std::string(32, 'F')},
      {"DHCP flag other than 1 sends 0", [](LanSettings& s) { s.DhcpEnabled = 2; }, 4,
       "IH;0," + std::string(32, 'F')},
      {"DHCP ID without terminator", [](LanSettings& s) { std::memset(s.DhcpId, 'G', 33); }, 4,
       "IH;0," + std::string(32, 'G')},
      {"host name", [](LanSettings& s) { std::strcpy(s.DhcpHostName, "printer7"); }, 5,
       "ZW01;printer7"},
      {"host name without terminator", [](LanSettings& s) { std::memset(s.DhcpHostName, 'h', 16); },
       5, "ZW01;" + std::string(15, 'h')},
      {"octet 999 and -5",
       [](LanSettings& s) {
         s.IpAddress[0] = 999;
         s.IpAddress[3] = -5;
       },
       0, "IP;2,999,168,010,-05"},
      {"gateway", [](LanSettings& s) { s.Gateway[1] = 7; }, 1, "IP;3,000,007,000,000"},
      {"port mode and port",
       [](LanSettings& s) {
         s.SocketPortMode = 0;
         s.SocketPort = 65535;
       },
       3, "IS;0,65535"},
  };
  for (const Case& c : cases) {
    LanSettings s = DefaultLan();
    c.edit(s);
    std::vector<std::string> commands;
    ASSERT_EQ(BuildLanCommands(s, commands), SettingField::kNone) << c.name;
    ASSERT_EQ(commands.size(), 7u);
    EXPECT_EQ(commands[c.index], c.text) << c.name;
  }
}

TEST(LanCommandsTest, ValuesWiderThanTheirFieldAreRefused) {
  struct Case {
    const char* name;
    void (*edit)(LanSettings&);
    SettingField expected;
  };
  const Case cases[] = {
      {"ip 1000", [](LanSettings& s) { s.IpAddress[0] = 1000; }, FieldOf("ip_address", 1)},
      {"ip -100", [](LanSettings& s) { s.IpAddress[2] = -100; }, FieldOf("ip_address", 3)},
      {"ip -99", [](LanSettings& s) { s.IpAddress[2] = -99; }, SettingField::kNone},
      {"gateway 4 1000", [](LanSettings& s) { s.Gateway[3] = 1000; },
       FieldOf("default_gateway", 4)},
      {"mask 2 12345", [](LanSettings& s) { s.SubnetMask[1] = 12345; }, FieldOf("subnet_mask", 2)},
      {"port mode 10", [](LanSettings& s) { s.SocketPortMode = 10; }, FieldOf("socket_port_mode")},
      {"port mode -1", [](LanSettings& s) { s.SocketPortMode = -1; }, FieldOf("socket_port_mode")},
      {"port 100000", [](LanSettings& s) { s.SocketPort = 100000; }, FieldOf("socket_port")},
      {"port 99999", [](LanSettings& s) { s.SocketPort = 99999; }, SettingField::kNone},
      {"first failing in sending order",
       [](LanSettings& s) {
         s.SubnetMask[0] = 1000;
         s.Gateway[0] = 1000;
       },
       FieldOf("default_gateway", 1)},
  };
  for (const Case& c : cases) {
    LanSettings s = DefaultLan();
    c.edit(s);
    EXPECT_EQ(CheckLanSettings(s), c.expected) << c.name;
    std::vector<std::string> commands{"left over"};
    EXPECT_EQ(BuildLanCommands(s, commands), c.expected) << c.name;
    if (c.expected == SettingField::kNone) {
      ASSERT_EQ(commands.size(), 7u) << c.name;
      EXPECT_EQ(commands[0].size(), 20u) << c.name;
      EXPECT_EQ(commands[3].size(), 10u) << c.name;
    } else {
      EXPECT_TRUE(commands.empty()) << c.name;
    }
  }
}

TEST_F(LanTest, RefusedSettingsOpenNothing) {
  LanSettings s = DefaultLan();
  s.IpAddress[1] = 1000;
  EXPECT_EQ(Write(s), kUnknownError);
  EXPECT_NE(last.Text().find("IP ADDRESS 2"), std::string::npos);
  EXPECT_EQ(fake->opens, 0);
  EXPECT_TRUE(fake->written.empty());
}

// A DHCP ID or host name that could end the command or start another is refused before the
// link is opened, with the field in the details. Bytes after the NUL are not sent, so not checked.
TEST_F(LanTest, TextsThatCouldBreakTheFramingAreRefused) {
  struct Case {
    const char* id;    // up to 32 bytes, NUL-terminated here
    const char* host;  // up to 15 bytes
    SettingField expected;
  };
  const Case cases[] = {
      {"|}{Z4;0", "", FieldOf("dhcp_id")},
      {"ID\x01", "", FieldOf("dhcp_id")},
      {"ID\x1b", "", FieldOf("dhcp_id")},
      {"caf\xe9", "", FieldOf("dhcp_id")},
      {" a~!#$%&()*+,-./:;<=>?@[\\]^_`", "", SettingField::kNone},
      {"FF", "|}{Z4;0", FieldOf("dhcp_hostname")},
      {"FF", "ab\x7f", FieldOf("dhcp_hostname")},
      {"FF", "h\xe9", FieldOf("dhcp_hostname")},
      {"FF", "printer-7", FieldOf("dhcp_hostname")},  // the key filter's own rule
      {"FF", "Printer7", SettingField::kNone},
      {"a|b", "a|b", FieldOf("dhcp_id")},  // the first in sending order
  };
  for (const Case& c : cases) {
    LanSettings s = DefaultLan();
    std::memset(s.DhcpId, 0, sizeof s.DhcpId);
    std::strcpy(s.DhcpId, c.id);
    std::strcpy(s.DhcpHostName, c.host);
    EXPECT_EQ(CheckLanSettings(s), c.expected) << c.id << " / " << c.host;
    if (c.expected == SettingField::kNone) continue;
    EXPECT_EQ(Write(s), kUnknownError) << c.id;
    EXPECT_NE(last.Text().find(RefusalText(c.expected, Language::kEnglish)), std::string::npos)
        << c.id;
  }
  // What follows a NUL is not sent.
  LanSettings s = DefaultLan();
  std::memcpy(s.DhcpId, "ok\0|}{Z4;0", 10);
  std::memcpy(s.DhcpHostName, "ok\0|}{Z10", 9);
  EXPECT_EQ(CheckLanSettings(s), SettingField::kNone);
  EXPECT_EQ(fake->opens, 0);
  EXPECT_TRUE(fake->written.empty());
}

TEST_F(LanTest, WriteFailureStopsAtTheFailingCommand) {
  fake->fail_write_number = 3;
  EXPECT_EQ(Write(DefaultLan()), kTransmissionError);
  EXPECT_EQ(fake->write_sizes.size(), 4u);
  EXPECT_EQ(fake->closes, 1);
  auto lpt = InstallFake(f.layer, lkLpt);
  LanSettings s = DefaultLan();
  EXPECT_EQ((last = protocol.ExecuteCommand<ckWriteLanSettings>(s, version)).code, kSuccess);
  EXPECT_EQ(lpt->write_sizes.size(), 7u);
}

std::string LanReply() {
  std::string r =
      "\x02"
      "abc"
      "1";
  r += "192168010020";  // IP address
  r += "010000000001";  // gateway
  r += "255255255000";  // subnet mask
  r += "3";
  r += "08000";
  r += "1";
  r += "0123456789ABCDEFGHIJKLMNOPQRSTUV";  // DHCP ID, 32 characters
  r += "host-name-16-chr";                  // 16 characters
  r += "xyz";
  return r;
}

TEST_F(LanTest, ReadDecodesTheReply) {
  const std::string reply = LanReply();
  ASSERT_EQ(reply.size(), 99u);
  fake->Queue("\x01junk" + reply);
  LanSettings s;
  ASSERT_EQ((last = protocol.ExecuteCommand<ckReadLanSettings>(s, version)).code, kSuccess);
  EXPECT_EQ(fake->WrittenText(), Framed("Z5;3"));
  EXPECT_EQ(fake->closes, 1);
  EXPECT_EQ(s.LanFlag, 1);
  const std::int32_t ip[4] = {s.IpAddress[0], s.IpAddress[1], s.IpAddress[2], s.IpAddress[3]};
  EXPECT_EQ(std::vector<std::int32_t>(ip, ip + 4), (std::vector<std::int32_t>{192, 168, 10, 20}));
  // The gateway comes before the subnet mask in the reply.
  EXPECT_EQ(s.Gateway[0], 10);
  EXPECT_EQ(s.Gateway[3], 1);
  EXPECT_EQ(s.SubnetMask[0], 255);
  EXPECT_EQ(s.SubnetMask[3], 0);
  EXPECT_EQ(s.SocketPortMode, 3);
  EXPECT_EQ(s.SocketPort, 8000);
  EXPECT_EQ(s.DhcpEnabled, 1);
  EXPECT_STREQ(s.DhcpId, "0123456789ABCDEFGHIJKLMNOPQRSTUV");
  EXPECT_STREQ(s.DhcpHostName, "host-name-16-ch");
}

TEST(LanRepliesTest, FieldsConvertFromTheirOwnCharacters) {
  struct Case {
    const char* ip;     // 12 characters
    const char* flags;  // byte 4 and byte 47
    std::int32_t first;
    std::int32_t second;
    std::uint8_t lan_flag;
    std::uint8_t dhcp;
  };
  const Case cases[] = {
      {"192168010020", "00", 192, 168, 0, 0},
      {" 12-05+7x9  ", "x0", 12, -5, 1, 0},
      {"abc1x3999999", "01", 0, 1, 0, 1},
  };
  for (const Case& c : cases) {
    std::string r = LanReply();
    r.replace(5, 12, c.ip);
    r[4] = c.flags[0];
    r[47] = c.flags[1];
    LanSettings s;
    DecodeLanReply(Bytes(r), s);
    EXPECT_EQ(s.IpAddress[0], c.first) << c.ip;
    EXPECT_EQ(s.IpAddress[1], c.second) << c.ip;
    EXPECT_EQ(s.LanFlag, c.lan_flag) << c.ip;
    EXPECT_EQ(s.DhcpEnabled, c.dhcp) << c.ip;
  }
  // The port is converted from its five characters only, not the DHCP flag after it.
  std::string r = LanReply();
  r.replace(42, 5, "00123");
  r[47] = '4';
  LanSettings s;
  DecodeLanReply(Bytes(r), s);
  EXPECT_EQ(s.SocketPort, 123);
}

TEST_F(LanTest, ReplyCutShortLeavesTheRecord) {
  fake->Queue(LanReply().substr(0, 98));
  LanSettings s = DefaultLan();
  const LanSettings before = s;
  EXPECT_EQ((last = protocol.ExecuteCommand<ckReadLanSettings>(s, version)).code, kReceivingError);
  EXPECT_EQ(std::memcmp(&s, &before, sizeof s), 0);
  EXPECT_EQ(fake->closes, 1);
}

// ---- Maintenance ----

class MaintenanceTest : public ::testing::Test {
 protected:
  LinkFixture f;
  std::shared_ptr<testing::FakeLinkState> fake = InstallFake(f.layer, lkCom);
  // Each wait and whether the link was still open at that moment.
  std::vector<std::pair<int, bool>> waits;
  krt6::Result last;
  Protocol protocol{f.layer, [this](int ms) { waits.emplace_back(ms, fake->closes == 0); }};
  int version = 4;
};

TEST_F(MaintenanceTest, CommandsWithoutReply) {
  struct Case {
    CommandKind kind;
    std::int32_t value;
    std::string text;
    std::vector<std::pair<int, bool>> waits;
  };
  const Case cases[] = {
      {ckSendZ1Command, 0, "Z10", {}},          {ckSendZ1Command, 5, "Z11", {}},
      {ckSendZ1Command, -1, "Z11", {}},         {ckSendZ4Command, 0, "Z4;0", {{3000, true}}},
      {ckCalibrateSensor, 0, "WT;1000,1", {}},  {ckCalibrateSensor, 1, "WT;1000,2", {}},
      {ckCalibrateSensor, 2, "WT;1000,3", {}},  {ckCalibrateSensor, 7, "WT;1000,3", {}},
      {ckCalibrateSensor, -1, "WT;1000,3", {}},
  };
  for (const Case& c : cases) {
    fake = InstallFake(f.layer, lkCom);
    waits.clear();
    std::int32_t value = c.value;
    NoRecord none;
    const ResultCode result = c.kind == ckSendZ4Command
                                  ? (last = protocol.Execute(c.kind, &none, version)).code
                                  : (last = protocol.Execute(c.kind, &value, version)).code;
    EXPECT_EQ(result, kSuccess) << c.text;
    EXPECT_EQ(fake->WrittenText(), Framed(c.text));
    EXPECT_EQ(waits, c.waits) << c.text;
    EXPECT_EQ(fake->closes, 1);
  }
}

TEST_F(MaintenanceTest, CommandFailures) {
  fake->fail_open = true;
  std::int32_t sensor = 0;
  EXPECT_EQ((last = protocol.ExecuteCommand<ckCalibrateSensor>(sensor, version)).code,
            kPortOpenError);
  fake = InstallFake(f.layer, lkCom);
  fake->fail_write_number = 0;
  NoRecord none;
  EXPECT_EQ((last = protocol.ExecuteCommand<ckSendZ4Command>(none, version)).code,
            kTransmissionError);
  EXPECT_TRUE(waits.empty());  // no wait after a failed write
  EXPECT_EQ(fake->closes, 1);
  // Calibration over LPT is sent like any command without reply.
  auto lpt = InstallFake(f.layer, lkLpt);
  EXPECT_EQ((last = protocol.ExecuteCommand<ckCalibrateSensor>(sensor, version)).code, kSuccess);
  EXPECT_EQ(lpt->WrittenText(), Framed("WT;1000,1"));
}

std::string VersionReply(char marker, const char* text) {
  std::string r = "\x01\x02";
  r += std::string(16, '.');
  r += marker;
  r += text;
  r += "tail";
  EXPECT_EQ(r.size(), 27u);
  return r;
}

TEST(VersionRepliesTest, MarkerAndText) {
  VersionText v;
  EXPECT_TRUE(DecodeVersionReply(Bytes(VersionReply('V', "1.0J")), v));
  EXPECT_STREQ(v.Text, "1.0J");
  EXPECT_TRUE(DecodeVersionReply(Bytes(VersionReply('v', "2.0A")), v));
  EXPECT_STREQ(v.Text, "2.0A");
  EXPECT_FALSE(DecodeVersionReply(Bytes(VersionReply('W', "1.0B")), v));
  EXPECT_STREQ(v.Text, "2.0A");
}

TEST(VersionRepliesTest, VersionTextsToItems) {
  const std::pair<const char*, int> cases[] = {
      {"1.0B", 0}, {"1.0C", 0}, {"1.0D", 1}, {"1.0E", 1}, {"1.0F", 2}, {"1.0G", 2},
      {"1.0I", 2}, {"1.0J", 3}, {"1.0T", 3}, {"1.0U", 4}, {"1.0A", 4}, {"1.0b", 4},
      {"2.0A", 4}, {"1.1B", 4}, {"", 4},     {"1.0", 4},
  };
  for (const auto& [text, index] : cases) EXPECT_EQ(VersionIndexForText(text), index) << text;
}

TEST_F(MaintenanceTest, VersionQuerySucceedsAndWaitsAfterClosing) {
  fake->Queue("echo" + VersionReply('V', "1.0G"));
  VersionText v;
  ASSERT_EQ((last = protocol.ExecuteCommand<ckReadFirmwareVersion>(v, version)).code, kSuccess);
  EXPECT_STREQ(v.Text, "1.0G");
  EXPECT_EQ(fake->WrittenText(), Framed("WV"));
  EXPECT_EQ(waits, (std::vector<std::pair<int, bool>>{{500, false}}));
  EXPECT_EQ(fake->closes, 1);
}

TEST_F(MaintenanceTest, VersionQueryTriesThreeTimesOnOneLink) {
  fake->Queue(VersionReply('x', "9.9Z") + VersionReply('-', "9.9Z") + VersionReply('v', "1.0b"));
  VersionText v;
  ASSERT_EQ((last = protocol.ExecuteCommand<ckReadFirmwareVersion>(v, version)).code, kSuccess);
  EXPECT_STREQ(v.Text, "1.0b");
  EXPECT_EQ(fake->WrittenText(), Framed("WV") + Framed("WV") + Framed("WV"));
  EXPECT_EQ(fake->opens, 1);
  EXPECT_EQ(fake->closes, 1);
}

TEST_F(MaintenanceTest, VersionQueryWithoutMarkerFailsAfterThree) {
  for (int i = 0; i < 4; ++i) fake->Queue(VersionReply('x', "1.0J"));
  VersionText v;
  std::strcpy(v.Text, "keep");
  EXPECT_EQ((last = protocol.ExecuteCommand<ckReadFirmwareVersion>(v, version)).code,
            kReceivingError);
  EXPECT_EQ(fake->WrittenText(), Framed("WV") + Framed("WV") + Framed("WV"));
  EXPECT_STREQ(v.Text, "keep");
  EXPECT_TRUE(waits.empty());
  EXPECT_EQ(fake->closes, 1);
}

TEST_F(MaintenanceTest, ShortVersionReplyFailsAfterOneSend) {
  fake->Queue(VersionReply('V', "1.0J").substr(0, 20));
  VersionText v;
  EXPECT_EQ((last = protocol.ExecuteCommand<ckReadFirmwareVersion>(v, version)).code,
            kReceivingError);
  EXPECT_EQ(fake->WrittenText(), Framed("WV"));
  EXPECT_TRUE(waits.empty());
  EXPECT_EQ(fake->closes, 1);
}

TEST_F(MaintenanceTest, VersionQueryOverLptFailsAfterSending) {
  auto lpt = InstallFake(f.layer, lkLpt);
  VersionText v;
  EXPECT_EQ((last = protocol.ExecuteCommand<ckReadFirmwareVersion>(v, version)).code,
            kReceivingError);
  EXPECT_EQ(lpt->WrittenText(), Framed("WV"));
  EXPECT_EQ(lpt->closes, 1);
}

}  // namespace
}  // namespace krt6
