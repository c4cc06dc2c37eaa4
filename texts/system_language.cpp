#include "texts/system_language.h"

namespace krt6 {

std::string SystemLocaleName(const std::function<const char*(const char*)>& getenv_fn) {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = getenv_fn(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return {};
}

Language LanguageForLocale(const std::string& locale_name) {
  const std::string prefix = "ja_JP";
  if (locale_name.compare(0, prefix.size(), prefix) != 0) return Language::kEnglish;
  if (locale_name.size() == prefix.size()) return Language::kJapanese;
  const char next = locale_name[prefix.size()];
  return next == '.' || next == '@' ? Language::kJapanese : Language::kEnglish;
}

}  // namespace krt6
