// The parallel port dialog: chooses LPT1..LPT4 for the main window's parallel port name.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "dialogs/port_devices.h"
#include "texts/language.h"

namespace Ui {
class TFormLPTSetup;
}

namespace krt6 {

class TFormLPTSetup : public QDialog {
  Q_OBJECT

 public:
  explicit TFormLPTSetup(QWidget* parent = nullptr);
  ~TFormLPTSetup() override;

  // Remembers the name it edits, selects its list item and shows `language`.
  void BindSettings(std::string& LptName, Language language);
  // Name to list: "LPTn" selects item n - 1 (item 0 for a name that is not in the list).
  void LoadSettings();
  // List to name: "LPT%d" with the selected item index + 1.
  void StoreSettings();
  void SetLanguage(Language language);

  // Replaces the check behind the device label (tests use known device sets).
  void SetDevicePresence(DevicePresence presence);

 public slots:
  void ButtonSetClick();
  void ButtonCancelClick();

 private:
  void ShowDevice();

  std::unique_ptr<Ui::TFormLPTSetup> ui_;
  std::string* Settings = nullptr;
  Language language_ = Language::kEnglish;
  DevicePresence presence_ = DeviceNodePresent;
};

// Refers to the parallel port dialog while it is open.
extern TFormLPTSetup* FormLPTSetup;

}  // namespace krt6
