#include "config/configuration.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <set>
#include <span>

#include "files/setting_files.h"
#include "protocol/commands.h"
#include "texts/config_texts.h"
#include "texts/field_texts.h"

namespace krt6 {
namespace {

using json = nlohmann::json;
using Address = std::array<std::int32_t, 4>;

// ---- Fields ----

std::string KeyOf(const FieldRow& row) { return std::string(PartName(row.part)) + "." + row.key; }

// Whether the part is present, as a flag to set for a configuration that is not const.
template <typename C> auto& Present(C& c, FieldPart part) {
  return part == FieldPart::kLan ? c.HasLan : c.HasParameters;
}

bool NamesWholePart(const Configuration& c, FieldPart part) {
  const std::span<const FieldRow> rows = Fields();
  return Present(c, part) && std::all_of(rows.begin(), rows.end(), [&](const FieldRow& row) {
           // A field the setting files have no place for counts as given: a write that reads
           // nothing first sends its start-up value, what printers got before it was known.
           return row.part != part || row.file_offset == kNotInFile || c.Values.contains(&row);
         });
}

bool Listed(const FieldRow& row) {
  return row.kind == FieldKind::kList || row.kind == FieldKind::kFlag;
}

FieldValue ValueOf(const FieldRow& row, const void* record) {
  if (row.kind == FieldKind::kText) {
    return std::string(reinterpret_cast<const char*>(MemberBytes(row, record)), row.member.size);
  }
  if (row.kind == FieldKind::kAddress) {
    Address parts{};
    for (int i = 0; i < 4; ++i) parts[static_cast<std::size_t>(i)] = GetInt(row, record, i);
    return parts;
  }
  return GetInt(row, record);
}

void PutValue(const FieldRow& row, const FieldValue& value, void* record) {
  if (const auto* bytes = std::get_if<std::string>(&value)) {
    std::memcpy(MemberBytes(row, record), bytes->data(), std::min(bytes->size(), row.member.size));
  } else if (const auto* parts = std::get_if<Address>(&value)) {
    for (int i = 0; i < 4; ++i) SetInt(row, record, (*parts)[static_cast<std::size_t>(i)], i);
  } else {
    SetInt(row, record, std::get<std::int32_t>(value));
  }
}

// The records of a configuration: its named values over the start-up values.
struct Records {
  ParameterBlock parameters = StartupParameters();
  LanSettings lan = StartupLanSettings();
  void* Of(FieldPart part) {
    return part == FieldPart::kLan ? static_cast<void*>(&lan) : static_cast<void*>(&parameters);
  }
};

void OverlayPart(const Configuration& c, FieldPart part, void* record) {
  for (const auto& [row, value] : c.Values) {
    if (row->part == part) PutValue(*row, value, record);
  }
}

Records RecordsOf(const Configuration& c) {
  Records records;
  for (const FieldPart part : {FieldPart::kParameters, FieldPart::kLan}) {
    OverlayPart(c, part, records.Of(part));
  }
  return records;
}

// ---- Texts ----

ConfigError Refuse(std::string key, const TextPair& pair, Language language,
                   std::initializer_list<std::string_view> args) {
  return {std::move(key), FormatText(pair, language, args)};
}

ConfigError Expected(const std::string& key, const std::string& what, Language language) {
  return Refuse(key, kConfigExpectedText, language, {key, what});
}

ConfigError OutOfRange(const std::string& key, std::int64_t value, std::int64_t min,
                       std::int64_t max, Language language) {
  return Refuse(key, kConfigRangeText, language,
                {key, std::to_string(value), std::to_string(min), std::to_string(max)});
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool IsDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Characters of an input value a refusal shows; longer values end in "...".
constexpr std::size_t kShownChars = 80;
constexpr std::size_t kWhole = std::string_view::npos;

// A value from the input as a refusal shows it: on one line and harmless to a terminal. Line
// breaks, tabs and the backslash read \n, \r, \t, \\; other controls (C1 ones too) and
// bytes that are no UTF-8 read \xHH; after `limit` characters "..." ends it. (Printable writes
// C1 controls and the backslash otherwise, and the messages keep this form.)
std::string Shown(std::string_view text, std::size_t limit = kShownChars) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  std::size_t shown = 0;
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    char32_t point = 0;
    std::size_t length = Utf8Character(text.substr(i), point);
    std::string piece;
    bool escaped = true;
    if (c == '\n' || c == '\r' || c == '\t' || c == '\\') {
      piece = {'\\', c == '\n' ? 'n' : c == '\r' ? 'r' : c == '\t' ? 't' : '\\'};
    } else if (length == 0 || point < 0x20 || point == 0x7F || (point >= 0x80 && point <= 0x9F)) {
      length = length == 0 ? 1 : length;
      for (std::size_t b = i; b < i + length; ++b) {
        const auto v = static_cast<unsigned char>(text[b]);
        piece += {'\\', 'x', kDigits[v >> 4], kDigits[v & 15]};
      }
    } else {
      piece = text.substr(i, length);
      escaped = false;
    }
    const std::size_t width = escaped ? piece.size() : 1;
    if (limit != kWhole && shown + width > limit) return out + "...";
    out += piece;
    shown += width;
    i += length;
  }
  return out;
}

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (!out.empty()) out += ' ';
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

std::optional<std::string> FromHex(std::string_view text) {
  std::string out;
  int high = -1;
  for (char c : text) {
    if (c == ' ') {
      if (high >= 0) return std::nullopt;
      continue;
    }
    int v;
    if (c >= '0' && c <= '9') {
      v = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      v = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      v = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<char>(high * 16 + v));
      high = -1;
    }
  }
  if (high >= 0) return std::nullopt;
  return out;
}

