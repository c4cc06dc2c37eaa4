// restore DIR [--check]: every target of a backup's index (or those of -t/--targets) given its own
// file back through set's path: read, overlay, write what differs, read back and compare.
#include <sys/stat.h>

#include <map>
#include <memory>
#include <set>

#include "cli/backup_index.h"
#include "cli/commands/command.h"
#include "cli/settings_commands.h"
#include "config/configuration.h"
#include "files/file_io.h"
#include "texts/texts.h"

namespace krt6::cli {
namespace {

// %1: the index, %2: the system's account.
constexpr TextPair kNoIndexText{"%1: no backup index can be read (%2); nothing was sent",
                                "%1: バックアップの索引を読めません (%2)。何も送信していません"};
// %1: the index, %2: the member, %3: why.
constexpr TextPair kIndexTargetText{"%1: %2: %3", "%1: %2: %3"};
// %1: the index, %2, %3: the targets.
constexpr TextPair kIndexSamePrinterText{"%1: %2 and %3 name the same printer",
                                         "%1: %2 と %3 は同じプリンターを指しています"};
// %1: the file.
constexpr TextPair kNotRegularText{
    "%1: not a regular file inside the backup's folder; nothing was sent",
    "%1: バックアップのフォルダー内の通常のファイルではありません。何も送信していません"};
// %1: the file, %2: the refusal.
constexpr TextPair kBadFileText{"%1: %2; nothing was sent", "%1: %2。何も送信していません"};
// %1: the target, %2: the folder.
constexpr TextPair kNotInIndexText{
    "%1: not a target of the backup in %2; nothing was sent",
    "%1: %2 のバックアップにないターゲットです。何も送信していません"};

struct RestoreOptions {
  std::string folder;
  bool check = false;
  std::size_t batch = 0;
};

void AddRestoreOptions(CLI::App& command, RestoreOptions& options) {
  command.add_option("dir", options.folder, "the backup's folder (its index.json)")
      ->required()
      ->type_name("DIR");
  command.add_flag("--check", options.check, "show what would change, write nothing");
  AddBatchOption(command, options.batch);
}

// What restore works on once the backup is checked: the targets in the index's order and each
// target's configuration by its text.
struct Restoring {
  std::vector<Target> targets;
  std::map<std::string, std::shared_ptr<const Configuration>> configurations;
};

// The index's entries, or the refusal.
std::string ReadIndex(const std::string& folder, Language language,
                      std::vector<BackupEntry>& entries) {
  const std::string path = folder + "/" + kBackupIndexName;
  std::vector<std::uint8_t> data;
  const FileResult read = ReadFilePrefix(path, kMaxBackupIndexSize, data);
  if (!read) return FormatText(kNoIndexText, language, Printable(path), read.Describe(language));
  auto parsed =
      ParseBackupIndex({reinterpret_cast<const char*>(data.data()), data.size()}, path, language);
  if (auto* refused = std::get_if<std::string>(&parsed)) return *refused;
  entries = std::get<std::vector<BackupEntry>>(std::move(parsed));
  return {};
}

// The entries' targets, parsed, each printer once; or the refusal.
std::string IndexTargets(const std::string& folder, const std::vector<BackupEntry>& entries,
                         Language language, std::vector<Target>& targets) {
  const std::string index = Printable(folder + "/" + kBackupIndexName);
  std::map<std::string, std::string> by_key;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string at = "targets[" + std::to_string(i) + "].target";
    auto parsed = ParseTarget(entries[i].Target, language);
    if (auto* refused = std::get_if<std::string>(&parsed)) {
      return FormatText(kIndexTargetText, language, {index, at, *refused});
    }
    Target target = std::get<Target>(std::move(parsed));
    target.Origin = index + ": " + at;
    const auto [other, added] = by_key.emplace(PrinterKey(target), target.Text);
    if (!added) {
      return FormatText(kIndexSamePrinterText, language,
                        {index, Printable(other->second), Printable(target.Text)});
    }
    targets.push_back(std::move(target));
  }
  return {};
}

// Every entry's file as a configuration to send; or the refusal of the first that is none.
std::string LoadFiles(const std::string& folder, const std::vector<BackupEntry>& entries,
                      Language language, Restoring& restoring) {
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string path = folder + "/" + entries[i].File;
    struct stat found {};
    if (::lstat(path.c_str(), &found) != 0 || !S_ISREG(found.st_mode)) {
      return FormatText(kNotRegularText, language, Printable(path));
    }
    auto loaded = LoadConfiguration(path, language, ValueUse::kSend);
    if (auto* refused = std::get_if<ConfigError>(&loaded)) {
      return FormatText(kBadFileText, language, Printable(path), refused->Message);
    }
    restoring.configurations[restoring.targets[i].Text] =
        std::make_shared<const Configuration>(std::get<Configuration>(std::move(loaded)));
  }
  return {};
}

