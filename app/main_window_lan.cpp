// The Extra Setting and Maintenance Mode pages: LAN settings and the sensor calibration.
#include <QComboBox>
#include <QLineEdit>
#include <cstring>

#include "app/conversion.h"
#include "app/main_window.h"
#include "ui_main_window.h"

namespace krt6 {
namespace {

// Copies `text` into a fixed field with its terminator, cut to fit.
template <std::size_t N> void CopyText(char (&field)[N], const QString& text) {
  const QByteArray bytes = text.toLatin1().left(static_cast<qsizetype>(N - 1));
  std::memset(field, 0, N);
  std::memcpy(field, bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

template <std::size_t N> QString FieldText(const char (&field)[N]) {
  return QString::fromLatin1(field, static_cast<qsizetype>(strnlen(field, N)));
}

}  // namespace

void TFormMain::LanSettingsFromControls(LanSettings& settings) {
  settings.LanFlag = 1;
  QLineEdit* const ip[4] = {ui_->EditIPAddress1, ui_->EditIPAddress2, ui_->EditIPAddress3,
                            ui_->EditIPAddress4};
  QLineEdit* const mask[4] = {ui_->EditSubnetMask1, ui_->EditSubnetMask2, ui_->EditSubnetMask3,
                              ui_->EditSubnetMask4};
  QLineEdit* const gateway[4] = {ui_->EditGeteway1, ui_->EditGeteway2, ui_->EditGeteway3,
                                 ui_->EditGeteway4};
  // Field by field: a failing conversion leaves the fields before it already updated.
  for (int i = 0; i < 4; ++i) settings.IpAddress[i] = StrToInt(ip[i]->text());
  for (int i = 0; i < 4; ++i) settings.SubnetMask[i] = StrToInt(mask[i]->text());
  for (int i = 0; i < 4; ++i) settings.Gateway[i] = StrToInt(gateway[i]->text());
  settings.SocketPortMode = ui_->ComboBoxSocketPort->currentIndex();
  settings.SocketPort = StrToInt(ui_->EditSocketPort->text());
  settings.DhcpEnabled = ui_->ComboBoxDHCP->currentIndex() == 0 ? 0 : 1;
  CopyText(settings.DhcpId, ui_->EditDHCPID->text());
  CopyText(settings.DhcpHostName, ui_->EditDHCPHostName->text());
}

void TFormMain::ShowLanSettings(const LanSettings& settings) {
  QLineEdit* const edits[12] = {ui_->EditIPAddress1,  ui_->EditIPAddress2,  ui_->EditIPAddress3,
                                ui_->EditIPAddress4,  ui_->EditSubnetMask1, ui_->EditSubnetMask2,
                                ui_->EditSubnetMask3, ui_->EditSubnetMask4, ui_->EditGeteway1,
                                ui_->EditGeteway2,    ui_->EditGeteway3,    ui_->EditGeteway4};
  for (int i = 0; i < 4; ++i) {
    edits[i]->setText(QString::number(settings.IpAddress[i]));
    edits[4 + i]->setText(QString::number(settings.SubnetMask[i]));
    edits[8 + i]->setText(QString::number(settings.Gateway[i]));
  }
  const int mode = settings.SocketPortMode;
  ui_->ComboBoxSocketPort->setCurrentIndex(
      mode >= 0 && mode < ui_->ComboBoxSocketPort->count() ? mode : -1);
  ui_->EditSocketPort->setText(QString::number(settings.SocketPort));
  ui_->ComboBoxDHCP->setCurrentIndex(settings.DhcpEnabled != 0 ? 1 : 0);
  ui_->EditDHCPID->setText(FieldText(settings.DhcpId));
  ui_->EditDHCPHostName->setEnabled(version_index_ >= 4);
  ui_->EditDHCPHostName->setText(FieldText(settings.DhcpHostName));
}

// Read and Set of the LAN settings and the sensor calibration are built with their commands.
void TFormMain::ButtonExReadClick() {}
void TFormMain::ButtonExSetClick() {}
void TFormMain::ButtonCalibSensorClick() {}

}  // namespace krt6
