#include "cli/history.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "cli/output.h"
#include "texts/texts.h"

namespace krt6::cli {
namespace {

constexpr TextPair kHistoryUnwritableText{
    "history: cannot write %1 (%2); the run goes on without its history",
    "履歴: %1 に書き込めません (%2)。履歴なしで続けます"};

std::string HomeFromPasswordDatabase() {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr || found->pw_dir == nullptr) {
    return {};
  }
  return found->pw_dir;
}

// Creates every folder above the last '/' of `path` that is missing, with 0700.
std::string MakeFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
      return folder + ": " + std::strerror(errno);
    }
  }
  return {};
}

// Digits of `text` from `at`, exactly `count` of them, as a number; -1 when they are not there.
int Digits(std::string_view text, std::size_t at, std::size_t count) {
  if (text.size() < at + count) return -1;
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

}  // namespace

std::string DefaultHistoryPath(const std::function<const char*(const char*)>& env) {
  const char* state = env("XDG_STATE_HOME");
  // As the base directory rules say, a relative XDG_STATE_HOME is ignored.
  if (state != nullptr && state[0] == '/') return std::string(state) + "/krt6/history.jsonl";
  const char* home = env("HOME");
  std::string folder = home != nullptr && home[0] == '/' ? home : HomeFromPasswordDatabase();
  if (folder.empty()) return {};
  return folder + "/.local/state/krt6/history.jsonl";
}

std::string UtcTimeText(std::chrono::system_clock::time_point time) {
  const auto since = time.time_since_epoch();
  const auto milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(since).count() % 1000;
  const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  std::tm utc{};
  ::gmtime_r(&seconds, &utc);
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(milliseconds < 0 ? milliseconds + 1000 : milliseconds));
  return text;
}

std::optional<std::int64_t> ParseUtcTime(std::string_view text) {
  if (!text.empty() && text.back() == 'Z') text.remove_suffix(1);
  const int year = Digits(text, 0, 4);
  const int month = Digits(text, 5, 2);
  const int day = Digits(text, 8, 2);
  if (year < 0 || month < 0 || day < 0 || text[4] != '-' || text[7] != '-') return std::nullopt;
  const std::chrono::year_month_day date{std::chrono::year(year), std::chrono::month(month),
                                         std::chrono::day(day)};
  if (!date.ok()) return std::nullopt;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  if (text.size() > 10) {
    hour = Digits(text, 11, 2);
    minute = Digits(text, 14, 2);
    if (text[10] != 'T' || hour < 0 || hour > 23 || minute < 0 || minute > 59 || text[13] != ':')
      return std::nullopt;
    if (text.size() > 16) {
      second = Digits(text, 17, 2);
      if (text[16] != ':' || second < 0 || second > 59) return std::nullopt;
    } else if (text.size() != 16) {
      return std::nullopt;
    }
    if (text.size() > 19) {
      // A fraction of a second: its first three digits count.
      if (text[19] != '.' || text.size() == 20) return std::nullopt;
      for (std::size_t i = 20; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        if (i < 23) millisecond += (text[i] - '0') * (i == 20 ? 100 : i == 21 ? 10 : 1);
      }
    }
  } else if (text.size() != 10) {
    return std::nullopt;
  }
  const auto days = std::chrono::sys_days(date).time_since_epoch().count();
  return ((static_cast<std::int64_t>(days) * 24 + hour) * 60 + minute) * 60000LL + second * 1000LL +
         millisecond;
}

std::string UserName() {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_name != nullptr && found->pw_name[0] != '\0') {
    return found->pw_name;
  }
  return std::to_string(::getuid());
}

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

std::string AppendLine(const std::string& path, const std::string& line) {
  if (std::string error = MakeFolders(path); !error.empty()) return error;
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return std::strerror(errno);
  const std::string whole = line + "\n";
  ssize_t written = -1;
  do {
    written = ::write(fd, whole.data(), whole.size());
  } while (written < 0 && errno == EINTR);
  std::string error;
  if (written < 0) {
    error = std::strerror(errno);
  } else if (static_cast<std::size_t>(written) != whole.size()) {
    error = "short write: " + std::to_string(written) + " of " + std::to_string(whole.size()) +
            " bytes";
  }
  if (::close(fd) != 0 && error.empty() && errno != EINTR) error = std::strerror(errno);
  return error;
}

nlohmann::ordered_json HistoryLine(const std::string& target, const std::string& command,
                                   const TargetResult& result,
                                   std::chrono::system_clock::time_point time) {
  static const std::string user = UserName();
  static const std::string host = HostName();
  nlohmann::ordered_json line;
  line["time"] = UtcTimeText(time);
  line["user"] = user;
  line["host"] = host;
  line["target"] = target;
  line["command"] = command;
  line["code"] = result.Code;
  line["result"] = ResultText(result.Code, Language::kEnglish);
  const Cause cause = ResultCause(result);
  line["cause"] = nullptr;
  if (cause != Cause::kNone) line["cause"] = std::string(CauseKey(cause));
  line["detail"] = result.Detail;
  line["changed"] = result.Changed;
  line["changes"] = ChangesJson(result.Changes);
  line["firmware"] = nullptr;
  if (!result.Firmware.empty()) line["firmware"] = result.Firmware;
  return line;
}

History::History(std::string path, Language language, std::function<void(const std::string&)> warn)
    : path_(std::move(path)), language_(language), warn_(std::move(warn)) {}

void History::Record(const std::string& target, const std::string& command,
                     const TargetResult& result) {
  if (path_.empty()) return;
  const std::string line =
      OneLine(HistoryLine(target, command, result, std::chrono::system_clock::now()));
  const std::string error = AppendLine(path_, line);
  if (error.empty()) return;
  std::lock_guard lock(mutex_);
  if (warned_) return;
  warned_ = true;
  if (warn_) warn_(FormatText(kHistoryUnwritableText, language_, path_, error));
}

}  // namespace krt6::cli
