// krt6-watch-bench: the processor time krt6ctl watch takes to watch a fleet, every printer
// probed once an interval: one krt6-emulator process serving --count N printers, krt6ctl watch
// over all of them for a while (its table drawn on a pseudo terminal, or its JSON lines into
// /dev/null), then SIGINT. Prints krt6ctl's user and system time from its resource usage as a
// share of one core, its peak memory and the bytes it drew.
//
//   krt6-watch-bench [--count 1000] [--seconds 20] [--interval 2] [--mode table|json]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/child_process.h"

namespace {

using Clock = std::chrono::steady_clock;
using krt6::testing::BuiltProgram;
using krt6::testing::ChildProcess;

struct Watched {
  bool ok = false;
  double wall_s = 0;
  double cpu_s = 0;
  long rss_kib = 0;
  std::size_t drawn = 0;  // bytes krt6ctl wrote to the terminal
};

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// The terminal's side of a new pseudo terminal of 120 x 40, its other side in `slave_path`.
int OpenTerminal(std::string& slave_path) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return -1;
  slave_path = ::ptsname(master);
  winsize size{};
  size.ws_col = 120;
  size.ws_row = 40;
  ::ioctl(master, TIOCSWINSZ, &size);
  return master;
}

// Starts `argv` with its stdout on the pseudo terminal `slave_path` (its controlling terminal),
// or on /dev/null when that is empty; stdin and stderr on /dev/null.
pid_t Start(const std::vector<std::string>& argv, const std::string& slave_path) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  ::setsid();
  const int null = ::open("/dev/null", O_RDWR);
  const int out = slave_path.empty() ? null : ::open(slave_path.c_str(), O_RDWR);
  ::dup2(null, 0);
  ::dup2(out, 1);
  ::dup2(null, 2);
  ::setenv("TERM", "xterm", 1);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  ::execv(args[0], args.data());
  ::_exit(127);
}

// Reads what the terminal shows until `until` (without a terminal, waits).
void Drain(int master, Clock::time_point until, std::size_t& drawn) {
  char buffer[65536];
  while (Clock::now() < until) {
    pollfd fd{master, POLLIN, 0};
    if (master < 0) {
      ::usleep(100000);
      continue;
    }
    if (::poll(&fd, 1, 100) <= 0) continue;
    const ssize_t got = ::read(master, buffer, sizeof buffer);
    if (got <= 0) return;
    drawn += static_cast<std::size_t>(got);
  }
}

Watched Watch(const std::string& targets_file, double seconds, const std::string& interval,
              bool table) {
  std::string slave;
  const int master = table ? OpenTerminal(slave) : -1;
  Watched watched;
  if (table && master < 0) return watched;
  const std::vector<std::string> line{BuiltProgram("cli/krt6ctl"),
                                      "--lang=en",
                                      "--targets",
                                      targets_file,
                                      "watch",
                                      "--interval",
                                      interval};
  const Clock::time_point start = Clock::now();
  const pid_t pid = Start(line, slave);
  Drain(master,
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds)),
        watched.drawn);
  ::kill(pid, SIGINT);
  int status = 0;
  rusage usage{};
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
  pid_t ended = 0;
  while ((ended = ::wait4(pid, &status, WNOHANG, &usage)) == 0 && Clock::now() < deadline) {
    Drain(master, Clock::now() + std::chrono::milliseconds(50), watched.drawn);
  }
  if (ended == 0) {
    ::kill(pid, SIGKILL);
    ::wait4(pid, &status, 0, &usage);
    std::fprintf(stderr, "krt6-watch-bench: krt6ctl did not end within 10 s of SIGINT\n");
  }
  watched.wall_s = std::chrono::duration<double>(Clock::now() - start).count();
  watched.cpu_s = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  watched.rss_kib = usage.ru_maxrss;
  watched.ok = ended == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (master >= 0) ::close(master);
  return watched;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 1000;
  double seconds = 20;
  std::string interval = "2";
  std::string mode = "table";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--count")
      count = std::atoi(argv[i + 1]);
    else if (option == "--seconds")
      seconds = std::atof(argv[i + 1]);
    else if (option == "--interval")
      interval = argv[i + 1];
    else if (option == "--mode")
      mode = argv[i + 1];
    else {
      std::fprintf(stderr,
                   "usage: krt6-watch-bench [--count N] [--seconds S] [--interval S] "
                   "[--mode table|json]\n");
      return 2;
    }
  }
  if (count < 1 || count > 1000 || seconds <= 0 || (mode != "table" && mode != "json")) {
    std::fprintf(stderr, "krt6-watch-bench: --count 1-1000, --seconds > 0, --mode table|json\n");
    return 2;
  }
  ChildProcess emulator({BuiltProgram("emulator/krt6-emulator"), "--tcp", "127.0.0.1:0", "--count",
                         std::to_string(count), "--quiet"});
  if (!emulator.ReadLines(static_cast<std::size_t>(count),
                          Clock::now() + std::chrono::seconds(30))) {
    std::fprintf(stderr, "krt6-watch-bench: the emulator did not start: %s\n",
                 emulator.Err().c_str());
    return 1;
  }
  char folder[] = "/tmp/krt6-watch-bench-XXXXXX";
  if (::mkdtemp(folder) == nullptr) return 1;
  const std::string targets_file = std::string(folder) + "/targets";
  std::ofstream(targets_file) << emulator.Out();
  const Watched watched = Watch(targets_file, seconds, interval, mode == "table");
  ::unlink(targets_file.c_str());
  ::rmdir(folder);
  emulator.Signal(SIGTERM);
  emulator.Wait(Clock::now() + std::chrono::seconds(10));
  std::printf(
      "krt6ctl watch, %d printers every %s s, %s, %.1f s: %.2f s of processor time = "
      "%.2f%% of one core, peak memory %ld KiB, %zu bytes drawn%s\n",
      count, interval.c_str(), mode.c_str(), watched.wall_s, watched.cpu_s,
      100 * watched.cpu_s / watched.wall_s, watched.rss_kib, watched.drawn,
      watched.ok ? "" : " (krt6ctl did not end with 0)");
  return watched.ok ? 0 : 1;
}
