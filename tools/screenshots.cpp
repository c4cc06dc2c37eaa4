// Renders the main window's three pages and the four dialogs in both interface languages into
// PNG files, for looking at the layout. Run under a display (tools/screenshots.sh uses Xvfb).
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QTabWidget>
#include <cstdio>

#include "app/main_window.h"
#include "app/user_prompts.h"
#include "dialogs/about_box.h"
#include "dialogs/language.h"
#include "dialogs/lpt_setup.h"
#include "dialogs/net_setup.h"
#include "dialogs/rs232_setup.h"

namespace {

// Message boxes are not part of the pictures.
class SilentPrompts : public krt6::UserPrompts {
 public:
  void ShowMessage(QWidget*, const QString&, const QString&) override {}
  QString SaveFileName(QWidget*, const QString&, const QString&, const QString&) override {
    return {};
  }
  QString OpenFileName(QWidget*, const QString&, const QString&, const QString&) override {
    return {};
  }
};

bool Save(QWidget* widget, const QDir& dir, const QString& name) {
  widget->show();
  widget->raise();
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  const QString path = dir.filePath(name + QStringLiteral(".png"));
  if (!widget->grab().save(path)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
  bool ok = true;
  const char* const suffix[] = {"en", "ja"};
  const char* const locale[] = {"en_US.UTF-8", "ja_JP.UTF-8"};
  const char* const pages[] = {"parameter", "maintenance", "extra"};

  for (int language = 0; language < 2; ++language) {
    krt6::Session session(krt6::LinkMaker{});  // no links: the start-up query fails at once
    SilentPrompts prompts;
    krt6::TFormMain window(session, prompts, locale[language]);
    while (window.ExchangeRunning()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    for (int page = 0; page < 3; ++page) {
      tabs->setCurrentIndex(page);
      ok &= Save(&window, dir, QStringLiteral("main-%1-%2").arg(pages[page], suffix[language]));
    }
    const QString lang = QString::fromLatin1(suffix[language]);

    krt6::LinkSettings& settings = session.Settings();
    settings.Serial.PortName = "COM12";
    krt6::TFormRs232Setup rs232(&window);
    rs232.BindSettings(settings.Serial, window.CurrentLanguage());
    ok &= Save(&rs232, dir, QStringLiteral("rs232-setup-") + lang);
    rs232.hide();

    krt6::TFormLPTSetup lpt(&window);
    lpt.BindSettings(settings.LptName, window.CurrentLanguage());
    ok &= Save(&lpt, dir, QStringLiteral("lpt-setup-") + lang);
    lpt.hide();

    settings.Tcp.IPAddr = "192.168.10.20";
    krt6::TFormNetSetup net(&window, [](const QString&) {});
    net.BindSettings(settings.Tcp, window.CurrentLanguage());
    ok &= Save(&net, dir, QStringLiteral("net-setup-") + lang);
    net.hide();

    krt6::TFormAbout about(&window);
    ok &= Save(&about, dir, QStringLiteral("about-") + lang);
    about.hide();
  }
  return ok ? 0 : 1;
}
