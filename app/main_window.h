// The main window: it owns all state of the program (link settings, parameter block, LAN
// settings, firmware version index), wires each control event to its operation and frames every
// printer exchange the same way.
#pragma once

#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "link/link_layer.h"
#include "link/link_settings.h"
#include "protocol/commands.h"
#include "protocol/protocol.h"
#include "records/records.h"
#include "texts/language.h"

class QLabel;
class QLineEdit;
class QTimer;
class QCloseEvent;

namespace Ui {
class TFormMain;
}

namespace krt6 {

class UserPrompts;
class TFormMain;
class FileResult;

// The one main window while it exists.
extern TFormMain* FormMain;

class TFormMain : public QMainWindow {
  Q_OBJECT

 public:
  // `link` carries the exchanges (real or test backends), `prompts` shows message boxes,
  // `locale_name` is the system's locale ("ja_JP.UTF-8" starts in Japanese).
  TFormMain(LinkLayer& link, UserPrompts& prompts, const std::string& locale_name,
            QWidget* parent = nullptr);
  ~TFormMain() override;

  // State the window owns.
  LinkSettings& Settings() { return settings_; }
  ParameterBlock& Parameters() { return parameters_; }
  LanSettings& Lan() { return lan_; }
  int VersionIndex() const { return version_index_; }
  Language CurrentLanguage() const { return language_; }
  bool ExchangeRunning() const { return exchange_running_; }

  // Start-up and status bar.
  static Language GetSystemLanguage(const std::string& locale_name);
  void ShowPortSettings();
  // Shows every caption in `language`; messages, statuses and the protocol's details follow it.
  void SetLanguage(Language language);

  // Controls to records and back.
  void ParametersFromControls(ParameterBlock& block);
  void ShowParameters(const ParameterBlock& block);
  void LanSettingsFromControls(LanSettings& settings);
  void ShowLanSettings(const LanSettings& settings);

  // Firmware version selection.
  void DetectFirmwareVersion();
  void SelectVersionFromText(const char* text);

  // The key filter of the DHCP host name: Backspace, ASCII letters and digits pass; any other
  // typed character is set to 0, which swallows it.
  static void EditDHCPHostNameKeyPress(QChar& key);

  // The item index of the version selector, -1 while its typed text matches no item.
  int VersionItemIndex() const;

  // The exchange frame shared by every printer button: disables the window and shows the busy
  // cursor, runs `operation` on a worker thread while this thread keeps processing events
  // (repaints, the clock, Esc and the close box, which cancel the exchange), then shows the
  // message of a non-zero result (unless `quiet`; a cancel is always shown), runs `on_success`
  // on success, and enables and raises the window again. Once the operator has cancelled, the
  // rest of the handler starts no further exchange (kCancelled, nothing shown).
  using Operation = std::function<ResultCode(Protocol& protocol, LinkKind link, int& version)>;
  ResultCode RunExchange(const Operation& operation, const std::function<void()>& on_success = {},
                         bool quiet = false);

  // Shows a message box through the window's prompts.
  void ShowMessage(const QString& text, const QString& details = {});

 public slots:
  void ComboBoxInterFaceChange();
  void ButtonInterFaceClick();
  void ButtonGetStatusClick();
  void ButtonReadClick();
  void ButtonSetClick();
  void ComboBoxVersionChange();
  void ButtonExReadClick();
  void ButtonExSetClick();
  void ButtonCalibSensorClick();
  void ButtonSaveClick();
  void ButtonLoadClick();
  void ButtonExSaveClick();
  void ButtonExLoadClick();
  void ComboBoxLanguageChange();
  void Timer1Timer();
  void Exit1Click();
  void About1Click();

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Runs a handler body; a conversion error or any other error raised inside it is shown in a
  // message box here, so that no exception reaches the event loop.
  void Guarded(const std::function<void()>& body);
  int InterfaceIndex() const;
  void Connect();
  void InstallHostNameKeyFilter();
  // Shows the refusal of a value that cannot be sent; false (and nothing shown) for kNone.
  bool RefuseUnsendable(SettingField field);
  // `field` when the text of `edit` has a character beyond Latin-1, which its record cannot hold,
  // or, when `to_send`, one its command cannot carry; kNone otherwise. Checked on the edit's own
  // text before the record takes it, so no character is turned into "?" on the way.
  static SettingField CheckTextEdit(const QLineEdit* edit, SettingField field, bool to_send);
  // The same for the text edits of each page, in the order their commands go out.
  SettingField CheckEuroCodeEdit(bool to_send) const;
  SettingField CheckLanTextEdits(bool to_send) const;
  // Save and Load: "File Open Error" with the path and the system's error in the details.
  void ShowFileError(const FileResult& result);
  // The shared save and open dialogs, set up for one extension ("ts0", "ts1"); an empty result
  // means the operator cancelled. The save dialog offers the name last chosen in it; the open
  // dialog starts without a name.
  QString ChooseSaveFile(const QString& extension);
  QString ChooseOpenFile(const QString& extension);

  std::unique_ptr<Ui::TFormMain> ui_;
  LinkLayer& link_;
  UserPrompts& prompts_;
  Protocol protocol_;
  LinkSettings settings_;
  ParameterBlock parameters_;
  LanSettings lan_;
  int version_index_ = 4;
  Language language_ = Language::kEnglish;
  QLabel* panels_[4] = {};
  QTimer* timer1_ = nullptr;
  bool exchange_running_ = false;
  bool close_requested_ = false;
  bool cancelled_ = false;  // Esc during this handler's exchange: its later ones do not start

  // What the file dialogs keep between uses. The save dialog offers the name last chosen in it,
  // on either page; the open dialog's name is cleared before every use.
  struct FileDialogState {
    QString Filter;
    QString DefaultExt;
    QString FileName;
  };
  FileDialogState SaveDialog1;
  FileDialogState OpenDialog1;
};

}  // namespace krt6
