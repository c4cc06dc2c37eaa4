// krt6-completion: fills in the completion's template at build time.
//   krt6-completion                    the field table's keys, one a line, in the order of the
//   table krt6-completion TEMPLATE OUTPUT    TEMPLATE with "@FIELD_KEYS@" replaced by the keys,
//                                      separated by blanks in lines of at most 96 characters,
//                                      each further line indented two more than the first, and
//                                      "@LINK_PREFIXES@" by the target prefixes of the link kinds
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include "link/link_kinds.h"
#include "records/fields.h"

namespace {

constexpr std::string_view kPlaceholder = "@FIELD_KEYS@";
constexpr std::string_view kPrefixesPlaceholder = "@LINK_PREFIXES@";
constexpr std::size_t kLineWidth = 96;

// The keys, wrapped for a line that holds `column` characters before them.
std::string WrappedKeys(std::size_t column, const std::string& indent) {
  std::string keys;
  for (const krt6::FieldRow& row : krt6::Fields()) {
    const std::string_view key = row.key;
    if (keys.empty()) {
      keys = key;
    } else if (column + 1 + key.size() > kLineWidth) {
      keys += "\n" + indent;
      keys += key;
      column = indent.size();
    } else {
      keys += " ";
      keys += key;
      ++column;
    }
    column += key.size();
  }
  return keys;
}

int Fill(const char* template_path, const char* output_path) {
  std::ifstream in(template_path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::string filled = text.str();
  const std::size_t at = filled.find(kPlaceholder);
  if (!in || at == std::string::npos) {
    std::fprintf(stderr, "krt6-completion: %s holds no %s\n", template_path, kPlaceholder.data());
    return 1;
  }
  std::string prefixes;
  for (const krt6::LinkKindInfo* kind : krt6::LinkKinds()) {
    prefixes += (prefixes.empty() ? "" : " ") + std::string(kind->prefix);
  }
  for (std::size_t p = filled.find(kPrefixesPlaceholder); p != std::string::npos;
       p = filled.find(kPrefixesPlaceholder, p + prefixes.size())) {
    filled.replace(p, kPrefixesPlaceholder.size(), prefixes);
  }
  const std::size_t line_start = filled.rfind('\n', at) + 1;  // npos + 1 is 0
  const std::size_t first_blank = filled.find_first_not_of(' ', line_start);
  const std::string indent(first_blank - line_start + 2, ' ');
  filled.replace(at, kPlaceholder.size(), WrappedKeys(at - line_start, indent));
  std::ofstream out(output_path, std::ios::binary);
  out << filled;
  out.close();
  if (!out) {
    std::fprintf(stderr, "krt6-completion: cannot write %s\n", output_path);
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3) return Fill(argv[1], argv[2]);
  if (argc != 1) {
    std::fprintf(stderr, "usage: krt6-completion [TEMPLATE OUTPUT]\n");
    return 2;
  }
  for (const krt6::FieldRow& row : krt6::Fields()) std::cout << row.key << '\n';
  return 0;
}
