// The USB devices as the kernel lists them in sysfs: one directory a device, named by its
// bus-port path ("1-2.3"), with its descriptor fields as text attributes.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

#include "link/usb_link.h"

namespace krt6 {
namespace {

// The first line of a small sysfs attribute; empty when it cannot be read.
std::string ReadAttribute(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return {};
  char text[256];
  ssize_t got;
  do {
    got = ::read(fd, text, sizeof text);
  } while (got < 0 && errno == EINTR);
  ::close(fd);
  if (got <= 0) return {};
  std::string value(text, static_cast<std::size_t>(got));
  const std::size_t end = value.find('\n');
  if (end != std::string::npos) value.resize(end);
  return value;
}

bool ParseNumber(const std::string& text, int base, unsigned long& value) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
  return ec == std::errc() && ptr == end && !text.empty();
}

}  // namespace

std::string SysfsUsbSerial(const std::string& sys_root, const std::string& port_path) {
  if (!IsUsbPortPath(port_path)) return {};
  return ReadAttribute(sys_root + "/bus/usb/devices/" + port_path + "/serial");
}

std::vector<UsbDeviceInfo> ListSysfsUsbDevices(const std::string& sys_root,
                                               std::uint16_t vendor_id) {
  std::vector<UsbDeviceInfo> devices;
  const std::string dir = sys_root + "/bus/usb/devices";
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return devices;
  while (const dirent* e = ::readdir(d)) {
    // Devices only: root hubs are "usbN", interfaces "1-2.3:1.0".
    const std::string name = e->d_name;
    if (!IsUsbPortPath(name)) continue;
    const std::string base = dir + "/" + name + "/";
    unsigned long vendor = 0, product = 0, bus = 0, address = 0;
    if (!ParseNumber(ReadAttribute(base + "idVendor"), 16, vendor) || vendor != vendor_id) continue;
    UsbDeviceInfo info;
    info.VendorId = vendor_id;
    if (ParseNumber(ReadAttribute(base + "idProduct"), 16, product) && product <= 0xffff) {
      info.ProductId = static_cast<std::uint16_t>(product);
    }
    // The name is the truth for the path; busnum and devnum only add the node.
    const std::size_t dash = name.find('-');
    ParseNumber(name.substr(0, dash), 10, bus);
    info.Bus = static_cast<int>(bus);
    std::size_t at = dash + 1;
    while (at <= name.size()) {
      std::size_t dot = name.find('.', at);
      if (dot == std::string::npos) dot = name.size();
      unsigned long port = 0;
      ParseNumber(name.substr(at, dot - at), 10, port);
      info.Ports.push_back(static_cast<std::uint8_t>(port));
      at = dot + 1;
    }
    if (ParseNumber(ReadAttribute(base + "devnum"), 10, address)) {
      info.Address = static_cast<int>(address);
    }
    info.Serial = ReadAttribute(base + "serial");
    devices.push_back(std::move(info));
  }
  ::closedir(d);
  SortUsbDevices(devices);
  return devices;
}

}  // namespace krt6
