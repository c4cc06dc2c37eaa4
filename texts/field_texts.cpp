#include "texts/field_texts.h"

namespace krt6 {
namespace {

constexpr TextPair kCommandTextRule{"printable ASCII except { | }", "{ | } 以外の半角英数記号"};
constexpr TextPair kHostNameRule{"A-Z, a-z, 0-9", "半角英数字 A-Z, a-z, 0-9"};
constexpr TextPair kSettingValueError{"Setting Value Error: ", "設定値エラー: "};
constexpr TextPair kSelectVersion{"Select The Printer Version", "F/Wバージョンを選択してください"};
constexpr TextPair kNothingSent{". Nothing was sent.", "。何も送信していません。"};

}  // namespace

const TextPair& FieldCaption(SettingField field) {
  static constexpr TextPair kNoCaption{"", ""};
  return field.row != nullptr ? field.row->caption : kNoCaption;
}

std::string FieldName(SettingField field, Language language) {
  if (field.row == nullptr) return {};
  std::string name = TextFor(field.row->caption, language);
  if (field.address_part > 0) name += " " + std::to_string(field.address_part);
  return name;
}

std::span<const TextPair> FieldItems(SettingField field) {
  return field.row != nullptr ? field.row->items : std::span<const TextPair>{};
}

std::string RefusalText(SettingField field, Language language) {
  if (field == SettingField::kVersion) return TextFor(kSelectVersion, language);
  const std::string name = FieldName(field, language);
  if (name.empty()) return {};
  std::string text = TextFor(kSettingValueError, language) + name + " (";
  if (field.row->kind == FieldKind::kText) {
    const bool host = field.row->text_chars == TextChars::kHostName;
    text += TextFor(host ? kHostNameRule : kCommandTextRule, language);
  } else {
    const ValueRange range = CommandRange(*field.row);
    text += std::to_string(range.min) + " ~ " + std::to_string(range.max);
  }
  return text + ")";
}

std::string RefusalDetail(SettingField field, Language language) {
  return RefusalText(field, language) + TextFor(kNothingSent, language);
}

}  // namespace krt6
