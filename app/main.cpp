// Start-up: the application, the main window, the message loop.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "app/command_line.h"

#include "app/main_window.h"
#include "app/user_prompts.h"
#include "session/session.h"
#include "texts/system_language.h"

namespace {

// While the application object starts, Qt's platform messages are held back: a display that
// cannot be opened ends the program with one line of ours instead of Qt's lines and abort.
void StartupMessages(QtMsgType type, const QMessageLogContext&, const QString&) {
  if (type != QtFatalMsg) return;
  std::fputs(krt6::DisplayFailedLine(std::getenv).c_str(), stderr);
  std::_Exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  const krt6::StartupAction start =
      krt6::ReadCommandLine(std::vector<std::string>(argv + 1, argv + argc), std::getenv);
  if (!start.OpenWindow) {
    std::fputs(start.Output.c_str(), stdout);
    std::fputs(start.Error.c_str(), stderr);
    return start.ExitCode;
  }
  const QtMessageHandler qt_messages = qInstallMessageHandler(StartupMessages);
  QApplication app(argc, argv);
  qInstallMessageHandler(qt_messages);
  QApplication::setApplicationName(QStringLiteral("krt6-setting-tool"));
  QApplication::setApplicationDisplayName(QStringLiteral("K-RT6 Setting Tool"));
  // The installed desktop entry's name, by which a Wayland desktop finds the window's icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("example.krt6.SettingTool"));
  try {
    krt6::Session session;
    krt6::QtUserPrompts prompts;
    krt6::TFormMain window(session, prompts, krt6::SystemLocaleName(std::getenv));
    window.show();
    return QApplication::exec();
  } catch (const std::exception& error) {
    QMessageBox::critical(nullptr, QApplication::applicationDisplayName(),
                          QString::fromUtf8(error.what()));
  } catch (...) {
    QMessageBox::critical(nullptr, QApplication::applicationDisplayName(), QString());
  }
  return 1;
}