// Trailing NUL bytes written out add nothing: a missing byte reads as NUL.
std::string_view WithoutTrailingNuls(std::string_view bytes) {
  const std::size_t last = bytes.find_last_not_of('\0');
  return bytes.substr(0, last == std::string_view::npos ? 0 : last + 1);
}

// The characters of a text field's bytes up to its NUL.
std::string_view TextPart(std::string_view bytes) { return bytes.substr(0, bytes.find('\0')); }

std::string Dotted(const Address& parts) {
  return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." +
         std::to_string(parts[2]) + "." + std::to_string(parts[3]);
}

// ---- Ranges ----

// The values a record can hold.
ValueRange StorageRange(const FieldRow& row) {
  return row.member.size == 1 ? ValueRange{0, 255} : ValueRange{INT32_MIN, INT32_MAX};
}

bool InRange(std::int64_t value, ValueRange range) {
  return value >= range.min && value <= range.max;
}

// ---- Items ----

// Whether another item of the list reads the same, so that the text alone names two items.
bool SharedText(std::span<const TextPair> items, std::size_t index, Language language) {
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i != index &&
        std::strcmp(TextFor(items[i], language), TextFor(items[index], language)) == 0)
      return true;
  }
  return false;
}

// The item as the document (English) or a comparison (either language) writes it.
std::string ItemText(const FieldRow& row, std::size_t index, Language language) {
  if (!SharedText(row.items, index, language)) return TextFor(row.items[index], language);
  return FormatText(kConfigItemNumberText, language,
                    {TextFor(row.items[index], language), std::to_string(index)});
}

// The number an item text such as "19200 bps" or "1 bit" begins with; empty for other texts.
std::string_view LeadingNumber(std::string_view item) {
  const std::size_t blank = item.find(' ');
  if (blank == std::string_view::npos || !IsDigits(item.substr(0, blank))) return {};
  return item.substr(0, blank);
}

bool HasNumberedItems(std::span<const TextPair> items) {
  return std::any_of(items.begin(), items.end(),
                     [](const TextPair& item) { return !LeadingNumber(item.english).empty(); });
}

std::string ItemList(const FieldRow& row) {
  std::string out;
  for (std::size_t i = 0; i < row.items.size(); ++i) {
    if (!out.empty()) out += ", ";
    out += '"' + ItemText(row, i, Language::kEnglish) + '"';
  }
  return out;
}

// The item of a numbered list ("1 bit", "2 bits") whose text begins with `number`: in such a list
// a number always means the value, never the index, so that 1 is "1 bit" and 6 no item at all.
std::variant<std::int64_t, ConfigError> ItemOfNumber(const FieldRow& row, std::int64_t number,
                                                     Language language) {
  const std::string given = std::to_string(number);
  std::string values;
  for (std::size_t i = 0; i < row.items.size(); ++i) {
    const std::string_view value = LeadingNumber(row.items[i].english);
    if (value == given) return static_cast<std::int64_t>(i);
    if (!values.empty()) values += ", ";
    values += value;
  }
  const std::string key = KeyOf(row);
  return Refuse(key, kConfigNoValueText, language, {key, given, values});
}

