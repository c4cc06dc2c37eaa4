// convert IN OUT: a configuration file into another format (.ts0/.ts1 and JSON).
#include "cli/commands/command.h"
#include "config/configuration.h"

namespace krt6::cli {
namespace {

struct ConvertOptions {
  std::string in;
  std::string out;
};

void AddConvertOptions(CLI::App& command, ConvertOptions& options) {
  command.add_option("in", options.in, "the file to read")->required();
  command.add_option("out", options.out, "the file to write")->required();
}

int RunConvert(const ConvertOptions& options, const CommandContext& context) {
  const Language language = context.language;
  Reporter& reporter = context.reporter;
  auto loaded = LoadConfiguration(options.in, language, ValueUse::kStore);
  if (auto* refused = std::get_if<ConfigError>(&loaded)) return reporter.Usage(refused->Message);
  if (!IsConfigurationFileName(options.out)) {
    return reporter.Usage(FormatText(kFileNameText, language, options.out));
  }
  const ConfigError saved =
      SaveConfiguration(options.out, std::get<Configuration>(loaded), language);
  if (!saved.Ok()) {
    reporter.Error(saved.Message);
    return saved.Key.empty() ? kExitFailed : kExitUsage;
  }
  return kExitOk;
}

}  // namespace

CommandRegistration ConvertRegistration() {
  return Register<ConvertOptions>("convert", "convert between .ts0/.ts1 and JSON: convert IN OUT",
                                  false, AddConvertOptions, RunConvert);
}

}  // namespace krt6::cli
