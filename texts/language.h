// The interface language: what every operator-facing text is chosen by.
#pragma once

namespace krt6 {

enum class Language : int { kEnglish = 0, kJapanese = 1 };

// The language of a list index or stored number: above 1 is Japanese, below 0 English.
constexpr Language LanguageFromIndex(int index) {
  return index >= 1 ? Language::kJapanese : Language::kEnglish;
}

}  // namespace krt6
