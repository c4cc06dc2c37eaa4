// Runs one command against many printers: a session for each target, `Jobs` of them at a time
// (by default all; fewer when the descriptor limit cannot carry that many), one at a time on a
// device, each with the links' own time limits, so a dead printer holds up only its own slot.
// Results are handed back in the order the targets were given, as soon as each and all before it
// are done. An operator's interrupt stops the starting of targets; the running ones end their
// exchange.
#pragma once

#include <signal.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/target.h"
#include "link/link_kinds.h"
#include "session/session.h"
#include "texts/language.h"

namespace krt6::cli {

// One field that differs: its key ("parameters.comm_speed") and both values as readable texts.
struct Change {
  std::string Key;
  std::string Before;
  std::string After;
};

// What a command did on one target.
struct TargetResult {
  int Code = 0;        // 0, the protocol's ResultCode 1-6, or one of the codes below
  std::string Detail;  // the link's or the protocol's account, or why the target cannot do it
  double ElapsedMs = 0;
  bool Changed = false;
  std::vector<Change> Changes;
  nlohmann::json Data;        // null when the command brings nothing back
  std::string Text;           // the human-readable result line (without the target)
  bool TextIsOutput = false;  // Text is what the command exists to print (shown even with -q)
  // EMFILE or ENFILE when the link could not be opened for want of a descriptor on this computer
  // (RunFleet then says so in the detail, in the run's language); 0 otherwise.
  int LocalErrno = 0;
  // Why it failed, for scripts and monitoring (CauseKey); kNone on success. A failed session
  // operation gives its own; krt6ctl's own codes give theirs (ResultCause).
  Cause Why = Cause::kNone;
  // The printer's firmware version when the command learned it ("1.0J"; set reads it or is
  // given it), else empty.
  std::string Firmware;
  bool Ok() const { return Code == 0; }
};

// Codes beyond the protocol's ResultCode.
inline constexpr int kReadBackDiffers = 7;   // the printer did not keep what was written
inline constexpr int kCannotDo = 8;          // the link cannot carry this command (no replies)
inline constexpr int kNotSupported = 9;      // the firmware cannot receive some keys given
inline constexpr int kInterrupted = 10;      // the operator interrupted the run: the job stopped
                                             // at a safe point, after what it had written
inline constexpr int kNotStarted = 11;       // the operator interrupted the run before this target
inline constexpr int kUnsendableValue = 12;  // a value the firmware's commands cannot carry

// The cause of a result: its own, else the one krt6ctl's own code stands for; kNone on success.
Cause ResultCause(const TargetResult& result);

// The texts of every code in `language` ("Success" for 0).
std::string ResultText(int code, Language language);

// The result of a failed session operation; a link that could not be opened for want of a
// descriptor on this computer (EMFILE, ENFILE) is marked in LocalErrno.
TargetResult Failed(const Result& status);

// "interrupted: N done, M interrupted, K not started" for the results of an interrupted run.
std::string InterruptSummary(const std::vector<TargetResult>& results, Language language);

// The system's links for `target`: port names through the fixed table or device paths as they
// are, and the USB printer its selector names.
SystemLinkOptions LinkOptionsFor(const Target& target);

using TargetJob = std::function<TargetResult(Session& session, const Target& target)>;

// The most targets run at once.
inline constexpr std::size_t kMaxJobs = 1024;

struct FleetOptions {
  // Targets run at once, at most; 0: every target at once, as many as the descriptor limit
  // carries (at most kMaxJobs).
  int Jobs = 0;
  Language Lang = Language::kEnglish;
  bool Trace = false;     // every chunk on `Messages`, hex and text, tagged with its target
  bool Progress = false;  // "done/total, failures, elapsed" on `Messages`, rewritten in place
  std::ostream* Messages = nullptr;
  std::mutex* MessagesLock = nullptr;  // held while writing to `Messages` (may be null)
  bool Quiet = false;  // no notices on `Messages` (that fewer targets run at once than `Jobs`)
  // Set when the operator interrupts: no target starts after it (each gets kNotStarted); the
  // jobs that run see the same flag and stop at their next safe point.
  const std::atomic<bool>* Stop = nullptr;
  // Once this many targets have failed no target starts (each gets kNotStarted, its detail
  // saying why); 0: no limit. The targets running then end as usual.
  std::size_t MaxFailures = 0;
  // The targets go in batches of this many, in their order: no target of a batch starts before
  // every target of the batches before it has ended; 0: one batch.
  std::size_t Batch = 0;
  // The links of a target (tests point them elsewhere); by default the system's, with device
  // paths allowed for serial and parallel ports.
  std::function<SystemLinkOptions(const Target&)> Links;
};

// The descriptors one target of `kind` holds at most while its job runs: the cancel token's
// eventfd, the device or socket, and what opening it takes for a moment (the resolver's socket or
// file, a sysfs file; for USB the library's event and timer descriptors).
int DescriptorsPerTarget(LinkKind kind);
// Descriptors kept free beside the targets' for standard streams, a trace, an output file and the
// libraries' own.
inline constexpr long kDescriptorHeadroom = 32;
// How many of `targets` may run at once, at most `wanted`, when `open` descriptors are in use
// and the limit is `limit` (< 0: none). At least 1.
std::size_t JobsWithin(std::size_t wanted, const std::vector<Target>& targets, long limit,
                       long open);
// Raises the soft descriptor limit to the hard one; returns the soft limit now (-1: none).
long RaiseDescriptorLimit();

// What names the device a target opens, for taking turns: a serial or parallel port's device path
// with its symbolic links resolved (/dev/serial/by-id/... and /dev/ttyUSB0 are one device), the
// PrinterKey of the others.
std::string DeviceKey(const Target& target);

// Runs `job` once for every target and calls `report(index, result)` on the calling thread in
// target order. Returns the results in target order. Never more targets run at once than
// JobsWithin allows under the process's descriptor limit, and never two whose DeviceKey is the
// same.
std::vector<TargetResult> RunFleet(
    const std::vector<Target>& targets, const FleetOptions& options, const TargetJob& job,
    const std::function<void(std::size_t, const TargetResult&)>& report);

// While it lives, SIGINT and SIGTERM do not end the process: each sets `stop` and calls
// `on_signal` with the number of such signals so far, on a thread of its own. Create it before
// the threads that must not take the signals (they inherit its mask). At the end the signals are
// handled as before; one that came while it ended sets `stop` too, without `on_signal`.
class InterruptWatch {
 public:
  InterruptWatch(std::atomic<bool>& stop, std::function<void(int count)> on_signal);
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

 private:
  // Takes the signals that came; `notify`: calls `on_signal` for each.
  void Drain(bool notify);

  std::atomic<bool>& stop_;
  std::function<void(int)> on_signal_;
  sigset_t signals_{};
  sigset_t previous_{};
  int signal_fd_ = -1;
  int wake_fd_ = -1;
  int count_ = 0;
  std::thread thread_;
};

}  // namespace krt6::cli
