#include "cli/fleet.h"
#include "cli/sessions.h"

#include <dirent.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <thread>

#include "session/trace_text.h"
#include "texts/texts.h"

namespace krt6::cli {

namespace {

constexpr TextPair kInterruptedText{"Interrupted", "中断"};
constexpr TextPair kNotStartedText{"Not Started", "未実行"};
constexpr TextPair kNoDescriptorText{
    "%1: this computer has run out of file descriptors, the printer is not at fault. Give a "
    "lower -j, or raise the limit (ulimit -n)",
    "%1: このコンピュータのファイル記述子が足りません。プリンタの異常ではありません。-j を小さく"
    "するか、上限 (ulimit -n) を上げてください"};
// %1 done, %2 interrupted, %3 not started.
constexpr TextPair kInterruptSummaryText{"interrupted: %1 done, %2 interrupted, %3 not started",
                                         "中断しました: 完了 %1 件、中断 %2 件、未実行 %3 件"};
constexpr TextPair kFailureLimitText{"%1 targets had failed (--max-failures)",
                                     "失敗したターゲットが %1 件になりました (--max-failures)"};
constexpr TextPair kFewerJobsText{
    "krt6ctl: %1 targets at a time: the descriptor limit (ulimit -n) of %2 carries no more\n",
    "krt6ctl: 同時に扱うターゲットは %1 個です: ファイル記述子の上限 (ulimit -n) %2 では"
    "これ以上扱えません\n"};

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The descriptors open in this process now (-1 when they cannot be counted).
long OpenDescriptors() {
  DIR* directory = ::opendir("/proc/self/fd");
  if (directory == nullptr) return -1;
  long count = 0;
  while (const dirent* entry = ::readdir(directory)) {
    if (entry->d_name[0] != '.') ++count;
  }
  ::closedir(directory);
  return count - 1;  // the directory's own
}

long DescriptorLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return -1;
  return static_cast<long>(limit.rlim_cur);
}

// `text` on the run's messages, under their lock.
void WriteMessage(const FleetOptions& options, const std::string& text) {
  if (options.Messages == nullptr) return;
  std::unique_lock<std::mutex> hold;
  if (options.MessagesLock != nullptr) hold = std::unique_lock(*options.MessagesLock);
  *options.Messages << text << std::flush;
}

// `job` on `target` in a session of its own, traced when asked: the result with its time; a job
// that throws gives kUnknownError with the exception's text.
TargetResult RunTarget(const Target& target, const FleetOptions& options, const TargetJob& job,
                       Clock::time_point origin) {
  const auto links = options.Links ? options.Links(target) : LinkOptionsFor(target);
  const std::unique_ptr<Session> session =
      MakeSession(LinkTarget{target.Kind, target.Settings}, links, options.Lang);
  if (options.Trace) {
    session->SetTraceObserver([&, tag = "[" + target.Text + "] "](const TraceEvent& event) {
      WriteMessage(options, tag + TraceLine(event, origin) + "\n");
    });
  }
  const Clock::time_point start = Clock::now();
  TargetResult result;
  try {
    result = job(*session, target);
  } catch (const std::exception& error) {
    result = TargetResult{};
    result.Code = kUnknownError;
    result.Detail = error.what();
  }
  result.ElapsedMs = MillisecondsSince(start);
  if (result.LocalErrno != 0)
    result.Detail = FormatText(kNoDescriptorText, options.Lang, result.Detail);
  return result;
}

// What the workers of a fleet run share: the results so far, how many ended and failed.
struct FleetState {
  explicit FleetState(std::size_t total) : done(total) {}
  std::vector<std::optional<TargetResult>> done;
  std::size_t ended = 0;
  std::size_t failed = 0;
  std::mutex mutex;
  std::condition_variable finished;
};

bool Stopped(const FleetOptions& options) {
  return options.Stop != nullptr && options.Stop->load();
}

// Waits until every target of the batches before the one of target `index` has ended (or the
// operator interrupts); then why the target must not start, or nullopt when it may.
std::optional<TargetResult> HeldBack(std::size_t index, const FleetOptions& options,
                                     FleetState& state) {
  std::unique_lock lock(state.mutex);
  if (options.Batch > 0) {
    const std::size_t batch_start = index / options.Batch * options.Batch;
    // The interrupt comes without a notification: look at it now and then.
    while (state.ended < batch_start && !Stopped(options)) {
      state.finished.wait_for(lock, std::chrono::milliseconds(100));
    }
  }
  TargetResult result;
  result.Code = kNotStarted;
  if (Stopped(options)) return result;
  if (options.MaxFailures > 0 && state.failed >= options.MaxFailures) {
    result.Detail =
        FormatText(kFailureLimitText, options.Lang, std::to_string(options.MaxFailures));
    return result;
  }
  return std::nullopt;
}

}  // namespace

