// The printers krt6ctl talks to, written as device URIs: each kind of link's prefix and the rest
// its LinkKindInfo reads (link/link_kinds.h; the built-in kinds' forms in link/target_forms.h). A
// target without a prefix is HOST, HOST:PORT or [IPv6][:PORT] of the TCP link.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "config/configuration.h"
#include "link/link_kinds.h"
#include "link/port_names.h"
#include "texts/language.h"

namespace krt6::cli {

// Where the printer is (Kind, Settings, the USB selector: LinkAddress) and where it was written.
struct Target : LinkAddress {
  std::string Text;    // as the operator wrote it
  std::string Origin;  // where it was written: "FILE:LINE" for a targets file, "-t TEXT" for -t
  // A row of a CSV/TSV targets file: the values of its own (laid over the command line's by set);
  // null for a target without a row of values.
  std::shared_ptr<const Configuration> Values;
};

// The target `text` names, or the reason it names none (a sentence naming the part at fault, in
// `language`).
std::variant<Target, std::string> ParseTarget(std::string_view text,
                                              Language language = Language::kEnglish);

// What names the printer of `target` whichever way it was written: its kind's printer key with
// the ports of TargetPorts ("HOST:PORT", "serial:DEVICE", ...). Two targets with the same key
// would open the same printer twice.
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
