// The parameter block read and write: command texts on the wire, reply decoding, the font code
// round trip and the refusal of values that do not fit their fields.
#include <gtest/gtest.h>

#include <cstring>

#include "protocol/commands.h"
#include "protocol/protocol.h"
#include "support/fake_link.h"
#include "support/record_fields.h"

namespace krt6 {
namespace {

using testing::InstallFake;
using testing::LinkFixture;

std::string Framed(const std::string& text) { return "{" + text + "|}"; }

// The start-up block of an English system (the window also sets the carried values).
ParameterBlock StartupBlock() { return ParameterBlock{}; }

ParameterBlock JapaneseStartupBlock() {
  ParameterBlock b;
  b.Parity = 1;
  b.Destination = 1;
  return b;
}

class ParametersTest : public ::testing::Test {
 protected:
  LinkFixture f;
  krt6::Result last;
  Protocol protocol{f.layer, [](int) {}};
  std::shared_ptr<testing::FakeLinkState> fake = InstallFake(f.layer, lkUsb);

  ResultCode Write(const ParameterBlock& block, int version) {
    ParameterBlock copy = block;
    return (last = protocol.ExecuteCommand<ckWriteParameters>(copy, version)).code;
  }
  ResultCode Read(ParameterBlock& block, int version) {
    return (last = protocol.ExecuteCommand<ckReadParameters>(block, version)).code;
  }
};

TEST_F(ParametersTest, StartupValuesOnTheWireByVersion) {
  const std::string first4 = "Z2;1,0021002010000000B0000000";
  const std::string second4 = "Z2;2,+000+000+00+000-00+00-00+000000323202";
  ASSERT_EQ(first4.size(), 29u);
  ASSERT_EQ(second4.size(), 42u);
  struct Case {
    int version;
    std::string first;
    std::string second;
  };
  const Case cases[] = {
      {4, first4, second4},
      {3, first4, second4},
      {2, first4, "Z2;2,+000+000+00+000-00+00-00+000000"},
      {1, "Z2;1,0021002010000000B000000", "Z2;2,+000+000+00+000-00+00-00+000000"},
      {0, "Z2;1,0021002010000000B000000", "Z2;2,+000+000+00+000+00+00-00+00000032"},
  };
  for (const Case& c : cases) {
    fake = InstallFake(f.layer, lkUsb);
    ASSERT_EQ(Write(StartupBlock(), c.version), kSuccess) << c.version;
    EXPECT_EQ(fake->WrittenText(), Framed(c.first) + Framed(c.second) + Framed("Z0"))
        << "version " << c.version;
    EXPECT_EQ(fake->opens, 1);
    EXPECT_EQ(fake->closes, 1);
  }
}

TEST_F(ParametersTest, JapaneseStartupFirstCommand) {
  for (int version : {2, 3, 4}) {
    fake = InstallFake(f.layer, lkUsb);
    ASSERT_EQ(Write(JapaneseStartupBlock(), version), kSuccess);
    EXPECT_EQ(fake->WrittenText().substr(0, 32), Framed("Z2;1,0021012110000000B0000000"));
  }
  // Version 0 sends the fixed 0 where the destination would stand.
  fake = InstallFake(f.layer, lkUsb);
  ASSERT_EQ(Write(JapaneseStartupBlock(), 0), kSuccess);
  EXPECT_EQ(fake->WrittenText().substr(0, 31), Framed("Z2;1,0021012010000000B000000"));
}

TEST(ParameterCommandsTest, XAdjustmentIsSignAndThreeDigits) {
  const std::pair<std::int32_t, const char*> cases[] = {
      {-5, "-005"}, {7, "+007"}, {0, "+000"}, {999, "+999"}, {-999, "-999"}};
  for (const auto& [value, text] : cases) {
    ParameterBlock b;
    b.XAdj = value;
    for (int version = 0; version <= 4; ++version) {
      std::string first, second;
      ASSERT_EQ(BuildParameterCommands(b, version, first, second), SettingField::kNone);
      EXPECT_EQ(second.substr(16, 4), text) << value << " version " << version;
    }
  }
}

TEST(ParameterCommandsTest, OneCharacterEuroCodeKeepsTheLength) {
  ParameterBlock b;
  std::strcpy(b.EuroCode, "C");
  std::string first, second;
  ASSERT_EQ(BuildParameterCommands(b, 4, first, second), SettingField::kNone);
  ASSERT_EQ(first.size(), 29u);
  EXPECT_EQ(first[21], 'C');
  EXPECT_EQ(first[22], '\0');
  EXPECT_EQ(first.substr(23), "000000");
}

TEST(ParameterCommandsTest, FontCodeRoundTripsThroughThePrinterDigit) {
  // The digit sent for each item is the one a read maps back to that item.
  const char expected_digits[14] = {'0', '2', '3', '1', '4', '5', '6',
                                    '7', '8', '9', 'A', 'B', 'C', 'D'};
  for (std::int32_t item = 0; item < 14; ++item) {
    ParameterBlock b;
    b.FontCode = item;
    std::string first, second;
    ASSERT_EQ(BuildParameterCommands(b, 4, first, second), SettingField::kNone);
    EXPECT_EQ(first[5], expected_digits[item]) << item;
    EXPECT_EQ(FontCodeFromDigit(first[5]), item) << item;
  }
}

TEST(ParameterCommandsTest, FontCodeTableReading) {
  const std::pair<char, std::int32_t> cases[] = {
      {'0', 0}, {'1', 3}, {'2', 1},  {'3', 2}, {'9', 9}, {'A', 10}, {'D', 13},
      {'E', 0}, {'F', 0}, {'a', 10}, {'G', 0}, {' ', 0}, {'\0', 0}, {'/', 0}};
  for (const auto& [digit, item] : cases) EXPECT_EQ(FontCodeFromDigit(digit), item) << digit;
}

TEST(ParameterCommandsTest, ValuesThatDoNotFitAreRefusedByField) {
  struct Case {
    const char* name;
    void (*edit)(ParameterBlock&);
    int version;
    SettingField expected;
  };
  const Case cases[] = {
      {"XAdj 1000", [](ParameterBlock& b) { b.XAdj = 1000; }, 4, FieldOf("x_coordinate")},
      {"XAdj -1000", [](ParameterBlock& b) { b.XAdj = -1000; }, 0, FieldOf("x_coordinate")},
      {"XAdj 999", [](ParameterBlock& b) { b.XAdj = 999; }, 4, SettingField::kNone},
      {"ZeroCode 10", [](ParameterBlock& b) { b.ZeroCode = 10; }, 4, FieldOf("zero_code")},
      {"Speed -1", [](ParameterBlock& b) { b.Speed = -1; }, 2, FieldOf("comm_speed")},
      {"AutoCalib 9", [](ParameterBlock& b) { b.AutoCalib = 9; }, 4, SettingField::kNone},
      {"FeedKey 12", [](ParameterBlock& b) { b.FeedKey = 12; }, 0, FieldOf("feed_key")},
      {"FontCode 14", [](ParameterBlock& b) { b.FontCode = 14; }, 4, FieldOf("font_code")},
      {"FontCode -1", [](ParameterBlock& b) { b.FontCode = -1; }, 4, FieldOf("font_code")},
      // A field the version's formats do not carry is not checked.
      {"Destination 10 v0", [](ParameterBlock& b) { b.Destination = 10; }, 0, SettingField::kNone},
      {"Destination 10 v1", [](ParameterBlock& b) { b.Destination = 10; }, 1,
       FieldOf("destination")},
      {"ModelSelect 10 v1", [](ParameterBlock& b) { b.ModelSelect = 10; }, 1, SettingField::kNone},
      {"ModelSelect 10 v2", [](ParameterBlock& b) { b.ModelSelect = 10; }, 2,
       FieldOf("mode_select")},
      {"BlankSpaceLen 100 v2", [](ParameterBlock& b) { b.BlankSpaceLen = 100; }, 2,
       SettingField::kNone},
      {"BlankSpaceLen 100 v3", [](ParameterBlock& b) { b.BlankSpaceLen = 100; }, 3,
       FieldOf("blank_space_len")},
      {"CarriedValue1 100 v0", [](ParameterBlock& b) { b.CarriedValue1 = 100; }, 0,
       FieldOf("carried_value1")},
      {"CarriedValue1 100 v1", [](ParameterBlock& b) { b.CarriedValue1 = 100; }, 1,
       SettingField::kNone},
      {"CarriedAdj 100 v0", [](ParameterBlock& b) { b.CarriedAdj = 100; }, 0, SettingField::kNone},
      {"CarriedAdj 100 v1", [](ParameterBlock& b) { b.CarriedAdj = 100; }, 1,
       FieldOf("carried_adj")},
      {"CarriedValue2 -10 v4", [](ParameterBlock& b) { b.CarriedValue2 = -10; }, 4,
       FieldOf("carried_value2")},
      {"no version", [](ParameterBlock&) {}, -1, SettingField::kVersion},
      {"version 5", [](ParameterBlock&) {}, 5, SettingField::kVersion},
  };
  for (const Case& c : cases) {
    ParameterBlock b;
    c.edit(b);
    EXPECT_EQ(CheckParameterBlock(b, c.version), c.expected) << c.name;
    std::string first = "x", second = "y";
    const SettingField built = BuildParameterCommands(b, c.version, first, second);
    EXPECT_EQ(built, c.expected) << c.name;
    if (built == SettingField::kNone) {
      EXPECT_EQ(first.size(), FirstParameterCommandLength(c.version)) << c.name;
      EXPECT_EQ(std::strlen(first.c_str()), first.size()) << c.name;
      EXPECT_EQ(std::strlen(second.c_str()), second.size()) << c.name;
    } else {
      EXPECT_TRUE(first.empty() && second.empty()) << c.name;
    }
  }
}

TEST_F(ParametersTest, RefusedBlockOpensAndSendsNothing) {
  ParameterBlock b;
  b.XAdj = 1000;
  EXPECT_EQ(Write(b, 4), kUnknownError);
  EXPECT_NE(last.Text().find("X COORDINATE"), std::string::npos);
  EXPECT_EQ(Write(StartupBlock(), -1), kUnknownError);
  EXPECT_NE(last.Text().find("Printer Version"), std::string::npos);
  EXPECT_EQ(fake->opens, 0);
  EXPECT_TRUE(fake->written.empty());
}

// The Euro code goes out as "%c%c" inside the first command: a character that could end that
// command or start another is refused before the link is opened.
TEST_F(ParametersTest, EuroCodesThatCouldBreakTheFramingAreRefused) {
  struct Case {
    char euro[4];
    bool esc;
    SettingField expected;
  };
  const Case cases[] = {
      {"|}", false, FieldOf("euro_code")},
      {"{Z", false, FieldOf("euro_code")},
      {"A\x01", false, FieldOf("euro_code")},
      {"\x1b", false, FieldOf("euro_code")},
      {"\xe9", false, FieldOf("euro_code")},
      {{'\0', 'Z'}, false, FieldOf("euro_code")},
      {"~ ", false, SettingField::kNone},
      {"C", false, SettingField::kNone},
      {"", false, SettingField::kNone},
      {"D5", true, SettingField::kNone},
      // In ESC framing the NUL in place of a missing character would end the command.
      {"C", true, FieldOf("euro_code")},
  };
  for (const Case& c : cases) {
    ParameterBlock b;
    std::memcpy(b.EuroCode, c.euro, sizeof b.EuroCode);
    EXPECT_EQ(CheckParameterBlock(b, 4, c.esc), c.expected) << c.euro;
    if (c.expected == SettingField::kNone) continue;
    protocol.SetEscFraming(c.esc);
    EXPECT_EQ(Write(b, 4), kUnknownError) << c.euro;
    EXPECT_NE(last.Text().find("EURO CODE"), std::string::npos) << c.euro;
  }
  EXPECT_EQ(fake->opens, 0);
  // A field checked earlier in the command is named first.
  ParameterBlock b;
  std::memcpy(b.EuroCode, "|}", 3);
  b.FeedKey = 10;
  EXPECT_EQ(CheckParameterBlock(b, 4), FieldOf("feed_key"));
}

TEST_F(ParametersTest, WriteFailuresCloseOnce) {
  for (int failing = 0; failing < 3; ++failing) {
    fake = InstallFake(f.layer, lkCom);
    fake->fail_write_number = failing;
    ParameterBlock b;
    int version = 4;
    EXPECT_EQ((last = protocol.ExecuteCommand<ckWriteParameters>(b, version)).code,
              kTransmissionError);
    EXPECT_EQ(fake->write_sizes.size(), static_cast<std::size_t>(failing + 1));
    EXPECT_EQ(fake->closes, 1);
  }
  fake = InstallFake(f.layer, lkUsb);
  fake->fail_open = true;
  EXPECT_EQ(Write(StartupBlock(), 4), kPortOpenError);
}

TEST_F(ParametersTest, SetOverLptSends) {
  auto lpt = InstallFake(f.layer, lkLpt);
  ParameterBlock b;
  int version = 4;
  EXPECT_EQ((last = protocol.ExecuteCommand<ckWriteParameters>(b, version)).code, kSuccess);
  EXPECT_EQ(lpt->write_sizes.size(), 3u);
}

// The replies a printer holding `b` gives: reply byte k of "Z5;1" carries the character at
// position k + 1 of the first command, and of "Z5;0" that of the second command.
std::pair<std::string, std::string> RepliesFor(const ParameterBlock& b, int version) {
  std::string first, second;
  EXPECT_EQ(BuildParameterCommands(b, version, first, second), SettingField::kNone);
  std::string reply0 = "\x02" + second.substr(2);
  reply0.resize(FirstParameterReplyLength(version), '0');
  std::string reply1 = "\x02" + first.substr(2);
  reply1.resize(kSecondParameterReplyLength, '0');
  return {reply0, reply1};
}

ParameterBlock EditedBlock() {
  ParameterBlock b;
  b.FontCode = 3;  // "PC-8"
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
  std::strcpy(b.EuroCode, "D5");
  b.AutoHome = 1;
  b.AutoCalib = 1;
  b.ModelSelect = 1;
  b.XAdj = -12;
  b.CarriedAdj = 7;
  b.CarriedValue1 = 41;
  b.CarriedValue2 = 5;
  b.BlankSpaceLen = 99;
  return b;
}

TEST_F(ParametersTest, ReadBackWhatWasSetAtVersion4) {
  const ParameterBlock want = EditedBlock();
  const auto [reply0, reply1] = RepliesFor(want, 4);
  fake->Queue("noise" + reply0 + "\x05" + reply1);
  ParameterBlock got;
  ASSERT_EQ(Read(got, 4), kSuccess);
  EXPECT_EQ(testing::CarriedDifferences(got, want, 4), "");
  EXPECT_EQ(fake->WrittenText(), Framed("Z5;0") + Framed("Z5;1"));
  EXPECT_EQ(fake->closes, 1);
}

TEST_F(ParametersTest, ShortFirstReplyBelowVersion3KeepsBlankSpace) {
  for (int version : {-1, 0, 1, 2}) {
    fake = InstallFake(f.layer, lkUsb);
    ParameterBlock printer = EditedBlock();
    // A printer of the 1.0F ~ 1.0I range answers; the read takes its short first reply.
    const auto [reply0, reply1] = RepliesFor(printer, 2);
    ASSERT_EQ(reply0.size(), 42u);
    fake->Queue(reply0 + reply1);
    ParameterBlock got;
    got.BlankSpaceLen = 50;
    // A 44-byte read would swallow the STX of the second reply and fail.
    ASSERT_EQ(Read(got, version), kSuccess) << version;
    EXPECT_EQ(got.BlankSpaceLen, 50) << version;
    EXPECT_EQ(got.XAdj, -12);
    EXPECT_EQ(got.CarriedAdj, 7);
    EXPECT_EQ(got.Destination, 3);  // decoded whatever the version
    EXPECT_EQ(got.ModelSelect, 1);
  }
}

TEST_F(ParametersTest, FirstReplyIsStoredWhenTheSecondFails) {
  const ParameterBlock printer = EditedBlock();
  const auto [reply0, reply1] = RepliesFor(printer, 4);
  fake->Queue(reply0 + reply1.substr(0, 29));  // second reply one byte short
  ParameterBlock got;
  EXPECT_EQ(Read(got, 4), kReceivingError);
  EXPECT_EQ(fake->closes, 1);
  EXPECT_EQ(got.XAdj, -12);
  EXPECT_EQ(got.CarriedAdj, 7);
  EXPECT_EQ(got.CarriedValue1, 41);
  EXPECT_EQ(got.CarriedValue2, 5);
  EXPECT_EQ(got.BlankSpaceLen, 99);
  EXPECT_EQ(got.FontCode, 0);  // the second reply's fields are untouched
  EXPECT_EQ(got.Speed, 2);

  // The next Set sends the carried values of that first reply.
  fake = InstallFake(f.layer, lkUsb);
  ASSERT_EQ(Write(got, 4), kSuccess);
  const std::string text = fake->WrittenText();
  EXPECT_NE(text.find("Z2;2,+000+000+00-012-07+00-00+000000410599"), std::string::npos);
}

TEST_F(ParametersTest, ReadFailuresByStep) {
  struct Case {
    bool fail_open;
    int fail_write;
    bool queue_first;
    ResultCode expected;
    std::size_t writes;
  };
  const auto [reply0, reply1] = RepliesFor(EditedBlock(), 4);
  const Case cases[] = {
      {true, -1, false, kPortOpenError, 0},
      {false, 0, false, kTransmissionError, 1},
      {false, -1, false, kReceivingError, 1},
      {false, 1, true, kTransmissionError, 2},
  };
  for (const Case& c : cases) {
    fake = InstallFake(f.layer, lkUsb);
    fake->fail_open = c.fail_open;
    fake->fail_write_number = c.fail_write;
    if (c.queue_first) fake->Queue(reply0);
    ParameterBlock got;
    EXPECT_EQ(Read(got, 4), c.expected);
    EXPECT_EQ(fake->write_sizes.size(), c.writes);
    EXPECT_EQ(fake->closes, c.fail_open ? 0 : 1);
  }
}

TEST(ParameterRepliesTest, DigitFieldsAreTakenWithoutRangeCheck) {
  std::string reply(30, '0');
  reply[0] = '\x02';
  reply[4] = 'Z';  // no hex digit: item 0
  reply[5] = 'x';  // not a digit: a value no list holds
  reply[25] = '9';
  ParameterBlock b;
  b.FontCode = 5;
  DecodeSecondParameterReply(reinterpret_cast<const std::uint8_t*>(reply.data()), b);
  EXPECT_EQ(b.FontCode, 0);
  EXPECT_EQ(b.ZeroCode, 'x' - '0');
  EXPECT_EQ(b.AutoHome, 9);
}

TEST(ParameterRepliesTest, FirstReplyNumbersAreConvertedLikeAtoi) {
  struct Case {
    const char* xadj;
    std::int32_t value;
  };
  const Case cases[] = {{"-012", -12}, {"+012", 12}, {" 7 0", 7}, {"abcd", 0}, {"+999", 999}};
  for (const Case& c : cases) {
    std::string reply(44, '0');
    reply.replace(15, 4, c.xadj);
    reply.replace(39, 2, "01");
    ParameterBlock b;
    DecodeFirstParameterReply(reinterpret_cast<const std::uint8_t*>(reply.data()), 3, b);
    EXPECT_EQ(b.XAdj, c.value) << c.xadj;
    EXPECT_EQ(b.BlankSpaceLen, 1);
  }
}

}  // namespace
}  // namespace krt6
