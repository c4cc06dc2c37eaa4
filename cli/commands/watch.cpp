// watch: every target probed once an interval. On a terminal a table redrawn in place (the lines
// that changed alone); otherwise, or with --json, one JSON line a printer at the start and one at
// each change of its state. SIGINT or SIGTERM ends it, exit status 0.
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string_view>

#include "cli/commands/command.h"
#include "cli/monitoring.h"
#include "cli/watch_probes.h"
#include "cli/watch_table.h"
#include "texts/texts.h"

namespace krt6::cli {
namespace {

constexpr double kMinInterval = 0.2;
constexpr double kMaxInterval = 86400;
constexpr TextPair kIntervalText{"--interval %1: give seconds from 0.2 to 86400",
                                 "--interval %1: 0.2 から 86400 までの秒数を指定してください"};
// The workers at most when -j does not say.
constexpr std::size_t kDefaultMaxWorkers = 256;

struct WatchOptions {
  double interval = 2;
};

void AddWatchOptions(CLI::App& command, WatchOptions& options) {
  command
      .add_option("--interval", options.interval,
                  "seconds from one probe of a printer to the next (default 2, at least 0.2, "
                  "fractions allowed)")
      ->type_name("SECONDS");
}

// A table only on a terminal that takes escape sequences, and only on the process's stdout.
bool DrawsTable(const CommandContext& context) {
  if (context.globals.json || &context.reporter.Out() != &std::cout) return false;
  const char* term = std::getenv("TERM");
  return ::isatty(STDOUT_FILENO) == 1 && term != nullptr && std::string_view(term) != "dumb" &&
         *term != '\0';
}

// The alternate screen without a cursor, and keys typed on the terminal not echoed over the
// table (Ctrl-C still interrupts), while it lives; the terminal as it was after.
class Screen {
 public:
  explicit Screen(std::ostream& out) : out_(out) {
    if (::isatty(STDIN_FILENO) == 1 && ::tcgetattr(STDIN_FILENO, &saved_) == 0) {
      termios quiet = saved_;
      quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON);
      restore_input_ = ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet) == 0;
    }
    out_ << "\033[?1049h\033[?25l" << std::flush;
  }
  ~Screen() {
    out_ << "\033[0m\033[?25h\033[?1049l" << std::flush;
    if (restore_input_) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
  }
  Screen(const Screen&) = delete;
  Screen& operator=(const Screen&) = delete;
  // The terminal's size, 80 x 24 when it tells none.
  static void Size(int& columns, int& lines) {
    winsize size{};
    const bool known = ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0;
    columns = known ? size.ws_col : 80;
    lines = known && size.ws_row > 0 ? size.ws_row : 24;
  }

 private:
  std::ostream& out_;
  termios saved_{};
  bool restore_input_ = false;
};

// SIGWINCH on a descriptor while it lives (blocked in this thread and the threads made after).
class ResizeSignal {
 public:
  ResizeSignal() {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGWINCH);
    ::pthread_sigmask(SIG_BLOCK, &signals_, &previous_);
    fd_ = ::signalfd(-1, &signals_, SFD_NONBLOCK | SFD_CLOEXEC);
  }
  ~ResizeSignal() {
    if (fd_ >= 0) ::close(fd_);
    ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  ResizeSignal(const ResizeSignal&) = delete;
  ResizeSignal& operator=(const ResizeSignal&) = delete;
  int Fd() const { return fd_; }
  // Whether a resize came since the last call.
  bool Take() {
    signalfd_siginfo info{};
    bool came = false;
    while (fd_ >= 0 && ::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
      came = true;
    }
    return came;
  }

 private:
  sigset_t signals_{};
  sigset_t previous_{};
  int fd_ = -1;
};

// The probes' workers at most, and whether the descriptor limit carries a session a printer.
void Budget(const CommandContext& context, std::size_t& workers, bool& keep_sessions) {
  const std::vector<Target>& targets = context.targets;
  const std::size_t wanted = std::min(
      targets.size(), context.globals.jobs > 0 ? static_cast<std::size_t>(context.globals.jobs)
                                               : kDefaultMaxWorkers);
  const long limit = RaiseDescriptorLimit();
  keep_sessions = limit < 0 || static_cast<long>(targets.size()) + kDescriptorHeadroom * 2 +
                                       static_cast<long>(wanted) * 6 <
                                   limit;
  const long open = 16 + (keep_sessions ? static_cast<long>(targets.size()) : 0);
  workers = JobsWithin(wanted, targets, limit, open);
}

