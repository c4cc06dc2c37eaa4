#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QValidator>
#include <cstdio>

#include "app/exchange_adapter.h"
#include "app/page_fields.h"
#include "app/tab_page.h"
#include "app/user_prompts.h"
#include "config/configuration.h"
#include "dialogs/comm_log.h"
#include "dialogs/language.h"
#include "dialogs/link_setup.h"
#include "link/link_kinds.h"
#include "texts/system_language.h"
#include "texts/texts.h"
#include "ui_main_window.h"

namespace krt6 {

TFormMain* FormMain = nullptr;

namespace {

// Texts of the serial summary in the status bar, by list index.
const char* const kBaudRateText[] = {"2400", "4800", "9600", "19200", "38400", "57600", "115200"};
const char* const kParityText[] = {"N", "O", "E"};
const char* const kDataBitText[] = {"7", "8"};
const char* const kStopBitText[] = {"1", "1.5", "2"};
const char* const kHdShakText[] = {"None", "RTS", "RTS/CTS"};
const char* const kSWShakText[] = {"", "Xon/Xoff"};

template <std::size_t N> const char* TextAt(const char* const (&table)[N], int index) {
  return index >= 0 && static_cast<std::size_t>(index) < N ? table[index] : "";
}

// The version selector takes at most four typed characters. Its item texts are longer: they
// are set by selection, and the operator may shorten them by deleting, but never lengthen a text
// beyond four characters by typing.
class VersionTextValidator : public QValidator {
 public:
  explicit VersionTextValidator(QComboBox* combo) : QValidator(combo), combo_(combo) {
    // The edit already holds the candidate while it is validated, so remember the text it had.
    connect(combo->lineEdit(), &QLineEdit::textChanged, this,
            [this](const QString& text) { shown_ = text; });
    shown_ = combo->currentText();
  }
  State validate(QString& input, int&) const override {
    const bool shortened = input.size() < shown_.size();
    return input.size() <= 4 || shortened || combo_->findText(input) >= 0 ? Acceptable : Invalid;
  }

