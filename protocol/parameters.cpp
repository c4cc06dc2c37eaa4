// The parameter block: the "Z5;0"/"Z5;1" reads and the "Z2;1,"/"Z2;2,"/"Z0" write.

#include "protocol/commands.h"
#include "protocol/protocol.h"
#include "texts/field_texts.h"

namespace krt6 {

const std::int32_t FontCodeTable[16] = {0, 3, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 0, 0};

std::int32_t FontCodeFromDigit(char digit) {
  int value = -1;
  if (digit >= '0' && digit <= '9') value = digit - '0';
  if (digit >= 'A' && digit <= 'F') value = digit - 'A' + 10;
  if (digit >= 'a' && digit <= 'f') value = digit - 'a' + 10;
  return value < 0 ? 0 : FontCodeTable[value];
}

char FontDigitForItem(std::int32_t item) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  // The first digit that maps to the item: digit 0 rather than E or F for item 0.
  for (int digit = 0; digit < 16; ++digit) {
    if (FontCodeTable[digit] == item) return kDigits[digit];
  }
  return '\0';
}

namespace {

bool HasFormat(int version_index) { return version_index >= 0 && version_index <= 4; }

}  // namespace

std::size_t FirstParameterReplyLength(int version_index) { return version_index > 2 ? 44 : 42; }

std::size_t FirstParameterCommandLength(int version_index) {
  if (!HasFormat(version_index)) return 0;
  return version_index <= 1 ? 28 : 29;
}

std::size_t SecondParameterCommandLength(int version_index) {
  switch (version_index) {
    case 0: return 38;
    case 1:
    case 2: return 36;
    case 3:
    case 4: return 42;
    default: return 0;
  }
}

SettingField CheckParameterBlock(const ParameterBlock& b, int version_index, bool esc_framing) {
  if (!HasFormat(version_index)) return SettingField::kVersion;
  return CheckFields(FieldPart::kParameters, &b, version_index, esc_framing);
}

SettingField BuildParameterCommands(const ParameterBlock& b, int version_index, std::string& first,
                                    std::string& second, bool esc_framing) {
  first.clear();
  second.clear();
  const SettingField refused = CheckParameterBlock(b, version_index, esc_framing);
  if (refused != SettingField::kNone) return refused;
  // The fixed characters of each format, the fields' values written over them.
  first = "Z2;1,";
  first.resize(FirstParameterCommandLength(version_index), '0');
  second = "Z2;2,+000+000+00+000+00+00-00+000000";
  second.resize(SecondParameterCommandLength(version_index), '0');
  PlaceFields(CommandId::kParameters1, &b, version_index, first);
  PlaceFields(CommandId::kParameters2, &b, version_index, second);
  return SettingField::kNone;
}

void DecodeFirstParameterReply(const std::uint8_t* reply, int version_index,
                               ParameterBlock& block) {
  DecodeFields(ReplyId::kParameters1, reply, version_index, &block);
}

void DecodeSecondParameterReply(const std::uint8_t* reply, ParameterBlock& block) {
  DecodeFields(ReplyId::kParameters2, reply, 0, &block);
}

}  // namespace krt6
