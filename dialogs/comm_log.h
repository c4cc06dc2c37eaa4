// The Communication Log window: the bytes of the last exchanges, one line per chunk with its
// time, direction, hex and printable text, so that a technician can see why a printer does not
// answer. It keeps the last kMaxLines chunks; Clear empties it and Save writes it as text.
#pragma once

#include <QDialog>
#include <QString>
#include <chrono>
#include <functional>

#include "link/trace.h"
#include "texts/language.h"

class QPlainTextEdit;
class QPushButton;

namespace krt6 {

class TFormCommLog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kMaxLines = 1000;
  // Asks for the path to save to; empty when the operator cancelled.
  using ChooseSavePath = std::function<QString(QWidget* parent)>;

  TFormCommLog(QWidget* parent, ChooseSavePath choose_save_path);

  void SetLanguage(Language language);
  // Adds the line of one chunk; the oldest line goes beyond kMaxLines.
  void Append(const TraceEvent& event);
  QString Text() const;

 public slots:
  void ButtonClearClick();
  // Writes the lines to the chosen file; false when it cannot be written.
  bool ButtonSaveClick();

 private:
  ChooseSavePath choose_save_path_;
  QPlainTextEdit* lines_ = nullptr;
  QPushButton* clear_ = nullptr;
  QPushButton* save_ = nullptr;
  // Times are shown in seconds since the log was opened or last cleared.
  std::chrono::steady_clock::time_point origin_ = std::chrono::steady_clock::now();
};

}  // namespace krt6
