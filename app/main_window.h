// The main window: it maps its controls to the records (parameter block, LAN settings) and back,
// wires each control event to its operation and frames every printer exchange the same way. The
// printer itself (link settings, link, protocol, firmware version index) is the session's; the
// exchanges run on the session runner's thread and their results come back to this thread.
#pragma once

#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include <type_traits>

#include "protocol/commands.h"
#include "protocol/protocol.h"
#include "records/records.h"
#include "session/outcome.h"
#include "session/session.h"
#include "texts/language.h"

class QLabel;
class QTimer;
class QAction;
class QCloseEvent;

namespace Ui {
class TFormMain;
}

namespace krt6 {

class UserPrompts;
class TFormMain;
class FileResult;
class ExchangeAdapter;
class TFormCommLog;

// The one main window while it exists.
extern TFormMain* FormMain;

class TFormMain : public QMainWindow {
  Q_OBJECT

 public:
  // `session` is the printer the exchanges go to (real or test backends), `prompts` shows
  // message boxes, `locale_name` is the system's locale ("ja_JP.UTF-8" starts in Japanese). The
  // window appears at once: the start-up version query runs once it is constructed, while the
  // window is disabled, and shows its result when the printer has answered.
  TFormMain(Session& session, UserPrompts& prompts, const std::string& locale_name,
            QWidget* parent = nullptr);
  ~TFormMain() override;

  Language CurrentLanguage() const { return language_; }
  // True from the start of an exchange until its result has been shown and its handler's next
  // exchange (if any) has started.
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

  // What runs after an exchange that was not cancelled (whatever its result).
  using Then = std::function<void(ResultCode result)>;

  // Firmware version selection: the query selects the version the printer reports.
  void DetectFirmwareVersion(Then then = {});
  void SelectVersionFromText(const char* text);

  // The item index of the version selector, -1 while its typed text matches no item.
  int VersionItemIndex() const;

  // The exchange frame shared by every printer button: disables the window and shows the busy
  // cursor, and starts `job` on the session runner's thread; this thread keeps processing events
  // (repaints, the clock, Esc and the close box, which cancel the exchange). When the job has
  // ended, back on this thread: `on_end` takes its result (whatever it is), the message of a
  // non-zero result is shown (unless `quiet`; a cancel is always shown), the window is enabled
  // and raised again, and `then` runs unless the exchange was cancelled, so a cancelled handler
  // starts no further exchange. False (and nothing started) while an exchange runs or the window
  // closes; when the window closes during the exchange, nothing of this runs.
  using Job = std::function<Result(Session& session)>;
  bool RunExchange(Job job, std::function<void(const Result&)> on_end = {}, bool quiet = false,
                   Then then = {});
  // The same for an operation with a value: `on_end` gets the whole outcome.
  template <typename Call, typename End>
  bool Exchange(Call call, End on_end, bool quiet = false, Then then = {}) {
    using CallResult = std::invoke_result_t<Call&, Session&>;
    auto result = std::make_shared<CallResult>();  // written by the job, read once it has ended
    return RunExchange(
        [call = std::move(call), result](Session& session) -> Result {
          *result = call(session);
          return *result;
        },
        [on_end = std::move(on_end), result](const Result&) { on_end(*result); }, quiet,
        std::move(then));
  }

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
  void CommLog1Click();

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Runs a handler body; a conversion error or any other error raised inside it is shown in a
  // message box here, so that no exception reaches the event loop.
  void Guarded(const std::function<void()>& body);
  int InterfaceIndex() const;
  void FinishExchange(const Result& result, const std::function<void(const Result&)>& on_end,
                      bool quiet, const Then& then);
  void CreateCommunicationLog();
  void Connect();
  // Typed characters reach a text edit of host-name characters through FilterTypedKey only.
  void InstallTextKeyFilters();
  // The window's font with the family of `language`, which its controls inherit.
  void ApplyLanguageFont(Language language);
  // Shows the refusal of a value that cannot be sent; false (and nothing shown) for kNone.
  bool RefuseUnsendable(SettingField field);
  // Save and Load: "File Open Error" with the path and the system's error in the details.
  void ShowFileError(const FileResult& result);
  // A refused readable configuration: "File Open Error" with the line in the details.
  void ShowConfigurationError(const std::string& message);
  // The shared save and open dialogs, set up for the page's extension ("ts0", "ts1"), offered
  // first, and the readable configuration ("json"); an empty result means the operator
  // cancelled. The save dialog offers the name last chosen in it; the open dialog starts
  // without a name.
  QString ChooseSaveFile(const QString& extension);
  QString ChooseOpenFile(const QString& extension);
  // Save and Load of one page's part of a readable configuration: "parameters", or "lan" when
  // `lan`. The save writes the record's whole part. The load lays the fields the file names
  // over the page's record and shows them; a file without the page's part, or with a value the
  // page cannot show, is refused with its reason and leaves the record and the page as they
  // were.
  void SaveConfigurationPart(const std::string& path, bool lan);
  void LoadConfigurationPart(const std::string& path, bool lan);

  std::unique_ptr<Ui::TFormMain> ui_;
  Session& session_;
  UserPrompts& prompts_;
  ParameterBlock parameters_;
  LanSettings lan_;
  Language language_ = Language::kEnglish;
  QLabel* panels_[4] = {};
  QTimer* timer1_ = nullptr;
  QAction* comm_log_action_ = nullptr;
  TFormCommLog* comm_log_ = nullptr;
  bool exchange_running_ = false;
  bool close_requested_ = false;
  std::unique_ptr<ExchangeAdapter> exchange_;  // the runner's thread ends before the window

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