std::string ResultText(int code, Language language) {
  switch (code) {
    case 0: return TextFor(kSuccessText, language);
    case kReadBackDiffers: return TextFor(kReadBackDiffersText, language);
    case kCannotDo: return TextFor(kCannotDoText, language);
    case kNotSupported: return TextFor(kNotSupportedText, language);
    case kUnsendableValue: return TextFor(kUnsendableValueText, language);
    case kInterrupted: return TextFor(kInterruptedText, language);
    case kNotStarted: return TextFor(kNotStartedText, language);
    default: return MessageText(code, language);
  }
}

Cause ResultCause(const TargetResult& result) {
  if (result.Ok()) return Cause::kNone;
  if (result.Why != Cause::kNone) return result.Why;
  switch (result.Code) {
    case kReadBackDiffers: return Cause::kReadBackDiffers;
    case kCannotDo: return Cause::kCannotReceive;
    case kNotSupported: return Cause::kNotSupported;
    case kUnsendableValue: return Cause::kBadValue;
    case kInterrupted: return Cause::kInterrupted;
    case kNotStarted: return Cause::kNotStarted;
    case kCancelled: return Cause::kCancelled;
    default: return Cause::kOther;
  }
}

TargetResult Failed(const Result& status) {
  TargetResult result;
  result.Why = status.cause;
  result.Code = status.code == kSuccess ? kUnknownError : static_cast<int>(status.code);
  result.Detail = status.Text();
  const int error = status.error_number;
  if (error == EMFILE || error == ENFILE) result.LocalErrno = error;
  return result;
}

std::string InterruptSummary(const std::vector<TargetResult>& results, Language language) {
  std::size_t interrupted = 0;
  std::size_t not_started = 0;
  for (const TargetResult& result : results) {
    interrupted += result.Code == kInterrupted ? 1 : 0;
    not_started += result.Code == kNotStarted ? 1 : 0;
  }
  const std::size_t done = results.size() - interrupted - not_started;
  std::string text = FormatText(kInterruptSummaryText, language, std::to_string(done),
                                std::to_string(interrupted));
  const std::size_t third = text.find("%3");
  if (third != std::string::npos) text.replace(third, 2, std::to_string(not_started));
  return text;
}

int DescriptorsPerTarget(LinkKind kind) {
  switch (kind) {
    case lkUsb: return 6;
    case lkCom:
    case lkLpt:
    case lkEthernet: return 3;
  }
  return 6;
}

std::size_t JobsWithin(std::size_t wanted, const std::vector<Target>& targets, long limit,
                       long open) {
  if (limit < 0 || targets.empty()) return std::max<std::size_t>(wanted, 1);
  int each = 1;
  for (const Target& target : targets) each = std::max(each, DescriptorsPerTarget(target.Kind));
  const long free = limit - std::max(open, 0L) - kDescriptorHeadroom;
  const auto fit = static_cast<std::size_t>(std::max(free / each, 1L));
  return std::max<std::size_t>(std::min(wanted, fit), 1);
}

long RaiseDescriptorLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
  if (limit.rlim_cur != limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &raised);
  }
  return DescriptorLimit();
}

SystemLinkOptions LinkOptionsFor(const Target& target) {
  SystemLinkOptions options;
  options.Ports = std::make_shared<TargetPorts>();
  options.UsbDevice = UsbSelector{target.UsbPortPath, target.UsbSerial};
  return options;
}

std::string DeviceKey(const Target& target) {
  if (target.Kind != lkCom && target.Kind != lkLpt) return PrinterKey(target);
  const TargetPorts ports;
  const std::string device = target.Kind == lkCom
                                 ? ports.SerialDevice(target.Settings.Serial.PortName)
                                 : ports.ParallelDevice(target.Settings.LptName);
  std::error_code failed;
  const std::filesystem::path resolved = std::filesystem::canonical(device, failed);
  return (target.Kind == lkCom ? "serial:" : "parallel:") + (failed ? device : resolved.string());
}

namespace {

// One exchange at a time on a device: a lock a device, held by the target whose turn it is.
struct DeviceTurns {
  std::map<std::string, std::mutex> locks;  // by DeviceKey
  std::vector<std::mutex*> of;              // each target's device's
  explicit DeviceTurns(const std::vector<Target>& targets) {
    of.reserve(targets.size());
    for (const Target& target : targets) of.push_back(&locks[DeviceKey(target)]);
  }
};

}  // namespace

