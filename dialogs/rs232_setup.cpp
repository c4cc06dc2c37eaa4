#include "dialogs/rs232_setup.h"

#include "dialogs/dialog_frame.h"
#include "dialogs/language_apply.h"
#include "ui_rs232_setup.h"

namespace krt6 {

TFormRs232Setup* FormRs232Setup = nullptr;

namespace {

constexpr TextPair kCaption{"RS232 Setup", "RS232 設定"};
constexpr TextPair kComPort{"COM Port", "COMポート"};
constexpr TextPair kBaudRate{"Baud Rate", "ボーレート"};
constexpr TextPair kDataBit{"Data Bits", "データ長"};
constexpr TextPair kParityCheck{"Parity Check", "パリティー"};
constexpr TextPair kStopBit{"Stop Bit(s)", "ストップビット長"};
constexpr TextPair kHHandShake{"Hardware Handshaking", "ハードウェア制御"};
constexpr TextPair kSHandShake{"Software Handsharking", "ソフトウェア制御"};
constexpr TextPair kNone{"None", "なし"};
constexpr TextPair kOdd{"Odd", "Odd"};
constexpr TextPair kEven{"Even", "Even"};
constexpr TextPair kRts{"RTS", "RTS"};
constexpr TextPair kRtsCts{"RTS/CTS", "RTS/CTS"};
constexpr TextPair kXonXoff{"Xon/Xoff", "Xon/Xoff"};
constexpr TextPair kSet{"Set", "セット"};
constexpr TextPair kCancel{"Cancel", "キャンセル"};
constexpr TextPair kFound{"%1 (found)", "%1 (検出)"};
constexpr TextPair kNotFound{"%1 (not found)", "%1 (未検出)"};

constexpr int kPortCount = 30;

// The serial link reads an index outside a list as one of its items (9600 baud, 8 data bits,
// no parity, one stop bit, RTS/CTS, no software handshake); the list shows that item.
int ItemActingAs(std::int32_t index, int count, int acts_as) {
  return index >= 0 && index < count ? static_cast<int>(index) : acts_as;
}

}  // namespace

TFormRs232Setup::TFormRs232Setup(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TFormRs232Setup>()) {
  ui_->setupUi(this);
  SetFixedDialogFrame(this);
  connect(ui_->ButtonSet, &QPushButton::clicked, this, &TFormRs232Setup::ButtonSetClick);
  connect(ui_->ButtonCancel, &QPushButton::clicked, this, &TFormRs232Setup::ButtonCancelClick);
  connect(ui_->ComboBoxComPort, &QComboBox::currentIndexChanged, this,
          &TFormRs232Setup::ShowDevice);
  ShowDevice();
}

TFormRs232Setup::~TFormRs232Setup() {
  if (FormRs232Setup == this) FormRs232Setup = nullptr;
}

void TFormRs232Setup::BindSettings(SerialSettings& settings, Language language) {
  Settings = &settings;
  SetLanguage(language);
  LoadSettings();
}

void TFormRs232Setup::LoadSettings() {
  if (Settings == nullptr) return;
  const SerialSettings& s = *Settings;
  ui_->ComboBoxComPort->setCurrentIndex(PortIndexFromName(s.PortName, "COM", kPortCount));
  ui_->ComboBoxBaudRate->setCurrentIndex(ItemActingAs(s.BaudRateIndex, 7, 2));
  ui_->ComboBoxDataBit->setCurrentIndex(ItemActingAs(s.DataBitIndex, 2, 1));
  ui_->ComboBoxParity->setCurrentIndex(ItemActingAs(s.ParityIndex, 3, 0));
  ui_->ComboBoxStopBit->setCurrentIndex(ItemActingAs(s.StopBitIndex, 3, 0));
  ui_->ComboBoxHdShak->setCurrentIndex(ItemActingAs(s.HdShakIndex, 3, 2));
  ui_->ComboBoxSWShak->setCurrentIndex(ItemActingAs(s.SWShakIndex, 2, 0));
}

void TFormRs232Setup::StoreSettings() {
  if (Settings == nullptr) return;
  SerialSettings& s = *Settings;
  s.PortName = "COM" + std::to_string(ui_->ComboBoxComPort->currentIndex() + 1);
  s.BaudRateIndex = ui_->ComboBoxBaudRate->currentIndex();
  s.DataBitIndex = ui_->ComboBoxDataBit->currentIndex();
  s.ParityIndex = ui_->ComboBoxParity->currentIndex();
  s.StopBitIndex = ui_->ComboBoxStopBit->currentIndex();
  s.HdShakIndex = ui_->ComboBoxHdShak->currentIndex();
  s.SWShakIndex = ui_->ComboBoxSWShak->currentIndex();
}

void TFormRs232Setup::SetLanguage(Language language) {
  language_ = language;
  SetWindowCaption(this, kCaption, language);
  SetCaption(ui_->LabelComPort, kComPort, language);
  SetCaption(ui_->LabelBaudRate, kBaudRate, language);
  SetCaption(ui_->LabelDataBit, kDataBit, language);
  SetCaption(ui_->LabelParityCheck, kParityCheck, language);
  SetCaption(ui_->LabelStopBit, kStopBit, language);
  SetCaption(ui_->LabelHHandShake, kHHandShake, language);
  SetCaption(ui_->LabelSHandShake, kSHandShake, language);
  SetItems(ui_->ComboBoxParity, {kNone, kOdd, kEven}, language);
  SetItems(ui_->ComboBoxHdShak, {kNone, kRts, kRtsCts}, language);
  SetItems(ui_->ComboBoxSWShak, {kNone, kXonXoff}, language);
  SetCaption(ui_->ButtonSet, kSet, language);
  SetCaption(ui_->ButtonCancel, kCancel, language);
  // The lists whose texts stay the same still draw in the language's font.
  SetLanguageFont(ui_->ComboBoxComPort, language);
  SetLanguageFont(ui_->ComboBoxBaudRate, language);
  SetLanguageFont(ui_->ComboBoxDataBit, language);
  SetLanguageFont(ui_->ComboBoxStopBit, language);
  SetLanguageFont(ui_->LabelComDevice, language);
  ShowDevice();
}

void TFormRs232Setup::SetDevicePresence(DevicePresence presence) {
  presence_ = std::move(presence);
  ShowDevice();
}

void TFormRs232Setup::ShowDevice() {
  const std::string device = SerialDeviceForPort(ui_->ComboBoxComPort->currentText().toStdString());
  QString text;
  if (!device.empty()) {
    const bool present = presence_ && presence_(device);
    text = Pick(present ? kFound : kNotFound, language_).arg(QString::fromStdString(device));
  }
  ui_->LabelComDevice->setText(text);
  ui_->ComboBoxComPort->setAccessibleDescription(text);
}

void TFormRs232Setup::ButtonSetClick() {
  StoreSettings();
  accept();
}

void TFormRs232Setup::ButtonCancelClick() { reject(); }

}  // namespace krt6
