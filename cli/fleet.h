// Runs one command against many printers: a session for each target, `Jobs` of them at a time,
// each with the links' own time limits, so a dead printer holds up only its own slot. Results are
// handed back in the order the targets were given, as soon as each and all before it are done.
#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/target.h"
#include "link/system_links.h"
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
  int Code = 0;        // 0, the protocol's ResultCode 1-6, or kReadBackDiffers / kCannotDo
  std::string Detail;  // the link's or the protocol's account, or why the target cannot do it
  double ElapsedMs = 0;
  bool Changed = false;
  std::vector<Change> Changes;
  nlohmann::json Data;        // null when the command brings nothing back
  std::string Text;           // the human-readable result line (without the target)
  bool TextIsOutput = false;  // Text is what the command exists to print (shown even with -q)
  bool Ok() const { return Code == 0; }
};

// Codes beyond the protocol's ResultCode.
inline constexpr int kReadBackDiffers = 7;   // the printer did not keep what was written
inline constexpr int kCannotDo = 8;          // the link cannot carry this command (no replies)
inline constexpr int kNotSupported = 9;      // the firmware cannot receive some keys given
inline constexpr int kInterrupted = 10;      // the operator interrupted the run
inline constexpr int kUnsendableValue = 12;  // a value the firmware's commands cannot carry

// The texts of every code in `language` ("Success" for 0).
std::string ResultText(int code, Language language);

// The result of a failed session operation.
TargetResult Failed(const OutcomeStatus& status);

// The system's links for `target`: port names through the fixed table or device paths as they
// are, and the USB printer its selector names.
SystemLinkOptions LinkOptionsFor(const Target& target);

using TargetJob = std::function<TargetResult(Session& session, const Target& target)>;

struct FleetOptions {
  int Jobs = 16;
  Language Lang = Language::kEnglish;
  bool Trace = false;     // every chunk on `Messages`, hex and text, tagged with its target
  bool Progress = false;  // "done/total, failures, elapsed" on `Messages`, rewritten in place
  std::ostream* Messages = nullptr;
  std::mutex* MessagesLock = nullptr;  // held while writing to `Messages` (may be null)
  // The links of a target (tests point them elsewhere); by default the system's, with device
  // paths allowed for serial and parallel ports.
  std::function<SystemLinkOptions(const Target&)> Links;
};

// Runs `job` once for every target and calls `report(index, result)` on the calling thread in
// target order. Returns the results in target order.
std::vector<TargetResult> RunFleet(
    const std::vector<Target>& targets, const FleetOptions& options, const TargetJob& job,
    const std::function<void(std::size_t, const TargetResult&)>& report);

}  // namespace krt6::cli
