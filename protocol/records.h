// The records the printer operations exchange. ParameterBlock and LanSettings are also the
// byte layouts of the two setting files, so their layouts are pinned below.
#pragma once

#include <cstddef>
#include <cstdint>

namespace krt6 {

// The printer's parameter block: item indexes of the Parameter Setting lists and a few values
// carried from the printer. 92 bytes, no padding.
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
};

static_assert(sizeof(ParameterBlock) == 92);
static_assert(offsetof(ParameterBlock, FontCode) == 0);
static_assert(offsetof(ParameterBlock, FeedKey) == 40);
static_assert(offsetof(ParameterBlock, EuroCode) == 44);
static_assert(offsetof(ParameterBlock, Reserved1) == 48);
static_assert(offsetof(ParameterBlock, AutoHome) == 60);
static_assert(offsetof(ParameterBlock, ModelSelect) == 68);
static_assert(offsetof(ParameterBlock, XAdj) == 72);
static_assert(offsetof(ParameterBlock, CarriedValue1) == 76);
static_assert(offsetof(ParameterBlock, CarriedAdj) == 84);
static_assert(offsetof(ParameterBlock, BlankSpaceLen) == 88);

// The printer's LAN settings, packed to 107 bytes with no gaps. Its integer fields are
// misaligned: copy them out (int{s.SocketPort}) before handing them to anything that takes a
// reference (std::max, EXPECT_EQ), or the undefined-behaviour sanitizer stops the program.
#pragma pack(push, 1)
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
};
#pragma pack(pop)

static_assert(sizeof(LanSettings) == 107);
static_assert(offsetof(LanSettings, IpAddress) == 1);
static_assert(offsetof(LanSettings, SubnetMask) == 17);
static_assert(offsetof(LanSettings, Gateway) == 33);
static_assert(offsetof(LanSettings, SocketPortMode) == 49);
static_assert(offsetof(LanSettings, SocketPort) == 53);
static_assert(offsetof(LanSettings, DhcpEnabled) == 57);
static_assert(offsetof(LanSettings, DhcpId) == 58);
static_assert(offsetof(LanSettings, DhcpHostName) == 91);

// A firmware version text such as "1.0J" and its terminating NUL.
struct VersionText {
  char Text[5] = {};
};

}  // namespace krt6
