#include "dialogs/port_devices.h"

#include "link/port_names.h"

namespace krt6 {

int PortIndexFromName(std::string_view name, const char* prefix, int count, int fallback) {
  const int number = PortNumber(std::string(name), prefix);
  if (number < 1 || number > count) return fallback;
  return number - 1;
}

// The dialogs show the device the serial and parallel links will open: the links' own table.
std::string SerialDeviceForPort(std::string_view name) {
  return FixedPortTable().SerialDevice(std::string(name));
}

std::string ParallelDeviceForPort(std::string_view name) {
  return FixedPortTable().ParallelDevice(std::string(name));
}

}  // namespace krt6
