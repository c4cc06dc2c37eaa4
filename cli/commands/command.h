// krt6ctl's commands, each in a file of its own with its arguments and its run, and registered
// in one list (Commands) that RunKrt6ctl builds the command line from.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <memory>
#include <vector>

#include "cli/commands/shared.h"

namespace krt6::cli {

// The run of a command whose arguments are parsed: its exit status.
using CommandRun = std::function<int(const CommandContext& context)>;

struct CommandRegistration {
  const char* Name;
  const char* Description;
  // Whether it works on -t/--targets (which it requires), or refuses them.
  bool NeedsTargets;
  // Declares the arguments on the command's own subcommand and returns the run that reads them.
  std::function<CommandRun(CLI::App& command)> AddOptions;
  // A command that needs no targets but takes -t as texts to select by (history): the texts are
  // left in the globals, unparsed, and no printer is opened.
  bool FiltersByTarget = false;
  // Whether it takes the values of a targets table's rows (set alone); the others refuse a table
  // with value columns.
  bool TakesTargetValues = false;
  // A monitoring plugin (check): bad usage, its parse errors included, is reported on stdout as
  // "K-RT6 UNKNOWN - MESSAGE" and ends with exit status 3 (see Reporter::SetPlugin).
  bool Plugin = false;
};

// A registration from a command's options type, the function declaring them and its run.
template <typename Options>
CommandRegistration Register(const char* name, const char* description, bool needs_targets,
                             void (*add_options)(CLI::App&, Options&),
                             int (*run)(const Options&, const CommandContext&)) {
  return {name, description, needs_targets,
          [add_options, run](CLI::App& command) -> CommandRun {
            auto options = std::make_shared<Options>();
            add_options(command, *options);
            return [options, run](const CommandContext& context) { return run(*options, context); };
          },
          false};
}

// A command without arguments of its own.
struct NoOptions {};
inline void AddNoOptions(CLI::App&, NoOptions&) {}

// Every command, each defined in cli/commands/NAME.cpp.
CommandRegistration StatusRegistration();
CommandRegistration VersionRegistration();
CommandRegistration CalibrateRegistration();  // maintenance.cpp
CommandRegistration Z1Registration();         // maintenance.cpp
CommandRegistration Z4Registration();         // maintenance.cpp
CommandRegistration GetRegistration();
CommandRegistration SetRegistration();
CommandRegistration ConvertRegistration();
CommandRegistration DiffRegistration();
CommandRegistration ListRegistration();
CommandRegistration ScanRegistration();
CommandRegistration HistoryRegistration();
CommandRegistration BackupRegistration();
CommandRegistration RestoreRegistration();
CommandRegistration CheckRegistration();
CommandRegistration WatchRegistration();

// The commands in the order of --help.
const std::vector<CommandRegistration>& Commands();

}  // namespace krt6::cli
