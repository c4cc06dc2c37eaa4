#include "dialogs/net_setup.h"

#include <QMessageBox>

#include "dialogs/dialog_frame.h"
#include "dialogs/integer_text.h"
#include "ui_net_setup.h"

namespace krt6 {

TFormNetSetup* FormNetSetup = nullptr;

namespace {

constexpr TextPair kCaption{"TCP/IP Setup", "TCP/IP 設定"};
constexpr TextPair kIPSetting{"IP Setting", "IP設定"};
constexpr TextPair kIPAddress{"IP Address", "IPアドレス"};
constexpr TextPair kPort{"Port", "ソケットポート"};
constexpr TextPair kSet{"Set", "セット"};
constexpr TextPair kCancel{"Cancel", "キャンセル"};

}  // namespace

TFormNetSetup::TFormNetSetup(QWidget* parent, MessageDisplay show_error)
    : QDialog(parent),
      ui_(std::make_unique<Ui::TFormNetSetup>()),
      show_error_(std::move(show_error)) {
  ui_->setupUi(this);
  SetFixedDialogFrame(this);
  connect(ui_->ButtonSet, &QPushButton::clicked, this, &TFormNetSetup::ButtonSetClick);
  connect(ui_->ButtonCancel, &QPushButton::clicked, this, &TFormNetSetup::ButtonCancelClick);
  if (!show_error_) {
    show_error_ = [this](const QString& text) {
      QMessageBox::warning(this, QStringLiteral("K-RT6 Setting Tool"), text);
    };
  }
}

TFormNetSetup::~TFormNetSetup() {
  if (FormNetSetup == this) FormNetSetup = nullptr;
}

void TFormNetSetup::BindSettings(TcpSettings& settings, Language language) {
  Settings = &settings;
  SetLanguage(language);
  LoadSettings();
}

void TFormNetSetup::LoadSettings() {
  if (Settings == nullptr) return;
  ui_->EditIPAddr->setText(QString::fromStdString(Settings->IPAddr));
  ui_->EditPort->setText(QString::number(Settings->Port));
}

bool TFormNetSetup::StoreSettings(QString& error) {
  if (Settings == nullptr) return true;
  Settings->IPAddr = ui_->EditIPAddr->text().toStdString();
  const QString text = ui_->EditPort->text();
  const std::optional<int> port = IntegerFromText(text);
  if (!port) {
    error = NotAnIntegerText(text);
    return false;
  }
  Settings->Port = *port;
  return true;
}

void TFormNetSetup::SetLanguage(Language language) {
  SetWindowCaption(this, kCaption, language);
  SetCaption(ui_->GroupBoxIPSetting, kIPSetting, language);
  SetCaption(ui_->LabelIPAddress, kIPAddress, language);
  SetCaption(ui_->LabelPort, kPort, language);
  SetCaption(ui_->ButtonSet, kSet, language);
  SetCaption(ui_->ButtonCancel, kCancel, language);
}

void TFormNetSetup::ButtonSetClick() {
  QString error;
  if (!StoreSettings(error)) {
    show_error_(error);
    return;
  }
  accept();
}

void TFormNetSetup::ButtonCancelClick() { reject(); }

}  // namespace krt6
