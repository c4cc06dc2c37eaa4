#include "link/port_names.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

std::string SerialPortNameFor(const std::string& device) {
  const FixedPortTable table;
  for (int n = 1; n <= 30; ++n) {
    const std::string name = "COM" + std::to_string(n);
    if (table.SerialDevice(name) == device) return name;
  }
  return {};
}

std::string ParallelPortNameFor(const std::string& device) {
  const FixedPortTable table;
  for (int n = 1; n <= 4; ++n) {
    const std::string name = "LPT" + std::to_string(n);
    if (table.ParallelDevice(name) == device) return name;
  }
  return {};
}

bool DeviceNodePresent(const std::string& path) {
  if (path.empty()) return false;
  struct stat info {};
  int rc;
  do {
    rc = ::stat(path.c_str(), &info);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

bool SerialDevicePresent(const std::string& path, const std::string& sysfs_tty) {
  if (!DeviceNodePresent(path)) return false;
  const std::size_t slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.rfind("ttyS", 0) != 0) return true;
  const std::string type_path = sysfs_tty + "/" + name + "/type";
  int fd;
  do {
    fd = ::open(type_path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return true;  // no sysfs entry to tell otherwise
  char text[16] = {};
  ssize_t got;
  do {
    got = ::read(fd, text, sizeof text - 1);
  } while (got < 0 && errno == EINTR);
  ::close(fd);
  if (got <= 0) return true;
  std::string_view type(text, static_cast<std::size_t>(got));
  while (!type.empty() && (type.back() == '\n' || type.back() == ' ')) type.remove_suffix(1);
  return type != "0";
}

}  // namespace krt6
