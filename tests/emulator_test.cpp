// The emulator's printer model: framing, reply layouts, and settings that read back as set.
#include <gtest/gtest.h>

#include <cstring>

#include "emulator/printer_model.h"

namespace krt6::emulator {
namespace {

struct Session {
  PrinterModel model;
  std::vector<ReceivedCommand> commands;
  std::vector<Reply> replies;
  std::vector<std::uint8_t> Send(const std::string& bytes) {
    replies.clear();
    model.Feed(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), commands,
               replies);
    return replies.empty() ? std::vector<std::uint8_t>{} : replies.back().Bytes;
  }
  std::string Field(const std::vector<std::uint8_t>& r, std::size_t from, std::size_t n) {
    return std::string(r.begin() + static_cast<long>(from),
                       r.begin() + static_cast<long>(from + n));
  }
};

TEST(EmulatorModelTest, ParsesBothFramingsAcrossSplitReadsAndIgnoresNoise) {
  Session s;
  s.Send("xx{W");
  EXPECT_TRUE(s.commands.empty());
  s.Send("S|");
  EXPECT_TRUE(s.commands.empty());
  const auto reply = s.Send("}\x1bWV\n");
  EXPECT_EQ(reply.size(), 13u);
  s.Send(std::string("\0", 1));
  s.Send("{IH;0,a|b|}");  // a bar inside the text is text
  ASSERT_EQ(s.commands.size(), 3u);
  EXPECT_EQ(s.commands[0].Text, "WS");
  EXPECT_EQ(s.commands[0].Raw, (std::vector<std::uint8_t>{'{', 'W', 'S', '|', '}'}));
  EXPECT_EQ(s.commands[1].Text, "WV");
  EXPECT_TRUE(s.commands[1].EscFraming);
  EXPECT_EQ(s.commands[1].Raw, (std::vector<std::uint8_t>{0x1b, 'W', 'V', 0x0a, 0x00}));
  EXPECT_EQ(s.commands[2].Text, "IH;0,a|b");
}

TEST(EmulatorModelTest, ReplyLengthsStartBytesAndMarkers) {
  Session s;
  s.model.MutableState().Status[0] = '4';
  s.model.MutableState().Status[1] = '1';
  auto ws = s.Send("{WS|}");
  ASSERT_EQ(ws.size(), 13u);
  EXPECT_EQ(ws[0], 0x01);
  EXPECT_EQ(s.Field(ws, 2, 2), "41");

  s.model.MutableState().Firmware = "1.0T";
  auto wv = s.Send("{WV|}");
  ASSERT_EQ(wv.size(), 27u);
  EXPECT_EQ(wv[0], 0x01);
  EXPECT_EQ(wv[1], 0x02);
  EXPECT_EQ(wv[18], 'V');
  EXPECT_EQ(s.Field(wv, 19, 4), "1.0T");
  s.model.SetVersionRepliesWithoutMarker(2);
  EXPECT_NE(s.Send("{WV|}")[18], 'V');
  EXPECT_NE(s.Send("{WV|}")[18], 'V');
  EXPECT_EQ(s.Send("{WV|}")[18], 'V');

  const struct {
    const char* firmware;
    std::size_t z50;
  } versions[] = {{"1.0B", 42}, {"1.0I", 42}, {"1.0J", 44}, {"1.0T", 44}, {"2.0A", 44}};
  for (const auto& v : versions) {
    s.model.MutableState().Firmware = v.firmware;
    const auto r = s.Send("{Z5;0|}");
    EXPECT_EQ(r.size(), v.z50) << v.firmware;
    EXPECT_EQ(r[0], 0x02);
  }
  EXPECT_EQ(s.Send("{Z5;1|}").size(), 30u);
  EXPECT_EQ(s.Send("{Z5;3|}").size(), 99u);
  EXPECT_TRUE(s.Send("{Z0|}").empty());
  EXPECT_TRUE(s.Send("{WT;1000,2|}").empty());
}

TEST(EmulatorModelTest, ParameterCommandsReadBackAtTheirReplyPositions) {
  Session s;
  // Version 2-4 format: "PC-8" sent as digit 3, Destination 1, ModelSelect 1, EuroCode "B0".
  s.Send("{Z2;1,3021012110000000B0000001|}");
  s.Send("{Z2;2,+000+000+00-012-07+00-00+000000334105|}");
  const auto z51 = s.Send("{Z5;1|}");
  EXPECT_EQ(z51[4], '3');                     // the digit as stored
  EXPECT_EQ(s.Field(z51, 5, 8), "02101211");  // ZeroCode .. ForwardWait
  EXPECT_EQ(z51[15], '0');                    // Code
  EXPECT_EQ(z51[18], '0');                    // FeedKey
  EXPECT_EQ(s.Field(z51, 20, 2), "B0");       // EuroCode
  EXPECT_EQ(s.Field(z51, 25, 3), "001");      // AutoHome, AutoCalib, ModelSelect
  const auto z50 = s.Send("{Z5;0|}");
  EXPECT_EQ(s.Field(z50, 15, 4), "-012");  // XAdj
  EXPECT_EQ(s.Field(z50, 20, 2), "07");    // CarriedAdj
  EXPECT_EQ(s.Field(z50, 35, 2), "33");    // CarriedValue1
  EXPECT_EQ(s.Field(z50, 37, 2), "41");    // CarriedValue2
  EXPECT_EQ(s.Field(z50, 39, 2), "05");    // BlankSpaceLen

  // A shorter (version 0/1) first command leaves ModelSelect as it was.
  s.Send("{Z2;1,0021002000000000B00000|}");
  EXPECT_EQ(s.Send("{Z5;1|}")[27], '1');
}

TEST(EmulatorModelTest, LanCommandsReadBackInTheReplyLayout) {
  Session s;
  for (const char* c :
       {"{IP;2,010,001,002,003|}", "{IP;3,010,001,002,254|}", "{IP;4,255,255,000,000|}",
        "{IS;3,09100|}", "{IH;1,                             ABC|}", "{ZW01;PRN42|}"}) {
    EXPECT_TRUE(s.Send(c).empty()) << c;
  }
  const auto r = s.Send("{Z5;3|}");
  ASSERT_EQ(r.size(), 99u);
  EXPECT_EQ(r[0], 0x02);
  EXPECT_EQ(r[4], '1');
  EXPECT_EQ(s.Field(r, 5, 12), "010001002003");
  EXPECT_EQ(s.Field(r, 17, 12), "010001002254");  // the gateway before the mask
  EXPECT_EQ(s.Field(r, 29, 12), "255255000000");
  EXPECT_EQ(r[41], '3');
  EXPECT_EQ(s.Field(r, 42, 5), "09100");
  EXPECT_EQ(r[47], '1');
  EXPECT_EQ(s.Field(r, 48, 32), std::string(29, ' ') + "ABC");
  EXPECT_EQ(s.Field(r, 80, 5), "PRN42");
  EXPECT_EQ(r[85], 0);
}

TEST(EmulatorModelTest, APrinterThatIgnoresSetsTakesThemAndReadsBackAsBefore) {
  Session s;
  s.model.SetIgnoreSets(true);
  const auto z50 = s.Send("{Z5;0|}");
  const auto z51 = s.Send("{Z5;1|}");
  const auto lan = s.Send("{Z5;3|}");
  for (const char* set :
       {"{Z2;1,3021012110000000B0000001|}", "{Z2;2,+000+000+00-012-07+00-00+000000334105|}",
        "{IP;2,010,001,002,003|}", "{IP;3,010,001,002,254|}", "{IP;4,255,255,000,000|}",
        "{IS;3,09100|}", "{IH;1,ABC|}", "{ZW01;PRN42|}"}) {
    EXPECT_TRUE(s.Send(set).empty()) << set;
  }
  EXPECT_EQ(s.commands.size(), 11u) << "every command is taken";
  EXPECT_EQ(s.Send("{Z5;0|}"), z50);
  EXPECT_EQ(s.Send("{Z5;1|}"), z51);
  EXPECT_EQ(s.Send("{Z5;3|}"), lan);
  s.model.SetIgnoreSets(false);
  s.Send("{ZW01;PRN42|}");
  EXPECT_EQ(s.Field(s.Send("{Z5;3|}"), 80, 5), "PRN42");
}

}  // namespace
}  // namespace krt6::emulator
