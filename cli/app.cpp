#include "cli/app.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands/command.h"
#include "link/link_kinds.h"
#include "texts/texts.h"

#ifndef KRT6_VERSION
#define KRT6_VERSION "0"
#endif

namespace krt6::cli {
namespace {

// The program's description for --help, with the target forms of every link kind.
std::string About() {
  std::string forms;
  for (const LinkKindInfo* kind : LinkKinds()) {
    forms += (forms.empty() ? "" : ", ") + std::string(kind->uri_forms);
  }
  return "krt6ctl: status, settings and maintenance of K-RT6 label printers, one or a fleet.\n"
         "Targets: " +
         forms +
         ".\n"
         "Exit status: 0 every target succeeded, 1 some target failed, 2 bad usage or input, 3 "
         "drift (set's check: every target succeeded and some would change; diff: the two "
         "sides differ), 130 interrupted (SIGINT or SIGTERM: the running targets end, the others "
         "are "
         "not started).";
}

constexpr TextPair kNoTargetsTakenText{"this command takes no -t/--targets",
                                       "このコマンドは -t/--targets を取りません"};
constexpr TextPair kValuesForSetText{
    "%1: the targets file gives values (%2): only set takes them; other commands take a table "
    "with the target column alone",
    "%1: ターゲットファイルに値があります (%2): 値を使えるのは set だけです。ほかのコマンドには "
    "target 列だけの表を指定してください"};
constexpr TextPair kNoCommandText{"no command (see --help)",
                                  "コマンドがありません (--help を参照)"};

// A registered command on the program's command line.
struct Declared {
  const CommandRegistration* registration;
  CLI::App* command;
  CommandRun run;
};

}  // namespace

const std::vector<CommandRegistration>& Commands() {
  static const std::vector<CommandRegistration> commands{
      StatusRegistration(), VersionRegistration(), CalibrateRegistration(), Z1Registration(),
      Z4Registration(),     GetRegistration(),     SetRegistration(),       ConvertRegistration(),
      DiffRegistration(),   ListRegistration(),    ScanRegistration(),      HistoryRegistration(),
      BackupRegistration(), RestoreRegistration(), CheckRegistration(),     WatchRegistration()};
  return commands;
}

int RunKrt6ctl(int argc, char** argv) { return RunKrt6ctl(argc, argv, std::cout, std::cerr); }

int RunKrt6ctl(int argc, char** argv, std::ostream& out, std::ostream& err) {
  // A fleet may need more descriptors than the usual soft limit; RunFleet keeps within this one.
  RaiseDescriptorLimit();
  std::atomic<bool> stop{false};
  Globals globals;
  globals.stop = &stop;
  CLI::App app{About(), "krt6ctl"};
  app.set_version_flag("--version", "krt6ctl " KRT6_VERSION);
  app.require_subcommand(1);
  app.fallthrough();
  AddGlobalOptions(app, globals);
  std::vector<Declared> declared;
  for (const CommandRegistration& registration : Commands()) {
    CLI::App* command = app.add_subcommand(registration.Name, registration.Description);
    declared.push_back({&registration, command, registration.AddOptions(*command)});
  }

  Reporter reporter(out, err, &err == &std::cerr && ::isatty(STDERR_FILENO) == 1);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e, out, err);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e, out, err);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e, out, err);
  } catch (const CLI::ParseError& e) {
    // A plugin's command reports its parse errors as a plugin does.
    for (const Declared& d : declared) {
      if (!d.command->parsed() || !d.registration->Plugin) continue;
      reporter.SetMode(globals.json, globals.quiet, ChosenLanguage(globals));
      reporter.SetPlugin(true);
    }
    return reporter.Usage(std::string(e.what()) + " (see --help)");
  }
  const Language language = ChosenLanguage(globals);
  reporter.SetMode(globals.json, globals.quiet, language);
  const auto chosen = std::find_if(declared.begin(), declared.end(), [&](const Declared& d) {
    return app.got_subcommand(d.command);
  });
  if (chosen != declared.end()) reporter.SetPlugin(chosen->registration->Plugin);
  const bool needs_targets = chosen == declared.end() || chosen->registration->NeedsTargets;
  std::vector<Target> targets;
  int status = kExitOk;
  if (needs_targets && !CollectTargets(globals, reporter, targets, status)) return status;
  if (chosen != declared.end() && !chosen->registration->TakesTargetValues) {
    for (const Target& target : targets) {
      if (!target.Values) continue;
      std::string keys;
      for (const std::string& key : target.Values->Named())
        keys += (keys.empty() ? "" : ", ") + key;
      return reporter.Usage(
          FormatText(kValuesForSetText, language, Printable(target.Origin), keys));
    }
  }
  const bool filters = chosen != declared.end() && chosen->registration->FiltersByTarget;
  if (!needs_targets && !filters && (!globals.targets.empty() || !globals.targets_file.empty())) {
    return reporter.Usage(TextFor(kNoTargetsTakenText, language));
  }
  if (chosen == declared.end()) return reporter.Usage(TextFor(kNoCommandText, language));
  History history(HistoryPath(globals), language,
                  [&reporter](const std::string& warning) { reporter.Notice(warning, false); });
  return chosen->run(CommandContext{globals, language, targets, reporter, &history});
}

}  // namespace krt6::cli
