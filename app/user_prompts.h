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
};

// The real boxes.
class QtUserPrompts : public UserPrompts {
 public:
  void ShowMessage(QWidget* parent, const QString& text, const QString& details) override;
};

}  // namespace krt6
