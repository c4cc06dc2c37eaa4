// The Parameter Setting page: the parameter block between the controls and the printer.
#include "app/main_window.h"
#include "app/page_fields.h"
#include "protocol/commands.h"
#include "texts/field_texts.h"
#include "ui_main_window.h"

namespace krt6 {

void TFormMain::ParametersFromControls(ParameterBlock& block) {
  GatherPage(*this, FieldPart::kParameters, &block);
}

void TFormMain::ShowParameters(const ParameterBlock& block) {
  ShowPage(*this, FieldPart::kParameters, &block, session_.VersionIndex());
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
    if (RefuseUnsendable(CheckPageTexts(*this, FieldPart::kParameters, /*to_send=*/true))) return;
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
        return Result(session.WriteParameters(block));
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
