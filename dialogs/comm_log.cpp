#include "dialogs/comm_log.h"

#include <QFile>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "session/trace_text.h"
#include "texts/texts.h"

namespace krt6 {

TFormCommLog::TFormCommLog(QWidget* parent, ChooseSavePath choose_save_path)
    : QDialog(parent), choose_save_path_(std::move(choose_save_path)) {
  setObjectName(QStringLiteral("FormCommLog"));
  setModal(false);
  resize(720, 360);
  lines_ = new QPlainTextEdit(this);
  lines_->setObjectName(QStringLiteral("MemoLog"));
  lines_->setReadOnly(true);
  lines_->setLineWrapMode(QPlainTextEdit::NoWrap);
  lines_->setMaximumBlockCount(kMaxLines);
  lines_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  clear_ = new QPushButton(this);
  clear_->setObjectName(QStringLiteral("ButtonClear"));
  save_ = new QPushButton(this);
  save_->setObjectName(QStringLiteral("ButtonSave"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(clear_);
  buttons->addWidget(save_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lines_);
  layout->addLayout(buttons);
  connect(clear_, &QPushButton::clicked, this, &TFormCommLog::ButtonClearClick);
  connect(save_, &QPushButton::clicked, this, &TFormCommLog::ButtonSaveClick);
  SetLanguage(Language::kEnglish);
}

void TFormCommLog::SetLanguage(Language language) {
  setWindowTitle(QString::fromUtf8(TextFor(kCommunicationLogText, language)));
  clear_->setText(QString::fromUtf8(TextFor(kClearLogText, language)));
  save_->setText(QString::fromUtf8(TextFor(kSaveLogText, language)));
}

void TFormCommLog::Append(const TraceEvent& event) {
  lines_->appendPlainText(QString::fromStdString(TraceLine(event, origin_)));
}

QString TFormCommLog::Text() const { return lines_->toPlainText(); }

void TFormCommLog::ButtonClearClick() {
  lines_->clear();
  origin_ = std::chrono::steady_clock::now();
}

bool TFormCommLog::ButtonSaveClick() {
  const QString path = choose_save_path_ ? choose_save_path_(this) : QString();
  if (path.isEmpty()) return false;
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) return false;
  const QByteArray text = (Text() + QLatin1Char('\n')).toUtf8();
  return file.write(text) == text.size();
}

}  // namespace krt6
