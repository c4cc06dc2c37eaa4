#include "dialogs/about_box.h"

#include "dialogs/dialog_frame.h"
#include "ui_about_box.h"

namespace krt6 {

TFormAbout* FormAbout = nullptr;

TFormAbout::TFormAbout(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::TFormAbout>()) {
  ui_->setupUi(this);
  SetFixedDialogFrame(this);
  QFont large = font();
  large.setPixelSize(24);
  ui_->Label1->setFont(large);
  ui_->Label2->setFont(large);
  ui_->Label1->setText(QStringLiteral("Version V" KRT6_VERSION_TEXT));
  connect(ui_->Button1, &QPushButton::clicked, this, &TFormAbout::Button1Click);
}

TFormAbout::~TFormAbout() {
  if (FormAbout == this) FormAbout = nullptr;
}

void TFormAbout::Button1Click() { accept(); }

}  // namespace krt6
