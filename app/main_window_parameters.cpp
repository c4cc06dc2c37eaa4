// The Parameter Setting page: the parameter block between the controls and the printer.
#include <QComboBox>
#include <QLineEdit>
#include <cstring>
#include <string_view>

#include "app/conversion.h"
#include "app/main_window.h"
#include "protocol/commands.h"
#include "texts/field_texts.h"
#include "ui_main_window.h"

namespace krt6 {
namespace {

// A list shows the item of its field; a value outside its range leaves it without a selection.
void SelectItem(QComboBox* combo, int value) {
  combo->setCurrentIndex(value >= 0 && value < combo->count() ? value : -1);
}

}  // namespace

void TFormMain::ParametersFromControls(ParameterBlock& block) {
  block.FontCode = ui_->ComboBoxFontCode->currentIndex();
  block.ZeroCode = ui_->ComboBoxZeroCode->currentIndex();
  block.Speed = ui_->ComboBoxSpeed->currentIndex();
  block.DataLeng = ui_->ComboBoxDataLeng->currentIndex();
  block.StopBit = ui_->ComboBoxStopBit->currentIndex();
  block.Parity = ui_->ComboBoxParity->currentIndex();
  block.Control = ui_->ComboBoxControl->currentIndex();
  block.Destination = std::max(0, ui_->ComboBoxDestination->currentIndex());
  block.ForwardWait = ui_->ComboBoxForwardWait->currentIndex();
  block.Code = ui_->ComboBoxCode->currentIndex();
  block.FeedKey = ui_->ComboBoxFeedKey->currentIndex();
  const QByteArray euro = ui_->EditEuroCode->text().toLatin1().left(2);
  std::memset(block.EuroCode, 0, 3);
  std::memcpy(block.EuroCode, euro.constData(), static_cast<std::size_t>(euro.size()));
  block.AutoHome = ui_->ComboBoxAutoHome->currentIndex();
  block.AutoCalib = ui_->ComboBoxAutoCalib->currentIndex();
  block.ModelSelect = ui_->ComboBoxModelSelect->currentIndex();
  block.XAdj = StrToInt(ui_->EditXAdj->text());
  block.BlankSpaceLen = ui_->ComboBoxBlankSpaceLen->currentIndex() + 2;
}

void TFormMain::ShowParameters(const ParameterBlock& block) {
  SelectItem(ui_->ComboBoxFontCode, block.FontCode);
  SelectItem(ui_->ComboBoxZeroCode, block.ZeroCode);
  SelectItem(ui_->ComboBoxSpeed, block.Speed);
  SelectItem(ui_->ComboBoxDataLeng, block.DataLeng);
  SelectItem(ui_->ComboBoxStopBit, block.StopBit);
  SelectItem(ui_->ComboBoxParity, block.Parity);
  SelectItem(ui_->ComboBoxControl, block.Control);
  SelectItem(ui_->ComboBoxDestination, block.Destination);
  SelectItem(ui_->ComboBoxForwardWait, block.ForwardWait);
  SelectItem(ui_->ComboBoxCode, block.Code);
  SelectItem(ui_->ComboBoxFeedKey, block.FeedKey);
  SelectItem(ui_->ComboBoxAutoHome, block.AutoHome);
  SelectItem(ui_->ComboBoxAutoCalib, block.AutoCalib);
  SelectItem(ui_->ComboBoxModelSelect, block.ModelSelect);
  // The list holds 2..99 from item 0; a loaded value far outside must not overflow the index.
  SelectItem(ui_->ComboBoxBlankSpaceLen, block.BlankSpaceLen >= 2 ? block.BlankSpaceLen - 2 : -1);
  ui_->EditEuroCode->setText(QString::fromLatin1(
      block.EuroCode, static_cast<qsizetype>(strnlen(block.EuroCode, sizeof block.EuroCode))));
  ui_->EditXAdj->setText(QString::number(block.XAdj));
  ui_->ComboBoxDestination->setEnabled(session_.VersionIndex() >= 1);
  ui_->ComboBoxModelSelect->setEnabled(session_.VersionIndex() >= 2);
  ui_->ComboBoxBlankSpaceLen->setEnabled(session_.VersionIndex() >= 3);
}

void TFormMain::SelectVersionFromText(const char* text) {
  // Selecting by index does not run ComboBoxVersionChange (it listens to operator actions).
  ui_->ComboBoxVersion->setCurrentIndex(VersionIndexForText(text));
  session_.SetVersionIndex(ui_->ComboBoxVersion->currentIndex());
}

void TFormMain::DetectFirmwareVersion(Then then) {
  Exchange([](Session& session) { return session.ReadFirmwareVersion(); },
           [this](const Outcome<VersionText>& version) {
             if (version.Ok()) SelectVersionFromText(version.Value.Text);
           },
           /*quiet=*/true, std::move(then));
}

bool TFormMain::RefuseUnsendable(SettingField field) {
  if (field == SettingField::kNone) return false;
  ShowMessage(QString::fromStdString(RefusalText(field, language_)));
  return true;
}

SettingField TFormMain::CheckTextEdit(const QLineEdit* edit, SettingField field, bool to_send) {
  const QString text = edit->text();
  for (const QChar c : text) {
    if (c.unicode() > 0xFF) return field;
  }
  if (!to_send) return SettingField::kNone;
  const QByteArray bytes = text.toLatin1();
  const std::string_view view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  const bool fits =
      field == FieldOf("dhcp_hostname") ? IsHostNameText(view) : IsCommandText(view);
  return fits ? SettingField::kNone : field;
}

SettingField TFormMain::CheckEuroCodeEdit(bool to_send) const {
  return CheckTextEdit(ui_->EditEuroCode, FieldOf("euro_code"), to_send);
}

void TFormMain::ButtonReadClick() {
  ui_->ButtonRead->setEnabled(false);
  Guarded([this] {
    DetectFirmwareVersion([this](ResultCode) {
      Exchange([start = parameters_](Session& session) { return session.ReadParameters(start); },
               [this](const Outcome<ParameterBlock>& read) {
                 // A failed read leaves in the record what it had decoded by then.
                 parameters_ = read.Value;
                 if (read.Ok()) ShowParameters(parameters_);
               });
    });
  });
  ui_->ButtonRead->setEnabled(true);
}

void TFormMain::ButtonSetClick() {
  ui_->ButtonSet->setEnabled(false);
  Guarded([this] {
    // A text its command cannot carry is refused before anything is opened, the version query
    // included; the record keeps what it held.
    if (RefuseUnsendable(CheckEuroCodeEdit(/*to_send=*/true))) return;
    // A cancelled version query ends Set there, with nothing more to say.
    DetectFirmwareVersion([this](ResultCode) {
      // A text that is no integer raises the conversion error here, before anything is sent.
      ParametersFromControls(parameters_);
      // Without a printer version there is no format to send the block in, and a value too wide
      // for its field would shift every field after it: refuse both before opening the link.
      if (RefuseUnsendable(CheckParameterBlock(parameters_, session_.VersionIndex(),
                                               session_.Settings().CodeMode != 0))) {
        return;
      }
      RunExchange([block = parameters_](Session& session) {
        return OutcomeStatus(session.WriteParameters(block));
      });
    });
  });
  ui_->ButtonSet->setEnabled(true);
}

void TFormMain::ComboBoxVersionChange() {
  session_.SetVersionIndex(VersionItemIndex());
  // The stored records go back into the controls: edits not yet taken into them are dropped.
  ShowParameters(parameters_);
  ShowLanSettings(lan_);
}

}  // namespace krt6
