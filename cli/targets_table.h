// A targets file as a table: CSV (RFC 4180) or TSV, a header row naming the column `target` and
// any configuration keys as KEY=VALUE takes them (ip_address, lan.dhcp_hostname, ...), then one
// row a target with that printer's own values. Read with libcsv in its strict mode.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/target.h"
#include "texts/language.h"

namespace krt6::cli {

// Whether `path` names a table: its name ends in .csv or .tsv (in any case).
bool IsTargetsTable(const std::string& path);

// Appends a row of a table a target: its text, the file, the row's first line, the column
// "target" and the values its other cells give (null when it gives none; an empty cell gives
// none). Lines whose first character (blanks aside) is '#' outside a quoted field, and blank
// lines, are skipped. Every row is checked before any is appended: fields as RFC 4180 quotes
// them, as many cells as the header, known and distinct columns, values as set sends them
// (ApplyKeyValue), no two rows with one identity value (an ip_address, a non-empty
// dhcp_hostname in any case). False with `error` naming the file, the line and the column (in
// `language`). Read through ReadTargetsBytes.
bool ReadTargetsTable(const std::string& path, std::vector<TargetText>& targets, std::string& error,
                      Language language = Language::kEnglish);

// The same over `text`, the file's bytes, with `path` naming it in messages; a file ending in
// .tsv (any case) is read with a tab between the fields.
bool ParseTargetsTable(std::string_view text, const std::string& path,
                       std::vector<TargetText>& targets, std::string& error,
                       Language language = Language::kEnglish);

}  // namespace krt6::cli