// The item a text names: its English text in any letter case ("XON/XOFF protocol (item 3)" for
// items that share a text), the number the text begins with ("19200" for "19200 bps"), or, in a
// list without such numbers, the item index in digits.
std::variant<std::int64_t, ConfigError> ItemFromText(const FieldRow& row, std::string_view text,
                                                     Language language) {
  const std::string key = KeyOf(row);
  std::vector<std::size_t> matches;
  for (std::size_t i = 0; i < row.items.size(); ++i) {
    if (EqualsNoCase(text, ItemText(row, i, Language::kEnglish)) ||
        EqualsNoCase(text, row.items[i].english)) {
      matches.push_back(i);
    }
  }
  if (matches.size() > 1) {
    std::string forms;
    for (std::size_t i : matches) {
      if (!forms.empty()) forms += " / ";
      forms += '"' + ItemText(row, i, Language::kEnglish) + '"';
    }
    return Refuse(key, kConfigTwoItemsText, language, {key, Shown(text), forms});
  }
  if (matches.size() == 1) return static_cast<std::int64_t>(matches.front());
  if (IsDigits(text) && text.size() <= 9) {
    const std::int64_t number = std::stoll(std::string(text));
    if (HasNumberedItems(row.items)) return ItemOfNumber(row, number, language);
    const ValueRange range = SendRange(row);
    if (!InRange(number, range)) return OutOfRange(key, number, range.min, range.max, language);
    return number;
  }
  return Refuse(key, kConfigNoItemText, language, {key, Shown(text), ItemList(row)});
}

// ---- The document's values ----

std::optional<std::int64_t> IntegerOf(const json& value) {
  if (value.is_number_unsigned()) {
    const auto v = value.get<std::uint64_t>();
    if (v > static_cast<std::uint64_t>(INT64_MAX)) return INT64_MAX;
    return static_cast<std::int64_t>(v);
  }
  if (value.is_number_integer()) return value.get<std::int64_t>();
  return std::nullopt;
}

json TextJson(std::string_view bytes) {
  const std::size_t nul = bytes.find('\0');
  const std::string_view text = TextPart(bytes);
  const bool printable =
      nul != std::string_view::npos && std::all_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) <= 0x7E;
      });
  if (!printable) return {{"raw", Hex(WithoutTrailingNuls(bytes))}};
  const std::string_view after = WithoutTrailingNuls(bytes.substr(nul + 1));
  if (after.empty()) return std::string(text);
  return {{"text", std::string(text)}, {"after_nul", Hex(after)}};
}

json FieldJson(const FieldRow& row, const FieldValue& value) {
  if (const auto* bytes = std::get_if<std::string>(&value)) return TextJson(*bytes);
  const ValueRange range = SendRange(row);
  if (const auto* parts = std::get_if<Address>(&value)) {
    if (std::all_of(parts->begin(), parts->end(),
                    [&](std::int32_t p) { return InRange(p, range); })) {
      return Dotted(*parts);
    }
    return {{"raw", *parts}};
  }
  const std::int32_t number = std::get<std::int32_t>(value);
  if (!InRange(number, range)) return {{"raw", number}};
  if (Listed(row)) return ItemText(row, static_cast<std::size_t>(number), Language::kEnglish);
  return number;
}

// The value of an object form: the object must hold `name` and nothing but `name` and
// `optional`.
const json* FormMember(const json& value, const char* name, const char* optional = nullptr) {
  if (!value.is_object() || !value.contains(name)) return nullptr;
  for (const auto& item : value.items()) {
    if (item.key() != name && (optional == nullptr || item.key() != optional)) return nullptr;
  }
  return &value.at(name);
}

// Whether a text could go to the printer in its field; the refusal otherwise.
std::optional<ConfigError> CheckSendText(const FieldRow& row, std::string_view text,
                                         Language language) {
  const std::string key = KeyOf(row);
  if (text.size() > row.chars) {
    return Refuse(key, kConfigTextLengthText, language, {key, std::to_string(row.chars)});
  }
  if (!TextFits(row, text)) {
    return ConfigError{key, key + ": " + RefusalText({&row}, language)};
  }
  return std::nullopt;
}

std::optional<ConfigError> ReadText(const FieldRow& row, const json& value, ValueUse use,
                                    Language language, FieldValue& out) {
  const std::string key = KeyOf(row);
  const std::size_t size = row.member.size;
  std::string bytes;
  const std::string hex_rule = FormatText(kConfigWantHexText, language, {std::to_string(size)});
  const json* raw = FormMember(value, "raw");
  const json* text = value.is_string() ? &value : FormMember(value, "text", "after_nul");
  if (raw != nullptr) {
    const auto decoded = raw->is_string() ? FromHex(raw->get<std::string>()) : std::nullopt;
    if (!decoded || decoded->size() > size) return Expected(key + ".raw", hex_rule, language);
    bytes = *decoded;
  } else if (text != nullptr) {
    if (!text->is_string()) return Expected(key, TextFor(kConfigWantTextText, language), language);
    const std::string& chars = text->get_ref<const std::string&>();
    if (chars.find('\0') != std::string::npos) {
      return Expected(key, TextFor(kConfigWantNoNulText, language), language);
    }
    if (chars.size() > size - 1) {
      return Refuse(key, kConfigTextLengthText, language, {key, std::to_string(size - 1)});
    }
    bytes = chars;
    bytes.push_back('\0');
    if (text != &value && value.contains("after_nul")) {
      const json& after = value.at("after_nul");
      const std::size_t room = size - bytes.size();
      const auto decoded = after.is_string() ? FromHex(after.get<std::string>()) : std::nullopt;
      if (!decoded || decoded->size() > room) {
        return Expected(key + ".after_nul",
                        FormatText(kConfigWantHexText, language, {std::to_string(room)}), language);
      }
      bytes += *decoded;
    }
  } else {
    return Expected(key, TextFor(kConfigWantTextFormText, language), language);
  }
  bytes.resize(size, '\0');
  // A text ends within its field, as when a file is loaded.
  if (bytes.find('\0') == std::string::npos) bytes.back() = '\0';
  if (use == ValueUse::kSend) {
    if (auto refused = CheckSendText(row, TextPart(bytes), language)) return refused;
  }
  out = std::move(bytes);
  return std::nullopt;
}

