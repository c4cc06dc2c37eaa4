// The printers krt6ctl talks to, written as device URIs:
//   socket://HOST[:PORT], HOST, HOST:PORT, [IPv6][:PORT]     (port 8000 by default)
//   serial:DEVICE[?baud=9600+bits=8+parity=none+stop=1+flow=rts+xonxoff]
//   parallel:DEVICE
//   usb:, usb:BUS-PORTPATH, usb:?serial=STRING
// DEVICE is a port name (COM1..COM30, LPT1..LPT4) or a device path beginning with '/'.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "link/link_settings.h"
#include "link/port_names.h"
#include "texts/language.h"

namespace krt6::cli {

struct Target {
  std::string Text;  // as the operator wrote it
  LinkKind Kind = lkEthernet;
  LinkSettings Settings;    // the members the link of `Kind` reads
  std::string UsbPortPath;  // usb:BUS-PORTPATH ("1-2.3"); empty for any
  std::string UsbSerial;    // usb:?serial=STRING; empty for any
};

// The target `text` names, or the reason it names none (a sentence naming the part at fault, in
// `language`).
std::variant<Target, std::string> ParseTarget(std::string_view text,
                                              Language language = Language::kEnglish);

// The target texts of a targets file: one a line; blank lines and everything from a '#' on are
// ignored, as are blanks around a target. False with `error` (in `language`) set when the file
// cannot be read.
bool ReadTargetsFile(const std::string& path, std::vector<std::string>& targets, std::string& error,
                     Language language = Language::kEnglish);

// Port names through the fixed table, device paths (beginning with '/') as they are, so that a
// target may name /dev/serial/by-id/... or /dev/usb/lp0.
class TargetPorts final : public PortResolver {
 public:
  std::string SerialDevice(const std::string& port_name) const override;
  std::string ParallelDevice(const std::string& port_name) const override;

 private:
  FixedPortTable table_;
};

}  // namespace krt6::cli
