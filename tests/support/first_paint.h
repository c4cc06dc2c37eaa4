// The time from building a window to its first paint, for the first-paint test and its bench.
#pragma once

#include <time.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QMainWindow>
#include <QObject>
#include <QTimer>

namespace krt6::testing {

// Notes the first paint of the watched window.
class FirstPaint : public QObject {
 public:
  bool painted = false;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) painted = true;
    return false;
  }
};

// Time from the start of construction to the first paint: on the clock, and the processor time
// this (the GUI) thread spent, which other programs on a busy machine do not stretch.
struct PaintTime {
  bool painted = false;
  qint64 wall_ns = 0;
  qint64 cpu_ns = 0;
};

inline qint64 ThreadCpuNs() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return qint64{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

// The time to the first paint of the window `make` builds (a QMainWindow*, or a pointer that
// owns one); `check` looks at the painted window before it goes. Waits at most 10 s.
template <typename Make, typename Check> PaintTime TimeToFirstPaint(Make make, Check check) {
  FirstPaint paint;
  QElapsedTimer timer;
  const qint64 cpu_start = ThreadCpuNs();
  timer.start();
  auto window = make();
  window->installEventFilter(&paint);
  window->show();
  // Events are waited for, not polled, so that the wait costs no processor time of its own.
  QTimer limit;
  limit.setSingleShot(true);
  limit.start(10000);
  while (!paint.painted && limit.isActive()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  const PaintTime elapsed{paint.painted, timer.nsecsElapsed(), ThreadCpuNs() - cpu_start};
  window->removeEventFilter(&paint);
  check(static_cast<QMainWindow&>(*window));
  return elapsed;
}

}  // namespace krt6::testing