std::optional<ConfigError> ReadAddress(const FieldRow& row, const json& value, ValueUse use,
                                       Language language, FieldValue& out) {
  const std::string key = KeyOf(row);
  const ValueRange plain = SendRange(row);
  Address parts{};
  if (const json* raw = FormMember(value, "raw")) {
    if (!raw->is_array() || raw->size() != 4) {
      return Expected(key + ".raw", TextFor(kConfigWantRawAddressText, language), language);
    }
    for (std::size_t i = 0; i < 4; ++i) {
      const std::optional<std::int64_t> part = IntegerOf(raw->at(i));
      if (!part) {
        return Expected(key + ".raw", TextFor(kConfigWantRawAddressText, language), language);
      }
      const ValueRange range = use == ValueUse::kSend ? plain : StorageRange(row);
      if (!InRange(*part, range)) return OutOfRange(key, *part, range.min, range.max, language);
      parts[i] = static_cast<std::int32_t>(*part);
    }
  } else {
    const std::string want = TextFor(kConfigWantAddressText, language);
    if (!value.is_string()) return Expected(key, want, language);
    std::string_view text = value.get_ref<const std::string&>();
    for (std::size_t i = 0; i < 4; ++i) {
      const std::size_t dot = i < 3 ? text.find('.') : text.size();
      if (dot == std::string_view::npos) return Expected(key, want, language);
      const std::string_view digits = text.substr(0, dot);
      if (!IsDigits(digits) || digits.size() > 3) return Expected(key, want, language);
      const std::int64_t part = std::stoll(std::string(digits));
      if (!InRange(part, plain)) return OutOfRange(key, part, plain.min, plain.max, language);
      parts[i] = static_cast<std::int32_t>(part);
      text.remove_prefix(i < 3 ? dot + 1 : dot);
    }
  }
  out = parts;
  return std::nullopt;
}

std::optional<ConfigError> ReadNumber(const FieldRow& row, const json& value, ValueUse use,
                                      Language language, FieldValue& out) {
  const std::string key = KeyOf(row);
  const ValueRange plain = SendRange(row);
  const bool listed = Listed(row);
  std::int64_t number = 0;
  if (const json* raw = FormMember(value, "raw")) {
    const std::optional<std::int64_t> v = IntegerOf(*raw);
    if (!v) return Expected(key + ".raw", TextFor(kConfigWantIntegerText, language), language);
    const ValueRange range = use == ValueUse::kSend ? plain : StorageRange(row);
    if (!InRange(*v, range)) return OutOfRange(key, *v, range.min, range.max, language);
    number = *v;
  } else if (const std::optional<std::int64_t> v = IntegerOf(value)) {
    if (listed && HasNumberedItems(row.items)) {
      // A number of a numbered list is the value it begins with, as KEY=VALUE reads it.
      auto item = ItemOfNumber(row, *v, language);
      if (auto* refused = std::get_if<ConfigError>(&item)) return std::move(*refused);
      number = std::get<std::int64_t>(item);
    } else {
      if (!InRange(*v, plain)) return OutOfRange(key, *v, plain.min, plain.max, language);
      number = *v;
    }
  } else if (listed && value.is_string()) {
    auto item = ItemFromText(row, value.get_ref<const std::string&>(), language);
    if (auto* refused = std::get_if<ConfigError>(&item)) return std::move(*refused);
    number = std::get<std::int64_t>(item);
  } else {
    return Expected(key, TextFor(listed ? kConfigWantItemText : kConfigWantIntegerText, language),
                    language);
  }
  // Every range above lies within the record's.
  out = static_cast<std::int32_t>(number);
  return std::nullopt;
}

