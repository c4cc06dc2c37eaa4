#include "app/user_prompts.h"

#include <QApplication>
#include <QFileDialog>
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

namespace {

QString RunFileDialog(QWidget* parent, QFileDialog::AcceptMode mode, const QString& filter,
                      const QString& default_suffix, const QString& initial_name) {
  QFileDialog dialog(parent);
  dialog.setAcceptMode(mode);
  // Any name is accepted: saving creates the file, and loading reports a missing one itself.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog.setNameFilter(filter);
  dialog.selectNameFilter(filter.section(QStringLiteral(";;"), 0, 0));
  dialog.setDefaultSuffix(default_suffix);
  if (!default_suffix.isEmpty()) {
    // A name typed under "*.json" gets ".json": the suffix follows the selected entry.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& f) {
      dialog.setDefaultSuffix(f.section(QStringLiteral("*."), 1).section(QLatin1Char(' '), 0, 0));
    });
  }
  if (!initial_name.isEmpty()) dialog.selectFile(initial_name);
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.selectedFiles().value(0);
}

}  // namespace

QString QtUserPrompts::SaveFileName(QWidget* parent, const QString& filter,
                                    const QString& default_suffix, const QString& initial_name) {
  return RunFileDialog(parent, QFileDialog::AcceptSave, filter, default_suffix, initial_name);
}

QString QtUserPrompts::OpenFileName(QWidget* parent, const QString& filter,
                                    const QString& default_suffix, const QString& initial_name) {
  return RunFileDialog(parent, QFileDialog::AcceptOpen, filter, default_suffix, initial_name);
}

}  // namespace krt6
