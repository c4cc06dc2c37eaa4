#include "config/configuration.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <set>
#include <span>

#include "files/setting_files.h"
#include "protocol/commands.h"
#include "protocol/field_wire.h"
#include "texts/config_texts.h"
#include "texts/field_texts.h"

namespace krt6 {
namespace {

using json = nlohmann::json;
using Image = std::span<std::uint8_t>;
using ConstImage = std::span<const std::uint8_t>;

// How a field sits in its record and how the document writes it.
enum class Kind {
  kList,     // int32, the item index of a list: the item text
  kNumber,   // int32: a number
  kByte,     // one byte: a number
  kFlag,     // one byte, 0 "OFF" / 1 "ON"
  kAddress,  // four int32: dotted text
  kText,     // NUL-terminated text in a fixed number of bytes
};

// A field of the document. Offsets are those of the setting files, which hold the records byte
// for byte: every value is read and written on the file image, so that nothing is lost between a
// file and the document.
struct FieldDef {
  const char* name;
  bool lan;
  std::size_t offset;
  Kind kind;
  std::int64_t min = INT32_MIN;  // kNumber, kByte, kAddress: the values that mean something,
  std::int64_t max = INT32_MAX;  // narrowed further by the command's range (CommandRange)
  std::size_t size = 0;          // kText: bytes of the field, NUL included
  std::size_t send_chars = 0;    // kText: characters a printer takes
};

constexpr FieldDef kFields[] = {
    {"font_code", false, 0, Kind::kList},
    {"zero_code", false, 4, Kind::kList},
    {"comm_speed", false, 8, Kind::kList},
    {"data_length", false, 12, Kind::kList},
    {"stop_bit", false, 16, Kind::kList},
    {"parity", false, 20, Kind::kList},
    {"control", false, 24, Kind::kList},
    {"destination", false, 28, Kind::kList},
    {"forward_wait", false, 32, Kind::kList},
    {"code", false, 36, Kind::kList},
    {"feed_key", false, 40, Kind::kList},
    {"euro_code", false, 44, Kind::kText, 0, 0, 4, 2},
    {"auto_home", false, 60, Kind::kList},
    {"auto_calib", false, 64, Kind::kList},
    {"mode_select", false, 68, Kind::kList},
    {"x_coordinate", false, 72, Kind::kNumber},
    {"blank_space_len", false, 88, Kind::kNumber, 2, 99},
    {"reserved1", false, 48, Kind::kNumber},
    {"reserved2", false, 52, Kind::kNumber},
    {"reserved3", false, 56, Kind::kNumber},
    {"carried_value1", false, 76, Kind::kNumber},
    {"carried_value2", false, 80, Kind::kNumber},
    {"carried_adj", false, 84, Kind::kNumber},
    {"ip_address", true, 1, Kind::kAddress, 0, 255},
    {"subnet_mask", true, 17, Kind::kAddress, 0, 255},
    {"default_gateway", true, 33, Kind::kAddress, 0, 255},
    {"socket_port_mode", true, 49, Kind::kList},
    {"socket_port", true, 53, Kind::kNumber, 0, 65535},
    {"dhcp", true, 57, Kind::kFlag},
    {"dhcp_id", true, 58, Kind::kText, 0, 0, 33, 32},
    {"dhcp_hostname", true, 91, Kind::kText, 0, 0, 16, 15},
    {"lan_flag", true, 0, Kind::kByte, 0, 255},
};
constexpr std::size_t kFieldCount = std::size(kFields);
using NamedSet = std::array<bool, kFieldCount>;

constexpr TextPair kFlagItems[] = {{"OFF", "OFF"}, {"ON", "ON"}};

std::string FullKey(const FieldDef& def) {
  return std::string(def.lan ? "lan." : "parameters.") + def.name;
}

// The table's row of the field.
const FieldRow& RowOf(const FieldDef& def) {
  return *FindField(def.lan ? FieldPart::kLan : FieldPart::kParameters, def.name);
}

// The field a refusal names; kNone for the fields that are never refused.
SettingField FieldOfDef(const FieldDef& def) {
  const FieldRow& row = RowOf(def);
  if (row.command.command == CommandId::kNone || row.kind == FieldKind::kFlag) {
    return SettingField::kNone;
  }
  return {&row, row.kind == FieldKind::kAddress ? 1 : 0};
}

std::size_t FieldSize(const FieldDef& def) {
  switch (def.kind) {
    case Kind::kByte:
    case Kind::kFlag: return 1;
    case Kind::kAddress: return 16;
    case Kind::kText: return def.size;
    default: return 4;
  }
}

std::size_t IndexOf(const FieldDef& def) { return static_cast<std::size_t>(&def - kFields); }

const FieldDef* FindField(std::string_view name, std::optional<bool> lan) {
  for (const FieldDef& def : kFields) {
    if (name == def.name && (!lan || *lan == def.lan)) return &def;
  }
  return nullptr;
}

// ---- Texts ----

std::string Format(const TextPair& pair, Language language,
                   std::initializer_list<std::string_view> args) {
  std::string out;
  for (const char* t = TextFor(pair, language); *t != '\0'; ++t) {
    const std::size_t arg = static_cast<std::size_t>(t[1] - '1');
    if (t[0] == '%' && t[1] >= '1' && t[1] <= '9' && arg < args.size()) {
      out += args.begin()[arg];
      ++t;
    } else {
      out += *t;
    }
  }
  return out;
}

ConfigError Refuse(std::string key, const TextPair& pair, Language language,
                   std::initializer_list<std::string_view> args) {
  std::string message = Format(pair, language, args);
  return {std::move(key), std::move(message)};
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

// The length of the UTF-8 sequence at the start of `s`, 0 when it is none (a stray or overlong
// byte, a surrogate, beyond U+10FFFF).
std::size_t Utf8Length(std::string_view s) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(0);
  std::size_t length;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (s.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

// Characters of an input value a refusal shows; longer values end in "...".
constexpr std::size_t kShownChars = 80;
constexpr std::size_t kWhole = std::string_view::npos;

// A value from the input as a refusal shows it: on one line and harmless to a terminal. Line
// breaks, tabs and the backslash read \n, \r, \t, \\; other control characters (C1 too) and
// bytes that are no UTF-8 read \xHH; after `limit` characters "..." ends it.
std::string Shown(std::string_view text, std::size_t limit = kShownChars) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  std::size_t shown = 0;
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t length = c < 0x80 ? 1 : Utf8Length(text.substr(i));
    // C1 controls are U+0080 to U+009F, C2 80 to C2 9F in UTF-8.
    const bool c1 = length == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
    std::string piece;
    bool escaped = true;
    if (c == '\n' || c == '\r' || c == '\t' || c == '\\') {
      piece = {'\\', c == '\n' ? 'n' : c == '\r' ? 'r' : c == '\t' ? 't' : '\\'};
    } else if (c < 0x20 || c == 0x7F || length == 0 || c1) {
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

std::string Hex(ConstImage bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (std::uint8_t b : bytes) {
    if (!out.empty()) out += ' ';
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

std::optional<std::vector<std::uint8_t>> FromHex(std::string_view text) {
  std::vector<std::uint8_t> out;
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
      out.push_back(static_cast<std::uint8_t>(high * 16 + v));
      high = -1;
    }
  }
  if (high >= 0) return std::nullopt;
  return out;
}

// Trailing NUL bytes written out add nothing: a missing byte reads as NUL.
ConstImage WithoutTrailingNuls(ConstImage bytes) {
  std::size_t n = bytes.size();
  while (n > 0 && bytes[n - 1] == 0) --n;
  return bytes.first(n);
}

// ---- Values on the file image ----

std::int32_t GetInt32(ConstImage image, std::size_t offset) {
  const std::uint32_t bits = static_cast<std::uint32_t>(image[offset]) |
                             static_cast<std::uint32_t>(image[offset + 1]) << 8 |
                             static_cast<std::uint32_t>(image[offset + 2]) << 16 |
                             static_cast<std::uint32_t>(image[offset + 3]) << 24;
  return static_cast<std::int32_t>(bits);
}

void PutInt32(Image image, std::size_t offset, std::int64_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (std::size_t i = 0; i < 4; ++i)
    image[offset + i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

bool OneByte(const FieldDef& def) { return def.kind == Kind::kByte || def.kind == Kind::kFlag; }

std::int64_t NumberOf(const FieldDef& def, ConstImage image) {
  return OneByte(def) ? image[def.offset] : GetInt32(image, def.offset);
}

void SetNumber(const FieldDef& def, Image image, std::int64_t value) {
  if (OneByte(def)) {
    image[def.offset] = static_cast<std::uint8_t>(value);
  } else {
    PutInt32(image, def.offset, value);
  }
}

std::array<std::int64_t, 4> AddressOf(const FieldDef& def, ConstImage image) {
  std::array<std::int64_t, 4> parts{};
  for (std::size_t i = 0; i < 4; ++i) parts[i] = GetInt32(image, def.offset + 4 * i);
  return parts;
}

ConstImage BytesOf(const FieldDef& def, ConstImage image) {
  return image.subspan(def.offset, FieldSize(def));
}

// The text of a text field up to its NUL, and the bytes after that NUL.
std::string_view TextPart(const FieldDef& def, ConstImage image) {
  const ConstImage bytes = BytesOf(def, image);
  const auto* chars = reinterpret_cast<const char*>(bytes.data());
  return {chars, strnlen(chars, bytes.size())};
}

// The values a record can hold, and those that mean something and a printer can take.
struct Range {
  std::int64_t min;
  std::int64_t max;
};

Range StorageRange(const FieldDef& def) {
  return OneByte(def) ? Range{0, 255} : Range{INT32_MIN, INT32_MAX};
}

std::span<const TextPair> ItemsOf(const FieldDef& def) {
  if (def.kind == Kind::kFlag) return kFlagItems;
  return FieldItems(FieldOfDef(def));
}

Range PlainRange(const FieldDef& def) {
  if (def.kind == Kind::kList || def.kind == Kind::kFlag) {
    return {0, static_cast<std::int64_t>(ItemsOf(def).size()) - 1};
  }
  Range range{def.min, def.max};
  if (FieldOfDef(def) != SettingField::kNone) {
    const ValueRange sent = CommandRange(RowOf(def));
    range.min = std::max<std::int64_t>(range.min, sent.min);
    range.max = std::min<std::int64_t>(range.max, sent.max);
  }
  return range;
}

bool InRange(std::int64_t value, Range range) { return value >= range.min && value <= range.max; }

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
std::string ItemText(const FieldDef& def, std::size_t index, Language language) {
  const std::span<const TextPair> items = ItemsOf(def);
  if (!SharedText(items, index, language)) return TextFor(items[index], language);
  return Format(kConfigItemNumberText, language,
                {TextFor(items[index], language), std::to_string(index)});
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

std::string ItemList(const FieldDef& def) {
  std::string out;
  for (std::size_t i = 0; i < ItemsOf(def).size(); ++i) {
    if (!out.empty()) out += ", ";
    out += '"' + ItemText(def, i, Language::kEnglish) + '"';
  }
  return out;
}

// The item of a numbered list ("1 bit", "2 bits") whose text begins with `number`: in such a list
// a number always means the value, never the index, so that 1 is "1 bit" and 6 no item at all.
std::variant<std::int64_t, ConfigError> ItemOfNumber(const FieldDef& def, std::int64_t number,
                                                     Language language) {
  const std::span<const TextPair> items = ItemsOf(def);
  const std::string given = std::to_string(number);
  std::string values;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::string_view value = LeadingNumber(items[i].english);
    if (value == given) return static_cast<std::int64_t>(i);
    if (!values.empty()) values += ", ";
    values += value;
  }
  const std::string key = FullKey(def);
  return Refuse(key, kConfigNoValueText, language, {key, given, values});
}

// The item a text names: its English text in any letter case ("XON/XOFF protocol (item 3)" for
// items that share a text), the number the text begins with ("19200" for "19200 bps"), or, in a
// list without such numbers, the item index in digits.
std::variant<std::int64_t, ConfigError> ItemFromText(const FieldDef& def, std::string_view text,
                                                     Language language) {
  const std::string key = FullKey(def);
  const std::span<const TextPair> items = ItemsOf(def);
  std::vector<std::size_t> matches;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (EqualsNoCase(text, ItemText(def, i, Language::kEnglish)) ||
        EqualsNoCase(text, items[i].english)) {
      matches.push_back(i);
    }
  }
  if (matches.size() > 1) {
    std::string forms;
    for (std::size_t i : matches) {
      if (!forms.empty()) forms += " / ";
      forms += '"' + ItemText(def, i, Language::kEnglish) + '"';
    }
    return Refuse(key, kConfigTwoItemsText, language, {key, Shown(text), forms});
  }
  if (matches.size() == 1) return static_cast<std::int64_t>(matches.front());
  if (IsDigits(text) && text.size() <= 9) {
    const std::int64_t number = std::stoll(std::string(text));
    if (HasNumberedItems(items)) return ItemOfNumber(def, number, language);
    const Range range = PlainRange(def);
    if (!InRange(number, range)) return OutOfRange(key, number, range.min, range.max, language);
    return number;
  }
  return Refuse(key, kConfigNoItemText, language, {key, Shown(text), ItemList(def)});
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

json TextJson(const FieldDef& def, ConstImage image) {
  const ConstImage bytes = BytesOf(def, image);
  const std::string_view text = TextPart(def, image);
  const bool printable =
      text.size() < bytes.size() && std::all_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) <= 0x7E;
      });
  if (!printable) return {{"raw", Hex(WithoutTrailingNuls(bytes))}};
  const ConstImage after = WithoutTrailingNuls(bytes.subspan(text.size() + 1));
  if (after.empty()) return std::string(text);
  return {{"text", std::string(text)}, {"after_nul", Hex(after)}};
}

json FieldJson(const FieldDef& def, ConstImage image) {
  switch (def.kind) {
    case Kind::kText: return TextJson(def, image);
    case Kind::kAddress: {
      const std::array<std::int64_t, 4> parts = AddressOf(def, image);
      const Range range = PlainRange(def);
      if (std::all_of(parts.begin(), parts.end(),
                      [&](std::int64_t p) { return InRange(p, range); })) {
        return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." +
               std::to_string(parts[2]) + "." + std::to_string(parts[3]);
      }
      return {{"raw", parts}};
    }
    default: {
      const std::int64_t value = NumberOf(def, image);
      if (!InRange(value, PlainRange(def))) return {{"raw", value}};
      if (def.kind == Kind::kList || def.kind == Kind::kFlag) {
        return ItemText(def, static_cast<std::size_t>(value), Language::kEnglish);
      }
      return value;
    }
  }
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
std::optional<ConfigError> CheckSendText(const FieldDef& def, std::string_view text,
                                         Language language) {
  const std::string key = FullKey(def);
  if (text.size() > def.send_chars) {
    return Refuse(key, kConfigTextLengthText, language, {key, std::to_string(def.send_chars)});
  }
  if (!TextFits(RowOf(def), text)) {
    return ConfigError{key, key + ": " + RefusalText(FieldOfDef(def), language)};
  }
  return std::nullopt;
}

std::optional<ConfigError> ReadText(const FieldDef& def, const json& value, ValueUse use,
                                    Language language, Image image) {
  const std::string key = FullKey(def);
  const Image field = image.subspan(def.offset, def.size);
  std::vector<std::uint8_t> bytes;
  const std::string hex_rule = Format(kConfigWantHexText, language, {std::to_string(def.size)});
  const json* raw = FormMember(value, "raw");
  const json* text = value.is_string() ? &value : FormMember(value, "text", "after_nul");
  if (raw != nullptr) {
    const auto decoded = raw->is_string() ? FromHex(raw->get<std::string>()) : std::nullopt;
    if (!decoded || decoded->size() > def.size) return Expected(key + ".raw", hex_rule, language);
    bytes = *decoded;
  } else if (text != nullptr) {
    if (!text->is_string()) return Expected(key, TextFor(kConfigWantTextText, language), language);
    const std::string& chars = text->get_ref<const std::string&>();
    if (chars.find('\0') != std::string::npos) {
      return Expected(key, TextFor(kConfigWantNoNulText, language), language);
    }
    if (chars.size() > def.size - 1) {
      return Refuse(key, kConfigTextLengthText, language, {key, std::to_string(def.size - 1)});
    }
    bytes.assign(chars.begin(), chars.end());
    bytes.push_back(0);
    if (text != &value && value.contains("after_nul")) {
      const json& after = value.at("after_nul");
      const std::size_t room = def.size - bytes.size();
      const auto decoded = after.is_string() ? FromHex(after.get<std::string>()) : std::nullopt;
      if (!decoded || decoded->size() > room) {
        return Expected(key + ".after_nul",
                        Format(kConfigWantHexText, language, {std::to_string(room)}), language);
      }
      bytes.insert(bytes.end(), decoded->begin(), decoded->end());
    }
  } else {
    return Expected(key, TextFor(kConfigWantTextFormText, language), language);
  }
  bytes.resize(def.size, 0);
  // A text ends within its field, as when a file is loaded.
  if (std::find(bytes.begin(), bytes.end(), 0) == bytes.end()) bytes.back() = 0;
  if (use == ValueUse::kSend) {
    const auto* chars = reinterpret_cast<const char*>(bytes.data());
    if (auto refused = CheckSendText(def, {chars, strnlen(chars, bytes.size())}, language)) {
      return refused;
    }
  }
  std::copy(bytes.begin(), bytes.end(), field.begin());
  return std::nullopt;
}

std::optional<ConfigError> ReadAddress(const FieldDef& def, const json& value, ValueUse use,
                                       Language language, Image image) {
  const std::string key = FullKey(def);
  const Range plain = PlainRange(def);
  std::array<std::int64_t, 4> parts{};
  if (const json* raw = FormMember(value, "raw")) {
    if (!raw->is_array() || raw->size() != 4) {
      return Expected(key + ".raw", TextFor(kConfigWantRawAddressText, language), language);
    }
    for (std::size_t i = 0; i < 4; ++i) {
      const std::optional<std::int64_t> part = IntegerOf(raw->at(i));
      if (!part) {
        return Expected(key + ".raw", TextFor(kConfigWantRawAddressText, language), language);
      }
      const Range range = use == ValueUse::kSend ? plain : StorageRange(def);
      if (!InRange(*part, range)) return OutOfRange(key, *part, range.min, range.max, language);
      parts[i] = *part;
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
      parts[i] = std::stoll(std::string(digits));
      if (!InRange(parts[i], plain))
        return OutOfRange(key, parts[i], plain.min, plain.max, language);
      text.remove_prefix(i < 3 ? dot + 1 : dot);
    }
  }
  for (std::size_t i = 0; i < 4; ++i) PutInt32(image, def.offset + 4 * i, parts[i]);
  return std::nullopt;
}

std::optional<ConfigError> ReadNumber(const FieldDef& def, const json& value, ValueUse use,
                                      Language language, Image image) {
  const std::string key = FullKey(def);
  const Range plain = PlainRange(def);
  const bool listed = def.kind == Kind::kList || def.kind == Kind::kFlag;
  std::int64_t number = 0;
  if (const json* raw = FormMember(value, "raw")) {
    const std::optional<std::int64_t> v = IntegerOf(*raw);
    if (!v) return Expected(key + ".raw", TextFor(kConfigWantIntegerText, language), language);
    const Range range = use == ValueUse::kSend ? plain : StorageRange(def);
    if (!InRange(*v, range)) return OutOfRange(key, *v, range.min, range.max, language);
    number = *v;
  } else if (const std::optional<std::int64_t> v = IntegerOf(value)) {
    if (listed && HasNumberedItems(ItemsOf(def))) {
      // "stop_bit": 1 is "1 bit", as stop_bit=1 reads.
      auto item = ItemOfNumber(def, *v, language);
      if (auto* refused = std::get_if<ConfigError>(&item)) return std::move(*refused);
      number = std::get<std::int64_t>(item);
    } else {
      if (!InRange(*v, plain)) return OutOfRange(key, *v, plain.min, plain.max, language);
      number = *v;
    }
  } else if (listed && value.is_string()) {
    auto item = ItemFromText(def, value.get_ref<const std::string&>(), language);
    if (auto* refused = std::get_if<ConfigError>(&item)) return std::move(*refused);
    number = std::get<std::int64_t>(item);
  } else {
    return Expected(key, TextFor(listed ? kConfigWantItemText : kConfigWantIntegerText, language),
                    language);
  }
  SetNumber(def, image, number);
  return std::nullopt;
}

std::optional<ConfigError> ReadField(const FieldDef& def, const json& value, ValueUse use,
                                     Language language, Image image) {
  switch (def.kind) {
    case Kind::kText: return ReadText(def, value, use, language, image);
    case Kind::kAddress: return ReadAddress(def, value, use, language, image);
    default: return ReadNumber(def, value, use, language, image);
  }
}

// ---- Configurations on file images ----

struct Images {
  ParameterFileBytes parameters;
  LanSettingsFileBytes lan;
  Image For(const FieldDef& def) { return def.lan ? Image(lan) : Image(parameters); }
};

Images ImagesOf(const Configuration& c) {
  return {EncodeParameterBlock(c.Parameters), EncodeLanSettings(c.Lan)};
}

NamedSet NamedOf(const Configuration& c) {
  NamedSet named{};
  for (const FieldDef& def : kFields) {
    named[IndexOf(def)] = std::find(c.Named.begin(), c.Named.end(), FullKey(def)) != c.Named.end();
  }
  return named;
}

void Store(Configuration& c, const Images& images, const NamedSet& named) {
  c.Parameters = DecodeParameterBlock(images.parameters);
  c.Lan = DecodeLanSettings(images.lan);
  c.Named.clear();
  for (const FieldDef& def : kFields) {
    if (named[IndexOf(def)]) c.Named.push_back(FullKey(def));
  }
}

std::string KeyOfSettingField(SettingField field) {
  if (field.row == nullptr) return {};
  return std::string(PartName(field.row->part)) + "." + field.row->key;
}

// The printer's own checks over the configuration's values, the last word before a value is
// taken for sending: the unnamed fields hold start-up values, which always pass.
std::optional<ConfigError> CheckCommands(const Configuration& c, Language language) {
  SettingField refused = CheckParameterBlock(c.Parameters, 4);
  if (refused == SettingField::kNone) refused = CheckLanSettings(c.Lan);
  if (refused == SettingField::kNone) return std::nullopt;
  const std::string key = KeyOfSettingField(refused);
  return ConfigError{key, key + ": " + RefusalText(refused, language)};
}

// The fields the bytes of a setting file reach, found by loading the file over two records
// that differ in every byte: a byte the file supplies is the same in both. The last byte of a
// text is left out, as loading may put a NUL there.
template <typename Bytes, typename Record, typename Apply, typename Encode, typename Decode>
void MarkReached(const std::vector<std::uint8_t>& data, bool lan, Apply apply, Encode encode,
                 Decode decode, NamedSet& named) {
  Bytes zeros{};
  Bytes fives{};
  fives.fill(0x5A);
  Record a = decode(zeros);
  Record b = decode(fives);
  apply(data.data(), data.size(), a);
  apply(data.data(), data.size(), b);
  const Bytes ea = encode(a);
  const Bytes eb = encode(b);
  for (const FieldDef& def : kFields) {
    if (def.lan != lan) continue;
    const std::size_t checked = FieldSize(def) - (def.kind == Kind::kText ? 1 : 0);
    for (std::size_t i = def.offset; i < def.offset + checked; ++i) {
      if (ea[i] == eb[i]) named[IndexOf(def)] = true;
    }
  }
}

ConfigResult<Configuration> LoadSettingFile(const std::string& path, bool lan, Language language) {
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
  Configuration c;
  NamedSet named{};
  if (lan) {
    c.HasLan = true;
    ApplyLanSettingsFile(data.data(), data.size(), c.Lan);
    MarkReached<LanSettingsFileBytes, LanSettings>(data, true, ApplyLanSettingsFile,
                                                   EncodeLanSettings, DecodeLanSettings, named);
  } else {
    c.HasParameters = true;
    ApplyParameterFile(data.data(), data.size(), c.Parameters);
    MarkReached<ParameterFileBytes, ParameterBlock>(
        data, false, ApplyParameterFile, EncodeParameterBlock, DecodeParameterBlock, named);
  }
  Store(c, ImagesOf(c), named);
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

std::string ValueText(const FieldDef& def, ConstImage image, Language language) {
  switch (def.kind) {
    case Kind::kText: return TextJson(def, image).dump();
    case Kind::kAddress: {
      const std::array<std::int64_t, 4> p = AddressOf(def, image);
      return std::to_string(p[0]) + "." + std::to_string(p[1]) + "." + std::to_string(p[2]) + "." +
             std::to_string(p[3]);
    }
    default: {
      const std::int64_t value = NumberOf(def, image);
      const bool listed = def.kind == Kind::kList || def.kind == Kind::kFlag;
      if (listed && InRange(value, PlainRange(def))) {
        return ItemText(def, static_cast<std::size_t>(value), language);
      }
      return std::to_string(value);
    }
  }
}

// Whether the printer's commands for `version` write the field and its replies return it.
bool PrinterField(const FieldDef& def, int version) {
  return FirmwareTakes(RowOf(def), version);
}

// The field's value as the printer receives it.
std::string SentForm(const FieldDef& def, ConstImage image) {
  if (def.kind == Kind::kFlag) return image[def.offset] == 1 ? "1" : "0";
  if (def.kind != Kind::kText) {
    const ConstImage bytes = BytesOf(def, image);
    return {bytes.begin(), bytes.end()};
  }
  std::string text(TextPart(def, image).substr(0, def.send_chars));
  // "IH;%1d,%32s" sends the DHCP ID right-aligned in 32 columns, and the printer returns those.
  if (RowOf(def).command.format == CommandFormat::kRight32 && text.size() < def.send_chars) {
    text.insert(0, def.send_chars - text.size(), ' ');
  }
  return text;
}

std::vector<FieldChange> DiffImages(bool lan, ConstImage a, ConstImage b, Language language,
                                    DiffScope scope, int version) {
  std::vector<FieldChange> changes;
  for (const FieldDef& def : kFields) {
    if (def.lan != lan) continue;
    bool same;
    if (scope == DiffScope::kPrinter) {
      if (!PrinterField(def, version)) continue;
      same = SentForm(def, a) == SentForm(def, b);
    } else {
      const ConstImage x = BytesOf(def, a);
      const ConstImage y = BytesOf(def, b);
      same = std::equal(x.begin(), x.end(), y.begin(), y.end());
    }
    if (!same)
      changes.push_back({FullKey(def), ValueText(def, a, language), ValueText(def, b, language)});
  }
  return changes;
}

}  // namespace

ParameterBlock StartupParameters() { return ParameterBlock{}; }

LanSettings StartupLanSettings() {
  LanSettings s;
  s.LanFlag = 1;
  const std::int32_t ip[4] = {192, 168, 10, 20};
  const std::int32_t mask[4] = {255, 255, 255, 0};
  std::copy(std::begin(ip), std::end(ip), s.IpAddress);
  std::copy(std::begin(mask), std::end(mask), s.SubnetMask);
  s.SocketPortMode = 1;
  s.SocketPort = 8000;
  s.DhcpEnabled = 0;
  std::memset(s.DhcpId, 'F', 32);
  return s;
}

const std::vector<std::string>& ConfigurationKeys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> all;
    for (const FieldDef& def : kFields) all.push_back(FullKey(def));
    return all;
  }();
  return keys;
}

ConfigResult<Configuration> ConfigurationFromJson(const json& document, Language language,
                                                  ValueUse use) {
  if (!document.is_object()) return Refuse("", kConfigNotObjectText, language, {});
  for (const auto& item : document.items()) {
    const std::string& key = item.key();
    if (key != "format" && key != "version" && key != "parameters" && key != "lan") {
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
  Images images = ImagesOf(c);
  NamedSet named{};
  for (const bool lan : {false, true}) {
    const char* part = lan ? "lan" : "parameters";
    if (!document.contains(part)) continue;
    const json& fields = document.at(part);
    if (!fields.is_object())
      return Expected(part, TextFor(kConfigWantObjectText, language), language);
    (lan ? c.HasLan : c.HasParameters) = true;
    for (const auto& item : fields.items()) {
      const FieldDef* def = FindField(item.key(), lan);
      if (def == nullptr) {
        const std::string key = std::string(part) + "." + item.key();
        return Refuse(key, kConfigUnknownKeyText, language, {Shown(key)});
      }
      if (auto refused = ReadField(*def, item.value(), use, language, images.For(*def))) {
        return std::move(*refused);
      }
      named[IndexOf(*def)] = true;
    }
  }
  if (std::none_of(named.begin(), named.end(), [](bool n) { return n; })) {
    return Refuse("", kConfigNoFieldsText, language, {});
  }
  Store(c, images, named);
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
    std::string path;  // "parameters", "lan.dhcp_id"; "" for the document itself
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
  ConfigResult<Configuration> loaded = LoadSettingFile(path, ext == ".ts1", language);
  if (use == ValueUse::kStore || std::holds_alternative<ConfigError>(loaded)) return loaded;
  // The file's values pass the same checks as a document's.
  return ConfigurationFromJson(ToJson(std::get<Configuration>(loaded)), language, use);
}

ConfigError SaveConfiguration(const std::string& path, const Configuration& configuration,
                              Language language) {
  const std::string ext = Extension(path);
  FileResult saved;
  if (ext == ".json") {
    const std::string text = JsonText(ToJson(configuration));
    saved = ReplaceFileAtomically(path, reinterpret_cast<const std::uint8_t*>(text.data()),
                                  text.size());
  } else if (ext == ".ts0") {
    if (!configuration.HasParameters) {
      return Refuse("parameters", kConfigNoPartText, language, {Shown(path, kWhole), "parameters"});
    }
    saved = SaveParameterFile(path, configuration.Parameters);
  } else if (ext == ".ts1") {
    if (!configuration.HasLan) {
      return Refuse("lan", kConfigNoPartText, language, {Shown(path, kWhole), "lan"});
    }
    saved = SaveLanSettingsFile(path, configuration.Lan);
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
  std::string_view name = Trim(key_eq_value.substr(0, eq));
  const std::string given(name);
  std::optional<bool> lan;
  if (name.starts_with("parameters.")) {
    lan = false;
    name.remove_prefix(std::strlen("parameters."));
  } else if (name.starts_with("lan.")) {
    lan = true;
    name.remove_prefix(std::strlen("lan."));
  }
  const FieldDef* def = FindField(name, lan);
  if (def == nullptr) return Refuse(given, kConfigUnknownKeyText, language, {Shown(given)});
  const std::string key = FullKey(*def);

  // A value in double quotes is a JSON string (so it may hold \" and other escapes).
  std::string_view text = key_eq_value.substr(eq + 1);
  // Blanks around a value count only in a text.
  if (def->kind != Kind::kText) text = Trim(text);
  json value = std::string(text);
  bool quoted = false;
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    const json parsed = json::parse(text, nullptr, false);
    if (parsed.is_string()) {
      value = parsed;
      quoted = true;
    }
  }
  if (def->kind == Kind::kNumber || def->kind == Kind::kByte) {
    const std::string_view digits = text;
    const std::string_view unsigned_digits =
        !digits.empty() && (digits.front() == '-' || digits.front() == '+') ? digits.substr(1)
                                                                            : digits;
    if (quoted || !IsDigits(unsigned_digits) || unsigned_digits.size() > 12) {
      return Expected(key, TextFor(kConfigWantIntegerText, language), language);
    }
    value = std::stoll(std::string(digits));
  }

  Configuration updated = configuration;
  Images images = ImagesOf(updated);
  NamedSet named = NamedOf(updated);
  if (auto refused = ReadField(*def, value, ValueUse::kSend, language, images.For(*def))) {
    return std::move(*refused);
  }
  named[IndexOf(*def)] = true;
  (def->lan ? updated.HasLan : updated.HasParameters) = true;
  Store(updated, images, named);
  if (auto refused = CheckCommands(updated, language)) return std::move(*refused);
  configuration = std::move(updated);
  return {};
}

json ToJson(const ParameterBlock* parameters, const LanSettings* lan) {
  Configuration c;
  c.HasParameters = parameters != nullptr;
  c.HasLan = lan != nullptr;
  if (parameters != nullptr) c.Parameters = *parameters;
  if (lan != nullptr) c.Lan = *lan;
  for (const FieldDef& def : kFields) {
    if (def.lan ? c.HasLan : c.HasParameters) c.Named.push_back(FullKey(def));
  }
  return ToJson(c);
}

json ToJson(const Configuration& configuration) {
  json document = {{"format", "krt6-settings"}, {"version", 1}};
  const Images images = ImagesOf(configuration);
  const NamedSet named = NamedOf(configuration);
  if (configuration.HasParameters) document["parameters"] = json::object();
  if (configuration.HasLan) document["lan"] = json::object();
  for (const FieldDef& def : kFields) {
    const bool present = def.lan ? configuration.HasLan : configuration.HasParameters;
    if (!present || !named[IndexOf(def)]) continue;
    const ConstImage image = def.lan ? ConstImage(images.lan) : ConstImage(images.parameters);
    document[def.lan ? "lan" : "parameters"][def.name] = FieldJson(def, image);
  }
  return document;
}

std::string JsonText(const json& document) { return document.dump(2) + "\n"; }

bool NamesWholeParameters(const Configuration& configuration) {
  const NamedSet named = NamedOf(configuration);
  return configuration.HasParameters &&
         std::all_of(std::begin(kFields), std::end(kFields),
                     [&](const FieldDef& def) { return def.lan || named[IndexOf(def)]; });
}

bool NamesWholeLan(const Configuration& configuration) {
  const NamedSet named = NamedOf(configuration);
  return configuration.HasLan &&
         std::all_of(std::begin(kFields), std::end(kFields),
                     [&](const FieldDef& def) { return !def.lan || named[IndexOf(def)]; });
}

ParameterBlock Overlay(const Configuration& configuration, ParameterBlock current) {
  if (!configuration.HasParameters) return current;
  const ParameterFileBytes from = EncodeParameterBlock(configuration.Parameters);
  ParameterFileBytes to = EncodeParameterBlock(current);
  const NamedSet named = NamedOf(configuration);
  for (const FieldDef& def : kFields) {
    if (def.lan || !named[IndexOf(def)]) continue;
    std::copy_n(from.begin() + static_cast<std::ptrdiff_t>(def.offset), FieldSize(def),
                to.begin() + static_cast<std::ptrdiff_t>(def.offset));
  }
  return DecodeParameterBlock(to);
}

LanSettings Overlay(const Configuration& configuration, LanSettings current) {
  if (!configuration.HasLan) return current;
  const LanSettingsFileBytes from = EncodeLanSettings(configuration.Lan);
  LanSettingsFileBytes to = EncodeLanSettings(current);
  const NamedSet named = NamedOf(configuration);
  for (const FieldDef& def : kFields) {
    if (!def.lan || !named[IndexOf(def)]) continue;
    std::copy_n(from.begin() + static_cast<std::ptrdiff_t>(def.offset), FieldSize(def),
                to.begin() + static_cast<std::ptrdiff_t>(def.offset));
  }
  return DecodeLanSettings(to);
}

std::vector<FieldChange> Diff(const ParameterBlock& a, const ParameterBlock& b, Language language,
                              DiffScope scope, int version_index) {
  return DiffImages(false, EncodeParameterBlock(a), EncodeParameterBlock(b), language, scope,
                    version_index);
}

std::vector<FieldChange> Diff(const LanSettings& a, const LanSettings& b, Language language,
                              DiffScope scope, int version_index) {
  return DiffImages(true, EncodeLanSettings(a), EncodeLanSettings(b), language, scope,
                    version_index);
}

std::vector<FieldChange> Diff(const Configuration& a, const Configuration& b, Language language) {
  const Images ia = ImagesOf(a);
  const Images ib = ImagesOf(b);
  const NamedSet na = NamedOf(a);
  const NamedSet nb = NamedOf(b);
  const std::string not_set = TextFor(kConfigNotSetText, language);
  std::vector<FieldChange> changes;
  for (const FieldDef& def : kFields) {
    const bool in_a = na[IndexOf(def)] && (def.lan ? a.HasLan : a.HasParameters);
    const bool in_b = nb[IndexOf(def)] && (def.lan ? b.HasLan : b.HasParameters);
    if (!in_a && !in_b) continue;
    const ConstImage x = def.lan ? ConstImage(ia.lan) : ConstImage(ia.parameters);
    const ConstImage y = def.lan ? ConstImage(ib.lan) : ConstImage(ib.parameters);
    if (in_a && in_b) {
      const ConstImage fx = BytesOf(def, x);
      const ConstImage fy = BytesOf(def, y);
      if (std::equal(fx.begin(), fx.end(), fy.begin(), fy.end())) continue;
    }
    changes.push_back({FullKey(def), in_a ? ValueText(def, x, language) : not_set,
                       in_b ? ValueText(def, y, language) : not_set});
  }
  return changes;
}

}  // namespace krt6

// ---- A printer's own identity, and what its firmware takes ----
namespace krt6 {
namespace {

bool IsIdentity(const FieldDef& def) {
  return RowOf(def).identity;
}

const FieldDef* FieldOfKey(std::string_view key) {
  for (const FieldDef& def : kFields) {
    if (FullKey(def) == key) return &def;
  }
  return nullptr;
}

}  // namespace

const std::vector<std::string>& IdentityKeys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> identity;
    for (const FieldDef& def : kFields) {
      if (IsIdentity(def)) identity.push_back(FullKey(def));
    }
    return identity;
  }();
  return keys;
}

std::vector<IdentityValue> IdentityValues(const Configuration& configuration) {
  std::vector<IdentityValue> values;
  if (!configuration.HasLan) return values;
  const Images images = ImagesOf(configuration);
  const NamedSet named = NamedOf(configuration);
  for (const FieldDef& def : kFields) {
    if (!IsIdentity(def) || !named[IndexOf(def)]) continue;
    if (def.kind == Kind::kText && TextPart(def, ConstImage(images.lan)).empty()) continue;
    values.push_back({FullKey(def), ValueText(def, ConstImage(images.lan), Language::kEnglish)});
  }
  return values;
}

void LayOver(Configuration& base, const Configuration& over) {
  Images images = ImagesOf(base);
  const Images from = ImagesOf(over);
  NamedSet named = NamedOf(base);
  const NamedSet given = NamedOf(over);
  for (const FieldDef& def : kFields) {
    if (!given[IndexOf(def)] || !(def.lan ? over.HasLan : over.HasParameters)) continue;
    const ConstImage source = def.lan ? ConstImage(from.lan) : ConstImage(from.parameters);
    std::copy_n(source.begin() + static_cast<std::ptrdiff_t>(def.offset), FieldSize(def),
                images.For(def).begin() + static_cast<std::ptrdiff_t>(def.offset));
    named[IndexOf(def)] = true;
  }
  base.HasParameters = base.HasParameters || over.HasParameters;
  base.HasLan = base.HasLan || over.HasLan;
  Store(base, images, named);
}

Configuration WithoutIdentity(Configuration configuration) {
  std::erase_if(configuration.Named, [](const std::string& key) {
    const FieldDef* def = FieldOfKey(key);
    return def != nullptr && IsIdentity(*def);
  });
  const auto names_part = [&](bool lan) {
    return std::any_of(configuration.Named.begin(), configuration.Named.end(),
                       [lan](const std::string& key) {
                         const FieldDef* def = FieldOfKey(key);
                         return def != nullptr && def->lan == lan;
                       });
  };
  configuration.HasLan = configuration.HasLan && names_part(true);
  configuration.HasParameters = configuration.HasParameters && names_part(false);
  return configuration;
}

bool FirmwareTakes(std::string_view key, int version_index) {
  const FieldDef* def = FieldOfKey(key);
  return def != nullptr && PrinterField(*def, version_index);
}

std::string KeyOfField(SettingField field) { return KeyOfSettingField(field); }

}  // namespace krt6
