#include "cli/backup_index.h"

#include <cstdint>
#include <cstdio>

#include "config/configuration.h"
#include "texts/texts.h"

namespace krt6::cli {
namespace {

constexpr std::size_t kReadablePart = 48;

// %1: the index as shown.
constexpr TextPair kIndexNotJsonText{
    "%1: not a backup index (no JSON object)",
    "%1: バックアップの索引ではありません (JSON オブジェクトではありません)"};
// %1: the index, %2: the member ("format", "targets[2].file").
constexpr TextPair kIndexMemberText{
    "%1: not a backup index of this program: %2 is missing or wrong",
    "%1: このプログラムのバックアップの索引ではありません: %2 がないか誤っています"};
// %1: the index, %2: the member, %3: the name given.
constexpr TextPair kIndexFileNameText{
    "%1: %2 '%3' is not a plain .json, .ts0 or .ts1 file name inside the backup's folder",
    "%1: %2 '%3' はバックアップのフォルダー内のファイル名 (.json、.ts0、.ts1) ではありません"};

std::uint64_t Fnv1a(std::string_view text) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

bool IsSafe(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == '-';
}

// The string member `name` of `entry`; false when it is missing or no string.
bool StringMember(const nlohmann::json& entry, const char* name, std::string& value) {
  const auto found = entry.find(name);
  if (found == entry.end() || !found->is_string()) return false;
  value = found->get<std::string>();
  return true;
}

}  // namespace

std::string BackupFileName(std::string_view printer_key) {
  std::string name;
  // No '.' in front and none after another: the name is never "..", nor hidden, nor holds "..".
  for (const char c : printer_key.substr(0, kReadablePart)) {
    const bool dot_after_dot = c == '.' && (name.empty() || name.back() == '.');
    name += IsSafe(c) && !dot_after_dot ? c : '_';
  }
  char hash[24];
  std::snprintf(hash, sizeof hash, "-%012llx",
                static_cast<unsigned long long>(Fnv1a(printer_key) & 0xffffffffffffull));
  return name + hash + ".json";
}

bool IsPlainBackupFileName(std::string_view name) {
  return !name.empty() && name != "." && name.find('/') == std::string_view::npos &&
         name.find("..") == std::string_view::npos && name.find('\0') == std::string_view::npos &&
         IsConfigurationFileName(std::string(name));
}

std::vector<BackupEntry> MergeBackupEntries(std::vector<BackupEntry> older,
                                            const std::vector<BackupEntry>& newer) {
  std::vector<bool> placed(newer.size(), false);
  std::vector<BackupEntry> merged;
  merged.reserve(older.size() + newer.size());
  for (BackupEntry& entry : older) {
    std::size_t i = 0;
    while (i < newer.size() && newer[i].Target != entry.Target && newer[i].File != entry.File) ++i;
    if (i == newer.size()) {
      merged.push_back(std::move(entry));
    } else if (!placed[i]) {
      merged.push_back(newer[i]);
      placed[i] = true;
    }
  }
  for (std::size_t i = 0; i < newer.size(); ++i) {
    if (!placed[i]) merged.push_back(newer[i]);
  }
  return merged;
}

nlohmann::ordered_json BackupIndexJson(const std::vector<BackupEntry>& entries) {
  nlohmann::ordered_json index;
  index["format"] = kBackupFormat;
  index["version"] = kBackupVersion;
  index["targets"] = nlohmann::ordered_json::array();
  for (const BackupEntry& entry : entries) {
    nlohmann::ordered_json line;
    line["target"] = entry.Target;
    line["file"] = entry.File;
    line["time"] = entry.Time;
    line["firmware"] = entry.Firmware;
    index["targets"].push_back(std::move(line));
  }
  return index;
}

std::variant<std::vector<BackupEntry>, std::string> ParseBackupIndex(std::string_view text,
                                                                     const std::string& shown,
                                                                     Language language) {
  const nlohmann::json index = nlohmann::json::parse(text, nullptr, false);
  if (index.is_discarded() || !index.is_object()) {
    return FormatText(kIndexNotJsonText, language, Printable(shown));
  }
  auto member = [&](const std::string& name) {
    return FormatText(kIndexMemberText, language, Printable(shown), name);
  };
  if (index.value("format", nlohmann::json()) != kBackupFormat) return member("format");
  if (index.value("version", nlohmann::json()) != kBackupVersion) return member("version");
  const auto targets = index.find("targets");
  if (targets == index.end() || !targets->is_array()) return member("targets");
  std::vector<BackupEntry> entries;
  for (std::size_t i = 0; i < targets->size(); ++i) {
    const nlohmann::json& line = (*targets)[i];
    const std::string at = "targets[" + std::to_string(i) + "]";
    if (!line.is_object()) return member(at);
    BackupEntry entry;
    if (!StringMember(line, "target", entry.Target)) return member(at + ".target");
    if (!StringMember(line, "file", entry.File)) return member(at + ".file");
    if (!IsPlainBackupFileName(entry.File)) {
      return FormatText(kIndexFileNameText, language,
                        {Printable(shown), at + ".file", Printable(entry.File)});
    }
    // The time and the version are what the backup saw; neither is needed to restore.
    StringMember(line, "time", entry.Time);
    StringMember(line, "firmware", entry.Firmware);
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace krt6::cli
