#include "cli/app.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/fleet.h"
#include "cli/output.h"
#include "cli/target.h"
#include "texts/system_language.h"

#ifndef KRT6_VERSION
#define KRT6_VERSION "0"
#endif

namespace krt6::cli {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct Globals {
  std::vector<std::string> targets;
  std::string targets_file;
  bool json = false;
  int jobs = 16;
  bool verbose = false;
  bool quiet = false;
  std::string lang;
};

int Usage(const std::string& message) {
  std::cerr << "krt6ctl: " << message << "\n";
  return kExitUsage;
}

Language ChosenLanguage(const Globals& globals) {
  if (globals.lang == "ja") return Language::kJapanese;
  if (globals.lang == "en") return Language::kEnglish;
  return LanguageForLocale(SystemLocaleName([](const char* name) { return std::getenv(name); }));
}

// The targets of -t and --targets, parsed; false (after the message) when one is wrong or none
// is given.
bool CollectTargets(const Globals& globals, std::vector<Target>& targets, int& status) {
  std::vector<std::string> texts = globals.targets;
  if (!globals.targets_file.empty()) {
    std::string error;
    if (!ReadTargetsFile(globals.targets_file, texts, error)) {
      status = Usage(error);
      return false;
    }
  }
  if (texts.empty()) {
    status = Usage("no target: give -t TARGET or --targets FILE");
    return false;
  }
  for (const std::string& text : texts) {
    auto parsed = ParseTarget(text);
    if (auto* error = std::get_if<std::string>(&parsed)) {
      status = Usage(*error);
      return false;
    }
    targets.push_back(std::get<Target>(std::move(parsed)));
  }
  return true;
}

// Runs `job` on every target and reports each: a JSON line with --json, else the result text
// (prefixed with the target when there are several) on stdout and failures on stderr.
int RunOnTargets(const Globals& globals, const std::vector<Target>& targets,
                 const std::string& command, Language language, const TargetJob& job) {
  std::mutex messages_lock;
  FleetOptions options;
  options.Jobs = globals.jobs;
  options.Lang = language;
  options.Trace = globals.verbose;
  options.Progress = !globals.quiet && targets.size() > 1 && ::isatty(STDERR_FILENO) == 1;
  options.Messages = &std::cerr;
  options.MessagesLock = &messages_lock;
  bool all_ok = true;
  const bool several = targets.size() > 1;
  RunFleet(targets, options, job, [&](std::size_t index, const TargetResult& result) {
    const std::string& target = targets[index].Text;
    all_ok = all_ok && result.Ok();
    std::lock_guard lock(messages_lock);
    if (globals.json) {
      std::cout << JsonLine(target, command, result, language) << "\n" << std::flush;
      return;
    }
    const std::string prefix = several ? target + ": " : std::string();
    if (!result.Ok()) {
      std::cerr << "krt6ctl: " << target << ": " << ResultText(result.Code, language);
      if (!result.Detail.empty()) std::cerr << ": " << result.Detail;
      std::cerr << "\n";
      if (!result.Changes.empty()) std::cerr << ChangesText(result.Changes, "  ");
      return;
    }
    if (globals.quiet) return;
    std::cout << prefix << result.Text << "\n";
    if (!result.Changes.empty()) std::cout << ChangesText(result.Changes, "  ");
    std::cout << std::flush;
  });
  return all_ok ? kExitOk : kExitFailed;
}

}  // namespace

int RunKrt6ctl(int argc, char** argv) {
  Globals globals;
  CLI::App app{
      "krt6ctl: status, settings and maintenance of K-RT6 label printers, one or a fleet.\n"
      "Targets: socket://HOST[:PORT] (or HOST, HOST:PORT, [IPv6]:PORT), "
      "serial:DEVICE[?baud=9600+bits=8+parity=none+stop=1+flow=rts+xonxoff], parallel:DEVICE, "
      "usb:, usb:BUS-PORTPATH, usb:?serial=STRING.\n"
      "Exit status: 0 every target succeeded, 1 some target failed, 2 bad usage or input.",
      "krt6ctl"};
  app.set_version_flag("--version", "krt6ctl " KRT6_VERSION);
  app.require_subcommand(1);
  app.fallthrough();
  app.add_option("-t,--target", globals.targets, "a printer (repeatable)")->type_name("TARGET");
  app.add_option("--targets", globals.targets_file, "a file of targets, one a line, # comments")
      ->type_name("FILE");
  app.add_flag("--json", globals.json, "one JSON object a target on stdout (JSON Lines)");
  app.add_option("-j,--jobs", globals.jobs, "targets handled at once (default 16)")
      ->check(CLI::Range(1, 1024));
  app.add_flag("-v,--verbose", globals.verbose, "byte trace of every exchange on stderr");
  app.add_flag("-q,--quiet", globals.quiet, "print failures only");
  app.add_option("--lang", globals.lang, "message language (default: from the locale)")
      ->check(CLI::IsMember({"en", "ja"}));

  int status = kExitOk;
  std::vector<Target> targets;
  std::function<int(Language)> run;

  auto* status_command = app.add_subcommand("status", "the printer's status text and code");
  status_command->callback([&] {
    run = [&](Language language) {
      return RunOnTargets(
          globals, targets, "status", language,
          [language](Session& session, const Target&) { return StatusCommand(session, language); });
    };
  });

  auto* version_command = app.add_subcommand("version", "the firmware version text and its class");
  version_command->callback([&] {
    run = [&](Language language) {
      return RunOnTargets(globals, targets, "version", language,
                          [](Session& session, const Target&) { return VersionCommand(session); });
    };
  });

  std::string sensor;
  auto* calibrate_command = app.add_subcommand("calibrate", "media sensor calibration");
  calibrate_command->add_option("sensor", sensor, "reflective, transmissive or none")
      ->required()
      ->check(CLI::IsMember({"reflective", "transmissive", "none"}));
  calibrate_command->callback([&] {
    const std::int32_t value = sensor == "reflective" ? 0 : sensor == "transmissive" ? 1 : 2;
    run = [&, value](Language language) {
      return RunOnTargets(globals, targets, "calibrate", language,
                          [value](Session& session, const Target&) {
                            return MaintenanceCommand(session, Maintenance::kCalibrate, value);
                          });
    };
  });

  std::string selector;
  auto* z1_command = app.add_subcommand("z1", "maintenance command Z1 (0: Z10, 1: Z11)");
  z1_command->add_option("selector", selector, "0 or 1")
      ->required()
      ->check(CLI::IsMember({"0", "1"}));
  z1_command->callback([&] {
    const std::int32_t value = selector == "1" ? 1 : 0;
    run = [&, value](Language language) {
      return RunOnTargets(globals, targets, "z1", language,
                          [value](Session& session, const Target&) {
                            return MaintenanceCommand(session, Maintenance::kZ1, value);
                          });
    };
  });

  auto* z4_command = app.add_subcommand("z4", "maintenance command Z4");
  z4_command->callback([&] {
    run = [&](Language language) {
      return RunOnTargets(globals, targets, "z4", language, [](Session& session, const Target&) {
        return MaintenanceCommand(session, Maintenance::kZ4, 0);
      });
    };
  });

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return Usage(std::string(e.what()) + " (see --help)");
  }
  const Language language = ChosenLanguage(globals);
  if (!CollectTargets(globals, targets, status)) return status;
  return run ? run(language) : Usage("no command (see --help)");
}

}  // namespace krt6::cli
