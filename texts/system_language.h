// Which interface language the system's locale asks for.
#pragma once

#include <functional>
#include <string>

#include "texts/language.h"

namespace krt6 {

// The locale name the system runs under: the first of LC_ALL, LC_MESSAGES and LANG that is set
// and not empty. `getenv` is injected for tests.
std::string SystemLocaleName(const std::function<const char*(const char*)>& getenv_fn);

// Japanese exactly for a Japanese-in-Japan locale ("ja_JP", "ja_JP.UTF-8", "ja_JP@..."),
// English for every other.
Language LanguageForLocale(const std::string& locale_name);

}  // namespace krt6