std::optional<ConfigError> ReadField(const FieldRow& row, const json& value, ValueUse use,
                                     Language language, FieldValue& out) {
  switch (row.kind) {
    case FieldKind::kText: return ReadText(row, value, use, language, out);
    case FieldKind::kAddress: return ReadAddress(row, value, use, language, out);
    default: return ReadNumber(row, value, use, language, out);
  }
}

// The printer's own checks over the configuration's values, the last word before a value is
// taken for sending: the unnamed fields hold start-up values, which always pass.
std::optional<ConfigError> CheckCommands(const Configuration& c, Language language) {
  const Records records = RecordsOf(c);
  SettingField refused = CheckParameterBlock(records.parameters, 4);
  if (refused == SettingField::kNone) refused = CheckLanSettings(records.lan);
  if (refused == SettingField::kNone) return std::nullopt;
  const std::string key = KeyOfField(refused);
  return ConfigError{key, key + ": " + RefusalText(refused, language)};
}

// ---- Files ----

ConfigResult<Configuration> LoadSettingFile(const std::string& path, FieldPart part,
                                            Language language) {
  const bool lan = part == FieldPart::kLan;
  const std::span<const std::size_t> sizes =
      lan ? std::span<const std::size_t>(kLanSettingsFileLayoutSizes) : kParameterFileLayoutSizes;
  std::vector<std::uint8_t> data;
  // One byte more than the largest layout tells a longer file from one of that size.
  const FileResult read =
      ReadFilePrefix(path, *std::max_element(sizes.begin(), sizes.end()) + 1, data);
  if (!read) return ConfigError{"", Shown(read.Describe(language), kWhole)};
  // The window loads a file of any size over its record; as a configuration, a file of a size
  // no layout has would name fields by chance.
  if (std::find(sizes.begin(), sizes.end(), data.size()) == sizes.end()) {
    std::string listed;
    for (const std::size_t size : sizes) {
      if (!listed.empty()) listed += ", ";
      listed += std::to_string(size);
    }
    // Only the start of a longer file was read.
    std::error_code unknown;
    const std::uintmax_t whole = std::filesystem::file_size(path, unknown);
    const std::string size = std::to_string(unknown ? data.size() : whole);
    return Refuse("", kConfigFileSizeText, language,
                  {Shown(path, kWhole), lan ? ".ts1" : ".ts0", listed, size});
  }
  Records records;
  if (lan) {
    ApplyLanSettingsFile(data.data(), data.size(), records.lan);
  } else {
    ApplyParameterFile(data.data(), data.size(), records.parameters);
  }
  Configuration c;
  Present(c, part) = true;
  for (const FieldRow& row : Fields()) {
    if (row.part == part && FileReaches(row, data.size())) {
      c.Set(row, ValueOf(row, records.Of(part)));
    }
  }
  return c;
}

std::string Extension(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot);
  for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return ext;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// ---- Comparison ----

std::string ValueText(const FieldRow& row, const FieldValue& value, Language language) {
  if (const auto* bytes = std::get_if<std::string>(&value)) return TextJson(*bytes).dump();
  if (const auto* parts = std::get_if<Address>(&value)) return Dotted(*parts);
  const std::int32_t number = std::get<std::int32_t>(value);
  if (Listed(row) && InRange(number, SendRange(row))) {
    return ItemText(row, static_cast<std::size_t>(number), language);
  }
  return std::to_string(number);
}

// The field's value as the printer receives it.
FieldValue SentForm(const FieldRow& row, const FieldValue& value) {
  if (row.kind == FieldKind::kFlag) return std::int32_t{std::get<std::int32_t>(value) == 1};
  const auto* bytes = std::get_if<std::string>(&value);
  if (bytes == nullptr) return value;
  std::string text(TextPart(*bytes).substr(0, row.chars));
  // "%32s" sends a text right-aligned in its columns, and the printer returns those.
  if (row.command.format == CommandFormat::kRight32 && text.size() < row.chars) {
    text.insert(0, row.chars - text.size(), ' ');
  }
  return text;
}

std::vector<FieldChange> DiffRecords(FieldPart part, const void* a, const void* b,
                                     Language language, DiffScope scope, int version) {
  std::vector<FieldChange> changes;
  for (const FieldRow& row : Fields()) {
    if (row.part != part) continue;
    const FieldValue x = ValueOf(row, a);
    const FieldValue y = ValueOf(row, b);
    bool same = x == y;
    if (scope == DiffScope::kPrinter) {
      if (!FirmwareTakes(row, version)) continue;
      same = SentForm(row, x) == SentForm(row, y);
    }
    if (!same)
      changes.push_back({KeyOf(row), ValueText(row, x, language), ValueText(row, y, language)});
  }
  return changes;
}

}  // namespace

std::string FileExtension(const std::string& path) { return Extension(path); }

bool IsConfigurationFileName(const std::string& path) {
  const std::string ext = Extension(path);
  return ext == ".json" || ext == ".ts0" || ext == ".ts1";
}

