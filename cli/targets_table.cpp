#include "cli/targets_table.h"

#include <csv.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>

#include "config/configuration.h"
#include "records/fields.h"
#include "texts/texts.h"

namespace krt6::cli {
namespace {

constexpr std::string_view kTargetColumn = "target";

constexpr TextPair kWhereText{"%1:%2, column %3", "%1:%2 の列 %3"};
constexpr TextPair kNoHeaderText{
    "%1: no header row: the first row names the columns, target and configuration keys",
    "%1: 見出し行がありません: 最初の行に列名 (target と設定キー) を書いてください"};
constexpr TextPair kNoTargetColumnText{"%1:%2: the header names no column target",
                                       "%1:%2: 見出し行に列 target がありません"};
constexpr TextPair kUnknownColumnText{
    "%1: unknown column: give target and configuration keys (see docs/SETTINGS-FORMAT.md)",
    "%1: 不明な列です: target と設定キーを指定してください (docs/SETTINGS-FORMAT.md を参照)"};
constexpr TextPair kColumnTwiceText{"%1: the column is given twice",
                                    "%1: 同じ列が 2 回指定されています"};
constexpr TextPair kCellCountText{"%1:%2: the row has %3 fields, the header %4",
                                  "%1:%2: この行の項目数は %3 ですが、見出し行は %4 です"};
constexpr TextPair kQuoteText{
    "%1: not a field as RFC 4180 writes it: a quote inside an unquoted field, text after a "
    "closing quote, or a quoted field that is never closed",
    "%1: RFC 4180 の書き方ではありません: 引用符で囲まない項目の中の引用符、閉じ引用符の後の"
    "文字、または閉じられていない引用符があります"};
constexpr TextPair kUnreadableTableText{"%1: cannot parse the table: %2",
                                        "%1: 表を解析できません: %2"};
constexpr TextPair kSameIdentityText{
    "%1: %2 is also the value of line %3, and no two printers may share it",
    "%1: %2 は %3 行目と同じ値ですが、この値は複数のプリンターで共有できません"};

// One row as libcsv gives it, with the line it begins on.
struct Row {
  std::size_t line = 0;
  std::vector<std::string> cells;
};

// What libcsv's callbacks gather.
struct Gather {
  std::vector<Row> rows;
  std::vector<std::string> cells;
  std::size_t line = 0;  // the first line of the row being read
};

void OnField(void* data, std::size_t size, void* gather) {
  auto& into = *static_cast<Gather*>(gather);
  into.cells.emplace_back(data == nullptr ? "" : static_cast<const char*>(data),
                          data == nullptr ? 0 : size);
}

void OnRow(int, void* gather) {
  auto& into = *static_cast<Gather*>(gather);
  into.rows.push_back({into.line, std::move(into.cells)});
  into.cells.clear();
}

// Blanks around an unquoted field: spaces and tabs in a CSV, spaces only in a TSV.
int IsSpaceOrTab(unsigned char c) { return c == ' ' || c == '\t' ? 1 : 0; }
int IsSpace(unsigned char c) { return c == ' ' ? 1 : 0; }

// A fault of the tokenizer: the line, the cell of its row where it was found, libcsv's error.
struct TokenFault {
  std::size_t line = 0;
  std::size_t cell = 0;
  int error = CSV_SUCCESS;
};

// The rows of `text`, fed to libcsv a line at a time so that each row knows its first line;
// blank lines and '#' comment lines outside a quoted field are skipped. False with `fault`.
bool Tokenize(std::string_view text, unsigned char delimiter, std::vector<Row>& rows,
              TokenFault& fault) {
  csv_parser parser{};
  if (csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI) != 0) {
    fault.error = CSV_ENOMEM;
    return false;
  }
  csv_set_delim(&parser, delimiter);
  csv_set_space_func(&parser, delimiter == CSV_TAB ? IsSpace : IsSpaceOrTab);
  Gather gather;
  bool in_quotes = false;  // whether a quoted field runs on past the line fed last
  bool fine = true;
  std::size_t number = 0;
  for (std::size_t start = 0; start < text.size() && fine;) {
    const std::size_t end = std::min(text.find('\n', start), text.size() - 1) + 1;
    const std::string_view line = text.substr(start, end - start);
    start = end;
    ++number;
    if (!in_quotes) {
      const std::size_t first = line.find_first_not_of(" \t\r\n");
      if (first == std::string_view::npos || line[first] == '#') continue;
      gather.line = number;
    }
    // Quotes pair up inside a row (an escaped one is "" and a field is opened and closed).
    in_quotes = in_quotes != (std::count(line.begin(), line.end(), '"') % 2 == 1);
    fine = csv_parse(&parser, line.data(), line.size(), OnField, OnRow, &gather) == line.size();
    if (!fine) fault.line = number;
  }
  if (fine && csv_fini(&parser, OnField, OnRow, &gather) != 0) {
    fine = false;
    fault.line = gather.line;
  }
  if (!fine) {
    fault.cell = gather.cells.size();
    fault.error = csv_error(&parser);
  }
  csv_free(&parser);
  rows = std::move(gather.rows);
  return fine;
}

std::string Where(const std::string& path, std::size_t line, std::string_view column,
                  Language language) {
  return FormatText(kWhereText, language,
                    {Printable(path), std::to_string(line), Printable(column)});
}

// The key of each column with its part ("lan.ip_address"), "target" for the target column; the
// refusal, or empty.
std::string ReadHeader(const Row& header, const std::string& path, std::vector<std::string>& keys,
                       Language language) {
  for (const std::string& name : header.cells) {
    std::string key(kTargetColumn);
    if (name != kTargetColumn) {
      const FieldRow* row = FindFieldByKey(name);
      if (row == nullptr) {
        return FormatText(kUnknownColumnText, language, Where(path, header.line, name, language));
      }
      key = std::string(PartName(row->part)) + "." + row->key;
    }
    if (std::find(keys.begin(), keys.end(), key) != keys.end()) {
      return FormatText(kColumnTwiceText, language, Where(path, header.line, key, language));
    }
    keys.push_back(key);
  }
  if (std::find(keys.begin(), keys.end(), kTargetColumn) == keys.end()) {
    return FormatText(kNoTargetColumnText, language, Printable(path), std::to_string(header.line));
  }
  return {};
}

// The target of one row with its values; the refusal, or empty.
std::string ReadRow(const Row& row, const std::vector<std::string>& keys, const std::string& path,
                    TargetText& target, Language language) {
  if (row.cells.size() != keys.size()) {
    return FormatText(kCellCountText, language,
                      {Printable(path), std::to_string(row.line), std::to_string(row.cells.size()),
                       std::to_string(keys.size())});
  }
  target = {{}, path, row.line, std::string(kTargetColumn), nullptr};
  Configuration values;
  bool named = false;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (keys[i] == kTargetColumn) {
      target.Text = row.cells[i];
      continue;
    }
    if (row.cells[i].empty()) continue;  // no value of its own
    const ConfigError error = ApplyKeyValue(values, keys[i] + "=" + row.cells[i], language);
    if (!error.Ok()) return Where(path, row.line, keys[i], language) + ": " + error.Message;
    named = true;
  }
  if (named) target.Values = std::make_shared<const Configuration>(std::move(values));
  return {};
}

