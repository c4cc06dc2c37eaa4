// The interface language shared by the main window and the dialogs.
#pragma once

#include <QFont>
#include <QString>

namespace krt6 {

// 0 English, 1 Japanese; set at start-up from the system locale and by the language selector.
extern int LanguageIndex;

// An English/Japanese text pair, English first, UTF-8.
struct TextPair {
  const char* english;
  const char* japanese;
};

inline QString Pick(const TextPair& pair, int language) {
  return QString::fromUtf8(language == 1 ? pair.japanese : pair.english);
}

// The font character set of each language: 0 the ANSI set, 128 the Shift-JIS set.
inline constexpr int CharsetTable[2] = {0, 128};

// `base` with a family that can draw the language's characters; size and style unchanged.
QFont FontForLanguage(const QFont& base, int language);

}  // namespace krt6
