#include "dialogs/language_apply.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QTabWidget>
#include <QWidget>

namespace krt6 {

void SetLanguageFont(QWidget* control, Language language) {
  control->setFont(FontForLanguage(control->font(), language));
}

void SetWindowCaption(QWidget* window, const TextPair& pair, Language language) {
  SetLanguageFont(window, language);
  window->setWindowTitle(Pick(pair, language));
}

void SetCaption(QLabel* label, const TextPair& pair, Language language) {
  SetLanguageFont(label, language);
  label->setText(Pick(pair, language));
}

void SetCaption(QAbstractButton* button, const TextPair& pair, Language language) {
  SetLanguageFont(button, language);
  button->setText(Pick(pair, language));
}

void SetCaption(QGroupBox* group, const TextPair& pair, Language language) {
  SetLanguageFont(group, language);
  group->setTitle(Pick(pair, language));
}

void SetPageCaption(QTabWidget* pages, QWidget* page, const TextPair& pair, Language language) {
  SetLanguageFont(page, language);
  pages->setTabText(pages->indexOf(page), Pick(pair, language));
}

void SetMenuCaption(QMenu* menu, const TextPair& pair, Language language) {
  menu->setTitle(Pick(pair, language));
}

void SetMenuCaption(QAction* action, const TextPair& pair, Language language) {
  action->setText(Pick(pair, language));
}

void SetItems(QComboBox* list, std::span<const TextPair> pairs, Language language, int first) {
  const int selected = list->currentIndex();
  const QString shown = list->currentText();
  const bool typed = list->isEditable() && (selected < 0 || shown != list->itemText(selected));
  SetLanguageFont(list, language);
  int index = first;
  for (const TextPair& pair : pairs) {
    if (index >= list->count()) break;
    list->setItemText(index++, Pick(pair, language));
  }
  list->setCurrentIndex(selected);
  if (typed) list->setEditText(shown);
}

}  // namespace krt6
