// scan NETWORK [--port P]: the printers of a range or host list that answer the status query,
// each as a status result of the output contract.
#include <algorithm>

#include "cli/commands/command.h"
#include "cli/discovery.h"

namespace krt6::cli {
namespace {

struct ScanArguments {
  std::string network;
  int port = 8000;
};

void AddScanOptions(CLI::App& command, ScanArguments& arguments) {
  command.add_option("network", arguments.network, "e.g. 192.168.1.0/24 or host1,host2")
      ->required();
  command.add_option("--port", arguments.port, "the printers' TCP port (default 8000)")
      ->check(CLI::Range(1, 65535));
}

int RunScan(const ScanArguments& arguments, const CommandContext& context) {
  const Language language = context.language;
  const ScanHosts hosts = ParseScanNetwork(arguments.network, language);
  if (!hosts.Error.empty()) return context.reporter.Usage(hosts.Error);
  ScanOptions options;
  options.Port = arguments.port;
  options.Jobs = std::max(context.globals.jobs, 64);
  options.Lang = language;
  const std::vector<ScanHit> hits = ScanNetwork(hosts.Hosts, options);
  for (const ScanHit& hit : hits) {
    const std::string host =
        hit.Host.find(':') != std::string::npos ? "[" + hit.Host + "]" : hit.Host;
    const std::string target = "socket://" + host + ":" + std::to_string(hit.Port);
    TargetResult result;
    result.Data = {{"status_code", hit.StatusCode}, {"status", hit.StatusText}};
    context.reporter.Record(JsonLine(target, "scan", result, language),
                            target + "  " + hit.StatusText);
  }
  return hits.empty() ? kExitFailed : kExitOk;
}

}  // namespace

CommandRegistration ScanRegistration() {
  return Register<ScanArguments>(
      "scan", "ask every address of a range (at most a /22) or a host list for its status", false,
      AddScanOptions, RunScan);
}

}  // namespace krt6::cli
