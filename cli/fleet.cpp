#include "cli/fleet.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <optional>
#include <thread>

#include "session/trace_text.h"
#include "texts/texts.h"

namespace krt6::cli {

std::string ResultText(int code, Language language) {
  switch (code) {
    case 0: return TextFor(kSuccessText, language);
    case kReadBackDiffers: return TextFor(kReadBackDiffersText, language);
    case kCannotDo: return TextFor(kCannotDoText, language);
    case kNotSupported: return TextFor(kNotSupportedText, language);
    case kUnsendableValue: return TextFor(kUnsendableValueText, language);
    default: return MessageText(code, language);
  }
}

TargetResult Failed(const OutcomeStatus& status) {
  TargetResult result;
  result.Code = status.Code == kSuccess ? kUnknownError : static_cast<int>(status.Code);
  result.Detail = status.Details;
  return result;
}

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

SystemLinkOptions LinkOptionsFor(const Target& target) {
  SystemLinkOptions options;
  options.Ports = std::make_shared<TargetPorts>();
  options.UsbDevice = UsbSelector{target.UsbPortPath, target.UsbSerial};
  return options;
}

std::vector<TargetResult> RunFleet(
    const std::vector<Target>& targets, const FleetOptions& options, const TargetJob& job,
    const std::function<void(std::size_t, const TargetResult&)>& report) {
  const std::size_t total = targets.size();
  std::vector<std::optional<TargetResult>> done(total);
  std::mutex mutex;
  std::condition_variable finished;
  std::atomic<std::size_t> next{0};
  const Clock::time_point origin = Clock::now();

  auto write_message = [&options](const std::string& text) {
    if (options.Messages == nullptr) return;
    std::unique_lock<std::mutex> hold;
    if (options.MessagesLock != nullptr) hold = std::unique_lock(*options.MessagesLock);
    *options.Messages << text << std::flush;
  };

  auto work = [&] {
    for (std::size_t i = next++; i < total; i = next++) {
      const Target& target = targets[i];
      const auto links = options.Links ? options.Links(target) : LinkOptionsFor(target);
      Session session([&links](LinkLayer& link) { InstallSystemLinks(link, links); });
      session.Settings() = target.Settings;
      session.SetLinkKind(target.Kind);
      session.SetLanguage(options.Lang);
      if (options.Trace) {
        session.SetTraceObserver([&, tag = "[" + target.Text + "] "](const TraceEvent& event) {
          write_message(tag + TraceLine(event, origin) + "\n");
        });
      }
      const Clock::time_point start = Clock::now();
      TargetResult result;
      try {
        result = job(session, target);
      } catch (const std::exception& error) {
        result = TargetResult{};
        result.Code = kUnknownError;
        result.Detail = error.what();
      }
      result.ElapsedMs = MillisecondsSince(start);
      {
        std::lock_guard lock(mutex);
        done[i] = std::move(result);
      }
      finished.notify_all();
    }
  };

  const std::size_t workers =
      std::min<std::size_t>(total, static_cast<std::size_t>(std::max(1, options.Jobs)));
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

}  // namespace krt6::cli