bool Configuration::Has(std::string_view key) const {
  const FieldRow* row = FindFieldByKey(key);
  return row != nullptr && Values.contains(row);
}

void Configuration::Set(const FieldRow& row, FieldValue value) {
  if (auto* bytes = std::get_if<std::string>(&value)) bytes->resize(row.member.size, '\0');
  Values[&row] = std::move(value);
  Present(*this, row.part) = true;
}

std::vector<std::string> Configuration::Named() const {
  std::vector<std::string> keys;
  for (const auto& entry : Values) keys.push_back(KeyOf(*entry.first));
  return keys;
}

Configuration FromRecords(const ParameterBlock* parameters, const LanSettings* lan) {
  Configuration c;
  c.HasParameters = parameters != nullptr;
  c.HasLan = lan != nullptr;
  for (const FieldRow& row : Fields()) {
    const void* record = row.part == FieldPart::kLan ? static_cast<const void*>(lan)
                                                     : static_cast<const void*>(parameters);
    if (record != nullptr) c.Set(row, ValueOf(row, record));
  }
  return c;
}

ParameterBlock StartupParameters() { return ParameterBlock{}; }

LanSettings StartupLanSettings() {
  // The Extra Setting page as the window opens: the record's members in their order.
  return {1,
          {192, 168, 10, 20},
          {255, 255, 255, 0},
          {0, 0, 0, 0},
          1,
          8000,
          0,
          "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF",
          {}};
}

const std::vector<std::string>& ConfigurationKeys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> all;
    for (const FieldRow& row : Fields()) all.push_back(KeyOf(row));
    return all;
  }();
  return keys;
}

ConfigResult<Configuration> ConfigurationFromJson(const json& document, Language language,
                                                  ValueUse use) {
  if (!document.is_object()) return Refuse("", kConfigNotObjectText, language, {});
  for (const auto& item : document.items()) {
    const std::string& key = item.key();
    if (key != "format" && key != "version" && key != PartName(FieldPart::kParameters) &&
        key != PartName(FieldPart::kLan)) {
      return Refuse(key, kConfigUnknownKeyText, language, {Shown(key)});
    }
  }
  if (!document.contains("format") || document.at("format") != "krt6-settings") {
    return Refuse("format", kConfigFormatText, language, {});
  }
  const std::optional<std::int64_t> version =
      document.contains("version") ? IntegerOf(document.at("version")) : std::nullopt;
  if (version != 1) return Refuse("version", kConfigVersionText, language, {});

  Configuration c;
  for (const FieldPart part : {FieldPart::kParameters, FieldPart::kLan}) {
    const char* name = PartName(part);
    if (!document.contains(name)) continue;
    const json& fields = document.at(name);
    if (!fields.is_object())
      return Expected(name, TextFor(kConfigWantObjectText, language), language);
    Present(c, part) = true;
    for (const auto& item : fields.items()) {
      const FieldRow* row = FindField(part, item.key());
      if (row == nullptr) {
        const std::string key = std::string(name) + "." + item.key();
        return Refuse(key, kConfigUnknownKeyText, language, {Shown(key)});
      }
      FieldValue value;
      if (auto refused = ReadField(*row, item.value(), use, language, value)) {
        return std::move(*refused);
      }
      c.Set(*row, std::move(value));
    }
  }
  if (c.Values.empty()) return Refuse("", kConfigNoFieldsText, language, {});
  if (use == ValueUse::kSend) {
    if (auto refused = CheckCommands(c, language)) return std::move(*refused);
  }
  return c;
}

ConfigResult<Configuration> ParseConfiguration(std::string_view json_text, Language language,
                                               ValueUse use) {
  // The parser keeps one value of a key given twice; which one the author meant is unknown, so
  // the first key an object repeats is found on the way and the document refused.
  struct Level {
    bool object;
    std::string path;  // "parameters", "lan.KEY"; "" for the document itself
    std::set<std::string> keys;
    std::string last_key;
  };
  std::vector<Level> levels;
  std::optional<std::string> repeated;
  const auto join = [](const std::string& a, const std::string& b) {
    return a.empty() ? b : a + "." + b;
  };
  const json::parser_callback_t callback = [&](int, json::parse_event_t event, json& parsed) {
    using Event = json::parse_event_t;
    if (event == Event::object_start || event == Event::array_start) {
      std::string path;
      if (!levels.empty()) {
        const Level& up = levels.back();
        path = up.object ? join(up.path, up.last_key) : up.path;
      }
      levels.push_back({event == Event::object_start, std::move(path), {}, {}});
    } else if ((event == Event::object_end || event == Event::array_end) && !levels.empty()) {
      levels.pop_back();
    } else if (event == Event::key && !levels.empty() && parsed.is_string()) {
      Level& level = levels.back();
      level.last_key = parsed.get<std::string>();
      if (!level.keys.insert(level.last_key).second && !repeated) {
        repeated = join(level.path, level.last_key);
      }
    }
    return true;
  };
  json document;
  try {
    document = json::parse(json_text, callback);
  } catch (const json::exception& error) {
    return Refuse("", kConfigNotJsonText, language, {Shown(error.what(), 2 * kShownChars)});
  }
  if (repeated && document.is_object()) {
    return Refuse(*repeated, kConfigDuplicateKeyText, language, {Shown(*repeated)});
  }
  return ConfigurationFromJson(document, language, use);
}

