#include "records/fields.h"

#include <climits>
#include <cstring>

namespace krt6 {
namespace {

using P = ParameterBlock;
using L = LanSettings;
using K = FieldKind;
using C = CommandId;
using CF = CommandFormat;
using R = ReplyId;
using RF = ReplyFormat;
constexpr FieldPart kPar = FieldPart::kParameters;
constexpr FieldPart kLan = FieldPart::kLan;
constexpr VersionSet kAll = kEveryVersion;

// The lists of the Parameter Setting page; texts the same in both languages are written twice.
constexpr TextPair kFontCodeItems[] = {
    {"PC-850", "PC-850"},   {"PC-852", "PC-852"},   {"PC-857", "PC-857"},   {"PC-8", "PC-8"},
    {"PC-851", "PC-851"},   {"PC-855", "PC-855"},   {"PC-1250", "PC-1250"}, {"PC-1251", "PC-1251"},
    {"PC-1252", "PC-1252"}, {"PC-1253", "PC-1253"}, {"PC-1254", "PC-1254"}, {"PC-1257", "PC-1257"},
    {"LATIN9", "LATIN9"},   {"Arabic", "Arabic"}};
constexpr TextPair kZeroCodeItems[] = {{"NO SLASH", "スラッシュなし"},
                                       {"WITH SLASH", "スラッシュあり"}};
constexpr TextPair kSpeedItems[] = {{"2400 bps", "2400 bps"},    {"4800 bps", "4800 bps"},
                                    {"9600 bps", "9600 bps"},    {"19200 bps", "19200 bps"},
                                    {"38400 bps", "38400 bps"},  {"57600 bps", "57600 bps"},
                                    {"115200 bps", "115200 bps"}};
constexpr TextPair kDataLengItems[] = {{"7 bits", "7 ビット"}, {"8 bits", "8 ビット"}};
constexpr TextPair kStopBitItems[] = {{"1 bit", "1 ビット"}, {"2 bits", "2 ビット"}};
constexpr TextPair kParityItems[] = {{"NONE", "なし"}, {"EVEN", "EVEN"}, {"ODD", "ODD"}};
constexpr TextPair kControlItems[] = {
    {"XON/XOFF protocol", "XON/XOFF 方式"},
    {"READY/BUSY (DTR) protocol", "READY/BUSY (DTR) 方式"},
    {"XON/XOFF + READY/BUSY (DTR) protocol", "XON/XOFF + READY/BUSY (DTR) 方式"},
    {"XON/XOFF protocol", "XON/XOFF 方式"},
    {"RTS protocol", "RTS 方式"}};
constexpr TextPair kDestinationItems[] = {
    {"QM", "QM"}, {"JA", "JA"}, {"CSG", "CSG"}, {"JA-R", "JA-R"}, {"QM-R", "QM-R"}};
constexpr TextPair kOffOnItems[] = {{"OFF", "OFF"}, {"ON", "ON"}};
constexpr TextPair kCodeItems[] = {{"Automatic selection", "自動切換え"},
                                   {"ESC, LF, NUL mode", "ESC, LF, NUL モード"},
                                   {"{, |, } mode", "{, |, } モード"}};
constexpr TextPair kFeedKeyItems[] = {{"FEED", "フィード"}, {"PRINT", "プリント"}};
constexpr TextPair kModelSelectItems[] = {{"DT", "直発色"}, {"TT", "熱転写"}};
// The Extra Setting page's socket port list.
constexpr TextPair kSocketPortModeItems[] = {{"OFF", "OFF"}, {"1", "1"}, {"2", "2"},
                                             {"3", "3"},     {"4", "4"}, {"5", "5"}};

constexpr TextPair kNoCaption{"", ""};
constexpr TextPair kSocketPort{"SOCKET PORT", "ソケットポート"};

constexpr std::int32_t kMin = INT32_MIN;
constexpr std::int32_t kMax = INT32_MAX;

// The rows are data: kept as written, one field to a few lines.
// clang-format off
// A list of the Parameter Setting page: one digit in the first write command and in the second
// parameter reply.
constexpr FieldRow List(const char* key, MemberSpan member, std::size_t file_offset,
                        TextPair caption, std::span<const TextPair> items, std::uint8_t command,
                        std::uint8_t reply, VersionSet versions = kAll) {
  return {key,  kPar, K::kList, member, file_offset,
          caption, items, 0,    static_cast<std::int32_t>(items.size()) - 1,
          {C::kParameters1, command, CF::kDigit, versions},
          {R::kParameters2, reply, 1, RF::kDigit}};
}

// A number no command carries and no reply returns.
constexpr FieldRow Kept(const char* key, MemberSpan member, std::size_t file_offset) {
  return {key, kPar, K::kNumber, member, file_offset, kNoCaption, {}, kMin, kMax, {}, {}};
}

constexpr FieldRow kFields[] = {
    {"font_code", kPar, K::kList, KRT6_MEMBER(P, FontCode), 0, {"FONT CODE", "文字コード"},
     kFontCodeItems, 0, static_cast<std::int32_t>(std::size(kFontCodeItems)) - 1,
     {C::kParameters1, 5, CF::kFontDigit, kAll}, {R::kParameters2, 4, 1, RF::kFontDigit}},
    List("zero_code", KRT6_MEMBER(P, ZeroCode), 4, {"ZERO CODE", "0字体"}, kZeroCodeItems, 6, 5),
    List("comm_speed", KRT6_MEMBER(P, Speed), 8, {"COMM. SPEED", "通信速度"}, kSpeedItems, 7, 6),
    List("data_length", KRT6_MEMBER(P, DataLeng), 12, {"DATA LENG.", "データ長"}, kDataLengItems,
         8, 7),
    List("stop_bit", KRT6_MEMBER(P, StopBit), 16, {"STOP BIT", "ストップビット長"}, kStopBitItems,
         9, 8),
    List("parity", KRT6_MEMBER(P, Parity), 20, {"PARITY", "パリティー"}, kParityItems, 10, 9),
    List("control", KRT6_MEMBER(P, Control), 24, {"CONTROL", "制御"}, kControlItems, 11, 10),
    List("destination", KRT6_MEMBER(P, Destination), 28, {"DESTINATION", "仕向地"},
         kDestinationItems, 12, 11, FromVersion(1)),
    List("forward_wait", KRT6_MEMBER(P, ForwardWait), 32, {"FORWARD WAIT", "正転待機"},
         kOffOnItems, 13, 12),
    List("code", KRT6_MEMBER(P, Code), 36, {"CODE", "制御コード"}, kCodeItems, 16, 15),
    List("feed_key", KRT6_MEMBER(P, FeedKey), 40, {"FEED KEY", "フィードキー"}, kFeedKeyItems, 19,
         18),
    {"euro_code", kPar, K::kText, KRT6_MEMBER(P, EuroCode), 44, {"EURO CODE", "ユーロフォント"},
     {}, 0, 0, {C::kParameters1, 21, CF::kTwoChars, kAll}, {R::kParameters2, 20, 2, RF::kChars},
     2},
    List("auto_home", KRT6_MEMBER(P, AutoHome), 60, {"AUTO HOME", "自動頭出し"}, kOffOnItems, 26,
         25),
    List("auto_calib", KRT6_MEMBER(P, AutoCalib), 64, {"AUTO CALIB.", "自動センサー調整"},
         kOffOnItems, 27, 26),
    List("mode_select", KRT6_MEMBER(P, ModelSelect), 68, {"MODE SELECT", "発行モード"},
         kModelSelectItems, 28, 27, FromVersion(2)),
    {"x_coordinate", kPar, K::kNumber, KRT6_MEMBER(P, XAdj), 72, {"X COORDINATE", "X座標微調"},
     {}, kMin, kMax, {C::kParameters2, 16, CF::kSigned3, kAll},
     {R::kParameters1, 15, 4, RF::kDecimal}},
    {"blank_space_len", kPar, K::kNumber, KRT6_MEMBER(P, BlankSpaceLen), 88,
     {"BLANK SPACE LEN", "用紙終端余白長"}, {}, 2, 99,
     {C::kParameters2, 40, CF::kWidth2, FromVersion(3)},
     {R::kParameters1, 39, 2, RF::kDecimal, FromVersion(3)}},
    Kept("reserved1", KRT6_MEMBER(P, Reserved1), 48),
    Kept("reserved2", KRT6_MEMBER(P, Reserved2), 52),
    Kept("reserved3", KRT6_MEMBER(P, Reserved3), 56),
    {"carried_value1", kPar, K::kNumber, KRT6_MEMBER(P, CarriedValue1), 76,
     {"CARRIED VALUE 1", "保持値1"}, {}, kMin, kMax,
     {C::kParameters2, 36, CF::kWidth2, OnlyVersions({0, 3, 4})},
     {R::kParameters1, 35, 2, RF::kDecimal}},
    {"carried_value2", kPar, K::kNumber, KRT6_MEMBER(P, CarriedValue2), 80,
     {"CARRIED VALUE 2", "保持値2"}, {}, kMin, kMax,
     {C::kParameters2, 38, CF::kWidth2, FromVersion(3)}, {R::kParameters1, 37, 2, RF::kDecimal}},
    {"carried_adj", kPar, K::kNumber, KRT6_MEMBER(P, CarriedAdj), 84,
     {"CARRIED ADJUSTMENT", "保持調整値"}, {}, kMin, kMax,
     {C::kParameters2, 20, CF::kDash2, FromVersion(1)}, {R::kParameters1, 20, 2, RF::kDecimal}},

    {"ip_address", kLan, K::kAddress, KRT6_MEMBER(L, IpAddress), 1, {"IP ADDRESS", "IPアドレス"},
     {}, 0, 255, {C::kIP2, 5, CF::kWidth3, kAll}, {R::kLan, 5, 3, RF::kDecimal}, 0, true},
    {"subnet_mask", kLan, K::kAddress, KRT6_MEMBER(L, SubnetMask), 17,
     {"SUBNET MASK", "サブネットマスク"}, {}, 0, 255, {C::kIP4, 5, CF::kWidth3, kAll},
     {R::kLan, 29, 3, RF::kDecimal}},
    {"default_gateway", kLan, K::kAddress, KRT6_MEMBER(L, Gateway), 33,
     {"DEFAULT GATEWAY", "デフォルトゲートウェイ"}, {}, 0, 255,
     {C::kIP3, 5, CF::kWidth3, kAll}, {R::kLan, 17, 3, RF::kDecimal}},
    {"socket_port_mode", kLan, K::kList, KRT6_MEMBER(L, SocketPortMode), 49, kSocketPort,
     kSocketPortModeItems, 0, static_cast<std::int32_t>(std::size(kSocketPortModeItems)) - 1,
     {C::kSocket, 3, CF::kDigit, kAll}, {R::kLan, 41, 1, RF::kDigit}},
    {"socket_port", kLan, K::kNumber, KRT6_MEMBER(L, SocketPort), 53, kSocketPort, {}, 0, 65535,
     {C::kSocket, 5, CF::kWidth5, kAll}, {R::kLan, 42, 5, RF::kDecimal}},
    {"dhcp", kLan, K::kFlag, KRT6_MEMBER(L, DhcpEnabled), 57, {"DHCP", "DHCP"}, kOffOnItems, 0, 1,
     {C::kDhcp, 3, CF::kOneIfOne, kAll}, {R::kLan, 47, 1, RF::kFlag}},
    {"dhcp_id", kLan, K::kText, KRT6_MEMBER(L, DhcpId), 58, {"DHCP ID", "DHCP ID"}, {}, 0, 0,
     {C::kDhcp, 5, CF::kRight32, kAll}, {R::kLan, 48, 32, RF::kChars}, 32},
    {"dhcp_hostname", kLan, K::kText, KRT6_MEMBER(L, DhcpHostName), 91,
     {"DHCP HOSTNAME", "DHCP HOSTNAME"}, {}, 0, 0, {C::kHostName, 5, CF::kTail, kAll},
     {R::kLan, 80, 16, RF::kChars}, 15, true, TextChars::kHostName},
    {"lan_flag", kLan, K::kByte, KRT6_MEMBER(L, LanFlag), 0, kNoCaption, {}, 0, 255, {},
     {R::kLan, 4, 1, RF::kFlag}},
};
// clang-format on

}  // namespace

std::span<const FieldRow> Fields() { return kFields; }

const char* PartName(FieldPart part) { return part == FieldPart::kLan ? "lan" : "parameters"; }

const FieldRow* FindField(FieldPart part, std::string_view key) {
  for (const FieldRow& row : kFields) {
    if (row.part == part && key == row.key) return &row;
  }
  return nullptr;
}

const FieldRow* FindFieldByKey(std::string_view key) {
  for (const FieldPart part : {FieldPart::kParameters, FieldPart::kLan}) {
    const std::string_view prefix = PartName(part);
    if (key.size() > prefix.size() && key.starts_with(prefix) && key[prefix.size()] == '.') {
      return FindField(part, key.substr(prefix.size() + 1));
    }
  }
  for (const FieldRow& row : kFields) {
    if (key == row.key) return &row;
  }
  return nullptr;
}

std::uint8_t* MemberBytes(const FieldRow& row, void* record) {
  return static_cast<std::uint8_t*>(record) + row.member.offset;
}

const std::uint8_t* MemberBytes(const FieldRow& row, const void* record) {
  return static_cast<const std::uint8_t*>(record) + row.member.offset;
}

std::int32_t GetInt(const FieldRow& row, const void* record, int part) {
  const std::uint8_t* bytes = MemberBytes(row, record);
  if (row.member.size == 1) return bytes[0];
  std::int32_t value;
  std::memcpy(&value, bytes + 4 * part, sizeof value);
  return value;
}

void SetInt(const FieldRow& row, void* record, std::int32_t value, int part) {
  std::uint8_t* bytes = MemberBytes(row, record);
  if (row.member.size == 1) {
    bytes[0] = static_cast<std::uint8_t>(value);
  } else {
    std::memcpy(bytes + 4 * part, &value, sizeof value);
  }
}

ValueRange CommandRange(const FieldRow& row) {
  switch (row.command.format) {
    case CommandFormat::kDigit: return {0, 9};
    case CommandFormat::kFontDigit: return {0, static_cast<std::int32_t>(row.items.size()) - 1};
    case CommandFormat::kSigned3: return {-999, 999};
    case CommandFormat::kDash2:
    case CommandFormat::kWidth2: return {-9, 99};
    case CommandFormat::kWidth3: return {-99, 999};
    case CommandFormat::kWidth5: return {-9999, 99999};
    case CommandFormat::kOneIfOne: return {0, 255};
    default: return {INT32_MIN, INT32_MAX};
  }
}

ValueRange SendRange(const FieldRow& row) {
  const ValueRange sent = CommandRange(row);
  return {row.min > sent.min ? row.min : sent.min, row.max < sent.max ? row.max : sent.max};
}

SettingField FieldOf(std::string_view key, int address_part) {
  const FieldRow* row = FindFieldByKey(key);
  if (row == nullptr) return SettingField::kNone;
  return {row, row->kind == FieldKind::kAddress ? (address_part == 0 ? 1 : address_part) : 0};
}

}  // namespace krt6
