// The maintenance commands: Z1, Z4, the sensor calibration and the firmware version query.
#include <cstring>

#include "protocol/commands.h"
#include "protocol/protocol.h"
#include "texts/texts.h"

namespace krt6 {
const char* Z1CommandText(std::int32_t selector) { return selector == 0 ? "Z10" : "Z11"; }

const char* CalibrationCommandText(std::int32_t sensor) {
  switch (sensor) {
    case 0: return "WT;1000,1";
    case 1: return "WT;1000,2";
    default: return "WT;1000,3";
  }
}

bool DecodeVersionReply(const std::uint8_t* reply, VersionText& version) {
  if (reply[18] != 'V' && reply[18] != 'v') return false;
  std::memcpy(version.Text, reply + 19, 4);
  version.Text[4] = '\0';
  return true;
}

int VersionIndexForText(const char* text) {
  if (text == nullptr || std::strncmp(text, "1.0", 3) != 0) return 4;
  const char letter = text[3];
  if (letter >= 'B' && letter <= 'C') return 0;
  if (letter >= 'D' && letter <= 'E') return 1;
  if (letter >= 'F' && letter <= 'I') return 2;
  if (letter >= 'J' && letter <= 'T') return 3;
  return 4;
}

}  // namespace krt6
