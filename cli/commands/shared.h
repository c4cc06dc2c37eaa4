// What krt6ctl's commands share: the global options, the exit statuses, the message language,
// the targets of -t and --targets, and the run of a job over every target with its report.
#pragma once

#include <CLI/CLI.hpp>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "cli/fleet.h"
#include "cli/history.h"
#include "cli/output.h"
#include "cli/target.h"
#include "texts/language.h"
#include "texts/texts.h"

namespace krt6::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
// set --check: every target succeeded and some would change; diff: the two sides differ.
inline constexpr int kExitDrift = 3;
inline constexpr int kExitInterrupted = 130;  // as a shell reports a program that SIGINT ended

// A file to write whose extension no configuration file has (get -o, convert).
inline constexpr TextPair kFileNameText{
    "%1: the file name must end in .json, .ts0 or .ts1",
    "%1: ファイル名の末尾は .json、.ts0、.ts1 のいずれかにしてください"};

// The options before (or around) the command.
struct Globals {
  std::vector<std::string> targets;
  std::string targets_file;
  bool json = false;
  int jobs = 0;  // 0: as many at once as the descriptor limit carries
  bool verbose = false;
  bool quiet = false;
  std::string lang;
  std::string history_path;  // --history FILE; empty: the default file
  bool no_history = false;
  int max_failures = 0;               // 0: no limit
  std::atomic<bool>* stop = nullptr;  // set when the operator interrupts a fleet run
};

// Declares the global options on the program's app, into `globals`.
void AddGlobalOptions(CLI::App& app, Globals& globals);

// --batch N of the commands that write: N targets written and verified, then the next N.
void AddBatchOption(CLI::App& command, std::size_t& batch);

// The history file of the run: --history, else the default one; empty with --no-history (or
// when no folder for it is known).
std::string HistoryPath(const Globals& globals);

// --lang, else the language of the locale.
Language ChosenLanguage(const Globals& globals);

// The targets of -t and --targets, parsed, each once; false (after the message, `status` the exit
// status) when one is wrong, two name the same printer, or none is given.
bool CollectTargets(const Globals& globals, Reporter& reporter, std::vector<Target>& targets,
                    int& status);

// What a command's run is given once the command line is parsed.
struct CommandContext {
  const Globals& globals;
  Language language;
  const std::vector<Target>& targets;  // empty for the commands that take none
  Reporter& reporter;
  History* history = nullptr;  // the run's history (null: none kept)
};

// The one hook of the commands that write to printers: appends `result` of `command` on `target`
// to the run's history. Call it for every target's result, "not started" ones included, and not
// for a run that only looks (set --check).
void RecordHistory(const CommandContext& context, const std::string& command, const Target& target,
                   const TargetResult& result);

// What a command's run over its targets adds to the global options.
struct TargetRun {
  // Called on the calling thread with each target's result, in target order, once it is
  // reported (RecordHistory for the commands that write).
  std::function<void(const Target&, const TargetResult&)> each;
  std::size_t batch = 0;  // set --batch: the targets in batches of this many (0: one batch)
  // set --check: a run whose targets all succeeded and some of which list changes ends with
  // kExitDrift.
  bool drift = false;
};

// The fleet options of a run over the context's targets; with `reported`, the progress line, the
// notices and the lock of the reporter.
FleetOptions FleetOptionsFor(const CommandContext& context, bool reported);

// Runs `job` on every target and reports each through the reporter (the text after the target
// when there are several). SIGINT or SIGTERM stops the starting of targets; the report then
// covers every target, a summary line follows on stderr and the exit status is 130. Once
// --max-failures targets have failed the others are not started either: a summary line follows
// and the exit status is 1. See TargetRun for drift.
int RunOnTargets(const CommandContext& context, const std::string& command, const TargetJob& job,
                 const TargetRun& run = {});

}  // namespace krt6::cli
