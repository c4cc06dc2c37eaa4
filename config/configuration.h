// The readable configuration: the parameter block and the LAN settings as a JSON document
// {"format": "krt6-settings", "version": 1, "parameters": {...}, "lan": {...}}, KEY=VALUE pairs
// over it, its files (.json, .ts0, .ts1) and the field-by-field comparison of two records.
// No Qt. docs/SETTINGS-FORMAT.md describes the document, docs/krt6-settings.schema.json is its
// schema.
#pragma once

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "files/file_io.h"
#include "records/fields.h"
#include "records/records.h"
#include "texts/language.h"

namespace krt6 {

// The record a part's unnamed fields hold: the window's values at start-up (English system).
ParameterBlock StartupParameters();
LanSettings StartupLanSettings();

// A field's value: the number of a number, list, byte or flag field; an address's four parts;
// a text field's bytes, the whole field (its NUL and any bytes after it included).
using FieldValue = std::variant<std::int32_t, std::array<std::int32_t, 4>, std::string>;

// One configuration: the values of the fields it names, nothing of the others. Either part may
// be absent; a part may be present without naming a field of its own (a document's empty part
// beside a named one), and a named field's part is always present.
struct Configuration {
  bool HasParameters = false, HasLan = false;
  // The named fields' values by their row of Fields(), so in the order of ConfigurationKeys().
  std::map<const FieldRow*, FieldValue> Values;

  // Whether the field of `key` (with its part, or the first part that has it) is named.
  bool Has(std::string_view key) const;
  // Names the field of `row` (a row of Fields()) with `value`, of the row's kind (a text's bytes
  // cut or filled with NULs to its field's size); the row's part becomes present.
  void Set(const FieldRow& row, FieldValue value);
  // The keys named, with their parts, in the order of ConfigurationKeys().
  std::vector<std::string> Named() const;
};

// The configuration that names every field of the parts given (a null pointer leaves the part
// out), with the record's values.
Configuration FromRecords(const ParameterBlock* parameters, const LanSettings* lan);

// A refusal. Key: the key it concerns, with its part, "" for whole-document errors
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

// Every key in document order, with its part ("parameters." or "lan." before the table's key).
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
// 107) is refused. A setting file names the fields its bytes reach (FileReaches): a full file
// names its whole part, an older .ts0 layout leaves out the fields it has no bytes for, so that
// applied to a printer those keep the printer's values, as loading over the window's record
// keeps them. With kSend, values a printer cannot receive are refused with their key.
ConfigResult<Configuration> LoadConfiguration(const std::string& path, Language language,
                                              ValueUse use = ValueUse::kSend);

// The extension of `path` in lower case (".json", ".TS0" gives ".ts0"), empty when its name has
// none: what LoadConfiguration and SaveConfiguration go by.
std::string FileExtension(const std::string& path);
// Whether the extension of `path` is one LoadConfiguration and SaveConfiguration know: .json,
// .ts0 or .ts1 (in any case).
bool IsConfigurationFileName(const std::string& path);

// Writes `configuration` by the file's extension, replacing the file safely: ".json" the named
// fields; ".ts0" / ".ts1" the whole record of the part (refused when the part is absent).
// `durability` as for ReplaceFileAtomically.
ConfigError SaveConfiguration(const std::string& path, const Configuration& configuration,
                              Language language, Durability durability = Durability::kAtOnce);

// Sets one field from "KEY=VALUE": KEY with or without its "parameters."/"lan." prefix, VALUE
// as the document takes it for that key, optionally in double quotes (KEY=19200 or
// KEY="19200 bps" for a list item, KEY=ON for a flag, KEY=192.168.0.5 for an address; see
// docs/SETTINGS-FORMAT.md). The field's part becomes present and the key named. Values are checked
// as for ValueUse::kSend.
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
// needs); a field the setting files have no place for need not be named, so a whole .ts0 or .ts1
// file still is one.
bool NamesWholeParameters(const Configuration& configuration);
bool NamesWholeLan(const Configuration& configuration);

// The named fields over `current`; the part's other fields stay as in `current`. A part that is
// absent returns `current` unchanged.
ParameterBlock Overlay(const Configuration& configuration, ParameterBlock current);
LanSettings Overlay(const Configuration& configuration, LanSettings current);

// One field that differs. Key with its part; Before/After readable: the item text
// ("9600 bps"), the number, the dotted address, or the text as the document writes it ("\"B0\"").
struct FieldChange {
  std::string Key;
  std::string Before;
  std::string After;
};

// Which fields a comparison looks at.
// kRecord: every field of the record (files, configurations).
// kPrinter: the fields the printer's commands write and its replies return for `version_index`
//   (0..4, the firmware version item): no field that no command carries or the version's
//   format leaves out (FirmwareTakes), a text by the characters sent, a flag by what is sent
//   (ON only for 1).
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
// (the rows marked `identity`; a text only when it is not empty).
const std::vector<std::string>& IdentityKeys();

// The identity values a configuration would give a printer: key and value as the document
// writes it ("192.168.0.5"). An empty text identifies nothing.
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
// the field of `key` (with or without its part): false for the fields a version's format leaves
// out, and for those no command carries.
bool FirmwareTakes(std::string_view key, int version_index);

// The key, with its part, of a field the command checks name (an address part names
// its address); empty for kNone.
std::string KeyOfField(SettingField field);

}  // namespace krt6
