// The serial port dialog: port name and the six line-setting list positions of SerialSettings.
#pragma once

#include <QDialog>
#include <memory>

#include "dialogs/port_devices.h"
#include "link/link_settings.h"
#include "texts/language.h"

namespace Ui {
class TFormRs232Setup;
}

namespace krt6 {

class TFormRs232Setup : public QDialog {
  Q_OBJECT

 public:
  explicit TFormRs232Setup(QWidget* parent = nullptr);
  ~TFormRs232Setup() override;

  // Remembers the settings it edits, shows `language` and loads the lists.
  void BindSettings(SerialSettings& settings, Language language);
  // Settings to lists. An index no list holds shows the item that acts the same on the line.
  void LoadSettings();
  // Lists to settings: "COM%d" from the port list, then each index in list order.
  void StoreSettings();
  void SetLanguage(Language language);

  // Replaces the check behind the device label (tests use known device sets).
  void SetDevicePresence(DevicePresence presence);

 public slots:
  void ButtonSetClick();
  void ButtonCancelClick();

 private:
  void ShowDevice();

  std::unique_ptr<Ui::TFormRs232Setup> ui_;
  SerialSettings* Settings = nullptr;
  Language language_ = Language::kEnglish;
  DevicePresence presence_ = [](const std::string& path) { return SerialDevicePresent(path); };
};

// Refers to the serial port dialog while it is open.
extern TFormRs232Setup* FormRs232Setup;

}  // namespace krt6
