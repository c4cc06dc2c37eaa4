// How krt6ctl's targets of the built-in kinds are read after their prefix, and what names the
// printer each reaches: the readers and keys the kinds' LinkKindInfo rows point to.
//   socket://HOST[:PORT], HOST, HOST:PORT, [IPv6][:PORT]     (port 8000 by default)
//   serial:DEVICE[?baud=9600+bits=8+parity=none+stop=1+flow=rts+xonxoff]
//   parallel:DEVICE
//   usb:, usb:BUS-PORTPATH, usb:?serial=STRING
// DEVICE is a port name (COM1..COM30, LPT1..LPT4) or a device path beginning with '/'.
// HOST is an IPv4 address in four decimal numbers without leading zeros (127.0.0.1, never 127.1,
// 0x7f000001 or 127.0.0.010, which resolvers read as other addresses) or a host name of letters,
// digits, '-' and '.' (labels of 1-63 characters, at most 64 in all).
#pragma once

#include <string>
#include <string_view>

#include "link/link_kinds.h"

namespace krt6 {

// HOST, HOST:PORT, [IPv6], [IPv6]:PORT, or an IPv6 address without brackets (no port then): a
// target without a prefix, and what follows "socket://" (ReadTcpTarget also takes a final '/').
std::string ReadHostPort(std::string_view text, LinkAddress& address, Language language);
std::string ReadTcpTarget(std::string_view rest, LinkAddress& address, Language language);
std::string ReadSerialTarget(std::string_view rest, LinkAddress& address, Language language);
std::string ReadParallelTarget(std::string_view rest, LinkAddress& address, Language language);
std::string ReadUsbTarget(std::string_view rest, LinkAddress& address, Language language);

// "HOST:PORT" (the host in lower case, an IPv6 address in its shortest form and in brackets, an
// IPv4-mapped one as IPv4), "serial:DEVICE" and "parallel:DEVICE" with the device a port name
// reaches, "usb:" with its selector.
std::string TcpPrinterKey(const LinkAddress& address, const PortResolver& ports);
std::string SerialPrinterKey(const LinkAddress& address, const PortResolver& ports);
std::string ParallelPrinterKey(const LinkAddress& address, const PortResolver& ports);
std::string UsbPrinterKey(const LinkAddress& address, const PortResolver& ports);

}  // namespace krt6
