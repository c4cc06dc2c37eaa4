#include "app/user_prompts.h"

#include <QApplication>
#include <QMessageBox>

namespace krt6 {

void QtUserPrompts::ShowMessage(QWidget* parent, const QString& text, const QString& details) {
  QMessageBox box(parent);
  box.setWindowTitle(QApplication::applicationDisplayName());
  box.setIcon(QMessageBox::NoIcon);
  box.setText(text);
  if (!details.isEmpty()) box.setDetailedText(details);
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
}

}  // namespace krt6
