// Save and Load of the parameter block and the LAN settings. The window only chooses the file;
// the bytes and the disk are the setting files' business.
#include <QFile>

#include "app/main_window.h"
#include "app/user_prompts.h"
#include "dialogs/language.h"
#include "files/setting_files.h"

namespace krt6 {
namespace {

// A dialog's path in the file system's own encoding.
std::string LocalPath(const QString& name) { return QFile::encodeName(name).toStdString(); }

}  // namespace

void TFormMain::ShowFileError(const FileResult& result) {
  ShowMessage(QString::fromUtf8(MessageText(kFileOpenError, LanguageIndex)),
              QString::fromLocal8Bit(result.Describe()));
}

void TFormMain::ButtonSaveClick() {
  Guarded([this] {
    SaveDialog1.Filter = QStringLiteral("*.ts0");
    SaveDialog1.DefaultExt = QStringLiteral("ts0");
    // The record takes the page's values even if the dialog is then cancelled; a number that
    // does not convert ends the save here, before the dialog.
    ParametersFromControls(parameters_);
    const QString name = prompts_.SaveFileName(this, SaveDialog1.Filter, SaveDialog1.DefaultExt,
                                               SaveDialog1.FileName);
    if (name.isEmpty()) return;
    SaveDialog1.FileName = name;
    const FileResult result = SaveParameterFile(LocalPath(name), parameters_);
    if (!result) ShowFileError(result);
  });
}

void TFormMain::ButtonLoadClick() {
  Guarded([this] {
    OpenDialog1.Filter = QStringLiteral("*.ts0");
    OpenDialog1.FileName.clear();
    const QString name = prompts_.OpenFileName(this, OpenDialog1.Filter, OpenDialog1.DefaultExt,
                                               OpenDialog1.FileName);
    if (name.isEmpty()) return;
    OpenDialog1.FileName = name;
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
    SaveDialog1.Filter = QStringLiteral("*.ts1");
    SaveDialog1.DefaultExt = QStringLiteral("ts1");
    LanSettingsFromControls(lan_);
    const QString name = prompts_.SaveFileName(this, SaveDialog1.Filter, SaveDialog1.DefaultExt,
                                               SaveDialog1.FileName);
    if (name.isEmpty()) return;
    SaveDialog1.FileName = name;
    const FileResult result = SaveLanSettingsFile(LocalPath(name), lan_);
    if (!result) ShowFileError(result);
  });
}

void TFormMain::ButtonExLoadClick() {
  Guarded([this] {
    OpenDialog1.Filter = QStringLiteral("*.ts1");
    OpenDialog1.FileName.clear();
    const QString name = prompts_.OpenFileName(this, OpenDialog1.Filter, OpenDialog1.DefaultExt,
                                               OpenDialog1.FileName);
    if (name.isEmpty()) return;
    OpenDialog1.FileName = name;
    const FileResult result = LoadLanSettingsFile(LocalPath(name), lan_);
    if (!result) {
      ShowFileError(result);
      return;
    }
    ShowLanSettings(lan_);
  });
}

}  // namespace krt6
