// The byte layouts of the two setting files and their lenient loading.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <random>
#include <vector>

#include "files/setting_files.h"
#include "support/temp_dir.h"

namespace krt6 {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The 23 four-byte slots of the 92-byte layout in record order; slot 11 is EuroCode.
constexpr int kSlots = 23;
constexpr int kEuroSlot = 11;

std::int32_t Slot(const ParameterBlock& b, int slot) {
  const std::int32_t ParameterBlock::*ints[kSlots] = {
      &ParameterBlock::FontCode,   &ParameterBlock::ZeroCode,      &ParameterBlock::Speed,
      &ParameterBlock::DataLeng,   &ParameterBlock::StopBit,       &ParameterBlock::Parity,
      &ParameterBlock::Control,    &ParameterBlock::Destination,   &ParameterBlock::ForwardWait,
      &ParameterBlock::Code,       &ParameterBlock::FeedKey,       nullptr,
      &ParameterBlock::Reserved1,  &ParameterBlock::Reserved2,     &ParameterBlock::Reserved3,
      &ParameterBlock::AutoHome,   &ParameterBlock::AutoCalib,     &ParameterBlock::ModelSelect,
      &ParameterBlock::XAdj,       &ParameterBlock::CarriedValue1, &ParameterBlock::CarriedValue2,
      &ParameterBlock::CarriedAdj, &ParameterBlock::BlankSpaceLen,
  };
  if (slot == kEuroSlot) {
    std::int32_t v;
    std::memcpy(&v, b.EuroCode, 4);
    return v;
  }
  return b.*ints[slot];
}

void PutLe(Bytes& out, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

TEST(ParameterFileTest, BlockAfterStartUpEncodesAsTheFileLayout) {
  // The record as start-up leaves it: list defaults, "B0" in EditEuroCode, carried 32/32/0.
  const ParameterBlock block;
  const ParameterFileBytes bytes = EncodeParameterBlock(block);
  Bytes expected(92, 0);
  const std::uint32_t ints[kSlots] = {0, 0, 2, 1, 0, 0, 2, 0,  1,  0, 0, 0,
                                      0, 0, 0, 0, 0, 0, 0, 32, 32, 0, 2};
  for (int slot = 0; slot < kSlots; ++slot) PutLe(expected, 4 * slot, ints[slot]);
  expected[44] = 'B';
  expected[45] = '0';
  expected[46] = 0;
  expected[47] = 0;
  EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), expected);
}

