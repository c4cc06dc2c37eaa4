// Maps the port names the operator picks ("COM1".."COM30", "LPT1".."LPT4") to device nodes.
#pragma once

#include <string>

namespace krt6 {

// Resolves a port name to the device node to open. The links ask it at every open, so a test can
// point a link at a pseudo terminal or a FIFO instead.
class PortResolver {
 public:
  virtual ~PortResolver() = default;
  // An empty result means the name names no device.
  virtual std::string SerialDevice(const std::string& port_name) const = 0;
  virtual std::string ParallelDevice(const std::string& port_name) const = 0;
};

// The fixed table: COM1-COM4 are /dev/ttyS0-3 (the computer's own ports), COM5-COM20 are
// /dev/ttyUSB0-15 (USB serial adapters), COM21-COM30 are /dev/ttyACM0-9; LPT1-LPT4 are
// /dev/lp0-3. Names outside the table, or written differently ("com1", "COM01"), name nothing.
class FixedPortTable final : public PortResolver {
 public:
  std::string SerialDevice(const std::string& port_name) const override;
  std::string ParallelDevice(const std::string& port_name) const override;
};

// The port name of the fixed table that reaches `device` ("/dev/ttyUSB3" -> "COM8",
// "/dev/lp0" -> "LPT1"); empty when no name does.
std::string SerialPortNameFor(const std::string& device);
std::string ParallelPortNameFor(const std::string& device);

// The path names an existing file system object.
bool DeviceNodePresent(const std::string& path);

// The check for serial ports: the node exists and, for the machine's own ports (ttyS*), the
// kernel found a UART behind it. The kernel creates ttyS0-3 whether or not the UARTs exist; an
// empty slot reads "0" (no known UART type) in <sysfs_tty>/ttySn/type.
bool SerialDevicePresent(const std::string& path, const std::string& sysfs_tty = "/sys/class/tty");

// The number after `prefix` in `name` ("COM12" -> 12), or 0 when `name` is not exactly the prefix
// followed by a decimal number without leading zeros.
int PortNumber(const std::string& name, const char* prefix);

}  // namespace krt6
