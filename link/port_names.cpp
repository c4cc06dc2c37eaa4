#include "link/port_names.h"

#include <cstring>

namespace krt6 {

int PortNumber(const std::string& name, const char* prefix) {
  const std::size_t plen = std::strlen(prefix);
  if (name.size() <= plen || name.compare(0, plen, prefix) != 0) return 0;
  if (name.size() - plen > 4 || name[plen] == '0') return 0;
  int number = 0;
  for (std::size_t i = plen; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
    number = number * 10 + (name[i] - '0');
  }
  return number;
}

std::string FixedPortTable::SerialDevice(const std::string& port_name) const {
  const int n = PortNumber(port_name, "COM");
  if (n >= 1 && n <= 4) return "/dev/ttyS" + std::to_string(n - 1);
  if (n >= 5 && n <= 20) return "/dev/ttyUSB" + std::to_string(n - 5);
  if (n >= 21 && n <= 30) return "/dev/ttyACM" + std::to_string(n - 21);
  return {};
}

std::string FixedPortTable::ParallelDevice(const std::string& port_name) const {
  const int n = PortNumber(port_name, "LPT");
  if (n >= 1 && n <= 4) return "/dev/lp" + std::to_string(n - 1);
  return {};
}

}  // namespace krt6
