#include "dialogs/language.h"

#include <QStringList>

namespace krt6 {

int LanguageIndex = 0;

QFont FontForLanguage(const QFont& base, int language) {
  QFont font = base;
  if (language < 0 || language > 1) language = 0;
  if (CharsetTable[language] == 128) {
    // The Shift-JIS character set: prefer a family that carries the Japanese characters and
    // keep the default family behind it for Latin text.
    font.setFamilies(QStringList{QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Sans JP"),
                                 QStringLiteral("IPAGothic"), base.defaultFamily()});
  } else {
    font.setFamilies(QStringList{base.defaultFamily()});
  }
  return font;
}

}  // namespace krt6
