// What the window asks of the operator through modal boxes. Tests replace it with a recorder so
// that no modal box ever blocks them.
#pragma once

#include <QString>

class QWidget;

namespace krt6 {

class UserPrompts {
 public:
  virtual ~UserPrompts() = default;

  // A modal message box with an OK button. `details` (may be empty) goes into the box's detailed
  // text: what the system said about the failure and what can be done about it.
  virtual void ShowMessage(QWidget* parent, const QString& text, const QString& details) = 0;

  // The file dialogs. `filter` holds the filter entries, both shown and matched, separated by
  // ";;" ("*.ts0;;*.json"); the first is selected. `default_suffix` is added to a name typed
  // without an extension ("ts0", empty for none); once the operator selects another entry, that
  // entry's extension is added instead;
  // `initial_name` is the name the dialog offers. Each returns the chosen path, or an empty
  // text when the operator cancelled. The save dialog replaces an existing file without asking;
  // the open dialog does not check that the chosen file exists.
  virtual QString SaveFileName(QWidget* parent, const QString& filter,
                               const QString& default_suffix, const QString& initial_name) = 0;
  virtual QString OpenFileName(QWidget* parent, const QString& filter,
                               const QString& default_suffix, const QString& initial_name) = 0;
};

// The real boxes.
class QtUserPrompts : public UserPrompts {
 public:
  void ShowMessage(QWidget* parent, const QString& text, const QString& details) override;
  QString SaveFileName(QWidget* parent, const QString& filter, const QString& default_suffix,
                       const QString& initial_name) override;
  QString OpenFileName(QWidget* parent, const QString& filter, const QString& default_suffix,
                       const QString& initial_name) override;
};

}  // namespace krt6
