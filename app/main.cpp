// Start-up: the application, the main window, the message loop.
#include <QApplication>
#include <QMessageBox>
#include <cstdlib>
#include <exception>

#include "app/main_window.h"
#include "app/user_prompts.h"
#include "link/system_links.h"
#include "session/session.h"
#include "texts/system_language.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("krt6-setting-tool"));
  QApplication::setApplicationDisplayName(QStringLiteral("K-RT6 Setting Tool"));
  try {
    krt6::Session session([](krt6::LinkLayer& link) { krt6::InstallSystemLinks(link); });
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
