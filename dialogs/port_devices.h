// Port names as the setup dialogs list them ("COM1".."COM30", "LPT1".."LPT4") and the Linux
// device node each name reaches, so that the dialogs can tell the operator where a port goes.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "link/port_names.h"

namespace krt6 {

// The list position that shows a port name with `prefix` ("COM", "LPT"): its number (read as
// the links read it, PortNumber) minus one, or `fallback` when the name does not name one of
// the `count` items of the list.
int PortIndexFromName(std::string_view name, const char* prefix, int count, int fallback = 0);

// "COM1".."COM4" /dev/ttyS0-3 (the machine's own ports), "COM5".."COM20" /dev/ttyUSB0-15
// (USB serial adapters), "COM21".."COM30" /dev/ttyACM0-9 (modem-class USB devices); empty for
// any other name.
std::string SerialDeviceForPort(std::string_view name);

// "LPT1".."LPT4" /dev/lp0-3; empty for any other name.
std::string ParallelDeviceForPort(std::string_view name);

// Tells whether a device node exists. The dialogs take one so that tests need no real ports.
using DevicePresence = std::function<bool(const std::string& path)>;

// The real checks, DeviceNodePresent and SerialDevicePresent, are the links' own
// (link/port_names.h).

}  // namespace krt6
