// Finds controls whose text does not fit the room the layout gave them: a caption wider than
// the control, or a control squeezed below the height its font needs.
#pragma once

#include <QAbstractButton>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QStringList>
#include <QWidget>

namespace krt6::testing {

// Room a drop-down list needs besides its text: frame, padding and the arrow.
inline constexpr int kListChrome = 24;
// Room a push button needs besides its caption.
inline constexpr int kButtonChrome = 8;

// The visible controls under `root` whose text is clipped, as "name: reason".
inline QStringList ClippedTexts(QWidget* root) {
  QStringList clipped;
  const auto widgets = root->findChildren<QWidget*>();
  for (QWidget* w : widgets) {
    if (!w->isVisibleTo(root) || w->objectName().isEmpty() ||
        w->objectName().startsWith(QLatin1String("qt_"))) {
      continue;
    }
    const QFontMetrics fm(w->font());
    const QString name = w->objectName();
    auto check = [&](const QString& text, int room) {
      const int need = fm.horizontalAdvance(text);
      if (need > room)
        clipped << QStringLiteral("%1: '%2' needs %3, has %4").arg(name, text).arg(need).arg(room);
    };
    if (auto* label = qobject_cast<QLabel*>(w)) {
      check(label->text(), label->contentsRect().width());
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      check(button->text(), button->width() - kButtonChrome);
    } else if (auto* list = qobject_cast<QComboBox*>(w)) {
      check(list->currentText(), list->width() - kListChrome);
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
      check(group->title(), group->width());
    } else if (!qobject_cast<QLineEdit*>(w)) {
      continue;
    }
    if (w->height() < fm.height()) {
      clipped << QStringLiteral("%1: height %2 below the font's %3")
                     .arg(name)
                     .arg(w->height())
                     .arg(fm.height());
    }
  }
  return clipped;
}

}  // namespace krt6::testing
