// What each krt6ctl command does on one printer: the same session operations the window makes,
// and the result with its data for the output.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cli/fleet.h"
#include "session/session.h"

namespace krt6::cli {

// status: the status text and its code ({"status_code": N, "status": "ON LINE"}).
TargetResult StatusCommand(Session& session, Language language);
// version: the firmware version text and its class, the version item the formats follow
// ({"version": "1.0J", "class": 3}).
TargetResult VersionCommand(Session& session);

enum class Maintenance { kCalibrate, kZ1, kZ4 };
// calibrate (0 reflective, 1 transmissive, 2 none), z1 (0 or 1), z4.
TargetResult MaintenanceCommand(Session& session, Maintenance command, std::int32_t value);

}  // namespace krt6::cli