// Keeps the targets of -t and --targets (by the printer they name), in the index's order; the
// refusal of one the index does not hold.
std::string Select(const Globals& globals, const std::string& folder, Language language,
                   std::vector<Target>& targets) {
  std::vector<TargetText> texts;
  for (const std::string& text : globals.targets) {
    TargetText given;
    given.Text = text;
    texts.push_back(std::move(given));
  }
  std::string error;
  if (!globals.targets_file.empty() &&
      !ReadTargetsFile(globals.targets_file, texts, error, language)) {
    return error;
  }
  if (texts.empty()) return {};
  auto parsed = ParseTargets(texts, language);
  if (auto* refused = std::get_if<std::string>(&parsed)) return *refused;
  std::set<std::string> keys;
  for (const Target& target : targets) keys.insert(PrinterKey(target));
  std::set<std::string> wanted;
  for (const Target& given : std::get<std::vector<Target>>(parsed)) {
    const std::string key = PrinterKey(given);
    if (keys.count(key) == 0) {
      return FormatText(kNotInIndexText, language, Printable(given.Text), Printable(folder));
    }
    wanted.insert(key);
  }
  std::erase_if(targets, [&](const Target& target) { return !wanted.count(PrinterKey(target)); });
  return {};
}

// The backup checked whole before any printer is opened; the refusal, or empty.
std::string Prepare(const RestoreOptions& options, const Globals& globals, Language language,
                    Restoring& restoring) {
  std::vector<BackupEntry> entries;
  std::string refused = ReadIndex(options.folder, language, entries);
  if (refused.empty()) refused = IndexTargets(options.folder, entries, language, restoring.targets);
  if (refused.empty()) refused = LoadFiles(options.folder, entries, language, restoring);
  if (refused.empty()) refused = Select(globals, options.folder, language, restoring.targets);
  return refused;
}

TargetResult Restore(Session& session, const Configuration& configuration,
                     const SetOptions& options, Language language) {
  // A link without replies could only be written unverified: a backup is restored where it
  // can be read back.
  if (!session.CanReceive(session.Kind())) {
    TargetResult result;
    result.Code = kCannotDo;
    result.Detail = TextFor(kParallelCannotReceiveText, language);
    return result;
  }
  return SetCommand(session, configuration, options, language);
}

int RunRestore(const RestoreOptions& options, const CommandContext& context) {
  const Language language = context.language;
  auto restoring = std::make_shared<Restoring>();
  const std::string refused = Prepare(options, context.globals, language, *restoring);
  if (!refused.empty()) return context.reporter.Usage(refused);
  // Every printer gets its own identity back from its own file: no two get one value, so the
  // refusal of a shared identity has nothing to guard here.
  const CommandContext restore{context.globals, language, restoring->targets, context.reporter,
                               context.history};
  SetOptions set;
  set.Check = options.check;
  set.Stop = context.globals.stop;
  TargetRun run;
  run.batch = options.batch;
  if (!options.check) {
    run.each = [&restore](const Target& target, const TargetResult& result) {
      RecordHistory(restore, "restore", target, result);
    };
  }
  if (restoring->targets.empty()) return kExitOk;
  return RunOnTargets(
      restore, "restore",
      [restoring, set, language](Session& session, const Target& target) {
        return Restore(session, *restoring->configurations.at(target.Text), set, language);
      },
      run);
}

}  // namespace

CommandRegistration RestoreRegistration() {
  CommandRegistration registration = Register<RestoreOptions>(
      "restore", "write each target of DIR's index its own file back (as set does); -t: only those",
      false, AddRestoreOptions, RunRestore);
  // The targets come from the index; -t and --targets choose among them.
  registration.FiltersByTarget = true;
  return registration;
}

}  // namespace krt6::cli
