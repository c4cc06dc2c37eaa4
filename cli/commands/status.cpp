// status: the printer's status text and code; with --textfile, every target's status also as a
// node exporter textfile (the metrics of krt6-exporter's fleet page).
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/commands/command.h"
#include "files/file_io.h"
#include "monitor/metrics.h"

namespace krt6::cli {
namespace {

// %1 the file, %2 why (the system's account).
constexpr TextPair kTextfileText{"%1: cannot write the textfile (%2)",
                                 "%1: テキストファイルを書き込めません (%2)"};

struct StatusOptions {
  std::string textfile;
};

void AddStatusOptions(CLI::App& command, StatusOptions& options) {
  command.add_option("--textfile", options.textfile,
                     "also write every target's status to FILE for the node exporter's textfile "
                     "collector (replaced whole: a temporary file beside it, renamed)");
}

// What a status result says as a probe: up with its status index, or down with its cause.
monitor::FleetPrinter Printer(const Target& target, const TargetResult& result) {
  monitor::FleetPrinter printer;
  printer.target = target.Text;
  monitor::Probe& probe = printer.sample.probe;
  probe.up = result.Ok() && result.Data.is_object() && result.Data.contains("status_code");
  probe.seconds = result.ElapsedMs / 1000;
  if (probe.up) {
    probe.status_index = result.Data["status_code"].get<int>();
  } else {
    probe.result.code = kUnknownError;
    probe.result.cause = ResultCause(result);
    if (probe.result.cause == Cause::kNone) probe.result.cause = Cause::kOther;
  }
  return printer;
}

int WriteTextfile(const std::string& path, const std::vector<monitor::FleetPrinter>& printers,
                  const CommandContext& context) {
  const std::string page = monitor::RenderFleet(printers);
  const FileResult written =
      ReplaceFileAtomically(path, reinterpret_cast<const std::uint8_t*>(page.data()), page.size());
  if (written.Ok()) return kExitOk;
  context.reporter.Error(
      FormatText(kTextfileText, context.language, path, written.Describe(context.language)));
  return kExitFailed;
}

int RunStatus(const StatusOptions& options, const CommandContext& context) {
  const Language language = context.language;
  const TargetJob job = [language](Session& session, const Target&) {
    return StatusCommand(session, language);
  };
  if (options.textfile.empty()) return RunOnTargets(context, "status", job);
  std::vector<monitor::FleetPrinter> printers;
  TargetRun run;
  run.each = [&printers](const Target& target, const TargetResult& result) {
    printers.push_back(Printer(target, result));
  };
  const int status = RunOnTargets(context, "status", job, run);
  // An interrupted run leaves the last file as it was rather than call the printers not
  // reached down.
  if (status == kExitInterrupted) return status;
  const int written = WriteTextfile(options.textfile, printers, context);
  return written != kExitOk ? written : status;
}

}  // namespace

CommandRegistration StatusRegistration() {
  return Register<StatusOptions>("status", "the printer's status text and code", true,
                                 AddStatusOptions, RunStatus);
}

}  // namespace krt6::cli
