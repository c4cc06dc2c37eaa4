// The window appears at once whatever the printer does: its first paint does not wait for the
// start-up version query, even when the USB printer takes five seconds to answer. The times of
// the first paint of a bare window with the same widgets and of the main window are printed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QMainWindow>
#include <QTest>
#include <algorithm>

#include "app/main_window.h"
#include "support/fake_link.h"
#include "support/recording_prompts.h"
#include "ui_main_window.h"

namespace krt6 {
namespace {

// Notes the first paint of the watched window.
class FirstPaint : public QObject {
 public:
  bool painted = false;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) painted = true;
    return false;
  }
};

// Nanoseconds from the start of construction to the first paint of the window `make` builds.
template <typename Make> qint64 TimeToFirstPaint(Make make) {
  FirstPaint paint;
  QElapsedTimer timer;
  timer.start();
  auto window = make();
  window->installEventFilter(&paint);
  window->show();
  EXPECT_TRUE(QTest::qWaitFor([&] { return paint.painted; }, 10000));
  const qint64 elapsed = timer.nsecsElapsed();
  window->removeEventFilter(&paint);
  return elapsed;
}

TEST(FirstPaintTest, TheWindowAppearsAsSoonAsABareOneWhileTheVersionQueryWaits) {
  std::shared_ptr<testing::FakeLinkState> usb;
  Session session([&](LinkLayer& link) {
    for (int kind = 0; kind < 4; ++kind) {
      auto state = testing::InstallFake(link, kind);
      if (kind == lkUsb) usb = state;
    }
  });
  usb->fill_delay_ms = 5000;  // the printer takes five seconds to answer the version query
  testing::RecordingPrompts prompts;
  qint64 bare = INT64_MAX;
  qint64 window = INT64_MAX;
  bool query_running_at_paint = true;
  {
    bare = std::min(bare, TimeToFirstPaint([] {
                      auto w = std::make_unique<QMainWindow>();
                      Ui::TFormMain ui;
                      ui.setupUi(w.get());
                      w->setFixedSize(610, 588);
                      return w;
                    }));
    std::unique_ptr<TFormMain> form;
    window = std::min(window, TimeToFirstPaint([&] {
                        form = std::make_unique<TFormMain>(session, prompts, "en_US.UTF-8");
                        return form.get();
                      }));
    query_running_at_paint = query_running_at_paint && form->ExchangeRunning();
    EXPECT_FALSE(form->isEnabled()) << "disabled while the query runs";
    form.reset();  // cancels the query
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the busy cursor goes with the window";
  }
  EXPECT_TRUE(query_running_at_paint);
  RecordProperty("bare_ms", std::to_string(static_cast<double>(bare) / 1e6));
  RecordProperty("window_ms", std::to_string(static_cast<double>(window) / 1e6));
  std::printf("first paint: bare %.1f ms, window %.1f ms (%.2fx)\n",
              static_cast<double>(bare) / 1e6, static_cast<double>(window) / 1e6,
              static_cast<double>(window) / static_cast<double>(bare));
  EXPECT_LT(window, qint64{1000000000}) << "painted long before the printer answered";
}

}  // namespace
}  // namespace krt6
