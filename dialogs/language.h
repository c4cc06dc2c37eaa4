// The interface language as the main window and the dialogs draw it: the text of a pair as a
// QString and the font that can draw the language's characters.
#pragma once

#include <QFont>
#include <QString>

#include "texts/language.h"
#include "texts/texts.h"

namespace krt6 {

inline QString Pick(const TextPair& pair, Language language) {
  return QString::fromUtf8(TextFor(pair, language));
}

// The font character set of each language: 0 the ANSI set, 128 the Shift-JIS set.
inline constexpr int CharsetTable[2] = {0, 128};

// `base` with a family that can draw the language's characters; size and style unchanged.
QFont FontForLanguage(const QFont& base, Language language);

}  // namespace krt6
