// Save and Load of the parameter block and the LAN settings. The window only chooses the file;
// the bytes and the disk are the setting files' business, and the readable configuration's
// (.json) the configuration library's.
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <algorithm>
#include <vector>

#include "app/main_window.h"
#include "app/page_fields.h"
#include "app/user_prompts.h"
#include "config/configuration.h"
#include "files/setting_files.h"
#include "texts/texts.h"
#include "ui_main_window.h"

namespace krt6 {
namespace {

// A dialog's path in the file system's own encoding.
std::string LocalPath(const QString& name) { return QFile::encodeName(name).toStdString(); }

// The readable configuration is chosen by the name's extension, as the library reads it.
bool IsConfigurationName(const QString& name) {
  return name.endsWith(QStringLiteral(".json"), Qt::CaseInsensitive);
}

// What a page's lists and edits show, to put back after a trial showing of a record.
class PageSnapshot {
 public:
  explicit PageSnapshot(const QWidget* page) {
    for (QComboBox* c : page->findChildren<QComboBox*>()) {
      combos_.push_back({c, c->currentIndex(), c->isEnabled()});
    }
    for (QLineEdit* e : page->findChildren<QLineEdit*>()) {
      edits_.push_back({e, e->text(), e->isEnabled(), e->isModified()});
    }
  }
  void Restore() const {
    for (const Combo& c : combos_) {
      c.widget->setCurrentIndex(c.index);
      c.widget->setEnabled(c.enabled);
    }
    for (const Edit& e : edits_) {
      e.widget->setText(e.text);
      e.widget->setEnabled(e.enabled);
      e.widget->setModified(e.modified);
    }
  }

