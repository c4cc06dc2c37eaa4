// krt6-fleet-bench: the time krt6ctl takes to apply one configuration to one emulated printer
// and to a fleet of them (one krt6-emulator process serving --count N --vary), in one run.
// Each round sets a value the printers do not hold yet, so every printer is read, written and
// read back. Prints the median of the rounds and the ratio fleet / one.
//
//   krt6-fleet-bench [--count 200] [--rounds 5] [--jobs N (default: the count)]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::string BuildDir() {
  char self[PATH_MAX] = {};
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  std::string dir(self, n > 0 ? static_cast<std::size_t>(n) : 0);
  dir = dir.substr(0, dir.rfind('/'));  // build/bench
  return dir.substr(0, dir.rfind('/'));
}

// A krt6-emulator process serving `count` printers on free ports; their addresses.
struct EmulatorProcess {
  pid_t pid = -1;
  std::vector<std::string> addresses;
  explicit EmulatorProcess(int count) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    const std::string program = BuildDir() + "/emulator/krt6-emulator";
    std::vector<std::string> args{
        program, "--tcp", "127.0.0.1:0", "--count", std::to_string(count), "--vary", "--quiet"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string line;
    char buffer[4096];
    while (static_cast<int>(addresses.size()) < count) {
      pollfd p{out[0], POLLIN, 0};
      if (::poll(&p, 1, 5000) <= 0) break;
      const ssize_t n = ::read(out[0], buffer, sizeof buffer);
      if (n <= 0) break;
      for (ssize_t i = 0; i < n; ++i) {
        if (buffer[i] != '\n') {
          line += buffer[i];
        } else {
          addresses.push_back(line);
          line.clear();
        }
      }
    }
    ::close(out[0]);
  }
  ~EmulatorProcess() {
    if (pid > 0) {
      ::kill(pid, SIGTERM);
      ::waitpid(pid, nullptr, 0);
    }
  }
};

// Runs krt6ctl set over the targets of `targets_file`; the wall time in ms, or -1 when it failed.
double ApplyConfiguration(const std::string& targets_file, int jobs, const std::string& value) {
  const std::string program = BuildDir() + "/cli/krt6ctl";
  std::vector<std::string> args{program,
                                "-q",
                                "--targets",
                                targets_file,
                                "-j",
                                std::to_string(jobs),
                                "set",
                                "comm_speed=" + value,
                                "dhcp_hostname=FLEET" + value};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const Clock::time_point start = Clock::now();
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  ::waitpid(pid, &status, 0);
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ms : -1;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int count = 200;
  int rounds = 5;
  int jobs = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    const int value = std::atoi(argv[i + 1]);
    if (option == "--count") count = value;
    if (option == "--rounds") rounds = value;
    if (option == "--jobs") jobs = value;
  }
  if (count < 1 || count > 1000 || rounds < 1 || jobs < 0) {
    std::fprintf(stderr, "usage: krt6-fleet-bench [--count 1-1000] [--rounds N] [--jobs N]\n");
    return 2;
  }
  if (jobs == 0) jobs = count;
  EmulatorProcess one(1);
  EmulatorProcess fleet(count);
  if (one.addresses.size() != 1 || static_cast<int>(fleet.addresses.size()) != count) {
    std::fprintf(stderr, "krt6-fleet-bench: the emulator did not start\n");
    return 1;
  }
  char dir_template[] = "/tmp/krt6-fleet-bench-XXXXXX";
  const std::string dir = ::mkdtemp(dir_template) != nullptr ? dir_template : "/tmp";
  const std::string one_file = dir + "/one.txt";
  const std::string fleet_file = dir + "/fleet.txt";
  std::ofstream(one_file) << one.addresses[0] << "\n";
  {
    std::ofstream out(fleet_file);
    for (const std::string& address : fleet.addresses) out << address << "\n";
  }
  std::vector<double> one_times;
  std::vector<double> fleet_times;
  const char* values[] = {"19200", "38400"};
  for (int round = 0; round < rounds; ++round) {
    const std::string value = values[round % 2];
    const double t1 = ApplyConfiguration(one_file, 1, value);
    const double tn = ApplyConfiguration(fleet_file, jobs, value);
    if (t1 < 0 || tn < 0) {
      std::fprintf(stderr, "krt6-fleet-bench: krt6ctl failed in round %d\n", round + 1);
      return 1;
    }
    std::printf("round %d: 1 printer %.0f ms, %d printers %.0f ms\n", round + 1, t1, count, tn);
    one_times.push_back(t1);
    fleet_times.push_back(tn);
  }
  std::remove(one_file.c_str());
  std::remove(fleet_file.c_str());
  ::rmdir(dir.c_str());
  const double m1 = Median(one_times);
  const double mn = Median(fleet_times);
  std::printf(
      "median of %d rounds: 1 printer %.0f ms, %d printers (-j %d) %.0f ms, ratio %.2f "
      "(target <= 2.00)\n",
      rounds, m1, count, jobs, mn, mn / m1);
  return mn <= 2 * m1 ? 0 : 1;
}