TEST(ParameterFileTest, IntegersAreLittleEndianAndSigned) {
  ParameterBlock block;
  block.XAdj = -5;
  block.Reserved2 = 0x12345678;
  block.EuroCode[3] = 'Z';  // only a loaded file puts something here; it is stored as is
  const ParameterFileBytes bytes = EncodeParameterBlock(block);
  EXPECT_EQ(Bytes(bytes.begin() + 72, bytes.begin() + 76), (Bytes{0xFB, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(Bytes(bytes.begin() + 52, bytes.begin() + 56), (Bytes{0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(bytes[47], 'Z');
  const ParameterBlock back = DecodeParameterBlock(bytes);
  EXPECT_EQ(back.XAdj, -5);
  EXPECT_EQ(back.Reserved2, 0x12345678);
  EXPECT_EQ(std::memcmp(back.EuroCode, "B0\0Z", 4), 0);
}

// A record whose slot i holds 500 + i, and a 92-byte file whose slot i holds 1000 + i, so that
// every field of the result tells where it came from.
ParameterBlock MarkedRecord() {
  ParameterFileBytes bytes{};
  for (int slot = 0; slot < kSlots; ++slot) {
    for (int i = 0; i < 4; ++i)
      bytes[4 * slot + i] = static_cast<std::uint8_t>((500 + slot) >> (8 * i));
  }
  return DecodeParameterBlock(bytes);
}
Bytes MarkedFile() {
  Bytes file(92);
  for (int slot = 0; slot < kSlots; ++slot) PutLe(file, 4 * slot, 1000u + slot);
  return file;
}

struct LayoutCase {
  std::size_t size;
  // For each record slot: the file slot it takes, or -1 when it keeps its value.
  int source[kSlots];
};

TEST(ParameterFileTest, EachFileSizeFillsTheFieldsOfItsLayout) {
  constexpr int K = -1;
  const LayoutCase cases[] = {
      // 76 bytes: no Destination, ModelSelect, CarriedAdj, BlankSpaceLen; later slots move up.
      {76, {0, 1, 2, 3, 4, 5, 6, K, 7, 8, 9, 10, 11, 12, 13, 14, 15, K, 16, 17, 18, K, K}},
      // 84 and 88 bytes: no ModelSelect, no BlankSpaceLen; the 88th to 85th bytes are unused.
      {84, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, K, 17, 18, 19, 20, K}},
      {88, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, K, 17, 18, 19, 20, K}},
      // The full layout and every other size: the bytes over the start of the record.
      {92, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22}},
      {200, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22}},
      {80, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, K, K, K}},
      {44, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, K, K, K, K, K, K, K, K, K, K, K, K}},
      {4, {0, K, K, K, K, K, K, K, K, K, K, K, K, K, K, K, K, K, K, K, K, K, K}},
  };
  for (const LayoutCase& c : cases) {
    Bytes file = MarkedFile();
    file.resize(c.size, 0xEE);
    // Put a NUL into the file's EuroCode slot so that the text is taken unchanged.
    file[42] = 0;
    file[46] = 0;
    ParameterBlock block = MarkedRecord();
    block.EuroCode[2] = 0;
    const ParameterBlock before = block;
    ApplyParameterFile(file.data(), file.size(), block);
    Bytes padded = file;
    padded.resize(std::max<std::size_t>(file.size(), 92));
    for (int slot = 0; slot < kSlots; ++slot) {
      const int from = c.source[slot];
      std::int32_t expected = Slot(before, slot);
      if (from >= 0) std::memcpy(&expected, &padded[4 * from], 4);  // tests run little-endian
      EXPECT_EQ(Slot(block, slot), expected) << "size " << c.size << ", slot " << slot;
    }
  }
}

TEST(ParameterFileTest, SeventySixBytesSetXAdjFromBytes64To67AndKeepModelSelect) {
  Bytes file(76, 0);
  PutLe(file, 64, static_cast<std::uint32_t>(-123));
  ParameterBlock block;
  block.ModelSelect = 1;
  ApplyParameterFile(file.data(), file.size(), block);
  EXPECT_EQ(block.XAdj, -123);
  EXPECT_EQ(block.ModelSelect, 1);
}

TEST(ParameterFileTest, EightyEightBytesLoadLikeTheirFirstEightyFour) {
  std::mt19937 random(7);
  Bytes file(88);
  for (auto& b : file) b = static_cast<std::uint8_t>(random());
  ParameterBlock from88, from84;
  ApplyParameterFile(file.data(), 88, from88);
  ApplyParameterFile(file.data(), 84, from84);
  EXPECT_EQ(EncodeParameterBlock(from88), EncodeParameterBlock(from84));
}

TEST(ParameterFileTest, EmptyOrPartialFilesChangeOnlyTheBytesTheyHave) {
  ParameterBlock block;
  block.FontCode = 0x01020304;
  const ParameterFileBytes before = EncodeParameterBlock(block);
  ApplyParameterFile(nullptr, 0, block);
  const std::uint8_t none[1] = {0x99};
  ApplyParameterFile(none, 0, block);
  EXPECT_EQ(EncodeParameterBlock(block), before);

  // Two bytes replace the low-order half of FontCode, as on disk.
  const std::uint8_t two[2] = {0xAA, 0xBB};
  ApplyParameterFile(two, 2, block);
  EXPECT_EQ(block.FontCode, 0x0102BBAA);

  // 46 bytes reach the first two characters of EuroCode only.
  Bytes file(46, 0);
  file[44] = 'X';
  file[45] = 'Y';
  ApplyParameterFile(file.data(), file.size(), block);
  EXPECT_EQ(std::memcmp(block.EuroCode, "XY\0\0", 4), 0);
}