class WatchLoop {
 public:
  WatchLoop(const WatchOptions& options, const CommandContext& context)
      : context_(context),
        interval_(options.interval),
        table_(DrawsTable(context)),
        rows_(context.targets.size()) {
    for (std::size_t i = 0; i < rows_.size(); ++i) rows_[i].target = context.targets[i].Text;
  }

  int Run() {
    ResizeSignal resize;
    wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    std::size_t workers = 1;
    bool keep_sessions = true;
    Budget(context_, workers, keep_sessions);
    {
      InterruptWatch interrupts(*context_.globals.stop, [this](int) { Wake(); });
      ProbeScheduler scheduler(context_.targets,
                               std::chrono::duration_cast<WatchClock::duration>(
                                   std::chrono::duration<double>(interval_)),
                               workers, keep_sessions, context_.language);
      std::optional<Screen> screen;
      if (table_) screen.emplace(context_.reporter.Out());
      scheduler.Start();
      Loop(scheduler, resize);
      scheduler.Stop();
    }
    if (wake_ >= 0) ::close(wake_);
    return kExitOk;
  }

 private:
  // Ends the main loop's wait (from the interrupt's thread).
  void Wake() {
    if (wake_ < 0) return;
    const std::uint64_t one = 1;
    const ssize_t written = ::write(wake_, &one, sizeof one);
    static_cast<void>(written);
  }

  void Loop(ProbeScheduler& scheduler, ResizeSignal& resize) {
    const auto tick = std::chrono::milliseconds(static_cast<int>(std::min(interval_, 0.25) * 1000));
    const auto late = std::chrono::duration_cast<WatchClock::duration>(
        std::chrono::duration<double>(std::min(interval_ / 4, 0.1)));
    while (!context_.globals.stop->load()) {
      pollfd fds[2] = {{wake_, POLLIN, 0}, {resize.Fd(), POLLIN, 0}};
      ::poll(fds, 2, static_cast<int>(tick.count()));
      if (resize.Take()) painter_.Reset();
      Take(scheduler.Take());
      scheduler.Grow(late);
      if (table_) Draw();
    }
  }

  void Take(const std::vector<ProbeReport>& reports) {
    const WatchClock::time_point now = WatchClock::now();
    const std::time_t wall = std::time(nullptr);
    std::string lines;
    for (const ProbeReport& report : reports) {
      WatchRow& row = rows_[report.index];
      const bool first = !row.probed;
      const WatchRow before = row;
      const bool changed = Update(row, report.probe, now, wall);
      if (table_ || !(first || changed)) continue;
      lines += WatchJsonLine(row, first ? nullptr : &before, wall, context_.language) + "\n";
    }
    if (!lines.empty()) context_.reporter.Out() << lines << std::flush;
  }

  void Draw() {
    TableView view;
    Screen::Size(view.columns, view.lines);
    view.interval = interval_;
    view.language = context_.language;
    const std::string update =
        painter_.Paint(RenderTable(rows_, view, WatchClock::now(), std::time(nullptr)));
    if (!update.empty()) context_.reporter.Out() << update << std::flush;
  }

  const CommandContext& context_;
  const double interval_;
  const bool table_;
  std::vector<WatchRow> rows_;
  ScreenPainter painter_;
  int wake_ = -1;
};

int RunWatch(const WatchOptions& options, const CommandContext& context) {
  if (!std::isfinite(options.interval) || options.interval < kMinInterval ||
      options.interval > kMaxInterval) {
    return context.reporter.Usage(
        FormatText(kIntervalText, context.language, Fixed(options.interval, 3)));
  }
  return WatchLoop(options, context).Run();
}

}  // namespace

CommandRegistration WatchRegistration() {
  return Register<WatchOptions>("watch",
                                "every target's status, probed once an interval: a live table on "
                                "a terminal, JSON Lines of the changes otherwise",
                                true, AddWatchOptions, RunWatch);
}

}  // namespace krt6::cli
