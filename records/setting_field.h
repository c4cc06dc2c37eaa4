// The fields of the records a value can be refused for, and the values each numeric field can
// carry to the printer.
#pragma once

#include <cstdint>
#include <optional>

namespace krt6 {

// A value that cannot be sent: its text would not fit the fixed-width field of its command, so
// the command would be cut and every field after it shifted; or a text field holds a character
// that could end the command or start another (kEuroCode, kDhcpId, kDhcpHostName). kVersion: no
// printer version is chosen, so there is no command format to send the block in.
enum class SettingField : int {
  kNone = 0,
  kVersion,
  kFontCode,
  kZeroCode,
  kSpeed,
  kDataLeng,
  kStopBit,
  kParity,
  kControl,
  kDestination,
  kForwardWait,
  kCode,
  kFeedKey,
  kEuroCode,
  kAutoHome,
  kAutoCalib,
  kModelSelect,
  kXAdj,
  kCarriedAdj,
  kCarriedValue1,
  kCarriedValue2,
  kBlankSpaceLen,
  kIpAddress1,
  kIpAddress2,
  kIpAddress3,
  kIpAddress4,
  kSubnetMask1,
  kSubnetMask2,
  kSubnetMask3,
  kSubnetMask4,
  kGateway1,
  kGateway2,
  kGateway3,
  kGateway4,
  kSocketPortMode,
  kSocketPort,
  kDhcpId,
  kDhcpHostName,
};

// The values whose text fills a numeric field's place in its command exactly: "%1d" one digit,
// "%+04d" a sign and three digits, "%02d", "%03d" and "%05d" as many characters as their width,
// a minus sign counting as one.
struct FieldRange {
  std::int32_t min;
  std::int32_t max;
};

// The range of a numeric field; none for kNone, kVersion and the text fields.
std::optional<FieldRange> FieldValueRange(SettingField field);

// Whether `value` fits the fixed-width field of `field` (false for kNone, kVersion and the text
// fields).
bool FieldValueFits(SettingField field, std::int32_t value);

}  // namespace krt6