 private:
  QComboBox* combo_;
  QString shown_;
};

constexpr int kPanelWidths[4] = {80, 200, 150, 200};

}  // namespace

Language TFormMain::GetSystemLanguage(const std::string& locale_name) {
  return LanguageForLocale(locale_name);
}

TFormMain::TFormMain(Session& session, UserPrompts& prompts, const std::string& locale_name,
                     QWidget* parent)
    : QMainWindow(parent),
      ui_(std::make_unique<Ui::TFormMain>()),
      session_(session),
      prompts_(prompts),
      exchange_(std::make_unique<ExchangeAdapter>(session)) {
  FormMain = this;

  // The window and its controls with their initial values. The controls are made with the font
  // of the start language already in place, so none of them has to take it afterwards.
  const Language language = GetSystemLanguage(locale_name);
  ApplyLanguageFont(language);
  {
    const TabPage::BuildFont pages(font());
    ui_->setupUi(this);
  }
  // The interface list holds the link kinds, in their order: an item's index is its LinkKind.
  for (const LinkKindInfo* kind : LinkKinds()) {
    ui_->ComboBoxInterFace->addItem(QString::fromUtf8(kind->item.english));
  }
  QFont menu_font = QApplication::font(menuBar());
  menu_font.setResolveMask(QFont::AllPropertiesResolved);
  menuBar()->setFont(menu_font);
  setFixedSize(610, 588);
  ui_->ComboBoxVersion->setValidator(new VersionTextValidator(ui_->ComboBoxVersion));
  // Typed text stays as typed: no inline completion turns "1.0" into an item, and without a
  // completer the selector matches a finished text to an item only exactly and case-sensitively.
  ui_->ComboBoxVersion->setCompleter(nullptr);
  for (int i = 0; i < 4; ++i) {
    panels_[i] = new QLabel(this);
    panels_[i]->setObjectName(QStringLiteral("StatusBar1Panel%1").arg(i));
    panels_[i]->setFixedWidth(kPanelWidths[i]);
    panels_[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    statusBar()->addWidget(panels_[i]);
  }
  timer1_ = new QTimer(this);
  timer1_->setObjectName(QStringLiteral("Timer1"));
  timer1_->setInterval(1000);
  CreateCommunicationLog();
  Connect();
  timer1_->start();

  move(60, 60);
  ui_->PageControl1->setCurrentWidget(ui_->TabSheet1);

  session_.Settings() = LinkSettings{};
  session_.SetVersionIndex(4);

  ui_->ComboBoxLanguage->setCurrentIndex(static_cast<int>(language));
  SetLanguage(language);

  // The fields no control shows keep the start-up values; the others come from the controls.
  parameters_ = StartupParameters();
  lan_ = StartupLanSettings();
  ParametersFromControls(parameters_);
  LanSettingsFromControls(lan_);
  StartPage(FieldPart::kParameters, language_, &parameters_);
  StartPage(FieldPart::kLan, language_, &lan_);
  ShowParameters(parameters_);
  ShowLanSettings(lan_);
  ShowPortSettings();

  // The version query runs while the window appears; the records show the version it found.
  DetectFirmwareVersion([this](ResultCode) {
    ShowParameters(parameters_);
    ShowLanSettings(lan_);
  });
}

TFormMain::~TFormMain() {
  // The runner's thread ends first, while everything its reports refer to still exists; the
  // report of an exchange cut short this way is dropped, so its busy cursor goes here.
  exchange_.reset();
  if (exchange_running_) QApplication::restoreOverrideCursor();
  if (FormMain == this) FormMain = nullptr;
}

void TFormMain::Connect() {
  auto on_activated = [this](QComboBox* combo, void (TFormMain::*slot)()) {
    connect(combo, &QComboBox::activated, this, slot);
  };
  on_activated(ui_->ComboBoxInterFace, &TFormMain::ComboBoxInterFaceChange);
  // The lists of the Parameter Setting page share the interface handler.
  for (const BoundControl& control : PageControls(*this, FieldPart::kParameters)) {
    if (auto* combo = qobject_cast<QComboBox*>(control.widget)) {
      on_activated(combo, &TFormMain::ComboBoxInterFaceChange);
    }
  }
  on_activated(ui_->ComboBoxVersion, &TFormMain::ComboBoxVersionChange);
  connect(ui_->ComboBoxVersion->lineEdit(), &QLineEdit::textEdited, this,
          &TFormMain::ComboBoxVersionChange);
  on_activated(ui_->ComboBoxLanguage, &TFormMain::ComboBoxLanguageChange);

  connect(ui_->ButtonInterFace, &QPushButton::clicked, this, &TFormMain::ButtonInterFaceClick);
  connect(ui_->ButtonGetStatus, &QPushButton::clicked, this, &TFormMain::ButtonGetStatusClick);
  connect(ui_->ButtonRead, &QPushButton::clicked, this, &TFormMain::ButtonReadClick);
  connect(ui_->ButtonSet, &QPushButton::clicked, this, &TFormMain::ButtonSetClick);
  connect(ui_->ButtonLoad, &QPushButton::clicked, this, &TFormMain::ButtonLoadClick);
  connect(ui_->ButtonSave, &QPushButton::clicked, this, &TFormMain::ButtonSaveClick);
  connect(ui_->ButtonExRead, &QPushButton::clicked, this, &TFormMain::ButtonExReadClick);
  connect(ui_->ButtonExSet, &QPushButton::clicked, this, &TFormMain::ButtonExSetClick);
  connect(ui_->ButtonExLoad, &QPushButton::clicked, this, &TFormMain::ButtonExLoadClick);
  connect(ui_->ButtonExSave, &QPushButton::clicked, this, &TFormMain::ButtonExSaveClick);
  connect(ui_->ButtonCalibSensor, &QPushButton::clicked, this, &TFormMain::ButtonCalibSensorClick);
  connect(ui_->Exit1, &QAction::triggered, this, &TFormMain::Exit1Click);
  connect(ui_->About1, &QAction::triggered, this, &TFormMain::About1Click);
  connect(comm_log_action_, &QAction::triggered, this, &TFormMain::CommLog1Click);
  connect(timer1_, &QTimer::timeout, this, &TFormMain::Timer1Timer);
  InstallTextKeyFilters();
}

int TFormMain::InterfaceIndex() const { return ui_->ComboBoxInterFace->currentIndex(); }

int TFormMain::VersionItemIndex() const {
  return ui_->ComboBoxVersion->findText(ui_->ComboBoxVersion->currentText(),
                                        Qt::MatchExactly | Qt::MatchCaseSensitive);
}

void TFormMain::ShowPortSettings() {
  const LinkSettings& settings = session_.Settings();
  const SerialSettings& s = settings.Serial;
  panels_[0]->setText(QString::fromStdString(settings.LptName));
  char summary[256];
  std::snprintf(summary, sizeof summary, "%s %s,%s,%s,%s %s %s", s.PortName.c_str(),
                TextAt(kBaudRateText, s.BaudRateIndex), TextAt(kParityText, s.ParityIndex),
                TextAt(kDataBitText, s.DataBitIndex), TextAt(kStopBitText, s.StopBitIndex),
                TextAt(kHdShakText, s.HdShakIndex), TextAt(kSWShakText, s.SWShakIndex));
  panels_[1]->setText(QString::fromUtf8(summary));
}

void TFormMain::Timer1Timer() {
  const QLocale locale = QLocale::system();
  const QDateTime now = QDateTime::currentDateTime();
  panels_[3]->setText(locale.toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
                      locale.toString(now.time(), QLocale::LongFormat));
}

void TFormMain::ComboBoxInterFaceChange() {
  const int item = InterfaceIndex();
  // Only a kind with a setup dialog has something to set up (USB has none).
  ui_->ButtonInterFace->setEnabled(FindLinkSetup(static_cast<LinkKind>(item)) != nullptr);
  const bool can_receive = session_.CanReceive(static_cast<LinkKind>(item));
  ui_->ButtonGetStatus->setEnabled(can_receive);
  ui_->ButtonRead->setEnabled(can_receive);
  ui_->ButtonExRead->setEnabled(can_receive);
}

void TFormMain::ComboBoxLanguageChange() {
  Guarded([this] { SetLanguage(LanguageFromIndex(ui_->ComboBoxLanguage->currentIndex())); });
}

void TFormMain::ShowMessage(const QString& text, const QString& details) {
  prompts_.ShowMessage(this, text, details);
}

void TFormMain::Guarded(const std::function<void()>& body) {
  try {
    body();
  } catch (const std::exception& error) {
    ShowMessage(QString::fromUtf8(error.what()));
  } catch (...) {
    ShowMessage(QString());
  }
}

bool TFormMain::RunExchange(Job job, std::function<void(const Result&)> on_end, bool quiet,
                            Then then) {
  // One exchange at a time, and none once the operator asked to close the window.
  if (exchange_running_ || close_requested_) return false;
  session_.SetLinkKind(static_cast<LinkKind>(InterfaceIndex()));
  session_.SetLanguage(language_);
  const bool started = exchange_->Start(
      std::move(job), [this, on_end = std::move(on_end), quiet, then = std::move(then)](
                          const Result& result) { FinishExchange(result, on_end, quiet, then); });
  if (!started) return false;
  // The exchange blocks on the device on the runner's thread while this thread keeps repainting
  // and ticking the clock. The window is disabled, so nothing else can start.
  exchange_running_ = true;
  setEnabled(false);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  return true;
}

void TFormMain::FinishExchange(const Result& result,
                               const std::function<void(const Result&)>& on_end, bool quiet,
                               const Then& then) {
  exchange_running_ = false;
  QApplication::restoreOverrideCursor();

  if (close_requested_) {
    // The window closes: no message, no result shown.
    setEnabled(true);
    QTimer::singleShot(0, this, &QWidget::close);
    return;
  }
  if (on_end) Guarded([&] { on_end(result); });
  if (!result.Ok() && (!quiet || result.code == kCancelled)) {
    ShowMessage(QString::fromUtf8(MessageText(result.code, language_)),
                QString::fromStdString(result.Text()));
  }
  setEnabled(true);
  show();
  raise();
  activateWindow();
  // Once the operator has cancelled, the rest of the handler starts no further exchange.
  if (then && result.code != kCancelled) Guarded([&] { then(result.code); });
}

bool TFormMain::event(QEvent* event) {
  // The window is disabled during an exchange, so its keys arrive here and nowhere else.
  if (exchange_running_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    exchange_->Cancel();
    return true;
  }
  return QMainWindow::event(event);
}

void TFormMain::ButtonGetStatusClick() {
  Guarded([this] {
    Exchange([](Session& session) { return session.ReadStatus(); },
             [this](const Outcome<std::int32_t>& status) {
               if (!status.Ok()) return;
               ui_->EditStatus->setText(QString::fromUtf8(StatusText(status.Value, language_)));
             });
  });
}

void TFormMain::closeEvent(QCloseEvent* event) {
  if (exchange_running_) {
    // Cancel the exchange; the window closes once the runner has reported its end.
    close_requested_ = true;
    exchange_->Cancel();
    event->ignore();
    return;
  }
  event->accept();
}

void TFormMain::Exit1Click() { close(); }

void TFormMain::CreateCommunicationLog() {
  // The log sits in the menu after Exit; its caption follows the language with the others.
  comm_log_action_ = new QAction(this);
  comm_log_action_->setObjectName(QStringLiteral("CommLog1"));
  ui_->File1->insertAction(ui_->Exit1, comm_log_action_);
  comm_log_ = new TFormCommLog(this, [this](QWidget* parent) {
    return prompts_.SaveFileName(parent, QStringLiteral("*.txt"), QStringLiteral("txt"), {});
  });
  exchange_->ForwardTrace([this](const TraceEvent& event) { comm_log_->Append(event); });
}

void TFormMain::CommLog1Click() {
  comm_log_->show();
  comm_log_->raise();
}

}  // namespace krt6
