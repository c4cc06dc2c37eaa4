#include "texts/field_texts.h"

#include <optional>

namespace krt6 {
namespace {

using F = SettingField;

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

struct FieldRow {
  SettingField field;
  TextPair caption;
  int part;  // the part of an address, 1..4; 0 for other fields
  std::span<const TextPair> items;
};

constexpr TextPair kIpAddress{"IP ADDRESS", "IPアドレス"};
constexpr TextPair kSubnetMask{"SUBNET MASK", "サブネットマスク"};
constexpr TextPair kGateway{"DEFAULT GATEWAY", "デフォルトゲートウェイ"};
constexpr TextPair kSocketPort{"SOCKET PORT", "ソケットポート"};

constexpr FieldRow kFields[] = {
    {F::kFontCode, {"FONT CODE", "文字コード"}, 0, kFontCodeItems},
    {F::kZeroCode, {"ZERO CODE", "0字体"}, 0, kZeroCodeItems},
    {F::kSpeed, {"COMM. SPEED", "通信速度"}, 0, kSpeedItems},
    {F::kDataLeng, {"DATA LENG.", "データ長"}, 0, kDataLengItems},
    {F::kStopBit, {"STOP BIT", "ストップビット長"}, 0, kStopBitItems},
    {F::kParity, {"PARITY", "パリティー"}, 0, kParityItems},
    {F::kControl, {"CONTROL", "制御"}, 0, kControlItems},
    {F::kDestination, {"DESTINATION", "仕向地"}, 0, kDestinationItems},
    {F::kForwardWait, {"FORWARD WAIT", "正転待機"}, 0, kOffOnItems},
    {F::kCode, {"CODE", "制御コード"}, 0, kCodeItems},
    {F::kFeedKey, {"FEED KEY", "フィードキー"}, 0, kFeedKeyItems},
    {F::kEuroCode, {"EURO CODE", "ユーロフォント"}, 0, {}},
    {F::kAutoHome, {"AUTO HOME", "自動頭出し"}, 0, kOffOnItems},
    {F::kAutoCalib, {"AUTO CALIB.", "自動センサー調整"}, 0, kOffOnItems},
    {F::kModelSelect, {"MODE SELECT", "発行モード"}, 0, kModelSelectItems},
    {F::kXAdj, {"X COORDINATE", "X座標微調"}, 0, {}},
    {F::kCarriedAdj, {"CARRIED ADJUSTMENT", "保持調整値"}, 0, {}},
    {F::kCarriedValue1, {"CARRIED VALUE 1", "保持値1"}, 0, {}},
    {F::kCarriedValue2, {"CARRIED VALUE 2", "保持値2"}, 0, {}},
    {F::kBlankSpaceLen, {"BLANK SPACE LEN", "用紙終端余白長"}, 0, {}},
    {F::kIpAddress1, kIpAddress, 1, {}},
    {F::kIpAddress2, kIpAddress, 2, {}},
    {F::kIpAddress3, kIpAddress, 3, {}},
    {F::kIpAddress4, kIpAddress, 4, {}},
    {F::kSubnetMask1, kSubnetMask, 1, {}},
    {F::kSubnetMask2, kSubnetMask, 2, {}},
    {F::kSubnetMask3, kSubnetMask, 3, {}},
    {F::kSubnetMask4, kSubnetMask, 4, {}},
    {F::kGateway1, kGateway, 1, {}},
    {F::kGateway2, kGateway, 2, {}},
    {F::kGateway3, kGateway, 3, {}},
    {F::kGateway4, kGateway, 4, {}},
    {F::kSocketPortMode, kSocketPort, 0, kSocketPortModeItems},
    {F::kSocketPort, kSocketPort, 0, {}},
    {F::kDhcpId, {"DHCP ID", "DHCP ID"}, 0, {}},
    {F::kDhcpHostName, {"DHCP HOSTNAME", "DHCP HOSTNAME"}, 0, {}},
};

// What the text fields may hold, in place of a range.
struct TextRule {
  SettingField field;
  TextPair rule;
};

constexpr TextPair kCommandTextRule{"printable ASCII except { | }", "{ | } 以外の半角英数記号"};
constexpr TextRule kTextRules[] = {
    {F::kEuroCode, kCommandTextRule},
    {F::kDhcpId, kCommandTextRule},
    {F::kDhcpHostName, {"A-Z, a-z, 0-9", "半角英数字 A-Z, a-z, 0-9"}},
};

constexpr TextPair kSettingValueError{"Setting Value Error: ", "設定値エラー: "};
constexpr TextPair kSelectVersion{"Select The Printer Version", "F/Wバージョンを選択してください"};
constexpr TextPair kNothingSent{". Nothing was sent.", "。何も送信していません。"};

const FieldRow* RowOf(SettingField field) {
  for (const FieldRow& row : kFields) {
    if (row.field == field) return &row;
  }
  return nullptr;
}

const TextPair* RuleOf(SettingField field) {
  for (const TextRule& rule : kTextRules) {
    if (rule.field == field) return &rule.rule;
  }
  return nullptr;
}

}  // namespace

const TextPair& FieldCaption(SettingField field) {
  static constexpr TextPair kNoCaption{"", ""};
  const FieldRow* row = RowOf(field);
  return row != nullptr ? row->caption : kNoCaption;
}

std::string FieldName(SettingField field, Language language) {
  const FieldRow* row = RowOf(field);
  if (row == nullptr) return {};
  std::string name = TextFor(row->caption, language);
  if (row->part > 0) name += " " + std::to_string(row->part);
  return name;
}

std::span<const TextPair> FieldItems(SettingField field) {
  const FieldRow* row = RowOf(field);
  return row != nullptr ? row->items : std::span<const TextPair>{};
}

std::string RefusalText(SettingField field, Language language) {
  if (field == F::kVersion) return TextFor(kSelectVersion, language);
  const std::string name = FieldName(field, language);
  if (name.empty()) return {};
  std::string text = TextFor(kSettingValueError, language) + name + " (";
  if (const TextPair* rule = RuleOf(field)) {
    text += TextFor(*rule, language);
  } else if (const std::optional<FieldRange> range = FieldValueRange(field)) {
    text += std::to_string(range->min) + " ~ " + std::to_string(range->max);
  }
  return text + ")";
}

std::string RefusalDetail(SettingField field, Language language) {
  return RefusalText(field, language) + TextFor(kNothingSent, language);
}

}  // namespace krt6
