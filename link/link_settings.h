// Settings that tell where the printer is attached: each kind of link reads its own member. The
// main window's session owns them; a backend is made from them.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace krt6 {

// The item index of the interface selector; any other value names no link.
enum LinkKind : int { lkUsb = 0, lkCom = 1, lkLpt = 2, lkEthernet = 3 };

// Serial line settings: a port name and list positions of the serial setup dialog.
struct SerialSettings {
  std::string PortName = "COM1";   // "COM1".."COM30"
  std::int32_t BaudRateIndex = 2;  // 0..6: 2400..115200, anything else 9600
  std::int32_t DataBitIndex = 1;   // 0: 7 bits, anything else 8
  std::int32_t ParityIndex = 0;    // 0 none, 1 odd, 2 even, anything else none
  std::int32_t StopBitIndex = 0;   // 0: 1, 1: 1.5, 2: 2, anything else 1
  std::int32_t HdShakIndex = 1;    // 0 None, 1 RTS, 2 (and anything else) RTS/CTS
  std::int32_t SWShakIndex = 0;    // 1 Xon/Xoff, anything else none

  bool operator==(const SerialSettings&) const = default;
};

// The printer's network address (host name or address text, up to 64 characters) and port.
struct TcpSettings {
  std::string IPAddr;
  std::int32_t Port = 8000;  // only the low 16 bits are used

  bool operator==(const TcpSettings&) const = default;
};

// The members the main window owns. CodeMode selects the protocol's ESC framing when non-zero.
// A kind without a member of its own here keeps its settings in `Other` under its LinkKind, in a
// text whose form the kind defines in its own file (its backend, its target reader and its setup
// dialog read and write it); a kind that has none is not there.
struct LinkSettings {
  SerialSettings Serial;
  std::string LptName = "LPT1";
  TcpSettings Tcp;
  std::uint8_t CodeMode = 0;
  std::map<int, std::string> Other;

  bool operator==(const LinkSettings&) const = default;
};

}  // namespace krt6
