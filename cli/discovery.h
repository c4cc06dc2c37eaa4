// Finding printers: the devices attached to this computer (`krt6ctl list`) and the printers that
// answer on a network range (`krt6ctl scan`).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "texts/language.h"

namespace krt6::cli {

// Where the device nodes and the kernel's device tree are; tests point them at a temporary tree.
struct DeviceRoots {
  std::string Dev = "/dev";
  std::string Sys = "/sys";
};

// A USB device with the printer's vendor id.
struct UsbPrinterEntry {
  std::string PortPath;  // "1-2.3", as sysfs names it
  std::uint16_t ProductId = 0;
  std::string Serial;  // the serial number string; empty when the device has none
  std::string Uri;     // "usb:1-2.3"
};

// A serial or parallel device node that is present.
struct PortEntry {
  std::string Device;  // "/dev/ttyUSB0", "/dev/usb/lp0"
  std::string Name;    // the COM or LPT name that reaches it ("COM5"); empty when none does
  std::string Uri;     // "serial:COM5", "parallel:LPT1"; the device path when no name reaches it
};

struct AttachedDevices {
  std::vector<UsbPrinterEntry> Usb;  // bus, then port path
  std::vector<PortEntry> Serial;     // ttyS (with a UART behind it), ttyUSB, ttyACM; by number
  std::vector<PortEntry> Parallel;   // lp, then usb/lp; by number
};

// The printers and ports present under `roots`. Reads only the directories and sysfs; opens no
// device.
AttachedDevices ListAttachedDevices(const DeviceRoots& roots = {});

// The most addresses one scan asks (a /22).
inline constexpr std::size_t kMaxScanAddresses = 1024;

// The hosts of a scan, or why the text names none.
struct ScanHosts {
  std::vector<std::string> Hosts;  // in the order to report: a range ascending, a list as given
  std::string Error;               // empty when the text was good
};

// Blocks such as "192.168.1.0/24" (IPv4, at most a /22; the block's network and broadcast
// addresses are left out, except in a /31 or /32) and host names or addresses, separated by
// commas and/or blanks; at most kMaxScanAddresses in all. Errors in `language`.
ScanHosts ParseScanNetwork(std::string_view text, Language language = Language::kEnglish);

struct ScanOptions {
  int Port = 8000;
  int Jobs = 64;                                 // addresses asked at once
  std::chrono::milliseconds ConnectLimit{300};   // per address
  std::chrono::milliseconds TotalLimit{10'000};  // the whole scan; unasked addresses are skipped
  Language Lang = Language::kEnglish;            // of the status texts
};

// A printer that answered the status query.
struct ScanHit {
  std::string Host;  // as listed by ParseScanNetwork
  int Port = 8000;
  std::int32_t StatusCode = 0;  // the printer's status index
  std::string StatusText;       // its text in the chosen language
};

// Asks every host for its status over TCP (one session each, `Jobs` at a time), and gives the
// ones that answered, in the order of `hosts`.
std::vector<ScanHit> ScanNetwork(const std::vector<std::string>& hosts, const ScanOptions& options);

}  // namespace krt6::cli