TEST(LanSettingsFileTest, InitialControlsEncodeAsTheFileLayout) {
  // What the Extra Setting page holds at start-up, taken into the record.
  LanSettings s;
  s.LanFlag = 1;
  const std::int32_t ip[4] = {192, 168, 10, 20}, mask[4] = {255, 255, 255, 0};
  for (int i = 0; i < 4; ++i) {
    s.IpAddress[i] = ip[i];
    s.SubnetMask[i] = mask[i];
    s.Gateway[i] = 0;
  }
  s.SocketPortMode = 1;
  s.SocketPort = 8000;
  s.DhcpEnabled = 0;
  std::memset(s.DhcpId, 'F', 32);
  const LanSettingsFileBytes bytes = EncodeLanSettings(s);

  Bytes expected(107, 0);
  expected[0] = 1;
  for (int i = 0; i < 4; ++i) {
    PutLe(expected, 1 + 4 * i, static_cast<std::uint32_t>(ip[i]));
    PutLe(expected, 17 + 4 * i, static_cast<std::uint32_t>(mask[i]));
  }
  PutLe(expected, 49, 1);
  PutLe(expected, 53, 8000);
  std::memset(&expected[58], 'F', 32);
  EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), expected);
  EXPECT_EQ(EncodeLanSettings(DecodeLanSettings(bytes)), bytes);
}

TEST(LanSettingsFileTest, ShortAndLongFilesCoverOnlyTheStartOfTheRecord) {
  Bytes file(200);
  for (std::size_t i = 0; i < file.size(); ++i) file[i] = static_cast<std::uint8_t>(i + 1);
  file[58 + 5] = 0;  // NULs inside both texts, so they are taken unchanged
  file[91 + 3] = 0;

  LanSettings base;
  base.SocketPort = 8000;
  std::strcpy(base.DhcpId, "KEEP");
  const LanSettingsFileBytes before = EncodeLanSettings(base);

  for (std::size_t size : {0u, 1u, 49u, 57u, 106u, 107u, 200u}) {
    LanSettings s = base;
    ApplyLanSettingsFile(file.data(), size, s);
    const LanSettingsFileBytes after = EncodeLanSettings(s);
    for (std::size_t i = 0; i < 107; ++i) {
      EXPECT_EQ(after[i], i < size ? file[i] : before[i]) << "size " << size << ", byte " << i;
    }
  }
  // 49 bytes: LanFlag and the twelve address integers, nothing else.
  LanSettings s = base;
  ApplyLanSettingsFile(file.data(), 49, s);
  EXPECT_EQ(s.LanFlag, 1);
  EXPECT_EQ(s.IpAddress[0], 0x05040302);
  EXPECT_EQ(s.Gateway[3], 0x31302F2E);
  EXPECT_EQ(s.SocketPort, 8000);
  EXPECT_STREQ(s.DhcpId, "KEEP");
}

TEST(SettingTextsTest, TextsWithoutNulEndInTheLastByteOfTheirField) {
  Bytes ts0(92, 0);
  std::memcpy(&ts0[44], "ABCD", 4);
  ParameterBlock block;
  ApplyParameterFile(ts0.data(), ts0.size(), block);
  EXPECT_EQ(std::memcmp(block.EuroCode, "ABC\0", 4), 0);

  // A NUL anywhere in the field leaves every byte as the file had it.
  std::memcpy(&ts0[44], "A\0CD", 4);
  ApplyParameterFile(ts0.data(), ts0.size(), block);
  EXPECT_EQ(std::memcmp(block.EuroCode, "A\0CD", 4), 0);

  Bytes ts1(107, 'X');
  LanSettings s;
  ApplyLanSettingsFile(ts1.data(), ts1.size(), s);
  EXPECT_EQ(std::string(s.DhcpId), std::string(32, 'X'));
  EXPECT_EQ(std::string(s.DhcpHostName), std::string(15, 'X'));

  // A file that stops inside DhcpId: its end comes from the record, which ends it already.
  LanSettings partial;
  ApplyLanSettingsFile(ts1.data(), 70, partial);
  EXPECT_EQ(std::string(partial.DhcpId), std::string(12, 'X'));
}

