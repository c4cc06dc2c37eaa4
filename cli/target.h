// The printers krt6ctl talks to, written as device URIs:
//   socket://HOST[:PORT], HOST, HOST:PORT, [IPv6][:PORT]     (port 8000 by default)
//   serial:DEVICE[?baud=9600+bits=8+parity=none+stop=1+flow=rts+xonxoff]
//   parallel:DEVICE
//   usb:, usb:BUS-PORTPATH, usb:?serial=STRING
// DEVICE is a port name (COM1..COM30, LPT1..LPT4) or a device path beginning with '/'.
// HOST is an IPv4 address in four decimal numbers without leading zeros (127.0.0.1, never 127.1,
// 0x7f000001 or 127.0.0.010, which resolvers read as other addresses) or a host name of letters,
// digits, '-' and '.' (labels of 1-63 characters, at most 64 in all).
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "config/configuration.h"
#include "link/link_settings.h"
#include "link/port_names.h"
#include "texts/language.h"

namespace krt6::cli {

struct Target {
  std::string Text;    // as the operator wrote it
  std::string Origin;  // where it was written: "FILE:LINE" for a targets file, "-t TEXT" for -t
  LinkKind Kind = lkEthernet;
  LinkSettings Settings;    // the members the link of `Kind` reads
  std::string UsbPortPath;  // usb:BUS-PORTPATH ("1-2.3"); empty for any
  std::string UsbSerial;    // usb:?serial=STRING; empty for any
  // A row of a CSV/TSV targets file: the values of its own (laid over the command line's by set);
  // null for a target without a row of values.
  std::shared_ptr<const Configuration> Values;
};

// The target `text` names, or the reason it names none (a sentence naming the part at fault, in
// `language`).
std::variant<Target, std::string> ParseTarget(std::string_view text,
                                              Language language = Language::kEnglish);

// What names the printer of `target` whichever way it was written: "HOST:PORT" (the host in
// lower case, an IPv6 address in its shortest form and in brackets, an IPv4-mapped one as IPv4),
// "serial:DEVICE" and "parallel:DEVICE" with the device a port name reaches, "usb:" with its
// selector. Two targets with the same key would open the same printer twice.
std::string PrinterKey(const Target& target);

// A target text and where it was written.
struct TargetText {
  std::string Text;
  std::string File;      // the targets file; empty for -t
  std::size_t Line = 0;  // its line in File
  std::string Column;    // a table's (CSV/TSV) target column; empty for a one-a-line file and -t
  std::shared_ptr<const Configuration> Values;  // the row's own values (a table), or null
};

// Every target of `texts` in order, each with its Origin; or the first fault (in `language`): a
// text that names no printer (after "FILE:LINE: " for a line of a file, "FILE:LINE, column
// target: " for a row of a table), or two texts that name the same printer (both origins and the
// printer's key). A table row's values go to its target.
std::variant<std::vector<Target>, std::string> ParseTargets(const std::vector<TargetText>& texts,
                                                            Language language = Language::kEnglish);

// The largest targets file read.
inline constexpr std::size_t kMaxTargetsFileSize = std::size_t{16} << 20;

// The bytes of a targets file: only a regular file of at most kMaxTargetsFileSize bytes is read
// (a FIFO or a device is refused unopened). False with `error` (in `language`) set when the file
// cannot be read or is refused.
bool ReadTargetsBytes(const std::string& path, std::string& contents, std::string& error,
                      Language language = Language::kEnglish);

// Appends the target texts of a targets file to `targets`. A name ending in .csv or .tsv (any
// case) is a table read by ReadTargetsTable (cli/targets_table.h); any other: one target a line,
// blank lines and everything from a '#' on ignored, as are blanks around a target. Read through
// ReadTargetsBytes. False with `error` (in `language`) set when the file cannot be read or is
// refused.
bool ReadTargetsFile(const std::string& path, std::vector<TargetText>& targets, std::string& error,
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
