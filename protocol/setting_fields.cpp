// The fields a value can be refused for, their labels in both languages and the values that
// fit them; the characters a command text may carry; and the atoi-style conversion of reply
// fields.
#include <algorithm>
#include <iterator>

#include "protocol/commands.h"
#include "protocol/protocol.h"

namespace krt6 {
namespace {

struct FieldInfo {
  SettingField field;
  const char* english;
  const char* japanese;
  std::int32_t min;
  std::int32_t max;
};

// The ranges are the values whose text fills the field exactly: "%1d" one digit, "%+04d" a sign
// and three digits, "%02d", "%03d" and "%05d" as many characters as their width, a minus sign
// counting as one.
constexpr FieldInfo kFields[] = {
    {SettingField::kFontCode, "FONT CODE", "文字コード", 0, 13},
    {SettingField::kZeroCode, "ZERO CODE", "0字体", 0, 9},
    {SettingField::kSpeed, "COMM. SPEED", "通信速度", 0, 9},
    {SettingField::kDataLeng, "DATA LENG.", "データ長", 0, 9},
    {SettingField::kStopBit, "STOP BIT", "ストップビット長", 0, 9},
    {SettingField::kParity, "PARITY", "パリティー", 0, 9},
    {SettingField::kControl, "CONTROL", "制御", 0, 9},
    {SettingField::kDestination, "DESTINATION", "仕向地", 0, 9},
    {SettingField::kForwardWait, "FORWARD WAIT", "正転待機", 0, 9},
    {SettingField::kCode, "CODE", "制御コード", 0, 9},
    {SettingField::kFeedKey, "FEED KEY", "フィードキー", 0, 9},
    {SettingField::kAutoHome, "AUTO HOME", "自動頭出し", 0, 9},
    {SettingField::kAutoCalib, "AUTO CALIB.", "自動センサー調整", 0, 9},
    {SettingField::kModelSelect, "MODE SELECT", "発行モード", 0, 9},
    {SettingField::kXAdj, "X COORDINATE", "X座標微調", -999, 999},
    {SettingField::kCarriedAdj, "CARRIED ADJUSTMENT", "保持調整値", -9, 99},
    {SettingField::kCarriedValue1, "CARRIED VALUE 1", "保持値1", -9, 99},
    {SettingField::kCarriedValue2, "CARRIED VALUE 2", "保持値2", -9, 99},
    {SettingField::kBlankSpaceLen, "BLANK SPACE LEN", "用紙終端余白長", -9, 99},
    {SettingField::kIpAddress1, "IP ADDRESS 1", "IPアドレス 1", -99, 999},
    {SettingField::kIpAddress2, "IP ADDRESS 2", "IPアドレス 2", -99, 999},
    {SettingField::kIpAddress3, "IP ADDRESS 3", "IPアドレス 3", -99, 999},
    {SettingField::kIpAddress4, "IP ADDRESS 4", "IPアドレス 4", -99, 999},
    {SettingField::kSubnetMask1, "SUBNET MASK 1", "サブネットマスク 1", -99, 999},
    {SettingField::kSubnetMask2, "SUBNET MASK 2", "サブネットマスク 2", -99, 999},
    {SettingField::kSubnetMask3, "SUBNET MASK 3", "サブネットマスク 3", -99, 999},
    {SettingField::kSubnetMask4, "SUBNET MASK 4", "サブネットマスク 4", -99, 999},
    {SettingField::kGateway1, "DEFAULT GATEWAY 1", "デフォルトゲートウェイ 1", -99, 999},
    {SettingField::kGateway2, "DEFAULT GATEWAY 2", "デフォルトゲートウェイ 2", -99, 999},
    {SettingField::kGateway3, "DEFAULT GATEWAY 3", "デフォルトゲートウェイ 3", -99, 999},
    {SettingField::kGateway4, "DEFAULT GATEWAY 4", "デフォルトゲートウェイ 4", -99, 999},
    {SettingField::kSocketPortMode, "SOCKET PORT", "ソケットポート", 0, 9},
    {SettingField::kSocketPort, "SOCKET PORT", "ソケットポート", -9999, 99999},
};

// The text fields: what they may hold instead of a range.
struct TextFieldInfo {
  SettingField field;
  const char* english;
  const char* japanese;
  const char* english_rule;
  const char* japanese_rule;
};

constexpr TextFieldInfo kTextFields[] = {
    {SettingField::kEuroCode, "EURO CODE", "ユーロフォント", "printable ASCII except { | }",
     "{ | } 以外の半角英数記号"},
    {SettingField::kDhcpId, "DHCP ID", "DHCP ID", "printable ASCII except { | }",
     "{ | } 以外の半角英数記号"},
    {SettingField::kDhcpHostName, "DHCP HOSTNAME", "DHCP HOSTNAME", "A-Z, a-z, 0-9",
     "半角英数字 A-Z, a-z, 0-9"},
};

const FieldInfo* InfoOf(SettingField field) {
  for (const FieldInfo& info : kFields) {
    if (info.field == field) return &info;
  }
  return nullptr;
}

const TextFieldInfo* TextInfoOf(SettingField field) {
  for (const TextFieldInfo& info : kTextFields) {
    if (info.field == field) return &info;
  }
  return nullptr;
}

bool IsBlank(std::uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

}  // namespace

bool FieldValueFits(SettingField field, std::int32_t value) {
  const FieldInfo* info = InfoOf(field);
  return info != nullptr && value >= info->min && value <= info->max;
}

bool IsFramingByte(std::uint8_t byte, bool esc_framing) {
  if (esc_framing) return byte == kESC || byte == kLF || byte == 0x00;
  return byte == '{' || byte == '|' || byte == '}';
}

bool IsCommandText(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<std::uint8_t>(c);
    // Both framings' bytes are refused: a text must not depend on the framing to stay whole.
    return byte >= 0x20 && byte <= 0x7E && !IsFramingByte(byte, false) &&
           !IsFramingByte(byte, true);
  });
}

bool IsHostNameText(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
  });
}

std::string RefusalText(SettingField field, int language) {
  if (field == SettingField::kVersion) {
    return language == 1 ? "F/Wバージョンを選択してください" : "Select The Printer Version";
  }
  if (const TextFieldInfo* text_info = TextInfoOf(field)) {
    std::string text = language == 1 ? "設定値エラー: " : "Setting Value Error: ";
    text += language == 1 ? text_info->japanese : text_info->english;
    text += " (";
    text += language == 1 ? text_info->japanese_rule : text_info->english_rule;
    text += ")";
    return text;
  }
  const FieldInfo* info = InfoOf(field);
  if (info == nullptr) return {};
  std::string text = language == 1 ? "設定値エラー: " : "Setting Value Error: ";
  text += language == 1 ? info->japanese : info->english;
  text += " (" + std::to_string(info->min) + " ~ " + std::to_string(info->max) + ")";
  return text;
}

std::int32_t DecimalField(const std::uint8_t* text, std::size_t count) {
  std::size_t i = 0;
  while (i < count && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < count && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  std::int64_t value = 0;
  for (; i < count && IsDigit(text[i]); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > INT32_MAX) value = INT32_MAX;  // only reachable with very wide fields
  }
  return static_cast<std::int32_t>(negative ? -value : value);
}

}  // namespace krt6
