// The fields of the field table on the wire: checks, command texts and reply decoding for any
// field, by its row. Pure functions over records and bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "records/fields.h"

namespace krt6 {

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

}  // namespace krt6
