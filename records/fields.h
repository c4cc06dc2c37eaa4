// The one table of the settings: every field of the parameter block and the LAN settings, with
// everything the layers need to know of it. The setting files, the command builders and reply
// decoders, the checks, the readable configuration, the texts and the window's pages all read
// this table; none keeps its own list of fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

#include "records/records.h"
#include "records/text_pair.h"

namespace krt6 {

// The record a field belongs to; the configuration document calls them "parameters" and "lan".
enum class FieldPart : std::uint8_t { kParameters, kLan };

// How a field sits in its record and how the document writes it.
enum class FieldKind : std::uint8_t {
  kList,     // int32, the index of an item of `items`
  kNumber,   // int32
  kByte,     // one byte, a number
  kFlag,     // one byte, 0 "OFF" / 1 "ON"
  kAddress,  // four int32, written as a dotted address
  kText,     // characters up to a NUL, within a fixed number of bytes
};

// The firmware classes (the printer version items 0..4, 4 being "Other") as a set of bits.
using VersionSet = std::uint8_t;
inline constexpr int kVersionCount = 5;
inline constexpr VersionSet kNoVersion = 0;
inline constexpr VersionSet kEveryVersion = (1u << kVersionCount) - 1;
constexpr VersionSet FromVersion(int first) {
  return static_cast<VersionSet>(kEveryVersion & ~((1u << first) - 1));
}
constexpr VersionSet OnlyVersions(std::initializer_list<int> versions) {
  unsigned bits = 0;
  for (int v : versions) bits |= 1u << v;
  return static_cast<VersionSet>(bits);
}
constexpr bool HasVersion(VersionSet set, int version) {
  return version >= 0 && version < kVersionCount && ((set >> version) & 1u) != 0;
}

// The commands that carry fields, in the order they go out.
enum class CommandId : std::uint8_t {
  kNone,
  kParameters1,  // "Z2;1,..."
  kParameters2,  // "Z2;2,..."
  kIP2,          // "IP;2,...": the address
  kIP3,          // "IP;3,...": the gateway
  kIP4,          // "IP;4,...": the mask
  kSocket,       // "IS;..."
  kDhcp,         // "IH;..."
  kHostName,     // "ZW01;..."
};

// How a value is written into its place in a command, which also fixes the values that fit.
enum class CommandFormat : std::uint8_t {
  kNone,
  kDigit,      // "%1d": 0..9
  kFontDigit,  // the printer's font code digit for the item (FontDigitForItem)
  kTwoChars,   // the text's first two bytes, a NUL for each missing character ("%c%c")
  kSigned3,    // "%+04d": -999..999
  kDash2,      // "-%02d": a minus sign, then -9..99
  kWidth2,     // "%02d": -9..99
  kWidth3,     // "%03d": -99..999; an address's four parts are "%03d,%03d,%03d,%03d"
  kWidth5,     // "%05d": -9999..99999
  kOneIfOne,   // "%1d" of 1 for the value 1, else 0
  kRight32,    // "%32s": the text (at most 32 characters) right-aligned in 32 places
  kTail,       // "%s": the text (at most `chars` characters) ends the command
};

struct CommandPlace {
  CommandId command = CommandId::kNone;
  std::uint8_t offset = 0;  // from the command's first character
  CommandFormat format = CommandFormat::kNone;
  VersionSet versions = kNoVersion;  // the firmware classes whose commands carry the field
};

// The replies that carry fields.
enum class ReplyId : std::uint8_t {
  kNone,
  kParameters1,  // to "Z5;0"
  kParameters2,  // to "Z5;1"
  kLan,          // to "Z5;3"
};

// How a value is read from its place in a reply (offsets count from the STX).
enum class ReplyFormat : std::uint8_t {
  kNone,
  kDecimal,    // `width` characters the way atoi reads them; an address: four such, adjacent
  kDigit,      // the character's code minus '0', unchecked
  kFontDigit,  // the font code digit, through the font table (FontCodeFromDigit)
  kFlag,       // '0' is 0, any other byte 1
  kChars,      // `width` bytes copied, then a NUL within the field
};

struct ReplyPlace {
  ReplyId reply = ReplyId::kNone;
  std::uint8_t offset = 0;
  std::uint8_t width = 0;
  ReplyFormat format = ReplyFormat::kNone;
  VersionSet versions = kEveryVersion;  // the firmware classes whose reply is decoded for it
};

// Where a field's value sits in its record: `offsetof` and `sizeof` of the member. The records
// are plain structs of standard layout, so the table can reach every member this way.
struct MemberSpan {
  std::size_t offset;
  std::size_t size;
};
#define KRT6_MEMBER(record, member) \
  ::krt6::MemberSpan { offsetof(record, member), sizeof(record::member) }

// The characters a text field may hold.
enum class TextChars : std::uint8_t {
  kCommand,   // printable ASCII except the framing bytes (IsCommandText)
  kHostName,  // ASCII letters and digits (IsHostNameText)
};

// The file offset of a field the setting files have no place for (one newer than their layouts):
// it travels in the readable configuration only, and loading a setting file leaves it as it is.
inline constexpr std::size_t kNotInFile = SIZE_MAX;

// One setting.
struct FieldRow {
  const char* key;  // the document's key within its part: blank_space_len
  FieldPart part;
  FieldKind kind;
  MemberSpan member;
  std::size_t file_offset;          // in the setting file of its part (the size is the member's),
                                    // or kNotInFile
  TextPair caption;                 // the label of its page ("BLANK SPACE LEN"), or its own name
  std::span<const TextPair> items;  // kList: the item texts, in item order
  std::int32_t min;                 // the values that mean something (a list: its items),
  std::int32_t max;                 // narrowed further by what the command can carry
  CommandPlace command;
  ReplyPlace reply;
  std::size_t chars = 0;  // kText: the characters a printer takes
  bool identity = false;  // part of a printer's own identity on its network: never copied
  TextChars text_chars = TextChars::kCommand;  // kText: the characters it may hold
};

// Every field, parameters first, in the order of the configuration document.
std::span<const FieldRow> Fields();

// The field of `key` in `part`, or null.
const FieldRow* FindField(FieldPart part, std::string_view key);
// The key with its part ("parameters." or "lan.") or without (the first part that has it), or null.
const FieldRow* FindFieldByKey(std::string_view key);
// "parameters" or "lan".
const char* PartName(FieldPart part);

// The field's bytes in a record, which must be of its part.
std::uint8_t* MemberBytes(const FieldRow& row, void* record);
const std::uint8_t* MemberBytes(const FieldRow& row, const void* record);

// The integer values of a number, list, byte or flag field; an address: the part 0..3.
std::int32_t GetInt(const FieldRow& row, const void* record, int part = 0);
void SetInt(const FieldRow& row, void* record, std::int32_t value, int part = 0);

// The values a command can carry for the field (every int32 when it is never sent).
struct ValueRange {
  std::int32_t min;
  std::int32_t max;
};
ValueRange CommandRange(const FieldRow& row);
// The values that mean something and a printer can take: [min, max] narrowed by CommandRange.
ValueRange SendRange(const FieldRow& row);

// Whether the firmware class's commands carry the field.
inline bool FirmwareTakes(const FieldRow& row, int version_index) {
  return HasVersion(row.command.versions, version_index);
}

// A field a value can be refused for: a row and, for an address, its part (1..4; 0 otherwise).
// kNone: nothing refused; kVersion: no printer version is chosen, so there is no command format.
struct SettingField {
  const FieldRow* row = nullptr;
  int address_part = 0;
  bool no_version = false;
  static const SettingField kNone;
  static const SettingField kVersion;
  bool operator==(const SettingField&) const = default;
};
inline constexpr SettingField SettingField::kNone{};
inline constexpr SettingField SettingField::kVersion{nullptr, 0, true};

// The refused field of a key (with or without its part), for the first part of an
// address when `address_part` is 0.
SettingField FieldOf(std::string_view key, int address_part = 0);

}  // namespace krt6