 private:
  struct Combo {
    QComboBox* widget;
    int index;
    bool enabled;
  };
  struct Edit {
    QLineEdit* widget;
    QString text;
    bool enabled;
    bool modified;
  };
  std::vector<Combo> combos_;
  std::vector<Edit> edits_;
};

// Shows `candidate` on the page and gathers it back: the first key `named` gives whose value
// did not survive (a list without that item, an edit too short for the number or the text).
// The page is put back as it was whether or not a key is returned.
template <typename Record, typename Show, typename Gather>
std::string FirstUnshownKey(const QWidget* page, const Record& candidate,
                            const std::vector<std::string>& named, Show show, Gather gather,
                            Language language) {
  const PageSnapshot before(page);
  Record shown = candidate;
  try {
    show(candidate);
    gather(shown);
  } catch (...) {
    before.Restore();
    throw;
  }
  before.Restore();
  for (const FieldChange& change : Diff(candidate, shown, language)) {
    // A field no control shows keeps the candidate's value, as from a setting file.
    const FieldRow* row = FindFieldByKey(change.Key);
    if (row == nullptr || !PageShows(*row)) continue;
    if (std::find(named.begin(), named.end(), change.Key) != named.end()) return change.Key;
  }
  return {};
}

}  // namespace

void TFormMain::ShowFileError(const FileResult& result) {
  ShowMessage(QString::fromUtf8(MessageText(kFileOpenError, language_)),
              QString::fromLocal8Bit(result.Describe(language_)));
}

void TFormMain::ShowConfigurationError(const std::string& message) {
  ShowMessage(QString::fromUtf8(MessageText(kFileOpenError, language_)),
              QString::fromUtf8(message));
}

QString TFormMain::ChooseSaveFile(const QString& extension) {
  SaveDialog1.Filter = QStringLiteral("*.") + extension + QStringLiteral(";;*.json");
  SaveDialog1.DefaultExt = extension;
  const QString name =
      prompts_.SaveFileName(this, SaveDialog1.Filter, SaveDialog1.DefaultExt, SaveDialog1.FileName);
  if (!name.isEmpty()) SaveDialog1.FileName = name;
  return name;
}

QString TFormMain::ChooseOpenFile(const QString& extension) {
  OpenDialog1.Filter = QStringLiteral("*.") + extension + QStringLiteral(";;*.json");
  OpenDialog1.FileName.clear();
  const QString name =
      prompts_.OpenFileName(this, OpenDialog1.Filter, OpenDialog1.DefaultExt, OpenDialog1.FileName);
  OpenDialog1.FileName = name;
  return name;
}

void TFormMain::SaveConfigurationPart(const std::string& path, bool lan) {
  const Configuration part = FromRecords(lan ? nullptr : &parameters_, lan ? &lan_ : nullptr);
  const ConfigError saved = SaveConfiguration(path, part, language_);
  if (!saved.Ok()) ShowConfigurationError(saved.Message);
}

void TFormMain::LoadConfigurationPart(const std::string& path, bool lan) {
  // Every value a record can hold is taken, as from a setting file; what the page cannot show
  // is refused below, and what a printer cannot take is Set's to refuse.
  const ConfigResult<Configuration> loaded = LoadConfiguration(path, language_, ValueUse::kStore);
  if (const auto* refused = std::get_if<ConfigError>(&loaded)) {
    ShowConfigurationError(refused->Message);
    return;
  }
  const Configuration& configuration = std::get<Configuration>(loaded);
  if (!(lan ? configuration.HasLan : configuration.HasParameters)) {
    ShowConfigurationError(
        FormatText(kNoPagePartText, language_, Printable(path, 200), lan ? "lan" : "parameters"));
    return;
  }
  std::string unshown;
  if (lan) {
    const LanSettings candidate = Overlay(configuration, lan_);
    unshown = FirstUnshownKey(
        ui_->GroupBoxLan, candidate, configuration.Named(),
        [this](const LanSettings& s) { ShowLanSettings(s); },
        [this](LanSettings& s) { LanSettingsFromControls(s); }, language_);
    if (unshown.empty()) lan_ = candidate;
  } else {
    const ParameterBlock candidate = Overlay(configuration, parameters_);
    unshown = FirstUnshownKey(
        ui_->GroupBoxParameter, candidate, configuration.Named(),
        [this](const ParameterBlock& b) { ShowParameters(b); },
        [this](ParameterBlock& b) { ParametersFromControls(b); }, language_);
    if (unshown.empty()) parameters_ = candidate;
  }
  if (!unshown.empty()) {
    ShowConfigurationError(FormatText(kPageCannotShowText, language_, unshown));
    return;
  }
  if (lan) {
    ShowLanSettings(lan_);
  } else {
    ShowParameters(parameters_);
  }
}

void TFormMain::ButtonSaveClick() {
  Guarded([this] {
    // A file holds any byte, but no character beyond Latin-1: such a text is refused rather
    // than saved as "?".
    if (RefuseUnsendable(CheckPageTexts(*this, FieldPart::kParameters, /*to_send=*/false))) return;
    // The record takes the page's values even if the dialog is then cancelled; a number that
    // does not convert ends the save here, before the dialog.
    ParametersFromControls(parameters_);
    const QString name = ChooseSaveFile(QStringLiteral("ts0"));
    if (name.isEmpty()) return;
    if (IsConfigurationName(name)) {
      SaveConfigurationPart(LocalPath(name), /*lan=*/false);
      return;
    }
    const FileResult result = SaveParameterFile(LocalPath(name), parameters_);
    if (!result) ShowFileError(result);
  });
}

void TFormMain::ButtonLoadClick() {
  Guarded([this] {
    const QString name = ChooseOpenFile(QStringLiteral("ts0"));
    if (name.isEmpty()) return;
    if (IsConfigurationName(name)) {
      LoadConfigurationPart(LocalPath(name), /*lan=*/false);
      return;
    }
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
    if (RefuseUnsendable(CheckPageTexts(*this, FieldPart::kLan, /*to_send=*/false))) return;
    LanSettingsFromControls(lan_);
    const QString name = ChooseSaveFile(QStringLiteral("ts1"));
    if (name.isEmpty()) return;
    if (IsConfigurationName(name)) {
      SaveConfigurationPart(LocalPath(name), /*lan=*/true);
      return;
    }
    const FileResult result = SaveLanSettingsFile(LocalPath(name), lan_);
    if (!result) ShowFileError(result);
  });
}

void TFormMain::ButtonExLoadClick() {
  Guarded([this] {
    const QString name = ChooseOpenFile(QStringLiteral("ts1"));
    if (name.isEmpty()) return;
    if (IsConfigurationName(name)) {
      LoadConfigurationPart(LocalPath(name), /*lan=*/true);
      return;
    }
    const FileResult result = LoadLanSettingsFile(LocalPath(name), lan_);
    if (!result) {
      ShowFileError(result);
      return;
    }
    ShowLanSettings(lan_);
  });
}

}  // namespace krt6
