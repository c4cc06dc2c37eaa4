// The Extra Setting and Maintenance Mode pages: LAN settings and the sensor calibration.
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <cstring>

#include "app/conversion.h"
#include "app/main_window.h"
#include "protocol/commands.h"
#include "ui_main_window.h"

namespace krt6 {
namespace {

// Copies `text` into a fixed field with its terminator, cut to fit. The bytes after the
// terminator stay as the record held them, so a loaded file is saved back unchanged.
template <std::size_t N> void CopyText(char (&field)[N], const QString& text) {
  const QByteArray bytes = text.toLatin1().left(static_cast<qsizetype>(N - 1));
  const auto length = static_cast<std::size_t>(bytes.size());
  std::memcpy(field, bytes.constData(), length);
  field[length] = '\0';
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
  ui_->EditDHCPHostName->setEnabled(session_.VersionIndex() >= 4);
  ui_->EditDHCPHostName->setText(FieldText(settings.DhcpHostName));
}

void TFormMain::ButtonExReadClick() {
  Guarded([this] {
    Exchange([start = lan_](Session& session) { return session.ReadLanSettings(start); },
             [this](const Outcome<LanSettings>& read) {
               // A failed read leaves in the record what it had decoded by then.
               lan_ = read.Value;
               if (read.Ok()) ShowLanSettings(lan_);
             });
  });
}

SettingField TFormMain::CheckLanTextEdits(bool to_send) const {
  const SettingField refused = CheckTextEdit(ui_->EditDHCPID, FieldOf("dhcp_id"), to_send);
  if (refused != SettingField::kNone) return refused;
  return CheckTextEdit(ui_->EditDHCPHostName, FieldOf("dhcp_hostname"), to_send);
}

void TFormMain::ButtonExSetClick() {
  Guarded([this] {
    // The texts first: whether typed, pasted or set from outside, a text its command cannot
    // carry is refused before the record takes the page and before anything is opened.
    if (RefuseUnsendable(CheckLanTextEdits(/*to_send=*/true))) return;
    // Gathered while the window is still enabled; a conversion error ends the handler here.
    LanSettingsFromControls(lan_);
    if (RefuseUnsendable(CheckLanSettings(lan_))) return;
    RunExchange([settings = lan_](Session& session) {
      return OutcomeStatus(session.WriteLanSettings(settings));
    });
  });
}

void TFormMain::ButtonCalibSensorClick() {
  Guarded([this] {
    const std::int32_t sensor = ui_->ComboBoxSensor->currentIndex();
    RunExchange(
        [sensor](Session& session) { return OutcomeStatus(session.CalibrateSensor(sensor)); });
  });
}

void TFormMain::EditDHCPHostNameKeyPress(QChar& key) {
  const char16_t c = key.unicode();
  if (c == 8) return;  // Backspace
  // The rule Set checks the whole name against: ASCII letters and digits. Enter, blanks, '-',
  // '_', '.', control characters and everything beyond ASCII are swallowed.
  const char ascii = c < 0x80 ? static_cast<char>(c) : '\0';
  if (!IsHostNameText({&ascii, 1})) key = QChar(0);
}

void TFormMain::InstallHostNameKeyFilter() {
  // Typed characters reach the field only through the key filter; an input method would commit
  // text around it.
  ui_->EditDHCPHostName->setAttribute(Qt::WA_InputMethodEnabled, false);
  ui_->EditDHCPHostName->installEventFilter(this);
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui_->EditDHCPHostName && event->type() == QEvent::KeyPress) {
    const auto* key_event = static_cast<QKeyEvent*>(event);
    const QString typed = key_event->text();
    // Keys that type no character pass: arrows and Home (no text), Delete (whose text is DEL
    // here) and the focus keys.
    const int key = key_event->key();
    const bool not_a_character =
        key == Qt::Key_Delete || key == Qt::Key_Tab || key == Qt::Key_Backtab;
    if (!typed.isEmpty() && !not_a_character) {
      for (QChar c : typed) {
        EditDHCPHostNameKeyPress(c);
        if (c.isNull()) return true;
      }
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace krt6
