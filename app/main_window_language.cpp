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

#include "app/caption_table.h"
#include "app/main_window.h"
#include "dialogs/comm_log.h"
#include "dialogs/language_apply.h"
#include "dialogs/open_dialogs.h"
#include "texts/texts.h"
#include "ui_main_window.h"

namespace krt6 {

void TFormMain::SetLanguage(Language language) {
  language_ = language;
  session_.SetLanguage(language);
  for (std::size_t row = 0; row < CaptionTable.size(); ++row) {
    const CaptionEntry& entry = CaptionTable[row];
    if (row == kPageControlFontBefore) SetLanguageFont(ui_->PageControl1, language);
    const QString name = QString::fromLatin1(entry.control);
    switch (entry.kind) {
      case CaptionKind::kMenu:
        if (auto* menu = findChild<QMenu*>(name)) {
          SetMenuCaption(menu, entry.texts[0], language);
        } else if (auto* action = findChild<QAction*>(name)) {
          SetMenuCaption(action, entry.texts[0], language);
        }
        break;
      case CaptionKind::kCaption:
        if (auto* label = findChild<QLabel*>(name)) {
          SetCaption(label, entry.texts[0], language);
        } else if (auto* button = findChild<QAbstractButton*>(name)) {
          SetCaption(button, entry.texts[0], language);
        } else if (auto* group = findChild<QGroupBox*>(name)) {
          SetCaption(group, entry.texts[0], language);
        }
        break;
      case CaptionKind::kPage:
        if (auto* page = ui_->PageControl1->findChild<QWidget*>(name)) {
          SetPageCaption(ui_->PageControl1, page, entry.texts[0], language);
        }
        break;
      case CaptionKind::kItems:
        if (auto* list = findChild<QComboBox*>(name))
          SetItems(list, entry.texts, language, entry.first_item);
        break;
    }
  }
  SetLanguageFont(statusBar(), language);
  comm_log_action_->setText(QString::fromUtf8(TextFor(kCommunicationLogText, language)));
  comm_log_->SetLanguage(language);
}

void TFormMain::ButtonInterFaceClick() {
  LinkSettings& settings = session_.Settings();
  switch (InterfaceIndex()) {
    case lkCom: OpenRs232Setup(this, settings.Serial, language_); break;
    case lkLpt: OpenLPTSetup(this, settings.LptName, language_); break;
    case lkEthernet:
      OpenNetSetup(this, settings.Tcp, language_,
                   [this](const QString& text) { ShowMessage(text); });
      break;
    default: break;
  }
  ShowPortSettings();
}

void TFormMain::About1Click() { OpenAbout(this); }

}  // namespace krt6