// The refusal of a row whose identity value an earlier row gives, or empty. `seen`: the line of
// each value so far, by key and value (a host name in lower case).
std::string SameIdentity(const TargetText& target, const std::string& path,
                         std::map<std::string, std::size_t>& seen, Language language) {
  if (!target.Values) return {};
  for (const IdentityValue& value : IdentityValues(*target.Values)) {
    std::string folded = value.Value;
    std::transform(folded.begin(), folded.end(), folded.begin(), [](char c) {
      return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    });
    const auto [at, fresh] = seen.emplace(value.Key + "=" + folded, target.Line);
    if (!fresh) {
      return FormatText(kSameIdentityText, language,
                        {Where(path, target.Line, value.Key, language), Printable(value.Value),
                         std::to_string(at->second)});
    }
  }
  return {};
}

}  // namespace

bool IsTargetsTable(const std::string& path) {
  const std::string extension = FileExtension(path);
  return extension == ".csv" || extension == ".tsv";
}

bool ParseTargetsTable(std::string_view text, const std::string& path,
                       std::vector<TargetText>& targets, std::string& error, Language language) {
  const unsigned char delimiter = FileExtension(path) == ".tsv" ? CSV_TAB : CSV_COMMA;
  std::vector<Row> rows;
  TokenFault fault;
  if (!Tokenize(text, delimiter, rows, fault)) {
    std::string column = "?";
    if (!rows.empty() && fault.cell < rows.front().cells.size()) {
      column = rows.front().cells[fault.cell];
    }
    error = fault.error == CSV_EPARSE
                ? FormatText(kQuoteText, language, Where(path, fault.line, column, language))
                : FormatText(kUnreadableTableText, language, Printable(path),
                             csv_strerror(fault.error));
    return false;
  }
  if (rows.empty()) {
    error = FormatText(kNoHeaderText, language, Printable(path));
    return false;
  }
  std::vector<std::string> keys;
  error = ReadHeader(rows.front(), path, keys, language);
  std::vector<TargetText> read;
  std::map<std::string, std::size_t> seen;
  for (std::size_t i = 1; i < rows.size() && error.empty(); ++i) {
    TargetText& target = read.emplace_back();
    error = ReadRow(rows[i], keys, path, target, language);
    if (error.empty()) error = SameIdentity(target, path, seen, language);
  }
  if (!error.empty()) return false;
  targets.insert(targets.end(), std::make_move_iterator(read.begin()),
                 std::make_move_iterator(read.end()));
  return true;
}

bool ReadTargetsTable(const std::string& path, std::vector<TargetText>& targets, std::string& error,
                      Language language) {
  std::string text;
  if (!ReadTargetsBytes(path, text, error, language)) return false;
  return ParseTargetsTable(text, path, targets, error, language);
}

}  // namespace krt6::cli
