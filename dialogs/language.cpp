#include "dialogs/language.h"

#include <QStringList>

namespace krt6 {

QFont FontForLanguage(const QFont& base, Language language) {
  QFont font = base;
  if (CharsetTable[static_cast<int>(language)] == 128) {
    // The Shift-JIS character set: the default family draws Latin text and sets the line
    // height, as in English, so that the laid-out controls keep their height; the Japanese
    // characters come from the first family behind it that has them, in their Japanese forms.
    font.setFamilies(QStringList{base.defaultFamily(), QStringLiteral("Noto Sans CJK JP"),
                                 QStringLiteral("Noto Sans JP"), QStringLiteral("IPAGothic")});
  } else {
    font.setFamilies(QStringList{base.defaultFamily()});
  }
  return font;
}

}  // namespace krt6
