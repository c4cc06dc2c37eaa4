// krt6-fleet-bench: the time krt6ctl takes to apply one configuration to one emulated printer
// and to a fleet of them (one krt6-emulator process serving --count N --vary), in one run, or to
// back them up. Each set round sets a value the printers do not hold yet, so every printer is
// read, written and read back; each backup round reads every printer whole into a new folder.
// Prints the median of the rounds, the ratio fleet / one, and krt6ctl's processor time and peak
// memory for the fleet. With --floor 1 it also measures the wire floor: the same exchanges with
// the same fleet done by a client that does nothing else (one thread, epoll), a connection an
// exchange as krt6ctl opens them, and for comparison one connection a printer after the pause.
//
//   krt6-fleet-bench [--count 200] [--rounds 5] [--jobs N|default (default: the count)]
//                    [--own-values 0|1] [--command set|backup] [--floor 0|1]
// --jobs default runs krt6ctl without -j, with its own default. --own-values 1 gives every
// printer a host name of its own through a CSV targets table (the one printer too), beside the
// command line's shared values.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/wire_floor.h"
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

// What a krt6ctl run over the targets of a file took: the wall time in ms, or -1 when it failed
// (what it said on stderr is shown), its processor time and peak memory. `jobs` < 0: krt6ctl's
// default.
struct Applied {
  double ms = -1;  // -1: krt6ctl failed
  double cpu_s = 0;
  long rss_kib = 0;
};

// `backup_dir` empty: set `value`; else back up into that folder.
Applied RunKrt6ctl(const std::string& targets_file, int jobs, const std::string& value,
                   const std::string& backup_dir) {
  std::vector<std::string> line{BuiltProgram("cli/krt6ctl"), "-q", "--targets", targets_file};
  if (jobs >= 0) line.insert(line.end(), {"-j", std::to_string(jobs)});
  if (backup_dir.empty()) {
    line.insert(line.end(), {"set", "comm_speed=" + value,
                             std::string("dhcp=") + (value == "19200" ? "ON" : "OFF")});
  } else {
    line.insert(line.end(), {"backup", backup_dir});
  }
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

// The exchanges each printer takes in the command, as the wire floor makes them: set reads the
// version, then both blocks, writes both and reads them back; backup reads the version and both.
std::vector<krt6::CommandKind> ExchangesOf(const std::string& command) {
  using namespace krt6;
  std::vector<CommandKind> kinds{ckReadFirmwareVersion, ckReadParameters, ckReadLanSettings};
  if (command == "set") {
    kinds.insert(kinds.end(),
                 {ckWriteParameters, ckWriteLanSettings, ckReadParameters, ckReadLanSettings});
  }
  return kinds;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 200;
  int rounds = 5;
  int jobs = 0;
  bool own_values = false;
  bool floor = false;
  std::string command = "set";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    const int value = std::atoi(argv[i + 1]);
    if (option == "--count") count = value;
    if (option == "--rounds") rounds = value;
    if (option == "--jobs") jobs = std::string(argv[i + 1]) == "default" ? -1 : value;
    if (option == "--own-values") own_values = value != 0;
    if (option == "--floor") floor = value != 0;
    if (option == "--command") command = argv[i + 1];
  }
  if (count < 1 || count > 1000 || rounds < 1 || (jobs < 0 && jobs != -1) ||
      (command != "set" && command != "backup")) {
    std::fprintf(stderr,
                 "usage: krt6-fleet-bench [--count 1-1000] [--rounds N] [--jobs N|default] "
                 "[--own-values 0|1] [--command set|backup] [--floor 0|1]\n");
    return 2;
  }
  const bool backup = command == "backup";
  // A backup takes no values of its own.
  own_values = own_values && !backup;
  if (jobs == 0) jobs = count;
  EmulatorProcess one(1);
  EmulatorProcess fleet(count);
  if (one.addresses.size() != 1 || static_cast<int>(fleet.addresses.size()) != count) {
    std::fprintf(stderr, "krt6-fleet-bench: the emulator did not start\n");
    return 1;
  }
  char dir_template[] = "/tmp/krt6-fleet-bench-XXXXXX";
  if (::mkdtemp(dir_template) == nullptr) {
    std::perror("krt6-fleet-bench: mkdtemp");
    return 1;
  }
  const std::string dir = dir_template;
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
    const std::string round_dir = dir + "/round" + std::to_string(round);
    const double t1 = RunKrt6ctl(one_file, 1, value, backup ? round_dir + "-one" : "").ms;
    const Applied applied = RunKrt6ctl(fleet_file, jobs, value, backup ? round_dir : "");
    const double tn = applied.ms;
    if (t1 < 0 || tn < 0) {
      std::fprintf(stderr, "krt6-fleet-bench: krt6ctl failed in round %d\n", round + 1);
      return 1;
    }
    std::printf(
        "round %d: %s 1 printer %.0f ms, %d printers %.0f ms (krt6ctl: %.2f s processor, "
        "%.1f MiB peak)\n",
        round + 1, command.c_str(), t1, count, tn, applied.cpu_s,
        static_cast<double>(applied.rss_kib) / 1024.0);
    one_times.push_back(t1);
    fleet_times.push_back(tn);
    fleet_cpu.push_back(applied.cpu_s);
    fleet_rss = std::max(fleet_rss, applied.rss_kib);
  }
  std::filesystem::remove_all(dir);
  const double m1 = Median(one_times);
  const double mn = Median(fleet_times);
  std::printf(
      "median of %d rounds: %s 1 printer %.0f ms, %d printers (-j %s%s) %.0f ms, ratio %.2f "
      "(target <= 1.50); krt6ctl for the fleet: %.2f s processor (median), %.1f MiB peak\n",
      rounds, command.c_str(), m1, count, jobs < 0 ? "default" : std::to_string(jobs).c_str(),
      own_values ? ", a host name of its own each" : "", mn, mn / m1, Median(fleet_cpu),
      static_cast<double>(fleet_rss) / 1024.0);
  if (floor) {
    using krt6::bench::Connections;
    std::vector<double> each;
    std::vector<double> joined;
    for (int round = 0; round < rounds; ++round) {
      each.push_back(krt6::bench::WireFloorMs(fleet.addresses, ExchangesOf(command),
                                              Connections::kEachExchange));
      joined.push_back(krt6::bench::WireFloorMs(fleet.addresses, ExchangesOf(command),
                                                Connections::kOneAfterSettling));
      if (each.back() < 0 || joined.back() < 0) {
        std::fprintf(stderr, "krt6-fleet-bench: a printer did not answer the wire floor\n");
        return 1;
      }
    }
    std::printf(
        "wire floor, median of %d rounds (%d printers, one thread, epoll, the same exchanges): "
        "a connection an exchange %.0f ms (ratio %.2f to krt6ctl's 1 printer); one connection a "
        "printer after the pause %.0f ms (ratio %.2f)\n",
        rounds, count, Median(each), Median(each) / m1, Median(joined), Median(joined) / m1);
  }
  return mn <= 1.5 * m1 ? 0 : 1;
}
