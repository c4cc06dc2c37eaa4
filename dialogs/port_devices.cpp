#include "dialogs/port_devices.h"

#include "link/port_names.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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
