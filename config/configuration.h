// The readable configuration: the parameter block and the LAN settings as a JSON document
// {"format": "krt6-settings", "version": 1, "parameters": {...}, "lan": {...}}, KEY=VALUE pairs
// over it, its files (.json, .ts0, .ts1) and the field-by-field comparison of two records.
// No Qt. docs/SETTINGS-FORMAT.md describes the document, docs/krt6-settings.schema.json is its
// schema.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "records/records.h"
#include "records/fields.h"
#include "texts/language.h"

namespace krt6 {

// The record a part's unnamed fields hold: the window's values at start-up (English system).
ParameterBlock StartupParameters();
LanSettings StartupLanSettings();

// One configuration: either part may be absent; within a part, only the named fields are set.
struct Configuration {
  bool HasParameters = false, HasLan = false;
  ParameterBlock Parameters = StartupParameters();  // the named fields' values, others as at start
  LanSettings Lan = StartupLanSettings();
  // The keys given, e.g. "parameters.comm_speed", in the order of ConfigurationKeys().
  std::vector<std::string> Named;
};

// A refusal. Key: the key it concerns ("parameters.comm_speed"), "" for whole-document errors
// (not JSON, wrong "format", no field named, a file that cannot be read or is of no layout's
// size). Message: the whole operator line in the chosen language, the key named in it; what it
// repeats of the input is escaped (\x1b, \n) and cut short, so it stays one harmless line. Both
// empty when there is nothing to refuse.
struct ConfigError {
  std::string Key;
  std::string Message;
  bool Ok() const { return Message.empty(); }
};

template <typename T> using ConfigResult = std::variant<T, ConfigError>;

// What the values read are for.
// kSend: a printer will receive them. Every value must be one the fixed-width commands can carry
//   and that names an item of its list; a text must keep to its field's characters and length.
// kStore: the values only move between files (convert, diff). Every value a record can hold is
//   taken, so that a setting file converts to JSON and back byte for byte.
enum class ValueUse { kSend, kStore };

// Every key in document order, with its part: "parameters.font_code" ... "lan.lan_flag".
const std::vector<std::string>& ConfigurationKeys();

// A document must name at least one field. A JSON number for a list whose items begin with a
// number ("1 bit") is that value, as in KEY=VALUE; for other lists the item index.
// ParseConfiguration also refuses a key an object gives twice.
ConfigResult<Configuration> ParseConfiguration(std::string_view json_text, Language language,
                                               ValueUse use = ValueUse::kSend);
ConfigResult<Configuration> ConfigurationFromJson(const nlohmann::json& document, Language language,
                                                  ValueUse use = ValueUse::kSend);

// Reads a configuration by the file's extension (case-insensitive): ".json" as above, at most
// 1 MiB (a larger file is refused as too large); ".ts0" and ".ts1" exactly as the window loads
// them, the shorter .ts0 layouts included, but a file of a size no layout has (76, 84, 88, 92;
// 107) is refused. A setting file names the fields its bytes reach: a full file names its whole
// part, a 76-byte .ts0 names neither destination, mode_select, carried_adj nor blank_space_len,
// so that applied to a printer those keep the printer's values, as loading over the window's
// record keeps them. With kSend, values a printer cannot receive are refused with their key.
ConfigResult<Configuration> LoadConfiguration(const std::string& path, Language language,
                                              ValueUse use = ValueUse::kSend);

// Writes `configuration` by the file's extension, replacing the file safely: ".json" the named
// fields; ".ts0" / ".ts1" the whole record of the part (refused when the part is absent).
ConfigError SaveConfiguration(const std::string& path, const Configuration& configuration,
                              Language language);

// Sets one field from "KEY=VALUE": KEY with or without its "parameters."/"lan." prefix, VALUE
// as the document takes it for that key, optionally in double quotes ("comm_speed=19200",
// "comm_speed=\"19200 bps\"", "dhcp=ON", "ip_address=192.168.0.5"). The field's part becomes
// present and the key named. Values are checked as for ValueUse::kSend.
ConfigError ApplyKeyValue(Configuration& configuration, std::string_view key_eq_value,
                          Language language);

// The document of whole records: every field of each part given (a null pointer leaves the
// part out).
nlohmann::json ToJson(const ParameterBlock* parameters, const LanSettings* lan);
// The document of a configuration: only its named fields, its present parts.
nlohmann::json ToJson(const Configuration& configuration);
// A document as the files hold it: two-space indented, a newline at the end.
std::string JsonText(const nlohmann::json& document);

// Whether the configuration names every field of the part (what a write without reading first
// needs).
bool NamesWholeParameters(const Configuration& configuration);
bool NamesWholeLan(const Configuration& configuration);

// The named fields over `current`; the part's other fields stay as in `current`. A part that is
// absent returns `current` unchanged.
ParameterBlock Overlay(const Configuration& configuration, ParameterBlock current);
LanSettings Overlay(const Configuration& configuration, LanSettings current);

// One field that differs. Key "parameters.comm_speed"; Before/After readable: the item text
// ("9600 bps"), the number, the dotted address, or the text as the document writes it ("\"B0\"").
struct FieldChange {
  std::string Key;
  std::string Before;
  std::string After;
};

// Which fields a comparison looks at.
// kRecord: every field of the record (files, configurations).
// kPrinter: the fields the printer's commands write and its replies return for `version_index`
//   (0..4, the firmware version item): no reserved1-3 or lan_flag, no field the version's format
//   leaves out, euro_code by the two characters sent, dhcp by what is sent (ON only for 1).
enum class DiffScope { kRecord, kPrinter };

std::vector<FieldChange> Diff(const ParameterBlock& a, const ParameterBlock& b, Language language,
                              DiffScope scope = DiffScope::kRecord, int version_index = 4);
std::vector<FieldChange> Diff(const LanSettings& a, const LanSettings& b, Language language,
                              DiffScope scope = DiffScope::kRecord, int version_index = 4);
// Two configurations: the fields named in either; a field only one names reads "(not set)" on
// the other side.
std::vector<FieldChange> Diff(const Configuration& a, const Configuration& b, Language language);

}  // namespace krt6

// ---- A printer's own identity, and what its firmware takes ----
namespace krt6 {

// The keys that make a printer itself on its network: no two printers may get the same value
// ("lan.ip_address", and "lan.dhcp_hostname" when it is not empty).
const std::vector<std::string>& IdentityKeys();

// The identity values a configuration would give a printer: key and value as the document
// writes it ("lan.ip_address", "192.168.0.5"). An empty host name identifies nothing.
struct IdentityValue {
  std::string Key;
  std::string Value;
};
std::vector<IdentityValue> IdentityValues(const Configuration& configuration);

// Lays the named fields of `over` on `base`: they replace its values of those keys; the keys only
// `base` names keep theirs.
void LayOver(Configuration& base, const Configuration& over);

// The configuration without the identity keys, so that every printer keeps its own. A part left
// with no named field is absent.
Configuration WithoutIdentity(Configuration configuration);

// Whether the printer's commands for `version_index` (0..4, the firmware version item) carry
// the field of `key` ("parameters.destination"): false for the fields a version's format leaves
// out, and for reserved1-3 and lan_flag, which no command carries.
bool FirmwareTakes(std::string_view key, int version_index);

// The key of a field the command checks name ("parameters.x_coordinate"; an address part names
// its address); empty for kNone.
std::string KeyOfField(SettingField field);

}  // namespace krt6
