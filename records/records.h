// The records the printer operations exchange and the setting files hold. They are plain values:
// the byte layouts of the files are written field by field in files/, and the command texts are
// built field by field in protocol/, so nothing depends on how these structs sit in memory.
#pragma once

#include <cstdint>

namespace krt6 {

// The printer's parameter block: item indexes of the Parameter Setting lists and a few values
// carried from the printer.
struct ParameterBlock {
  std::int32_t FontCode = 0;
  std::int32_t ZeroCode = 0;
  std::int32_t Speed = 2;
  std::int32_t DataLeng = 1;
  std::int32_t StopBit = 0;
  std::int32_t Parity = 0;
  std::int32_t Control = 2;
  std::int32_t Destination = 0;
  std::int32_t ForwardWait = 1;
  std::int32_t Code = 0;
  std::int32_t FeedKey = 0;
  char EuroCode[4] = {'B', '0', '\0', '\0'};
  std::int32_t Reserved1 = 0;
  std::int32_t Reserved2 = 0;
  std::int32_t Reserved3 = 0;
  std::int32_t AutoHome = 0;
  std::int32_t AutoCalib = 0;
  std::int32_t ModelSelect = 0;
  std::int32_t XAdj = 0;
  std::int32_t CarriedValue1 = 32;
  std::int32_t CarriedValue2 = 32;
  std::int32_t CarriedAdj = 0;
  std::int32_t BlankSpaceLen = 2;

  bool operator==(const ParameterBlock&) const = default;
};

// The printer's LAN settings.
struct LanSettings {
  std::uint8_t LanFlag = 0;
  std::int32_t IpAddress[4] = {0, 0, 0, 0};
  std::int32_t SubnetMask[4] = {0, 0, 0, 0};
  std::int32_t Gateway[4] = {0, 0, 0, 0};
  std::int32_t SocketPortMode = 0;
  std::int32_t SocketPort = 0;
  std::uint8_t DhcpEnabled = 0;
  char DhcpId[33] = {};
  char DhcpHostName[16] = {};

  bool operator==(const LanSettings&) const = default;
};

// A firmware version text such as "1.0J" and its terminating NUL.
struct VersionText {
  char Text[5] = {};
};

}  // namespace krt6
