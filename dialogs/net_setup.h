// The TCP/IP dialog: the printer's address text and port number.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>

#include "dialogs/language_apply.h"
#include "link/link_settings.h"

namespace Ui {
class TFormNetSetup;
}

namespace krt6 {

class TFormNetSetup : public QDialog {
  Q_OBJECT

 public:
  // `show_error` displays a conversion error; without one a message box shows it.
  explicit TFormNetSetup(QWidget* parent = nullptr, MessageDisplay show_error = {});
  ~TFormNetSetup() override;

  // Remembers the settings it edits, shows `language` and loads the edits.
  void BindSettings(TcpSettings& settings, Language language);
  void LoadSettings();
  // The address text is stored first, whole; then the port text must be an integer
  // (IntegerFromText).
  // When it is not, the port keeps its value and `error` receives the conversion error text.
  bool StoreSettings(QString& error);
  void SetLanguage(Language language);

 public slots:
  // Stores and closes; a conversion error is shown and the dialog stays open.
  void ButtonSetClick();
  void ButtonCancelClick();

 private:
  std::unique_ptr<Ui::TFormNetSetup> ui_;
  TcpSettings* Settings = nullptr;
  MessageDisplay show_error_;
};

// Refers to the TCP/IP dialog while it is open.
extern TFormNetSetup* FormNetSetup;

}  // namespace krt6
