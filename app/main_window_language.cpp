// The interface language of the main window, and the setup dialogs and About box it opens.
#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStatusBar>
#include <QTabWidget>
#include <QWidget>
#include <span>

#include "app/caption_table.h"
#include "app/main_window.h"
#include "dialogs/comm_log.h"
#include "dialogs/language.h"
#include "dialogs/link_setup.h"
#include "dialogs/open_dialogs.h"
#include "texts/texts.h"
#include "ui_main_window.h"

namespace krt6 {
namespace {

// The texts below only replace what differs: a caption set to the text it already shows would
// still be laid out again.
void ShowText(QLabel* label, const QString& text) {
  if (label->text() != text) label->setText(text);
}
void ShowText(QAbstractButton* button, const QString& text) {
  if (button->text() != text) button->setText(text);
}
void ShowText(QGroupBox* group, const QString& text) {
  if (group->title() != text) group->setTitle(text);
}
void ShowPageText(QTabWidget* pages, QWidget* page, const QString& text) {
  const int index = pages->indexOf(page);
  if (pages->tabText(index) != text) pages->setTabText(index, text);
}

// The items from `first` on take the texts of the pairs; the number of items stays, the selected
// item stays selected, and an editable list that shows a typed text matching none of its items
// keeps that text.
void ShowItemTexts(QComboBox* list, std::span<const TextPair> pairs, Language language, int first) {
  const int selected = list->currentIndex();
  const QString shown = list->currentText();
  const bool typed = list->isEditable() && (selected < 0 || shown != list->itemText(selected));
  bool changed = false;
  int index = first;
  for (const TextPair& pair : pairs) {
    if (index >= list->count()) break;
    const QString text = Pick(pair, language);
    if (list->itemText(index) != text) {
      list->setItemText(index, text);
      changed = true;
    }
    ++index;
  }
  if (!changed) return;
  list->setCurrentIndex(selected);
  if (typed) list->setEditText(shown);
}

}  // namespace

void TFormMain::ApplyLanguageFont(Language language) {
  // Every control of the window draws with the font of the window, so one font set reaches them
  // all. The menu bar keeps the application's font (menu entries take no font of their own); the
  // menus and dialogs are windows of their own and do not take the window's font.
  const QFont font = FontForLanguage(this->font(), language);
  if (font != this->font() || font.resolveMask() != this->font().resolveMask()) setFont(font);
}

void TFormMain::SetLanguage(Language language) {
  language_ = language;
  session_.SetLanguage(language);
  ApplyLanguageFont(language);
  for (const CaptionEntry& entry : CaptionTable) {
    const QString name = QString::fromLatin1(entry.control);
    switch (entry.kind) {
      case CaptionKind::kMenu:
        if (auto* menu = findChild<QMenu*>(name)) {
          menu->setTitle(Pick(entry.texts[0], language));
        } else if (auto* action = findChild<QAction*>(name)) {
          action->setText(Pick(entry.texts[0], language));
        }
        break;
      case CaptionKind::kCaption:
        if (auto* label = findChild<QLabel*>(name)) {
          ShowText(label, Pick(entry.texts[0], language));
        } else if (auto* button = findChild<QAbstractButton*>(name)) {
          ShowText(button, Pick(entry.texts[0], language));
        } else if (auto* group = findChild<QGroupBox*>(name)) {
          ShowText(group, Pick(entry.texts[0], language));
        }
        break;
      case CaptionKind::kPage:
        if (auto* page = ui_->PageControl1->findChild<QWidget*>(name)) {
          ShowPageText(ui_->PageControl1, page, Pick(entry.texts[0], language));
        }
        break;
      case CaptionKind::kItems:
        if (auto* list = findChild<QComboBox*>(name))
          ShowItemTexts(list, entry.texts, language, entry.first_item);
        break;
    }
  }
  comm_log_action_->setText(QString::fromUtf8(TextFor(kCommunicationLogText, language)));
  comm_log_->SetLanguage(language);
}

void TFormMain::ButtonInterFaceClick() {
  OpenLinkSetup(this, static_cast<LinkKind>(InterfaceIndex()), session_.Settings(), language_,
                [this](const QString& text) { ShowMessage(text); });
  ShowPortSettings();
}

void TFormMain::About1Click() { OpenAbout(this); }

}  // namespace krt6
