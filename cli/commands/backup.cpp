// backup DIR [--force]: every target read whole into a configuration file of its own in DIR, and
// the index of them (cli/backup_index.h).
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>

#include "cli/backup_index.h"
#include "cli/commands/command.h"
#include "cli/settings_commands.h"
#include "config/configuration.h"
#include "files/file_io.h"
#include "texts/texts.h"

namespace krt6::cli {
namespace {

constexpr TextPair kBackupExistsText{
    "%1 already holds a backup (index.json); give --force to replace it. Nothing was read",
    "%1 にはバックアップ (index.json) があります。置き換えるには --force を指定してください。"
    "何も読んでいません"};
constexpr TextPair kNotFolderText{"%1 is not a folder", "%1 はフォルダーではありません"};
// %1: the folder, %2: the system's text.
constexpr TextPair kNoFolderText{"%1: the folder cannot be created (%2)",
                                 "%1: フォルダーを作成できません (%2)"};
// %1, %2: the targets.
constexpr TextPair kOneFileNameText{"%1 and %2 would be backed up into one file name",
                                    "%1 と %2 のバックアップのファイル名が同じになります"};
constexpr TextPair kSavedText{"saved to %1", "%1 に保存しました"};
constexpr TextPair kIndexUnwrittenText{"%1: the index could not be written: %2",
                                       "%1: 索引を書き込めませんでした: %2"};
constexpr TextPair kUnflushedText{
    "%1: the backed-up files could not be written to disk, so no index was written: %2",
    "%1: バックアップしたファイルをディスクに書き込めなかったため、索引を書き込んでいません: %2"};

struct BackupOptions {
  std::string folder;
  bool force = false;
};

void AddBackupOptions(CLI::App& command, BackupOptions& options) {
  command.add_option("dir", options.folder, "the backup's folder (created, 0700, when missing)")
      ->required()
      ->type_name("DIR");
  command.add_flag(
      "--force", options.force,
      "back up again into a folder that holds a backup (each file replaced atomically; the index "
      "keeps the printers not read this time)");
}

// Creates `folder` and the folders above it that are missing, each 0700. The system's error.
int MakeFolders(const std::string& folder) {
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = slash == std::string::npos ? folder : folder.substr(0, slash);
    if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    if (slash == std::string::npos) break;
  }
  struct stat made {};
  if (::stat(folder.c_str(), &made) != 0) return errno;
  return S_ISDIR(made.st_mode) ? 0 : ENOTDIR;
}

// Why the backup cannot go into `folder`, or empty: a file in its place, or a backup in it
// without --force.
std::string FolderRefusal(const BackupOptions& options, Language language) {
  struct stat found {};
  if (::stat(options.folder.c_str(), &found) != 0) return {};
  if (!S_ISDIR(found.st_mode))
    return FormatText(kNotFolderText, language, Printable(options.folder));
  struct stat index {};
  const std::string index_path = options.folder + "/" + kBackupIndexName;
  if (!options.force && ::lstat(index_path.c_str(), &index) == 0) {
    return FormatText(kBackupExistsText, language, Printable(options.folder));
  }
  return {};
}

// The file name of each target, by its text; a refusal when two would share one.
std::string FileNames(const std::vector<Target>& targets, Language language,
                      std::map<std::string, std::string>& names) {
  std::map<std::string, const Target*> owners;
  for (const Target& target : targets) {
    const std::string name = BackupFileName(PrinterKey(target));
    const auto [owner, added] = owners.emplace(name, &target);
    if (!added) {
      return FormatText(kOneFileNameText, language, Printable(owner->second->Text),
                        Printable(target.Text));
    }
    names[target.Text] = name;
  }
  return {};
}

// One target: read whole, saved into its file.
TargetResult BackUp(Session& session, const std::string& folder, const std::string& name,
                    Language language) {
  if (!session.CanReceive(session.Kind())) {
    TargetResult result;
    result.Code = kCannotDo;
    result.Detail = TextFor(kParallelCannotReceiveText, language);
    return result;
  }
  const ReadSettings read = ReadConfiguration(session, Parts{});
  if (!read.Status.Ok()) return Failed(read.Status);
  TargetResult result;
  result.Firmware = read.Firmware;
  const std::string time = UtcTimeText(std::chrono::system_clock::now());
  // The files are flushed together once every target is read (RunBackup), before the index.
  const ConfigError saved =
      SaveConfiguration(folder + "/" + name, read.Read, language, Durability::kTogether);
  if (!saved.Ok()) {
    result.Code = kFileOpenError;
    result.Detail = saved.Message;
    return result;
  }
  result.Text = FormatText(kSavedText, language, name);
  result.Data = {{"file", name}, {"time", time}, {"firmware", read.Firmware}};
  return result;
}

// Writes the index of the targets backed up; false after the message when it cannot be written.
bool WriteIndex(const std::string& folder, const std::vector<BackupEntry>& entries,
                Reporter& reporter, Language language) {
  const std::string text = BackupIndexJson(entries).dump(2) + "\n";
  const std::string path = folder + "/" + kBackupIndexName;
  const FileResult written =
      ReplaceFileAtomically(path, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  if (written) return true;
  reporter.Error(
      FormatText(kIndexUnwrittenText, language, Printable(folder), written.Describe(language)));
  return false;
}

// The entries of the index the folder holds; none when it has none or one that cannot be read
// (--force replaces it).
std::vector<BackupEntry> OlderEntries(const std::string& folder) {
  const std::string path = folder + "/" + kBackupIndexName;
  std::vector<std::uint8_t> data;
  if (!ReadFilePrefix(path, kMaxBackupIndexSize, data)) return {};
  auto parsed = ParseBackupIndex({reinterpret_cast<const char*>(data.data()), data.size()}, path,
                                 Language::kEnglish);
  if (auto* entries = std::get_if<std::vector<BackupEntry>>(&parsed)) return std::move(*entries);
  return {};
}

int RunBackup(const BackupOptions& options, const CommandContext& context) {
  const Language language = context.language;
  std::string refused = FolderRefusal(options, language);
  auto names = std::make_shared<std::map<std::string, std::string>>();
  if (refused.empty()) refused = FileNames(context.targets, language, *names);
  if (!refused.empty()) return context.reporter.Usage(refused);
  if (const int error = MakeFolders(options.folder); error != 0) {
    return context.reporter.Usage(
        FormatText(kNoFolderText, language, Printable(options.folder), std::strerror(error)));
  }
  std::vector<BackupEntry> entries;
  TargetRun run;
  run.each = [&entries](const Target& target, const TargetResult& result) {
    if (!result.Ok()) return;
    entries.push_back({target.Text, result.Data.value("file", std::string()),
                       result.Data.value("time", std::string()), result.Firmware});
  };
  const std::string folder = options.folder;
  const int status = RunOnTargets(
      context, "backup",
      [folder, names, language](Session& session, const Target& target) {
        return BackUp(session, folder, names->at(target.Text), language);
      },
      run);
  // Nothing backed up leaves the folder's index as it was; a backup made again keeps the entries
  // of the printers it did not read (their files are still there).
  if (entries.empty()) return status;
  // The index is what makes the files a backup: it is written only once they are on disk.
  if (const FileResult flushed = FlushFileSystem(options.folder); !flushed) {
    context.reporter.Error(FormatText(kUnflushedText, language, Printable(options.folder),
                                      flushed.Describe(language)));
    return kExitFailed;
  }
  if (options.force) entries = MergeBackupEntries(OlderEntries(options.folder), entries);
  if (!WriteIndex(options.folder, entries, context.reporter, language)) return kExitFailed;
  return status;
}

}  // namespace

CommandRegistration BackupRegistration() {
  return Register<BackupOptions>(
      "backup", "read every target whole into DIR: one configuration file each and index.json",
      true, AddBackupOptions, RunBackup);
}

}  // namespace krt6::cli
