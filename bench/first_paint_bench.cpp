// krt6-first-paint-bench: how soon the main window paints while the start-up version query waits
// (the USB printer takes five seconds to answer), against a bare window with the same widgets.
// Both are built and painted in turn, after one untimed round of each (the process's first
// window pays for loading fonts and styles); it reports the medians on the clock and in the GUI
// thread's processor time, which other programs on a busy machine do not stretch, and their
// ratios. Usage: krt6-first-paint-bench [ROUNDS] (default 9). Exit status 1 when a window did not
// paint, or painted only after the query had ended.
#include <QApplication>
#include <QLabel>
#include <QStatusBar>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "support/fake_link.h"
#include "support/first_paint.h"
#include "support/recording_prompts.h"
#include "ui_main_window.h"

namespace {

using krt6::testing::PaintTime;
using krt6::testing::TimeToFirstPaint;

// The window's widgets as its form lays them out, with the four panels of its status bar.
std::unique_ptr<QMainWindow> BareWindow() {
  auto w = std::make_unique<QMainWindow>();
  Ui::TFormMain ui;
  ui.setupUi(w.get());
  w->setFixedSize(610, 588);
  for (int width : {80, 200, 150, 200}) {
    auto* panel = new QLabel(w.get());
    panel->setFixedWidth(width);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    w->statusBar()->addWidget(panel);
  }
  return w;
}

// The median of the rounds' times in milliseconds.
double Median(const std::vector<PaintTime>& rounds, qint64 PaintTime::*time) {
  std::vector<qint64> v;
  for (const PaintTime& round : rounds) v.push_back(round.*time);
  std::sort(v.begin(), v.end());
  return static_cast<double>(v[v.size() / 2]) / 1e6;
}

std::string LoadAverage() {
  std::ifstream f("/proc/loadavg");
  std::string line;
  std::getline(f, line);
  return line;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 9;
  if (rounds < 1 || rounds > 1000) {
    std::fprintf(stderr, "usage: krt6-first-paint-bench [ROUNDS from 1 to 1000]\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);

  krt6::testing::FakeLinks links;
  krt6::Session session(links.Maker());
  const std::shared_ptr<krt6::testing::FakeLinkState> usb = links.state[krt6::lkUsb];
  usb->fill_delay_ms = 5000;  // the printer takes five seconds to answer the version query
  krt6::testing::RecordingPrompts prompts;
  // The windows stay (hidden) until the end: each one's runner thread ends only once the slow
  // printer has answered, so they go together.
  std::vector<std::unique_ptr<krt6::TFormMain>> forms;
  bool early = true;  // every window painted while its query ran
  const auto make_form = [&] {
    forms.push_back(std::make_unique<krt6::TFormMain>(session, prompts, "en_US.UTF-8"));
    return forms.back().get();
  };
  const auto check_form = [&](QMainWindow& window) {
    early = early && forms.back()->ExchangeRunning();
    window.hide();
  };
  const auto no_check = [](QMainWindow&) {};

  std::printf(
      "krt6-first-paint-bench: building a window to its first paint, median of %d rounds after "
      "one untimed round of each, on the %s platform; the main window's version query waits 5 s.\n"
      "load average: %s\n\n",
      rounds, qPrintable(QApplication::platformName()), LoadAverage().c_str());
  bool painted = TimeToFirstPaint(BareWindow, no_check).painted;
  painted = TimeToFirstPaint(make_form, check_form).painted && painted;
  std::vector<PaintTime> bare;
  std::vector<PaintTime> window;
  for (int round = 0; round < rounds; ++round) {
    bare.push_back(TimeToFirstPaint(BareWindow, no_check));
    window.push_back(TimeToFirstPaint(make_form, check_form));
    painted = painted && bare.back().painted && window.back().painted;
  }
  const double bare_ms = Median(bare, &PaintTime::wall_ns);
  const double window_ms = Median(window, &PaintTime::wall_ns);
  const double bare_cpu_ms = Median(bare, &PaintTime::cpu_ns);
  const double window_cpu_ms = Median(window, &PaintTime::cpu_ns);
  std::printf("                 clock      GUI thread's processor time\n");
  std::printf("bare window   %8.2f ms   %8.2f ms\n", bare_ms, bare_cpu_ms);
  std::printf("main window   %8.2f ms   %8.2f ms\n", window_ms, window_cpu_ms);
  std::printf("ratio         %8.2f      %8.2f\n", window_ms / bare_ms, window_cpu_ms / bare_cpu_ms);
  if (!painted) std::printf("a window did not paint within 10 s\n");
  if (!early) std::printf("a main window painted only after its version query had ended\n");
  std::fflush(stdout);
  forms.clear();  // cancels the queries
  return painted && early ? 0 : 1;
}
