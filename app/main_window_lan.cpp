// The Extra Setting and Maintenance Mode pages: LAN settings and the sensor calibration.
#include <QKeyEvent>

#include "app/main_window.h"
#include "app/page_fields.h"
#include "ui_main_window.h"

namespace krt6 {

void TFormMain::LanSettingsFromControls(LanSettings& settings) {
  GatherPage(*this, FieldPart::kLan, &settings);
}

void TFormMain::ShowLanSettings(const LanSettings& settings) {
  ShowPage(*this, FieldPart::kLan, &settings, session_.VersionIndex());
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

void TFormMain::ButtonExSetClick() {
  Guarded([this] {
    // The texts first: whether typed, pasted or set from outside, a text its command cannot
    // carry is refused before the record takes the page and before anything is opened.
    if (RefuseUnsendable(CheckPageTexts(*this, FieldPart::kLan, /*to_send=*/true))) return;
    // Gathered while the window is still enabled; a conversion error ends the handler here.
    LanSettingsFromControls(lan_);
    if (RefuseUnsendable(CheckLanSettings(lan_))) return;
    RunExchange(
        [settings = lan_](Session& session) { return Result(session.WriteLanSettings(settings)); });
  });
}

void TFormMain::ButtonCalibSensorClick() {
  Guarded([this] {
    const std::int32_t sensor = ui_->ComboBoxSensor->currentIndex();
    RunExchange([sensor](Session& session) { return Result(session.CalibrateSensor(sensor)); });
  });
}

void TFormMain::InstallTextKeyFilters() {
  // A text of host-name characters takes typed characters only through the key filter; an input
  // method would commit text around it.
  for (const FieldPart part : {FieldPart::kParameters, FieldPart::kLan}) {
    for (const BoundControl& control : PageControls(*this, part)) {
      if (control.row->kind != FieldKind::kText ||
          control.row->text_chars != TextChars::kHostName) {
        continue;
      }
      control.widget->setAttribute(Qt::WA_InputMethodEnabled, false);
      control.widget->installEventFilter(this);
    }
  }
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
  const FieldRow* row = event->type() == QEvent::KeyPress ? FieldOfControl(*watched) : nullptr;
  if (row != nullptr) {
    const auto* key_event = static_cast<QKeyEvent*>(event);
    const QString typed = key_event->text();
    // Keys that type no character pass: arrows and Home (no text), Delete (whose text is DEL
    // here) and the focus keys.
    const int key = key_event->key();
    const bool not_a_character =
        key == Qt::Key_Delete || key == Qt::Key_Tab || key == Qt::Key_Backtab;
    if (!typed.isEmpty() && !not_a_character) {
      for (QChar c : typed) {
        FilterTypedKey(*row, c);
        if (c.isNull()) return true;
      }
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace krt6