// The field table gives every byte of both files to exactly one field, so that a file loaded and
// saved again keeps every byte; a file reaches the fields its bytes overlap.
TEST(SettingFileLayoutTest, TheFieldsTileBothFilesAndAFileReachesWhatItsBytesOverlap) {
  for (const auto& [part, size] : {std::pair{FieldPart::kParameters, kParameterFileSize},
                                   std::pair{FieldPart::kLan, kLanSettingsFileSize}}) {
    std::vector<int> owners(size, 0);
    for (const FieldRow& row : Fields()) {
      if (row.part != part) continue;
      if (row.file_offset == kNotInFile) {
        EXPECT_FALSE(FileReaches(row, size)) << row.key;
        continue;
      }
      ASSERT_LE(row.file_offset + row.member.size, size) << row.key;
      for (std::size_t i = 0; i < row.member.size; ++i) ++owners[row.file_offset + i];
      EXPECT_TRUE(FileReaches(row, size)) << row.key;
      EXPECT_EQ(FileReaches(row, 44), row.file_offset < 44) << row.key;
    }
    EXPECT_EQ(owners, std::vector<int>(size, 1)) << PartName(part);
  }
}

// Every size from 0 to 200 bytes with random content, through real files: nothing crashes (the
// sanitizer build watches every read), the texts always end inside their fields, and the result
// matches what copying the bytes over the record would give.
TEST(SettingFilesFuzzTest, EverySizeWithRandomContentLoadsSafely) {
  static_assert(std::endian::native == std::endian::little, "the copy oracle assumes it");
  // The parameter block's oracle copies the file over the record's memory, whose 23 four-byte
  // fields then lie as in the file; the LAN settings' oracle copies it over the file bytes.
  static_assert(sizeof(ParameterBlock) == kParameterFileSize, "the copy oracle assumes it");
  testing::TempDir dir;
  std::mt19937 random(20261208);
  for (std::size_t size = 0; size <= 200; ++size) {
    for (int round = 0; round < 4; ++round) {
      Bytes file(size);
      for (auto& b : file) b = static_cast<std::uint8_t>(random() % (round == 0 ? 3 : 256));
      const std::string path = dir / "fuzz.bin";
      testing::WriteBytes(path, file);

      ParameterBlock block;
      ASSERT_TRUE(LoadParameterFile(path, block)) << size;
      EXPECT_NE(std::memchr(block.EuroCode, 0, sizeof block.EuroCode), nullptr) << size;
      if (size != 76 && size != 84 && size != 88) {
        ParameterBlock copied;
        if (size > 0) std::memcpy(&copied, file.data(), std::min<std::size_t>(size, 92));
        for (int slot = 0; slot < kSlots; ++slot) {
          if (slot == kEuroSlot) continue;
          EXPECT_EQ(Slot(block, slot), Slot(copied, slot)) << size << "/" << slot;
        }
        const bool had_nul = std::memchr(copied.EuroCode, 0, 4) != nullptr;
        EXPECT_EQ(std::memcmp(block.EuroCode, copied.EuroCode, had_nul ? 4 : 3), 0) << size;
      }

      LanSettings lan;
      ASSERT_TRUE(LoadLanSettingsFile(path, lan)) << size;
      EXPECT_NE(std::memchr(lan.DhcpId, 0, sizeof lan.DhcpId), nullptr) << size;
      EXPECT_NE(std::memchr(lan.DhcpHostName, 0, sizeof lan.DhcpHostName), nullptr) << size;
      LanSettingsFileBytes want = EncodeLanSettings(LanSettings{});
      if (size > 0) std::memcpy(want.data(), file.data(), std::min<std::size_t>(size, 107));
      const LanSettingsFileBytes got = EncodeLanSettings(lan);
      for (std::size_t i = 0; i < 107; ++i) {
        if (i == 90 || i == 106) continue;  // the last byte of each text may have been cut
        EXPECT_EQ(got[i], want[i]) << size << "/" << i;
      }
    }
  }
}

}  // namespace
}  // namespace krt6
