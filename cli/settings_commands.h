// The commands over the printer's settings: get, set and the printer side of diff, with the
// readable configuration (config/).
#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "cli/fleet.h"
#include "config/configuration.h"
#include "session/session.h"

namespace krt6::cli {

struct Parts {
  bool Parameters = true;
  bool Lan = true;
};

// get: reads the parts (the firmware version first, as the window does before reading the
// parameter block) into a configuration that names every field read.
struct ReadSettings {
  Result Status;
  Configuration Read;
  std::string Firmware;  // the version read with the parameters, else empty
};
ReadSettings ReadConfiguration(Session& session, Parts parts);

// get: the settings as the document in the data; written to `output` when it is not empty
// (.json the document, .ts0/.ts1 the setting file's bytes).
TargetResult GetCommand(Session& session, Parts parts, const std::string& output,
                        Language language);

struct SetOptions {
  bool Check = false;    // show the changes, write nothing
  bool Verify = true;    // read the written parts back and compare
  std::string Firmware;  // links without replies: the version the formats follow
  // Set when the operator interrupts the run: no part is written after it is seen, and a part
  // being written is finished.
  const std::atomic<bool>* Stop = nullptr;
};

// set: reads the firmware version and the current values of the parts the configuration names,
// lays the configuration over them and compares. Nothing differs: nothing is written. --check:
// the differences, nothing written. Otherwise the parts that differ are written and read back;
// a read-back that differs from what was written gives kReadBackDiffers. Over a link that cannot
// receive, the whole parts are written for the version of `options.Firmware`, unread and
// unverified.
// A value the firmware's format cannot carry (the printer's own, or one this version's range
// narrows) is kUnsendableValue before anything is written, the field named. Keys the firmware
// cannot receive at all give kNotSupported, naming them, after the others were applied.
// Whenever bytes of a write reached the printer the result is Changed with the changes of the
// parts sent, whatever failed after.
TargetResult SetCommand(Session& session, const Configuration& configuration,
                        const SetOptions& options, Language language);

// How far the printer has drifted from `configuration`: the fields set would change, found as
// set finds them (the version read, the parts named read and compared), nothing written; or the
// failure of a reading (a link that cannot receive fails at once).
struct DriftReading {
  std::optional<TargetResult> failed;
  std::vector<FieldChange> changes;
  std::string firmware;  // the version the printer reported
};
DriftReading ReadDrift(Session& session, const Configuration& configuration, Language language);

// The configuration after `Changes` to a list for the output.
std::vector<Change> Changes(const std::vector<FieldChange>& changes);

}  // namespace krt6::cli
