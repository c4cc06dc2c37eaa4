#include "dialogs/lpt_setup.h"

#include "dialogs/dialog_frame.h"
#include "dialogs/language_apply.h"
#include "ui_lpt_setup.h"

namespace krt6 {

TFormLPTSetup* FormLPTSetup = nullptr;

namespace {

constexpr TextPair kCaption{"LPT Setup", "LPT 設定"};
constexpr TextPair kSet{"Set", "セット"};
constexpr TextPair kCancel{"Cancel", "キャンセル"};
// The list has no label of its own; a screen reader announces it by this name.
constexpr TextPair kListName{"LPT Port", "LPTポート"};
constexpr TextPair kFound{"%1 (found)", "%1 (検出)"};
constexpr TextPair kNotFound{"%1 (not found)", "%1 (未検出)"};

}  // namespace

TFormLPTSetup::TFormLPTSetup(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TFormLPTSetup>()) {
  ui_->setupUi(this);
  SetFixedDialogFrame(this);
  connect(ui_->ButtonSet, &QPushButton::clicked, this, &TFormLPTSetup::ButtonSetClick);
  connect(ui_->ButtonCancel, &QPushButton::clicked, this, &TFormLPTSetup::ButtonCancelClick);
  connect(ui_->ComboBoxLPT, &QComboBox::currentIndexChanged, this, &TFormLPTSetup::ShowDevice);
  ShowDevice();
}

TFormLPTSetup::~TFormLPTSetup() {
  if (FormLPTSetup == this) FormLPTSetup = nullptr;
}

void TFormLPTSetup::BindSettings(std::string& LptName, Language language) {
  Settings = &LptName;
  LoadSettings();
  SetLanguage(language);
}

void TFormLPTSetup::LoadSettings() {
  if (Settings == nullptr) return;
  ui_->ComboBoxLPT->setCurrentIndex(PortIndexFromName(*Settings, "LPT", ui_->ComboBoxLPT->count()));
}

void TFormLPTSetup::StoreSettings() {
  if (Settings == nullptr) return;
  *Settings = "LPT" + std::to_string(ui_->ComboBoxLPT->currentIndex() + 1);
}

void TFormLPTSetup::SetLanguage(Language language) {
  language_ = language;
  SetWindowCaption(this, kCaption, language);
  SetLanguageFont(ui_->ComboBoxLPT, language);
  ui_->ComboBoxLPT->setAccessibleName(Pick(kListName, language));
  SetLanguageFont(ui_->LabelLptDevice, language);
  SetCaption(ui_->ButtonSet, kSet, language);
  SetCaption(ui_->ButtonCancel, kCancel, language);
  ShowDevice();
}

void TFormLPTSetup::SetDevicePresence(DevicePresence presence) {
  presence_ = std::move(presence);
  ShowDevice();
}

void TFormLPTSetup::ShowDevice() {
  const std::string device = ParallelDeviceForPort(ui_->ComboBoxLPT->currentText().toStdString());
  QString text;
  if (!device.empty()) {
    const bool present = presence_ && presence_(device);
    text = Pick(present ? kFound : kNotFound, language_).arg(QString::fromStdString(device));
  }
  ui_->LabelLptDevice->setText(text);
  ui_->ComboBoxLPT->setAccessibleDescription(text);
}

void TFormLPTSetup::ButtonSetClick() {
  StoreSettings();
  accept();
}

void TFormLPTSetup::ButtonCancelClick() { reject(); }

}  // namespace krt6
