// The maintenance commands: calibrate SENSOR, z1 SELECTOR and z4.
#include "cli/commands.h"
#include "cli/commands/command.h"

namespace krt6::cli {
namespace {

// The one argument of calibrate and z1, as given.
struct Selection {
  std::string value;
};

int RunMaintenance(const CommandContext& context, const char* name, Maintenance command,
                   std::int32_t value) {
  TargetRun run;
  run.each = [&context, name](const Target& target, const TargetResult& result) {
    RecordHistory(context, name, target, result);
  };
  return RunOnTargets(
      context, name,
      [command, value](Session& session, const Target&) {
        return MaintenanceCommand(session, command, value);
      },
      run);
}

void AddSensor(CLI::App& command, Selection& options) {
  command.add_option("sensor", options.value, "reflective, transmissive or none")
      ->required()
      ->check(CLI::IsMember({"reflective", "transmissive", "none"}));
}

int RunCalibrate(const Selection& options, const CommandContext& context) {
  const std::string& sensor = options.value;
  const std::int32_t value = sensor == "reflective" ? 0 : sensor == "transmissive" ? 1 : 2;
  return RunMaintenance(context, "calibrate", Maintenance::kCalibrate, value);
}

void AddSelector(CLI::App& command, Selection& options) {
  command.add_option("selector", options.value, "0 or 1")
      ->required()
      ->check(CLI::IsMember({"0", "1"}));
}

int RunZ1(const Selection& options, const CommandContext& context) {
  return RunMaintenance(context, "z1", Maintenance::kZ1, options.value == "1" ? 1 : 0);
}

int RunZ4(const NoOptions&, const CommandContext& context) {
  return RunMaintenance(context, "z4", Maintenance::kZ4, 0);
}

}  // namespace

CommandRegistration CalibrateRegistration() {
  return Register<Selection>("calibrate", "media sensor calibration", true, AddSensor,
                             RunCalibrate);
}

CommandRegistration Z1Registration() {
  return Register<Selection>("z1", "maintenance command Z1 (0: Z10, 1: Z11)", true, AddSelector,
                             RunZ1);
}

CommandRegistration Z4Registration() {
  return Register<NoOptions>("z4", "maintenance command Z4", true, AddNoOptions, RunZ4);
}

}  // namespace krt6::cli
