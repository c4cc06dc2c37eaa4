// krt6-fleet-bench: the time krt6ctl takes to apply one configuration to one emulated printer
// and to a fleet of them (one krt6-emulator process serving --count N --vary), in one run.
// Each round sets a value the printers do not hold yet, so every printer is read, written and
// read back. Prints the median of the rounds, the ratio fleet / one, and krt6ctl's processor time
// and peak memory for the fleet.
//
//   krt6-fleet-bench [--count 200] [--rounds 5] [--jobs N|default (default: the count)]
//                    [--own-values 0|1]
// --jobs default runs krt6ctl without -j, with its own default. --own-values 1 gives every
// printer a host name of its own through a CSV targets table (the one printer too), beside the
// command line's shared values.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
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

// A krt6-emulator process serving `count` printers on free ports; their addresses.
struct EmulatorProcess {
  ChildProcess process;
  std::vector<std::string> addresses;
  explicit EmulatorProcess(int count)
      : process({BuiltProgram("emulator/krt6-emulator"), "--tcp", "127.0.0.1:0", "--count",
                 std::to_string(count), "--vary", "--quiet"}) {
    // One address a line, each as soon as its printer listens.
    process.ReadLines(static_cast<std::size_t>(count), Clock::now() + std::chrono::seconds(30));
    std::istringstream lines(process.Out());
    for (std::string line; std::getline(lines, line);) addresses.push_back(line);
  }
  ~EmulatorProcess() {
    process.Signal(SIGTERM);
    process.Wait(Clock::now() + std::chrono::seconds(10));
  }
};

// Runs krt6ctl set over the targets of `targets_file`; the wall time in ms, or -1 when it failed
// (what it said on stderr is shown).
// `jobs` < 0: krt6ctl's default.
struct Applied {
  double ms = -1;  // -1: krt6ctl failed
  double cpu_s = 0;
  long rss_kib = 0;
};

Applied ApplyConfiguration(const std::string& targets_file, int jobs, const std::string& value) {
  std::vector<std::string> line{BuiltProgram("cli/krt6ctl"), "-q", "--targets", targets_file};
  if (jobs >= 0) line.insert(line.end(), {"-j", std::to_string(jobs)});
  line.insert(line.end(), {"set", "comm_speed=" + value,
                           std::string("dhcp=") + (value == "19200" ? "ON" : "OFF")});
  const Clock::time_point start = Clock::now();
  const krt6::testing::ProgramRun run = krt6::testing::RunProgram(line, std::chrono::minutes(5));
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  if (run.Status != 0) std::fprintf(stderr, "%s", run.Err.c_str());
  return {run.Status == 0 ? ms : -1, run.CpuSeconds, run.MaxRssKiB};
}

// The targets file of a round: one address a line, or a CSV table giving every printer a host
// name of its own for the round.
void WriteTargets(const std::string& path, const std::vector<std::string>& addresses,
                  bool own_values, int round) {
  std::ofstream out(path);
  if (own_values) out << "target,dhcp_hostname\n";
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    out << addresses[i];
    if (own_values) out << ",P" << i << "R" << round;
    out << "\n";
  }
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
  bool own_values = false;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    const int value = std::atoi(argv[i + 1]);
    if (option == "--count") count = value;
    if (option == "--rounds") rounds = value;
    if (option == "--jobs") jobs = std::string(argv[i + 1]) == "default" ? -1 : value;
    if (option == "--own-values") own_values = value != 0;
  }
  if (count < 1 || count > 1000 || rounds < 1 || (jobs < 0 && jobs != -1)) {
    std::fprintf(stderr,
                 "usage: krt6-fleet-bench [--count 1-1000] [--rounds N] [--jobs N|default]\n");
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
  const std::string suffix = own_values ? ".csv" : ".txt";
  const std::string one_file = dir + "/one" + suffix;
  const std::string fleet_file = dir + "/fleet" + suffix;
  std::vector<double> one_times;
  std::vector<double> fleet_times;
  std::vector<double> fleet_cpu;
  long fleet_rss = 0;
  const char* values[] = {"19200", "38400"};
  for (int round = 0; round < rounds; ++round) {
    const std::string value = values[round % 2];
    WriteTargets(one_file, one.addresses, own_values, round);
    WriteTargets(fleet_file, fleet.addresses, own_values, round);
    const double t1 = ApplyConfiguration(one_file, 1, value).ms;
    const Applied applied = ApplyConfiguration(fleet_file, jobs, value);
    const double tn = applied.ms;
    if (t1 < 0 || tn < 0) {
      std::fprintf(stderr, "krt6-fleet-bench: krt6ctl failed in round %d\n", round + 1);
      return 1;
    }
    std::printf(
        "round %d: 1 printer %.0f ms, %d printers %.0f ms (krt6ctl: %.2f s processor, "
        "%.1f MiB peak)\n",
        round + 1, t1, count, tn, applied.cpu_s, static_cast<double>(applied.rss_kib) / 1024.0);
    one_times.push_back(t1);
    fleet_times.push_back(tn);
    fleet_cpu.push_back(applied.cpu_s);
    fleet_rss = std::max(fleet_rss, applied.rss_kib);
  }
  std::remove(one_file.c_str());
  std::remove(fleet_file.c_str());
  ::rmdir(dir.c_str());
  const double m1 = Median(one_times);
  const double mn = Median(fleet_times);
  std::printf(
      "median of %d rounds: 1 printer %.0f ms, %d printers (-j %s%s) %.0f ms, ratio %.2f "
      "(target <= 2.00); krt6ctl for the fleet: %.2f s processor (median), %.1f MiB peak\n",
      rounds, m1, count, jobs < 0 ? "default" : std::to_string(jobs).c_str(),
      own_values ? ", a host name of its own each" : "", mn, mn / m1, Median(fleet_cpu),
      static_cast<double>(fleet_rss) / 1024.0);
  return mn <= 2 * m1 ? 0 : 1;
}
