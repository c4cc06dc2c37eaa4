// Rolling changes over a fleet of emulated printers with dead ones among them: --max-failures
// starts no target once that many have failed, set --batch starts a batch only once the one
// before it has ended.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "cli/fleet.h"
#include "support/krt6ctl_runs.h"
#include "support/loopback.h"

namespace krt6 {
namespace {

using testing::RefusedTarget;

using cli_test::CtlRun;
using cli_test::json;

TEST(RollingTest, MaxFailuresAndBatches) {
  auto fleet = cli_test::Tcp(6);
  // L0 D L1 D L2 L3 D L4 L5: printer n of the emulator at live[n], three dead ones between.
  std::vector<std::string> targets;
  std::map<std::string, int> printer_of;
  for (int i = 0; i < fleet->Count(); ++i) {
    targets.push_back(cli_test::TcpTarget(*fleet, i));
    printer_of[targets.back()] = i;
    if (i == 0 || i == 1 || i == 3) targets.push_back(RefusedTarget());
  }
  const struct Case {
    std::vector<std::string> options;  // before the command
    std::vector<std::string> set_options;
    std::size_t done;  // succeeded
    std::size_t failed;
    std::size_t not_started;
    std::size_t batch;  // the batches whose order is checked (0: none)
  } cases[] = {
      {{"-j", "1"}, {}, 6, 3, 0, 0},
      // One at a time: the second dead target is the last one started.
      {{"-j", "1", "--max-failures", "2"}, {}, 2, 2, 5, 0},
      {{"-j", "1", "--max-failures", "3"}, {}, 4, 3, 2, 0},
      // The first batch (L0 D L1 D) runs whole; its failures stop every later batch.
      {{"--max-failures", "2"}, {"--batch", "4"}, 2, 2, 5, 4},
      {{}, {"--batch", "2"}, 6, 3, 0, 2},
      {{"-j", "2"}, {"--batch", "3"}, 6, 3, 0, 3},
  };
  const char* speeds[] = {"2400", "4800", "19200", "38400", "57600", "115200"};
  ASSERT_EQ(std::size(speeds), std::size(cases));
  std::size_t value = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.options) + ::testing::PrintToString(c.set_options));
    fleet->ClearLog();
    std::vector<std::string> args{"--json", "--no-history"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    for (const std::string& target : targets) args.insert(args.end(), {"-t", target});
    args.push_back("set");
    args.insert(args.end(), c.set_options.begin(), c.set_options.end());
    // A value no case gave before, so that every printer that runs is written.
    args.push_back(std::string("comm_speed=") + speeds[value++]);
    const CtlRun run = cli_test::Krt6ctl(args);
    EXPECT_EQ(run.status, 1) << run.err;
    const std::vector<json> lines = run.Lines();
    ASSERT_EQ(lines.size(), targets.size()) << run.out;
    std::size_t done = 0;
    std::size_t failed = 0;
    std::size_t not_started = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(lines[i]["target"], targets[i]);
      const int code = lines[i]["code"];
      const bool live = printer_of.count(targets[i]) > 0;
      done += code == 0 ? 1 : 0;
      not_started += code == cli::kNotStarted ? 1 : 0;
      failed += code != 0 && code != cli::kNotStarted ? 1 : 0;
      if (code == cli::kNotStarted) {
        EXPECT_EQ(lines[i]["cause"], "not_started");
        // Nothing reached a printer that was not started.
        if (live) {
          EXPECT_TRUE(fleet->Commands(printer_of[targets[i]]).empty()) << targets[i];
        }
      } else {
        EXPECT_EQ(code, live ? 0 : kPortOpenError) << lines[i];
        if (live) {
          EXPECT_FALSE(cli_test::Sets(*fleet, printer_of[targets[i]]).empty());
        }
      }
    }
    EXPECT_EQ(done, c.done);
    EXPECT_EQ(failed, c.failed);
    EXPECT_EQ(not_started, c.not_started);
    const std::string summary = "stopped after";
    EXPECT_EQ(run.err.find(summary) != std::string::npos, c.not_started > 0) << run.err;

    if (c.batch == 0) continue;
    // No live printer of a batch heard anything before every live one of the batches before it
    // had heard its last command.
    auto first_heard = std::chrono::steady_clock::time_point::max();
    auto last_heard = std::chrono::steady_clock::time_point::min();
    std::vector<std::pair<decltype(first_heard), decltype(last_heard)>> batches;
    for (std::size_t i = 0; i < targets.size(); ++i) {
      if (printer_of.count(targets[i]) > 0) {
        for (const auto& command : fleet->Commands(printer_of[targets[i]])) {
          first_heard = std::min(first_heard, command.Arrived);
          last_heard = std::max(last_heard, command.LineDone);
        }
      }
      if ((i + 1) % c.batch == 0 || i + 1 == targets.size()) {
        batches.emplace_back(first_heard, last_heard);
        first_heard = std::chrono::steady_clock::time_point::max();
        last_heard = std::chrono::steady_clock::time_point::min();
      }
    }
    for (std::size_t k = 1; k < batches.size(); ++k) {
      if (batches[k].first == std::chrono::steady_clock::time_point::max()) continue;  // none ran
      for (std::size_t before = 0; before < k; ++before) {
        EXPECT_GE(batches[k].first, batches[before].second) << "batch " << k;
      }
    }
  }
}

}  // namespace
}  // namespace krt6
