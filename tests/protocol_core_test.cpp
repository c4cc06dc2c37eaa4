// Framing, the reply readers, the ExecuteCommand guards and the status query.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

#include "protocol/protocol.h"
#include "support/fake_link.h"
#include "texts/texts.h"

namespace krt6 {
namespace {

using testing::InstallFake;
using testing::LinkFixture;

std::vector<std::uint8_t> V(std::initializer_list<int> bytes) {
  std::vector<std::uint8_t> v;
  for (int b : bytes) v.push_back(static_cast<std::uint8_t>(b));
  return v;
}

TEST(FrameCommandTest, BraceAndEscFraming) {
  EXPECT_EQ(FrameCommand("WS", 2, false), V({0x7B, 'W', 'S', 0x7C, 0x7D}));
  EXPECT_EQ(FrameCommand("WS", 2, true), V({0x1B, 'W', 'S', 0x0A, 0x00}));
  EXPECT_EQ(FrameCommand("", 0, false), V({'{', '|', '}'}));
}

TEST(FrameCommandTest, CopiesByLengthNotUpToNul) {
  const char text[6] = {'A', '\0', 'B', 'C', 'D', 'E'};
  EXPECT_EQ(FrameCommand(text, 3, false), V({'{', 'A', 0, 'B', '|', '}'}));
  EXPECT_EQ(FrameCommand("ABCDEF", 4, true).size(), 7u);
}

// A reader over a fixed byte string; fails once the string is used up.
struct Script {
  std::string bytes;
  std::size_t pos = 0;
  ByteReader Reader() {
    return [this](std::uint8_t& b, std::chrono::steady_clock::time_point) {
      if (pos >= bytes.size()) return false;
      b = static_cast<std::uint8_t>(bytes[pos++]);
      return true;
    };
  }
};

std::string Str(const std::uint8_t* buf, std::size_t n) {
  return std::string(reinterpret_cast<const char*>(buf), n);
}

TEST(ReadReplyTest, SkipsBytesBeforeTheStartByteAndAppendsNul) {
  Script s{
      "xx\x02"
      "abcd"
      "zz"};
  std::uint8_t buf[6] = {9, 9, 9, 9, 9, 9};
  ASSERT_TRUE(ReadReply(s.Reader(), buf, 5, kSTX));
  EXPECT_EQ(Str(buf, 5),
            "\x02"
            "abcd");
  EXPECT_EQ(buf[5], 0);
  EXPECT_EQ(s.pos, 7u);  // nothing read past the reply
}

TEST(ReadReplyTest, StoresBytesAfterTheStartWhateverTheirValue) {
  Script s{std::string("\x01\x01\x00\x01", 4)};
  std::uint8_t buf[5] = {};
  ASSERT_TRUE(ReadReply(s.Reader(), buf, 4, kSOH));
  EXPECT_EQ(Str(buf, 4), std::string("\x01\x01\x00\x01", 4));
}

TEST(ReadReplyTest, ReplyCutShortFails) {
  Script s{
      "\x01"
      "0000000000"};  // 11 of 13 bytes
  std::uint8_t buf[14] = {};
  EXPECT_FALSE(ReadReply(s.Reader(), buf, 13, kSOH));
  Script none{"no start byte here"};
  EXPECT_FALSE(ReadReply(none.Reader(), buf, 13, kSOH));
}

TEST(ReadReplyTest, GivesUpAfterTheDiscardBound) {
  std::size_t reads = 0;
  ByteReader endless = [&](std::uint8_t& b, std::chrono::steady_clock::time_point) {
    ++reads;
    b = 'x';
    return true;
  };
  std::uint8_t buf[14] = {};
  EXPECT_FALSE(ReadReply(endless, buf, 13, kSOH));
  EXPECT_LE(reads, kMaxDiscardedBytes + 1);
  reads = 0;
  EXPECT_FALSE(ReadReplyPair(endless, buf, 13, kSOH, kSTX));
  EXPECT_LE(reads, kMaxDiscardedBytes + 1);
  // A start byte after 65,535 discarded bytes is still found; after 65,536 it is not.
  Script late{std::string(kMaxDiscardedBytes - 1, 'x') + "\x01" + "123456789012"};
  EXPECT_TRUE(ReadReply(late.Reader(), buf, 13, kSOH));
  Script too_late{std::string(kMaxDiscardedBytes, 'x') + "\x01" + "123456789012"};
  EXPECT_FALSE(ReadReply(too_late.Reader(), buf, 13, kSOH));
  EXPECT_EQ(too_late.pos, kMaxDiscardedBytes);
}

TEST(ReadReplyPairTest, FindsThePairAfterNoise) {
  Script s{
      "ab\x01x\x02\x01\x02"
      "XYZ"};
  std::uint8_t buf[6] = {};
  ASSERT_TRUE(ReadReplyPair(s.Reader(), buf, 5, kSOH, kSTX));
  EXPECT_EQ(Str(buf, 5), "\x01\x02XYZ");
}

TEST(ReadReplyPairTest, SohSohStxIsNotRecognised) {
  // The second SOH is consumed as the failed second byte; the STX then starts nothing.
  Script s{
      "\x01\x01\x02"
      "XYZ"};
  std::uint8_t buf[6] = {};
  EXPECT_FALSE(ReadReplyPair(s.Reader(), buf, 5, kSOH, kSTX));
  Script s2{
      "\x01\x01\x02"
      "XYZ\x01\x02"
      "abc"};
  ASSERT_TRUE(ReadReplyPair(s2.Reader(), buf, 5, kSOH, kSTX));
  EXPECT_EQ(Str(buf, 5),
            "\x01\x02"
            "abc");
}

TEST(ReplyDeadlineTest, ABytePastTheDeadlineEndsTheReplyWhateverItsPace) {
  using Clock = std::chrono::steady_clock;
  using std::chrono::milliseconds;
  const std::string status =
      "\x01"
      "000000000000";  // 13 bytes
  struct Case {
    const char* name;
    std::string bytes;
    milliseconds pace;  // the clock moves this far at every byte, as a device trickling them
    bool pair;
    bool complete;
    std::size_t bytes_read;
  };
  const Case cases[] = {
      // One byte every 0.9 s passes every read's own limit: the 12th byte comes at 10.8 s.
      {"junk", std::string(1000, 'x'), milliseconds(900), false, false, 12},
      {"junk, pair start", std::string(1000, '\x01'), milliseconds(900), true, false, 12},
      {"reply done at 9.75 s", status, milliseconds(750), false, true, 13},
      {"reply done at 10.4 s", status, milliseconds(800), false, false, 13},
      {"reply after 4.5 s of junk, done at 11 s", std::string(9, 'x') + status, milliseconds(500),
       false, false, 21},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Clock::time_point now{};
    const ReplyDeadline due{now + kReplyTimeLimit, [&] { return now; }};
    std::size_t pos = 0;
    Clock::time_point asked_until{};
    const ByteReader next = [&](std::uint8_t& b, Clock::time_point until) {
      asked_until = until;
      if (pos >= c.bytes.size()) return false;
      now += c.pace;
      b = static_cast<std::uint8_t>(c.bytes[pos++]);
      return true;
    };
    std::uint8_t buf[14] = {};
    const bool got =
        c.pair ? ReadReplyPair(next, buf, 13, kSOH, '0', due) : ReadReply(next, buf, 13, kSOH, due);
    EXPECT_EQ(got, c.complete);
    EXPECT_EQ(pos, c.bytes_read);
    EXPECT_EQ(asked_until, due.At);  // the link is told not to wait past the deadline
  }
}

TEST(StatusDecodingTest, Table) {
  struct Row {
    const char* code;
    int index;
    const char* english;
  };
  const Row rows[] = {
      {"00", 1, "ON LINE"},
      {"03", 1, "ON LINE"},
      {"40", 1, "ON LINE"},
      {"41", 1, "ON LINE"},
      {"01", 2, "Head Open (ON LINE)"},
      {"04", 4, "PAUSE"},
      {"11", 8, "Paper JAM"},
      {"16", 13, "Motor Temp Error"},
      {"19", 16, "Motor Temp Error"},
      {"30", 19, "The stacked form is full."},
      {"55", 24, "Save Mode"},
      {"08", 0, ""},
      {"20", 0, ""},
      {"99", 0, ""},
      {"4A", 0, ""},
  };
  for (const Row& r : rows) {
    const int index = DecodeStatus(r.code[0], r.code[1]);
    EXPECT_EQ(index, r.index) << r.code;
    EXPECT_STREQ(StatusText(index, Language::kEnglish), r.english) << r.code;
  }
  EXPECT_STREQ(StatusText(1, Language::kJapanese), "オンライン");
  EXPECT_STREQ(StatusText(16, Language::kJapanese), "モーター温度エラー");
  EXPECT_STREQ(StatusText(25, Language::kEnglish), "");
}

class ExecuteCommandTest : public ::testing::Test {
 protected:
  LinkFixture f;
  krt6::Result last;
  Protocol protocol{f.layer, [](int) {}};
  int version = 4;
};

TEST_F(ExecuteCommandTest, KindOutOfRangeOpensNothing) {
  auto fake = InstallFake(f.layer, lkUsb);
  std::int32_t status = 0;
  EXPECT_EQ((last = protocol.Execute(static_cast<CommandKind>(9), &status, version)).code,
            kUnknownError);
  EXPECT_EQ((last = protocol.Execute(static_cast<CommandKind>(-1), &status, version)).code,
            kUnknownError);
  EXPECT_EQ(fake->opens, 0);
}

TEST_F(ExecuteCommandTest, ReplyKindsAreRefusedOnLptBeforeOpening) {
  auto fake = InstallFake(f.layer, lkLpt);
  std::int32_t status = 0;
  ParameterBlock block;
  LanSettings lan;
  EXPECT_EQ((last = protocol.ExecuteCommand<ckReadStatus>(status, version)).code, kReceivingError);
  EXPECT_EQ((last = protocol.ExecuteCommand<ckReadParameters>(block, version)).code,
            kReceivingError);
  EXPECT_EQ((last = protocol.ExecuteCommand<ckReadLanSettings>(lan, version)).code,
            kReceivingError);
  EXPECT_EQ(fake->opens, 0);
  EXPECT_TRUE(fake->written.empty());
}

TEST_F(ExecuteCommandTest, WrongRecordTypeIsRefused) {
  auto fake = InstallFake(f.layer, lkUsb);
  LanSettings lan;
  EXPECT_EQ((last = protocol.Execute(ckReadStatus, &lan, version)).code, kUnknownError);
  EXPECT_EQ(fake->opens, 0);
}

TEST_F(ExecuteCommandTest, CopiesTheVersionIndex) {
  version = 2;
  std::int32_t status = 0;
  (last = protocol.ExecuteCommand<ckReadStatus>(status, version)).code;
  EXPECT_EQ(protocol.CurrentVersionIndex(), 2);
}

TEST_F(ExecuteCommandTest, StatusQueryOverEveryReadableLink) {
  for (const LinkKind kind : {lkUsb, lkCom, lkEthernet}) {
    auto fake = InstallFake(f.layer, kind);
    fake->Queue(
        "junk\x01"
        "0"
        "41"
        "0123456789"
        "tail");
    std::int32_t status = -1;
    ASSERT_EQ((last = protocol.ExecuteCommand<ckReadStatus>(status, version)).code, kSuccess);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(fake->written, V({0x7B, 'W', 'S', 0x7C, 0x7D}));
    EXPECT_EQ(fake->opens, 1);
    EXPECT_EQ(fake->closes, 1);
  }
}

TEST_F(ExecuteCommandTest, StatusQueryUsesEscFramingWhenCodeModeIsSet) {
  auto fake = InstallFake(f.layer, lkCom);
  protocol.SetEscFraming(true);
  fake->Queue(
      "\x01"
      "000"
      "000000000");
  std::int32_t status = -1;
  ASSERT_EQ((last = protocol.ExecuteCommand<ckReadStatus>(status, version)).code, kSuccess);
  EXPECT_EQ(fake->written, V({0x1B, 'W', 'S', 0x0A, 0x00}));
}

TEST_F(ExecuteCommandTest, StatusFailuresCloseExactlyOnceAndLeaveTheStatus) {
  struct Case {
    bool fail_open;
    int fail_write;
    const char* reply;
    ResultCode expected;
    int closes;
  };
  const Case cases[] = {
      {true, -1, "", kPortOpenError, 0},
      {false, 0,
       "\x01"
       "000000000000",
       kTransmissionError, 1},
      {false, -1,
       "\x01"
       "00000000000",
       kReceivingError, 1},  // 12 of 13 bytes
      {false, -1, "", kReceivingError, 1},
  };
  for (const Case& c : cases) {
    auto fake = InstallFake(f.layer, lkUsb);
    fake->fail_open = c.fail_open;
    fake->fail_write_number = c.fail_write;
    fake->Queue(c.reply);
    std::int32_t status = 77;
    EXPECT_EQ((last = protocol.ExecuteCommand<ckReadStatus>(status, version)).code, c.expected);
    EXPECT_EQ(status, 77);
    EXPECT_EQ(fake->closes, c.closes);
    EXPECT_FALSE(last.Text().empty());
  }
}

// The protocol's own sentences in the details follow the language it is given; each case also
// runs in English after Japanese, so a language that sticks is caught as well.
TEST_F(ExecuteCommandTest, OwnDetailsFollowTheLanguage) {
  struct Case {
    LinkKind link;
    std::function<ResultCode(std::shared_ptr<testing::FakeLinkState>&)> run;
    const char* english;
    const char* japanese;
  };
  const Case cases[] = {
      {lkLpt,
       [&](auto&) {
         std::int32_t status = 0;
         return (last = protocol.ExecuteCommand<ckReadStatus>(status, version)).code;
       },
       "A parallel port cannot receive the printer's reply.",
       "パラレルポートではプリンターの応答を受信できません。"},
      {lkUsb,
       [&](auto&) {
         ParameterBlock block;
         block.XAdj = 5000;
         return (last = protocol.ExecuteCommand<ckWriteParameters>(block, version)).code;
       },
       "Setting Value Error: X COORDINATE (-999 ~ 999). Nothing was sent.",
       "設定値エラー: X座標微調 (-999 ~ 999)。何も送信していません。"},
      {lkUsb,
       [&](auto& fake) {
         fake->Queue(std::string(kMaxDiscardedBytes + 1, 'x'));
         std::int32_t status = 0;
         return (last = protocol.ExecuteCommand<ckReadStatus>(status, version)).code;
       },
       "No reply: the printer's data never began a reply.",
       "応答なし: プリンターから届いたデータに応答の始まりがありませんでした。"},
      {lkUsb,
       [&](auto& fake) {
         for (int i = 0; i < 3; ++i) fake->Queue("\x01\x02" + std::string(25, '0'));
         VersionText text;
         return (last = protocol.ExecuteCommand<ckReadFirmwareVersion>(text, version)).code;
       },
       "The printer's replies carried no firmware version.",
       "プリンターの応答にファームウェアバージョンがありませんでした。"},
  };
  for (const Case& c : cases) {
    for (const Language language : {Language::kJapanese, Language::kEnglish}) {
      auto fake = InstallFake(f.layer, c.link);
      protocol.SetLanguage(language);
      EXPECT_NE(c.run(fake), kSuccess) << c.english;
      EXPECT_EQ(last.Text(), language == Language::kJapanese ? c.japanese : c.english);
    }
  }
}

}  // namespace
}  // namespace krt6
