// Records compared through the field table.
#pragma once

#include <cstring>
#include <string>
#include <type_traits>

#include "records/fields.h"

namespace krt6::testing {

// The keys of the fields the firmware class's commands carry that differ in the two records,
// blank-separated; empty when the records agree in all of them. The fields the class does not
// carry are taken from `want` before the records are compared whole.
template <typename Record>
std::string CarriedDifferences(const Record& got, const Record& want, int version_index) {
  constexpr FieldPart part =
      std::is_same_v<Record, LanSettings> ? FieldPart::kLan : FieldPart::kParameters;
  Record carried = got;
  std::string keys;
  for (const FieldRow& row : Fields()) {
    if (row.part != part) continue;
    std::uint8_t* bytes = MemberBytes(row, &carried);
    const std::uint8_t* wanted = MemberBytes(row, &want);
    if (!FirmwareTakes(row, version_index)) {
      std::memcpy(bytes, wanted, row.member.size);
    } else if (std::memcmp(bytes, wanted, row.member.size) != 0) {
      keys += (keys.empty() ? "" : " ") + std::string(row.key);
    }
  }
  return carried == want || !keys.empty() ? keys : "a member outside the table";
}

}  // namespace krt6::testing
