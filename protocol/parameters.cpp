// The parameter block: the "Z5;0"/"Z5;1" reads and the "Z2;1,"/"Z2;2,"/"Z0" write.
#include <cstdio>
#include <cstring>

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

// The value is the character's code minus '0', without a range check: a non-digit gives a value
// that selects no list item.
std::int32_t Digit(std::uint8_t c) { return static_cast<std::int32_t>(c) - '0'; }

struct FieldValue {
  SettingField field;
  std::int32_t value;
};

// The two Euro code bytes go out as "%c%c": its text up to the NUL, then NUL bytes in the
// places it leaves empty. A byte after that NUL would be sent as well, so it must be a NUL too.
bool EuroCodeSendable(const char (&euro)[4], bool esc_framing) {
  const std::size_t length = strnlen(euro, 2);
  if (!IsCommandText({euro, length})) return false;
  if (length == 0 && euro[1] != '\0') return false;
  // ESC framing ends a command at a NUL, so there a shorter code would cut the command.
  return length == 2 || !esc_framing;
}

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
  if (FontDigitForItem(b.FontCode) == '\0') return SettingField::kFontCode;
  const int v = version_index;
  // In the order the fields go out; a field the version's formats do not carry is not checked.
  const FieldValue sent[] = {
      {SettingField::kZeroCode, b.ZeroCode},
      {SettingField::kSpeed, b.Speed},
      {SettingField::kDataLeng, b.DataLeng},
      {SettingField::kStopBit, b.StopBit},
      {SettingField::kParity, b.Parity},
      {SettingField::kControl, b.Control},
      {v >= 1 ? SettingField::kDestination : SettingField::kNone, b.Destination},
      {SettingField::kForwardWait, b.ForwardWait},
      {SettingField::kCode, b.Code},
      {SettingField::kFeedKey, b.FeedKey},
      {SettingField::kEuroCode, 0},  // a text, checked by its own rule
      {SettingField::kAutoHome, b.AutoHome},
      {SettingField::kAutoCalib, b.AutoCalib},
      {v >= 2 ? SettingField::kModelSelect : SettingField::kNone, b.ModelSelect},
      {SettingField::kXAdj, b.XAdj},
      {v >= 1 ? SettingField::kCarriedAdj : SettingField::kNone, b.CarriedAdj},
      {v == 0 || v >= 3 ? SettingField::kCarriedValue1 : SettingField::kNone, b.CarriedValue1},
      {v >= 3 ? SettingField::kCarriedValue2 : SettingField::kNone, b.CarriedValue2},
      {v >= 3 ? SettingField::kBlankSpaceLen : SettingField::kNone, b.BlankSpaceLen},
  };
  for (const FieldValue& f : sent) {
    if (f.field == SettingField::kEuroCode) {
      if (!EuroCodeSendable(b.EuroCode, esc_framing)) return f.field;
    } else if (f.field != SettingField::kNone && !FieldValueFits(f.field, f.value)) {
      return f.field;
    }
  }
  return SettingField::kNone;
}

SettingField BuildParameterCommands(const ParameterBlock& b, int version_index, std::string& first,
                                    std::string& second, bool esc_framing) {
  first.clear();
  second.clear();
  const SettingField refused = CheckParameterBlock(b, version_index, esc_framing);
  if (refused != SettingField::kNone) return refused;

  const char font = FontDigitForItem(b.FontCode);
  char one[64] = {};
  char two[64] = {};
  switch (version_index) {
    case 0:
      std::snprintf(one, sizeof one, "Z2;1,%c%1d%1d%1d%1d%1d%1d0%1d00%1d00%1d0%c%c000%1d%1d", font,
                    b.ZeroCode, b.Speed, b.DataLeng, b.StopBit, b.Parity, b.Control, b.ForwardWait,
                    b.Code, b.FeedKey, b.EuroCode[0], b.EuroCode[1], b.AutoHome, b.AutoCalib);
      std::snprintf(two, sizeof two, "Z2;2,+000+000+00%+04d+00+00-00+000000%02d", b.XAdj,
                    b.CarriedValue1);
      break;
    case 1:
      std::snprintf(one, sizeof one, "Z2;1,%c%1d%1d%1d%1d%1d%1d%1d%1d00%1d00%1d0%c%c000%1d%1d",
                    font, b.ZeroCode, b.Speed, b.DataLeng, b.StopBit, b.Parity, b.Control,
                    b.Destination, b.ForwardWait, b.Code, b.FeedKey, b.EuroCode[0], b.EuroCode[1],
                    b.AutoHome, b.AutoCalib);
      std::snprintf(two, sizeof two, "Z2;2,+000+000+00%+04d-%02d+00-00+000000", b.XAdj,
                    b.CarriedAdj);
      break;
    default:  // 2, 3, 4
      std::snprintf(one, sizeof one, "Z2;1,%c%1d%1d%1d%1d%1d%1d%1d%1d00%1d00%1d0%c%c000%1d%1d%1d",
                    font, b.ZeroCode, b.Speed, b.DataLeng, b.StopBit, b.Parity, b.Control,
                    b.Destination, b.ForwardWait, b.Code, b.FeedKey, b.EuroCode[0], b.EuroCode[1],
                    b.AutoHome, b.AutoCalib, b.ModelSelect);
      if (version_index == 2) {
        std::snprintf(two, sizeof two, "Z2;2,+000+000+00%+04d-%02d+00-00+000000", b.XAdj,
                      b.CarriedAdj);
      } else {
        std::snprintf(two, sizeof two, "Z2;2,+000+000+00%+04d-%02d+00-00+000000%02d%02d%02d",
                      b.XAdj, b.CarriedAdj, b.CarriedValue1, b.CarriedValue2, b.BlankSpaceLen);
      }
      break;
  }
  // The fixed lengths, not the formatted ones: a one-character Euro code leaves a NUL in its
  // second place and the command keeps its length.
  first.assign(one, FirstParameterCommandLength(version_index));
  second.assign(two, SecondParameterCommandLength(version_index));
  return SettingField::kNone;
}

