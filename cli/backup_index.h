// A fleet's backup in a folder: one configuration file a printer (the document `get all -o
// FILE.json` writes) and an index, index.json:
//   {"format": "krt6-backup", "version": 1,
//    "targets": [{"target", "file", "time", "firmware"}, ...]}
// with the target as it was given, the file's plain name inside the folder, the time of the read
// in UTC (ISO 8601) and the firmware version read.
#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

#include "texts/language.h"

namespace krt6::cli {

inline constexpr const char* kBackupIndexName = "index.json";
inline constexpr const char* kBackupFormat = "krt6-backup";
inline constexpr int kBackupVersion = 1;
// The largest index read.
inline constexpr std::size_t kMaxBackupIndexSize = std::size_t{16} << 20;

struct BackupEntry {
  std::string Target;
  std::string File;
  std::string Time;
  std::string Firmware;
};

// The file name of the printer of `printer_key` (PrinterKey): the key with every character but
// [A-Za-z0-9._-] replaced by '_', a leading '.' and a '.' after a '.' too, cut to 48
// characters, then '-', 12 hex
// digits of the whole key's 64-bit FNV-1a hash and ".json". Keys that differ only in what was
// replaced or cut still differ in the hash.
std::string BackupFileName(std::string_view printer_key);

// Whether `name` names a file right inside the backup's folder: not empty, no '/', no "..", no
// NUL, not "." and of a configuration file's extension.
bool IsPlainBackupFileName(std::string_view name);

// The index of a backup made again into a folder that held one: the older entries in their
// order, each replaced by the newer entry of its target or file, then the newer entries of the
// targets the older index did not list. A target this run could not read keeps its older file.
std::vector<BackupEntry> MergeBackupEntries(std::vector<BackupEntry> older,
                                            const std::vector<BackupEntry>& newer);

// The index document of `entries`, in their order.
nlohmann::ordered_json BackupIndexJson(const std::vector<BackupEntry>& entries);

// The entries of an index's text; or the refusal (in `language`, after "`shown`: "): not JSON,
// another format or version, an entry without its target or file, a file name that is not a
// plain name inside the folder. An index may list no target.
std::variant<std::vector<BackupEntry>, std::string> ParseBackupIndex(std::string_view text,
                                                                     const std::string& shown,
                                                                     Language language);

}  // namespace krt6::cli
