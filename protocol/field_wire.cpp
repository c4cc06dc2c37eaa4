// The fields on the wire, read from the field table: where each value goes in its command, which
// values a command can carry, and where each value comes from in a reply; the characters a command
// text may carry and the atoi-style conversion of reply fields.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "protocol/commands.h"
#include "protocol/protocol.h"

namespace krt6 {
namespace {

bool IsBlank(std::uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

// The fields of a part in the order their values go out: by command, then by place in it.
const std::vector<const FieldRow*>& SentOrder(FieldPart part) {
  static const auto order = [](FieldPart p) {
    std::vector<const FieldRow*> rows;
    for (const FieldRow& row : Fields()) {
      if (row.part == p && row.command.command != CommandId::kNone) rows.push_back(&row);
    }
    std::stable_sort(rows.begin(), rows.end(), [](const FieldRow* a, const FieldRow* b) {
      if (a->command.command != b->command.command) return a->command.command < b->command.command;
      return a->command.offset < b->command.offset;
    });
    return rows;
  };
  static const std::vector<const FieldRow*> parameters = order(FieldPart::kParameters);
  static const std::vector<const FieldRow*> lan = order(FieldPart::kLan);
  return part == FieldPart::kLan ? lan : parameters;
}

int AddressParts(const FieldRow& row) { return row.kind == FieldKind::kAddress ? 4 : 1; }

// The text of a text field up to its NUL, at most `limit` characters.
std::string_view TextOf(const FieldRow& row, const void* record, std::size_t limit) {
  const auto* chars = reinterpret_cast<const char*>(MemberBytes(row, record));
  return {chars, strnlen(chars, std::min(limit, row.member.size))};
}

// The two Euro code bytes go out as "%c%c": its text up to the NUL, then NUL bytes in the
// places it leaves empty. A byte after that NUL would be sent as well, so it must be a NUL too.
bool TwoCharsSendable(const FieldRow& row, const void* record, bool esc_framing) {
  const std::string_view text = TextOf(row, record, 2);
  if (!TextFits(row, text)) return false;
  if (text.empty() && MemberBytes(row, record)[1] != '\0') return false;
  // ESC framing ends a command at a NUL, so there a shorter code would cut the command.
  return text.size() == 2 || !esc_framing;
}

bool Sendable(const FieldRow& row, const void* record, int part, bool esc_framing) {
  switch (row.command.format) {
    case CommandFormat::kTwoChars: return TwoCharsSendable(row, record, esc_framing);
    case CommandFormat::kRight32:
    case CommandFormat::kTail: return TextFits(row, TextOf(row, record, row.chars));
    case CommandFormat::kOneIfOne: return true;
    case CommandFormat::kFontDigit: return FontDigitForItem(GetInt(row, record, part)) != '\0';
    default: return ValueFits(row, GetInt(row, record, part));
  }
}

// The characters of an integer in `format`, as the printer's format string writes them.
std::string Formatted(CommandFormat format, std::int32_t value) {
  char text[16] = {};
  switch (format) {
    case CommandFormat::kDigit: std::snprintf(text, sizeof text, "%1d", value); break;
    case CommandFormat::kSigned3: std::snprintf(text, sizeof text, "%+04d", value); break;
    case CommandFormat::kDash2: std::snprintf(text, sizeof text, "-%02d", value); break;
    case CommandFormat::kWidth2: std::snprintf(text, sizeof text, "%02d", value); break;
    case CommandFormat::kWidth3: std::snprintf(text, sizeof text, "%03d", value); break;
    case CommandFormat::kWidth5: std::snprintf(text, sizeof text, "%05d", value); break;
    case CommandFormat::kOneIfOne: std::snprintf(text, sizeof text, "%1d", value == 1); break;
    default: break;
  }
  return text;
}

// Writes `piece` over the command from `offset`, the command growing as far as it must.
void Put(std::string& command, std::size_t offset, std::string_view piece) {
  if (command.size() < offset + piece.size()) command.resize(offset + piece.size(), '\0');
  command.replace(offset, piece.size(), piece);
}

void Place(const FieldRow& row, const void* record, std::string& command) {
  const std::size_t at = row.command.offset;
  switch (row.command.format) {
    case CommandFormat::kFontDigit:
      Put(command, at, std::string(1, FontDigitForItem(GetInt(row, record))));
      break;
    case CommandFormat::kTwoChars:
      Put(command, at, {reinterpret_cast<const char*>(MemberBytes(row, record)), 2});
      break;
    case CommandFormat::kRight32: {
      char text[33] = {};
      std::snprintf(text, sizeof text, "%32s", std::string(TextOf(row, record, 32)).c_str());
      Put(command, at, text);
      break;
    }
    case CommandFormat::kTail:
      command.resize(at);
      command += TextOf(row, record, row.chars);
      break;
    default:
      for (int part = 0; part < AddressParts(row); ++part) {
        // An address's parts are "%03d,%03d,%03d,%03d".
        Put(command, at + 4 * static_cast<std::size_t>(part),
            Formatted(row.command.format, GetInt(row, record, part)));
      }
      break;
  }
}

}  // namespace

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

bool ValueFits(const FieldRow& row, std::int32_t value) {
  const ValueRange range = CommandRange(row);
  return value >= range.min && value <= range.max;
}

bool TextFits(const FieldRow& row, std::string_view text) {
  return row.text_chars == TextChars::kHostName ? IsHostNameText(text) : IsCommandText(text);
}

SettingField CheckFields(FieldPart part, const void* record, int version_index, bool esc_framing) {
  for (const FieldRow* row : SentOrder(part)) {
    if (!FirmwareTakes(*row, version_index)) continue;
    for (int p = 0; p < AddressParts(*row); ++p) {
      if (!Sendable(*row, record, p, esc_framing)) {
        return {row, row->kind == FieldKind::kAddress ? p + 1 : 0};
      }
    }
  }
  return SettingField::kNone;
}

void PlaceFields(CommandId command, const void* record, int version_index, std::string& text) {
  for (const FieldRow& row : Fields()) {
    if (row.command.command == command && FirmwareTakes(row, version_index)) {
      Place(row, record, text);
    }
  }
}

void DecodeFields(ReplyId reply, const std::uint8_t* bytes, int version_index, void* record) {
  // A version item outside the classes reads as the nearest one, as the reply's length does.
  const int version = std::clamp(version_index, 0, kVersionCount - 1);
  for (const FieldRow& row : Fields()) {
    const ReplyPlace& place = row.reply;
    if (place.reply != reply || !HasVersion(place.versions, version)) continue;
    const std::uint8_t* at = bytes + place.offset;
    switch (place.format) {
      case ReplyFormat::kDecimal:
        for (int part = 0; part < AddressParts(row); ++part) {
          SetInt(row, record, DecimalField(at + place.width * part, place.width), part);
        }
        break;
      case ReplyFormat::kDigit: SetInt(row, record, static_cast<std::int32_t>(*at) - '0'); break;
      case ReplyFormat::kFontDigit:
        SetInt(row, record, FontCodeFromDigit(static_cast<char>(*at)));
        break;
      case ReplyFormat::kFlag: SetInt(row, record, *at == '0' ? 0 : 1); break;
      case ReplyFormat::kChars: {
        std::uint8_t* field = MemberBytes(row, record);
        std::memcpy(field, at, std::min<std::size_t>(place.width, row.member.size));
        field[std::min<std::size_t>(place.width, row.member.size - 1)] = '\0';
        break;
      }
      case ReplyFormat::kNone: break;
    }
  }
}

}  // namespace krt6