void DecodeFirstParameterReply(const std::uint8_t* reply, int version_index,
                               ParameterBlock& block) {
  block.XAdj = DecimalField(reply + 15, 4);
  block.CarriedAdj = DecimalField(reply + 20, 2);
  block.CarriedValue1 = DecimalField(reply + 35, 2);
  block.CarriedValue2 = DecimalField(reply + 37, 2);
  if (version_index > 2) block.BlankSpaceLen = DecimalField(reply + 39, 2);
}

void DecodeSecondParameterReply(const std::uint8_t* reply, ParameterBlock& block) {
  block.FontCode = FontCodeFromDigit(static_cast<char>(reply[4]));
  block.ZeroCode = Digit(reply[5]);
  block.Speed = Digit(reply[6]);
  block.DataLeng = Digit(reply[7]);
  block.StopBit = Digit(reply[8]);
  block.Parity = Digit(reply[9]);
  block.Control = Digit(reply[10]);
  block.Destination = Digit(reply[11]);
  block.ForwardWait = Digit(reply[12]);
  block.Code = Digit(reply[15]);
  block.FeedKey = Digit(reply[18]);
  block.EuroCode[0] = static_cast<char>(reply[20]);
  block.EuroCode[1] = static_cast<char>(reply[21]);
  block.EuroCode[2] = '\0';
  block.AutoHome = Digit(reply[25]);
  block.AutoCalib = Digit(reply[26]);
  block.ModelSelect = Digit(reply[27]);
}

ResultCode Protocol::ReadParameters(LinkKind link, ParameterBlock& block) {
  const int version = version_index_;
  LinkConnection connection = link_.Open(link);
  if (!connection.Ok()) return kPortOpenError;
  if (!SendCommand(connection, "Z5;0", 4)) return kTransmissionError;
  const std::size_t first_length = FirstParameterReplyLength(version);
  std::uint8_t first[44 + 1] = {};
  if (!AwaitReply(connection, first, first_length, kSTX)) {
    return kReceivingError;
  }
  // Stored before the second command goes out: a failure from here on keeps these values.
  DecodeFirstParameterReply(first, version, block);

  if (!SendCommand(connection, "Z5;1", 4)) return kTransmissionError;
  std::uint8_t second[kSecondParameterReplyLength + 1] = {};
  if (!AwaitReply(connection, second, kSecondParameterReplyLength, kSTX)) {
    return kReceivingError;
  }
  DecodeSecondParameterReply(second, block);
  return kSuccess;
}

ResultCode Protocol::WriteParameters(LinkKind link, const ParameterBlock& block) {
  std::string first;
  std::string second;
  const SettingField refused =
      BuildParameterCommands(block, version_index_, first, second, link_.CodeMode() != 0);
  if (refused != SettingField::kNone) {
    NoteProtocolError(RefusalDetail(refused, language_));
    return kUnknownError;
  }
  LinkConnection connection = link_.Open(link);
  if (!connection.Ok()) return kPortOpenError;
  const bool sent = SendCommand(connection, first.data(), first.size()) &&
                    SendCommand(connection, second.data(), second.size()) &&
                    SendCommand(connection, "Z0", 2);
  return sent ? kSuccess : kTransmissionError;
}

}  // namespace krt6