std::vector<TargetResult> RunFleet(
    const std::vector<Target>& targets, const FleetOptions& options, const TargetJob& job,
    const std::function<void(std::size_t, const TargetResult&)>& report) {
  const std::size_t total = targets.size();
  DeviceTurns turns(targets);
  FleetState state(total);
  std::vector<std::optional<TargetResult>>& done = state.done;
  std::mutex& mutex = state.mutex;
  std::condition_variable& finished = state.finished;
  std::atomic<std::size_t> next{0};
  const Clock::time_point origin = Clock::now();

  auto write_message = [&options](const std::string& text) { WriteMessage(options, text); };

  auto work = [&] {
    for (std::size_t i = next++; i < total; i = next++) {
      std::optional<TargetResult> result = HeldBack(i, options, state);
      bool started = false;
      if (!result.has_value()) {
        std::unique_lock turn(*turns.of[i]);  // its turn on its device
        if (options.Stop != nullptr && options.Stop->load()) {
          result = TargetResult{};
          result->Code = kNotStarted;
        } else {
          result = RunTarget(targets[i], options, job, origin);
          started = true;
        }
      }
      {
        std::lock_guard lock(mutex);
        state.failed += started && !result->Ok() ? 1 : 0;
        ++state.ended;
        done[i] = std::move(result);
      }
      finished.notify_all();
    }
  };

  const std::size_t asked = options.Jobs > 0 ? static_cast<std::size_t>(options.Jobs) : kMaxJobs;
  const std::size_t wanted = std::max<std::size_t>(std::min(total, asked), 1);
  const long limit = DescriptorLimit();
  const std::size_t workers = JobsWithin(wanted, targets, limit, OpenDescriptors());
  // The default takes what the limit carries without a word; a number asked for is told.
  if (workers < wanted && options.Jobs > 0 && !options.Quiet) {
    write_message(
        FormatText(kFewerJobsText, options.Lang, std::to_string(workers), std::to_string(limit)));
  }
  std::vector<std::thread> threads;
  threads.reserve(workers);
  for (std::size_t w = 0; w < workers; ++w) threads.emplace_back(work);

  std::vector<TargetResult> results;
  results.reserve(total);
  std::size_t reported = 0;
  std::size_t failures = 0;
  auto progress = [&](std::size_t finished_count) {
    if (!options.Progress) return;
    char line[128];
    std::snprintf(line, sizeof line, "\r%zu/%zu done, %zu failed, %.1f s", finished_count, total,
                  failures, MillisecondsSince(origin) / 1000.0);
    write_message(line);
  };
  while (reported < total) {
    std::vector<std::pair<std::size_t, TargetResult>> ready;
    std::size_t finished_count = 0;
    {
      std::unique_lock lock(mutex);
      finished.wait_for(lock, std::chrono::milliseconds(options.Progress ? 200 : 1000),
                        [&] { return done[reported].has_value(); });
      while (reported + ready.size() < total && done[reported + ready.size()]) {
        const std::size_t index = reported + ready.size();
        ready.emplace_back(index, *done[index]);
      }
      finished_count = static_cast<std::size_t>(
          std::count_if(done.begin(), done.end(), [](const auto& r) { return r.has_value(); }));
    }
    for (auto& [index, result] : ready) {
      if (!result.Ok()) ++failures;
      if (options.Progress) write_message("\r\033[K");
      report(index, result);
      results.push_back(std::move(result));
    }
    reported += ready.size();
    progress(finished_count);
  }
  if (options.Progress) write_message("\r\033[K");
  for (std::thread& thread : threads) thread.join();
  return results;
}

InterruptWatch::InterruptWatch(std::atomic<bool>& stop, std::function<void(int)> on_signal)
    : stop_(stop), on_signal_(std::move(on_signal)) {
  sigemptyset(&signals_);
  sigaddset(&signals_, SIGINT);
  sigaddset(&signals_, SIGTERM);
  if (::pthread_sigmask(SIG_BLOCK, &signals_, &previous_) != 0) return;
  signal_fd_ = ::signalfd(-1, &signals_, SFD_CLOEXEC | SFD_NONBLOCK);
  wake_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (signal_fd_ < 0 || wake_fd_ < 0) {
    // Without the descriptors the signals keep their usual effect.
    if (signal_fd_ >= 0) ::close(signal_fd_);
    if (wake_fd_ >= 0) ::close(wake_fd_);
    signal_fd_ = wake_fd_ = -1;
    ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    return;
  }
  thread_ = std::thread([this] {
    for (;;) {
      pollfd watched[2] = {{signal_fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
      if (::poll(watched, 2, -1) < 0 && errno != EINTR) return;
      if ((watched[1].revents & POLLIN) != 0) return;
      Drain(true);
    }
  });
}

void InterruptWatch::Drain(bool notify) {
  signalfd_siginfo info{};
  while (::read(signal_fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    stop_.store(true);
    ++count_;
    if (notify && on_signal_) on_signal_(count_);
  }
}

InterruptWatch::~InterruptWatch() {
  if (signal_fd_ < 0) return;
  const std::uint64_t one = 1;
  while (::write(wake_fd_, &one, sizeof one) < 0 && errno == EINTR) {
  }
  thread_.join();
  Drain(false);
  ::close(signal_fd_);
  ::close(wake_fd_);
  ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

}  // namespace krt6::cli
