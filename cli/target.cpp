#include "cli/target.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <unordered_map>

#include "cli/targets_table.h"
#include "files/file_io.h"
#include "link/link_kinds.h"
#include "link/target_forms.h"
#include "texts/texts.h"

namespace krt6::cli {
namespace {

// Why a target names no printer.
constexpr TextPair kTargetText{"target '%1': %2", "ターゲット '%1': %2"};
constexpr TextPair kEmptyText{"the target is empty", "ターゲットが空です"};
constexpr TextPair kBlanksText{
    "a target holds no blanks, control characters or bytes that are no UTF-8",
    "ターゲットに空白、制御文字、UTF-8 でないバイトは使えません"};
constexpr TextPair kSchemeText{"unknown scheme (%1)", "不明なスキームです (%1)"};
constexpr TextPair kSamePrinterText{"%1 name the same printer %2",
                                    "%1 は同じプリンター %2 を指しています"};
constexpr TextPair kBothText{"%1 and %2", "%1 と %2"};
constexpr TextPair kColumnText{"%1, column %2", "%1 の列 %2"};
constexpr TextPair kUnreadableText{"cannot read the targets file %1: %2",
                                   "ターゲットファイル %1 を読めません: %2"};
constexpr TextPair kNotRegularText{"the targets file %1 is not a regular file",
                                   "ターゲットファイル %1 は通常のファイルではありません"};
constexpr TextPair kTooLargeText{"the targets file %1 is too large: over %2",
                                 "ターゲットファイル %1 が大きすぎます: %2 を超えています"};

// The prefixes of every kind of link: "usb:, serial:, parallel:, socket://".
std::string Prefixes() {
  std::string list;
  for (const LinkKindInfo* info : LinkKinds()) {
    list += (list.empty() ? "" : ", ") + std::string(info->prefix);
  }
  return list;
}

}  // namespace

std::variant<Target, std::string> ParseTarget(std::string_view text, Language language) {
  Target target;
  target.Text = std::string(text);
  std::string error;
  if (text.empty()) {
    error = TextFor(kEmptyText, language);
  } else if (std::any_of(text.begin(), text.end(),
                         [](char c) {
                           return std::iscntrl(static_cast<unsigned char>(c)) != 0 || c == ' ';
                         }) ||
             Printable(text, std::string_view::npos) != text) {
    error = TextFor(kBlanksText, language);
  } else if (const LinkKindInfo* kind = FindLinkPrefix(text)) {
    target.Kind = kind->kind;
    error = kind->read_target(text.substr(kind->prefix.size()), target, language);
  } else if (text.find("://") != std::string_view::npos) {
    error = FormatText(kSchemeText, language, Prefixes());
  } else {
    error = ReadHostPort(text, target, language);
  }
  if (!error.empty()) return FormatText(kTargetText, language, Printable(text), error);
  return target;
}

std::string PrinterKey(const Target& target) {
  const LinkKindInfo* kind = FindLinkKind(target.Kind);
  return kind != nullptr ? kind->printer_key(target, TargetPorts()) : std::string();
}

std::variant<std::vector<Target>, std::string> ParseTargets(const std::vector<TargetText>& texts,
                                                            Language language) {
  // Where each text was written, as a message shows it.
  auto shown = [language](const TargetText& text) {
    if (text.File.empty()) return "-t " + Printable(text.Text);
    const std::string line = Printable(text.File) + ":" + std::to_string(text.Line);
    return text.Column.empty() ? line : FormatText(kColumnText, language, line, text.Column);
  };
  std::vector<Target> targets;
  targets.reserve(texts.size());
  std::unordered_map<std::string, std::size_t> first;  // by PrinterKey: the index of its target
  for (const TargetText& text : texts) {
    auto parsed = ParseTarget(text.Text, language);
    if (auto* error = std::get_if<std::string>(&parsed)) {
      return text.File.empty() ? *error : shown(text) + ": " + *error;
    }
    Target& target = targets.emplace_back(std::get<Target>(std::move(parsed)));
    target.Origin =
        text.File.empty() ? "-t " + text.Text : text.File + ":" + std::to_string(text.Line);
    target.Values = text.Values;
    const auto [at, fresh] = first.emplace(PrinterKey(target), targets.size() - 1);
    if (!fresh) {
      return FormatText(kSamePrinterText, language,
                        FormatText(kBothText, language, shown(texts[at->second]), shown(text)),
                        Printable(at->first));
    }
  }
  return targets;
}

bool ReadTargetsBytes(const std::string& path, std::string& contents, std::string& error,
                      Language language) {
  const std::string shown = Printable(path);
  auto refuse = [&](const TextPair& text, std::string_view detail) {
    error = FormatText(text, language, shown, detail);
    return false;
  };
  const std::string limit = std::to_string(kMaxTargetsFileSize >> 20) + " MiB";
  // Only a regular file: a FIFO would wait for a writer, a device such as /dev/zero never ends.
  // Checked before opening, so that no device is opened; ReadFilePrefix checks again what it opens.
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    return refuse(kUnreadableText,
                  FileResult::Failure(FileOperation::kOpen, path, errno).SystemText());
  }
  if (!S_ISREG(status.st_mode)) return refuse(kNotRegularText, {});
  if (static_cast<std::uintmax_t>(status.st_size) > kMaxTargetsFileSize) {
    return refuse(kTooLargeText, limit);
  }
  // One byte more than the size shows whether the file grew since; then it is read again, up to
  // one byte over the limit.
  std::vector<std::uint8_t> bytes;
  std::size_t wanted = static_cast<std::size_t>(status.st_size) + 1;
  while (true) {
    const FileResult read = ReadFilePrefix(path, wanted, bytes);
    if (!read) return refuse(kUnreadableText, read.SystemText());
    if (bytes.size() < wanted || wanted > kMaxTargetsFileSize) break;
    wanted = kMaxTargetsFileSize + 1;
  }
  if (bytes.size() > kMaxTargetsFileSize) return refuse(kTooLargeText, limit);
  contents.assign(bytes.begin(), bytes.end());
  return true;
}

bool ReadTargetsFile(const std::string& path, std::vector<TargetText>& targets, std::string& error,
                     Language language) {
  if (IsTargetsTable(path)) return ReadTargetsTable(path, targets, error, language);
  std::string contents;
  if (!ReadTargetsBytes(path, contents, error, language)) return false;
  const std::string_view text(contents);
  std::size_t number = 0;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    line = line.substr(0, line.find('#'));
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) continue;
    const std::size_t last = line.find_last_not_of(" \t\r");
    targets.push_back(
        {std::string(line.substr(first, last - first + 1)), path, number, {}, nullptr});
  }
  return true;
}

std::string TargetPorts::SerialDevice(const std::string& port_name) const {
  return !port_name.empty() && port_name.front() == '/' ? port_name
                                                        : table_.SerialDevice(port_name);
}

std::string TargetPorts::ParallelDevice(const std::string& port_name) const {
  return !port_name.empty() && port_name.front() == '/' ? port_name
                                                        : table_.ParallelDevice(port_name);
}

}  // namespace krt6::cli
