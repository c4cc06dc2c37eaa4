// Save and Load of the parameter block and the LAN settings. The window only chooses the file;
// the bytes and the disk are the setting files' business.
#include <QFile>

#include "app/main_window.h"
#include "app/user_prompts.h"
#include "files/setting_files.h"
#include "texts/texts.h"

namespace krt6 {
namespace {

// A dialog's path in the file system's own encoding.
std::string LocalPath(const QString& name) { return QFile::encodeName(name).toStdString(); }

}  // namespace

void TFormMain::ShowFileError(const FileResult& result) {
  ShowMessage(QString::fromUtf8(MessageText(kFileOpenError, language_)),
              QString::fromLocal8Bit(result.Describe(language_)));
}

QString TFormMain::ChooseSaveFile(const QString& extension) {
  SaveDialog1.Filter = QStringLiteral("*.") + extension;
  SaveDialog1.DefaultExt = extension;
  const QString name =
      prompts_.SaveFileName(this, SaveDialog1.Filter, SaveDialog1.DefaultExt, SaveDialog1.FileName);
  if (!name.isEmpty()) SaveDialog1.FileName = name;
  return name;
}

QString TFormMain::ChooseOpenFile(const QString& extension) {
  OpenDialog1.Filter = QStringLiteral("*.") + extension;
  OpenDialog1.FileName.clear();
  const QString name =
      prompts_.OpenFileName(this, OpenDialog1.Filter, OpenDialog1.DefaultExt, OpenDialog1.FileName);
  OpenDialog1.FileName = name;
  return name;
}

void TFormMain::ButtonSaveClick() {
  Guarded([this] {
    // A file holds any byte, but no character beyond Latin-1: such a text is refused rather
    // than saved as "?".
    if (RefuseUnsendable(CheckEuroCodeEdit(/*to_send=*/false))) return;
    // The record takes the page's values even if the dialog is then cancelled; a number that
    // does not convert ends the save here, before the dialog.
    ParametersFromControls(parameters_);
    const QString name = ChooseSaveFile(QStringLiteral("ts0"));
    if (name.isEmpty()) return;
    const FileResult result = SaveParameterFile(LocalPath(name), parameters_);
    if (!result) ShowFileError(result);
  });
}

void TFormMain::ButtonLoadClick() {
  Guarded([this] {
    const QString name = ChooseOpenFile(QStringLiteral("ts0"));
    if (name.isEmpty()) return;
    // A failed load leaves the record, and so the page, as they were.
    const FileResult result = LoadParameterFile(LocalPath(name), parameters_);
    if (!result) {
      ShowFileError(result);
      return;
    }
    ShowParameters(parameters_);
  });
}

void TFormMain::ButtonExSaveClick() {
  Guarded([this] {
    if (RefuseUnsendable(CheckLanTextEdits(/*to_send=*/false))) return;
    LanSettingsFromControls(lan_);
    const QString name = ChooseSaveFile(QStringLiteral("ts1"));
    if (name.isEmpty()) return;
    const FileResult result = SaveLanSettingsFile(LocalPath(name), lan_);
    if (!result) ShowFileError(result);
  });
}

void TFormMain::ButtonExLoadClick() {
  Guarded([this] {
    const QString name = ChooseOpenFile(QStringLiteral("ts1"));
    if (name.isEmpty()) return;
    const FileResult result = LoadLanSettingsFile(LocalPath(name), lan_);
    if (!result) {
      ShowFileError(result);
      return;
    }
    ShowLanSettings(lan_);
  });
}

}  // namespace krt6