ConfigResult<Configuration> LoadConfiguration(const std::string& path, Language language,
                                              ValueUse use) {
  const std::string ext = Extension(path);
  if (ext == ".json") {
    // A configuration is a few kilobytes; anything near this size is no configuration.
    constexpr std::size_t kLimit = 1 << 20;
    std::vector<std::uint8_t> data;
    // One byte more tells a file over the limit from one of exactly that size.
    const FileResult read = ReadFilePrefix(path, kLimit + 1, data);
    if (!read) return ConfigError{"", Shown(read.Describe(language), kWhole)};
    if (data.size() > kLimit) {
      return Refuse("", kConfigTooLargeText, language,
                    {Shown(path, kWhole), std::to_string(kLimit)});
    }
    return ParseConfiguration({reinterpret_cast<const char*>(data.data()), data.size()}, language,
                              use);
  }
  if (ext != ".ts0" && ext != ".ts1") {
    return Refuse("", kConfigExtensionText, language, {Shown(path, kWhole)});
  }
  ConfigResult<Configuration> loaded =
      LoadSettingFile(path, ext == ".ts1" ? FieldPart::kLan : FieldPart::kParameters, language);
  if (use == ValueUse::kStore || std::holds_alternative<ConfigError>(loaded)) return loaded;
  // The file's values pass the same checks as a document's.
  return ConfigurationFromJson(ToJson(std::get<Configuration>(loaded)), language, use);
}

ConfigError SaveConfiguration(const std::string& path, const Configuration& configuration,
                              Language language, Durability durability) {
  const std::string ext = Extension(path);
  FileResult saved;
  if (ext == ".json") {
    const std::string text = JsonText(ToJson(configuration));
    saved = ReplaceFileAtomically(path, reinterpret_cast<const std::uint8_t*>(text.data()),
                                  text.size(), {}, durability);
  } else if (ext == ".ts0" || ext == ".ts1") {
    const FieldPart part = ext == ".ts1" ? FieldPart::kLan : FieldPart::kParameters;
    if (!Present(configuration, part)) {
      return Refuse(PartName(part), kConfigNoPartText, language,
                    {Shown(path, kWhole), PartName(part)});
    }
    const Records records = RecordsOf(configuration);
    saved = part == FieldPart::kLan ? SaveLanSettingsFile(path, records.lan, {}, durability)
                                    : SaveParameterFile(path, records.parameters, {}, durability);
  } else {
    return Refuse("", kConfigExtensionText, language, {Shown(path, kWhole)});
  }
  if (!saved) return {"", Shown(saved.Describe(language), kWhole)};
  return {};
}

ConfigError ApplyKeyValue(Configuration& configuration, std::string_view key_eq_value,
                          Language language) {
  const std::size_t eq = key_eq_value.find('=');
  if (eq == std::string_view::npos) {
    const std::string given(Trim(key_eq_value));
    return Refuse(given, kConfigKeyValueText, language, {Shown(given)});
  }
  const std::string given(Trim(key_eq_value.substr(0, eq)));
  const FieldRow* row = FindFieldByKey(given);
  if (row == nullptr) return Refuse(given, kConfigUnknownKeyText, language, {Shown(given)});
  const std::string key = KeyOf(*row);

  // A value in double quotes is a JSON string (so it may hold \" and other escapes).
  std::string_view text = key_eq_value.substr(eq + 1);
  // Blanks around a value count only in a text.
  if (row->kind != FieldKind::kText) text = Trim(text);
  json value = std::string(text);
  bool quoted = false;
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    const json parsed = json::parse(text, nullptr, false);
    if (parsed.is_string()) {
      value = parsed;
      quoted = true;
    }
  }
  if (row->kind == FieldKind::kNumber || row->kind == FieldKind::kByte) {
    const std::string_view digits = text;
    const std::string_view unsigned_digits =
        !digits.empty() && (digits.front() == '-' || digits.front() == '+') ? digits.substr(1)
                                                                            : digits;
    if (quoted || !IsDigits(unsigned_digits) || unsigned_digits.size() > 12) {
      return Expected(key, TextFor(kConfigWantIntegerText, language), language);
    }
    value = std::stoll(std::string(digits));
  }

  FieldValue read;
  if (auto refused = ReadField(*row, value, ValueUse::kSend, language, read)) {
    return std::move(*refused);
  }
  Configuration updated = configuration;
  updated.Set(*row, std::move(read));
  if (auto refused = CheckCommands(updated, language)) return std::move(*refused);
  configuration = std::move(updated);
  return {};
}

