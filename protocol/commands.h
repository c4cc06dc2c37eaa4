// The command texts and reply layouts of the parameter block, LAN settings and maintenance
// operations, as pure functions over records and bytes: no link, no clock, no state. Protocol
// uses them for its exchanges; the main window uses the checks to refuse a value before any
// exchange starts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "records/fields.h"
#include "records/records.h"

namespace krt6 {

// The bytes that end or start a command: '{', '|' and '}' in brace framing; ESC, LF and NUL in
// ESC framing.
bool IsFramingByte(std::uint8_t byte, bool esc_framing);

// Whether `text` may stand inside a command whichever framing is in use: printable ASCII
// (0x20-0x7E) and no framing byte of either framing. Texts from a file or a printer's reply are
// kept and shown as they are; they are refused only when they would be sent.
bool IsCommandText(std::string_view text);

// The DHCP host name keeps the rule of its key filter, however the text got into the field:
// ASCII letters and digits only (an empty name is sent as it is).
bool IsHostNameText(std::string_view text);

// ---- Any field, by its row of the field table ----
// Whether a command can carry `value` for a number, list, byte or flag field.
bool ValueFits(const FieldRow& row, std::int32_t value);
// Whether a text field may hold `text` (its characters only; the length is the caller's).
bool TextFits(const FieldRow& row, std::string_view text);

// The first field of `record` (of `part`) the firmware class's commands carry that they cannot
// carry, in the order the values go out; kNone when every one can go out.
SettingField CheckFields(FieldPart part, const void* record, int version_index, bool esc_framing);

// Writes the values of the fields `command` carries for the firmware class into `text`, the
// command's text with its fixed characters.
void PlaceFields(CommandId command, const void* record, int version_index, std::string& text);

// Reads the fields `reply` carries for the firmware class from its bytes (from the STX).
void DecodeFields(ReplyId reply, const std::uint8_t* bytes, int version_index, void* record);

// ---- Parameter block ----

// The printer's font code digit (0..F) to the item of the font code list.
extern const std::int32_t FontCodeTable[16];

// The item for a font code character of a reply: '0'..'9', 'A'..'F' (or 'a'..'f') through
// FontCodeTable; any other character gives item 0.
std::int32_t FontCodeFromDigit(char digit);

// The digit the printer must receive for a font code list item, so that reading the block back
// selects the same item: the inverse of FontCodeTable. '\0' for a value that is no item.
char FontDigitForItem(std::int32_t item);

// Reply lengths of "Z5;0" (by version) and "Z5;1".
std::size_t FirstParameterReplyLength(int version_index);
inline constexpr std::size_t kSecondParameterReplyLength = 30;

// Fixed lengths of the "Z2;1," and "Z2;2," command texts by version (0 when the version has no
// format).
std::size_t FirstParameterCommandLength(int version_index);
std::size_t SecondParameterCommandLength(int version_index);

// The first field of `block` that cannot be sent in the formats of `version_index`, or kNone.
// The Euro code's characters go out as "%c%c", a NUL in place of a missing one: in ESC framing
// (`esc_framing`) that NUL would end the command, so there a Euro code needs both characters.
SettingField CheckParameterBlock(const ParameterBlock& block, int version_index,
                                 bool esc_framing = false);

// The two command texts for `block`, each exactly its fixed length. Refuses (and leaves `first`
// and `second` empty) with the field CheckParameterBlock names.
SettingField BuildParameterCommands(const ParameterBlock& block, int version_index,
                                    std::string& first, std::string& second,
                                    bool esc_framing = false);

// Decode the "Z5;0" reply (FirstParameterReplyLength bytes from the STX) and the "Z5;1" reply
// (30 bytes) into the block. Only the fields each reply carries are touched.
void DecodeFirstParameterReply(const std::uint8_t* reply, int version_index, ParameterBlock& block);
void DecodeSecondParameterReply(const std::uint8_t* reply, ParameterBlock& block);

// ---- LAN settings ----

inline constexpr std::size_t kLanReplyLength = 99;

// The first address, port mode or port value of `settings` whose text would not fit, or the
// DHCP ID or host name text (up to its NUL, at most 32 and 15 characters) that cannot be sent;
// kNone when every command can go out.
SettingField CheckLanSettings(const LanSettings& settings);

// The seven command texts, each exactly as many bytes as are framed. Refuses (and leaves
// `commands` empty) with the field CheckLanSettings names.
SettingField BuildLanCommands(const LanSettings& settings, std::vector<std::string>& commands);

// Decodes the 99-byte "Z5;3" reply (from the STX) into `settings`.
void DecodeLanReply(const std::uint8_t* reply, LanSettings& settings);

// ---- Maintenance ----

inline constexpr std::size_t kVersionReplyLength = 27;

// "Z10" for selector 0, else "Z11".
const char* Z1CommandText(std::int32_t selector);
// "WT;1000,1" for sensor 0, "WT;1000,2" for 1, "WT;1000,3" for anything else.
const char* CalibrationCommandText(std::int32_t sensor);

// True when the 27-byte "WV" reply carries the version marker 'V' or 'v' at byte 18; the four
// characters after it and a NUL then go into `version`, which is untouched otherwise.
bool DecodeVersionReply(const std::uint8_t* reply, VersionText& version);

// The printer version item (0..4) for a firmware version text: "1.0" followed by 'B'-'C' 0,
// 'D'-'E' 1, 'F'-'I' 2, 'J'-'T' 3; anything else, lower case included, 4 ("Other").
int VersionIndexForText(const char* text);

// Converts the `count` characters at `text` the way the C library's atoi does: leading blanks,
// an optional sign, digits up to the first other character; no digits give 0.
std::int32_t DecimalField(const std::uint8_t* text, std::size_t count);

}  // namespace krt6
