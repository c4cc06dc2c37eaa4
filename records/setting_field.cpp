#include "records/setting_field.h"

namespace krt6 {
namespace {

struct RangeRow {
  SettingField field;
  FieldRange range;
};

constexpr RangeRow kRanges[] = {
    {SettingField::kFontCode, {0, 13}},
    {SettingField::kZeroCode, {0, 9}},
    {SettingField::kSpeed, {0, 9}},
    {SettingField::kDataLeng, {0, 9}},
    {SettingField::kStopBit, {0, 9}},
    {SettingField::kParity, {0, 9}},
    {SettingField::kControl, {0, 9}},
    {SettingField::kDestination, {0, 9}},
    {SettingField::kForwardWait, {0, 9}},
    {SettingField::kCode, {0, 9}},
    {SettingField::kFeedKey, {0, 9}},
    {SettingField::kAutoHome, {0, 9}},
    {SettingField::kAutoCalib, {0, 9}},
    {SettingField::kModelSelect, {0, 9}},
    {SettingField::kXAdj, {-999, 999}},
    {SettingField::kCarriedAdj, {-9, 99}},
    {SettingField::kCarriedValue1, {-9, 99}},
    {SettingField::kCarriedValue2, {-9, 99}},
    {SettingField::kBlankSpaceLen, {-9, 99}},
    {SettingField::kIpAddress1, {-99, 999}},
    {SettingField::kIpAddress2, {-99, 999}},
    {SettingField::kIpAddress3, {-99, 999}},
    {SettingField::kIpAddress4, {-99, 999}},
    {SettingField::kSubnetMask1, {-99, 999}},
    {SettingField::kSubnetMask2, {-99, 999}},
    {SettingField::kSubnetMask3, {-99, 999}},
    {SettingField::kSubnetMask4, {-99, 999}},
    {SettingField::kGateway1, {-99, 999}},
    {SettingField::kGateway2, {-99, 999}},
    {SettingField::kGateway3, {-99, 999}},
    {SettingField::kGateway4, {-99, 999}},
    {SettingField::kSocketPortMode, {0, 9}},
    {SettingField::kSocketPort, {-9999, 99999}},
};

}  // namespace

std::optional<FieldRange> FieldValueRange(SettingField field) {
  for (const RangeRow& row : kRanges) {
    if (row.field == field) return row.range;
  }
  return std::nullopt;
}

bool FieldValueFits(SettingField field, std::int32_t value) {
  const std::optional<FieldRange> range = FieldValueRange(field);
  return range && value >= range->min && value <= range->max;
}

}  // namespace krt6