json ToJson(const ParameterBlock* parameters, const LanSettings* lan) {
  return ToJson(FromRecords(parameters, lan));
}

json ToJson(const Configuration& configuration) {
  json document = {{"format", "krt6-settings"}, {"version", 1}};
  if (configuration.HasParameters) document[PartName(FieldPart::kParameters)] = json::object();
  if (configuration.HasLan) document[PartName(FieldPart::kLan)] = json::object();
  for (const auto& [row, value] : configuration.Values) {
    document[PartName(row->part)][row->key] = FieldJson(*row, value);
  }
  return document;
}

std::string JsonText(const json& document) { return document.dump(2) + "\n"; }

bool NamesWholeParameters(const Configuration& configuration) {
  return NamesWholePart(configuration, FieldPart::kParameters);
}

bool NamesWholeLan(const Configuration& configuration) {
  return NamesWholePart(configuration, FieldPart::kLan);
}

ParameterBlock Overlay(const Configuration& configuration, ParameterBlock current) {
  OverlayPart(configuration, FieldPart::kParameters, &current);
  return current;
}

LanSettings Overlay(const Configuration& configuration, LanSettings current) {
  OverlayPart(configuration, FieldPart::kLan, &current);
  return current;
}

std::vector<FieldChange> Diff(const ParameterBlock& a, const ParameterBlock& b, Language language,
                              DiffScope scope, int version_index) {
  return DiffRecords(FieldPart::kParameters, &a, &b, language, scope, version_index);
}

std::vector<FieldChange> Diff(const LanSettings& a, const LanSettings& b, Language language,
                              DiffScope scope, int version_index) {
  return DiffRecords(FieldPart::kLan, &a, &b, language, scope, version_index);
}

std::vector<FieldChange> Diff(const Configuration& a, const Configuration& b, Language language) {
  const std::string not_set = TextFor(kConfigNotSetText, language);
  std::vector<FieldChange> changes;
  for (const FieldRow& row : Fields()) {
    const auto x = a.Values.find(&row);
    const auto y = b.Values.find(&row);
    const bool in_a = x != a.Values.end();
    const bool in_b = y != b.Values.end();
    if ((!in_a && !in_b) || (in_a && in_b && x->second == y->second)) continue;
    changes.push_back({KeyOf(row), in_a ? ValueText(row, x->second, language) : not_set,
                       in_b ? ValueText(row, y->second, language) : not_set});
  }
  return changes;
}

}  // namespace krt6

// ---- A printer's own identity, and what its firmware takes ----
namespace krt6 {

const std::vector<std::string>& IdentityKeys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> identity;
    for (const FieldRow& row : Fields()) {
      if (row.identity) identity.push_back(KeyOf(row));
    }
    return identity;
  }();
  return keys;
}

std::vector<IdentityValue> IdentityValues(const Configuration& configuration) {
  std::vector<IdentityValue> values;
  for (const auto& [row, value] : configuration.Values) {
    if (!row->identity) continue;
    const auto* bytes = std::get_if<std::string>(&value);
    if (bytes != nullptr && TextPart(*bytes).empty()) continue;
    values.push_back({KeyOf(*row), ValueText(*row, value, Language::kEnglish)});
  }
  return values;
}

void LayOver(Configuration& base, const Configuration& over) {
  for (const auto& [row, value] : over.Values) base.Values[row] = value;
  base.HasParameters = base.HasParameters || over.HasParameters;
  base.HasLan = base.HasLan || over.HasLan;
}

Configuration WithoutIdentity(Configuration configuration) {
  std::erase_if(configuration.Values, [](const auto& entry) { return entry.first->identity; });
  for (const FieldPart part : {FieldPart::kParameters, FieldPart::kLan}) {
    Present(configuration, part) =
        Present(configuration, part) &&
        std::any_of(configuration.Values.begin(), configuration.Values.end(),
                    [part](const auto& entry) { return entry.first->part == part; });
  }
  return configuration;
}

bool FirmwareTakes(std::string_view key, int version_index) {
  const FieldRow* row = FindFieldByKey(key);
  return row != nullptr && FirmwareTakes(*row, version_index);
}

std::string KeyOfField(SettingField field) {
  return field.row == nullptr ? std::string() : KeyOf(*field.row);
}

}  // namespace krt6
