// calibrate, z1 and z4 in this process against emulated printers over TCP, a pseudo terminal and
// a FIFO (a parallel port, which takes them without replies): the commands each sends.
#include <unistd.h>

#include "support/krt6ctl_runs.h"
#include "support/temp_dir.h"

namespace krt6::cli_test {
namespace {

TEST(MaintenanceTest, OverTcpAndPty) {
  for (Transport transport : {Transport::kTcp, Transport::kPty}) {
    SCOPED_TRACE(TransportName(transport));
    std::string target;
    auto emu = Over(transport, target);
    emu->ClearLog();
    OneLine(target, {"calibrate", "transmissive"}, "calibrate");
    OneLine(target, {"z1", "1"}, "z1");
    OneLine(target, {"z4"}, "z4");
    EXPECT_EQ(emu->CommandTexts(), (std::vector<std::string>{"WT;1000,2", "Z11", "Z4;0"}));
  }
}

TEST(MaintenanceTest, ParallelPortOverAFifo) {
  testing::TempDir dir;
  EmulatorOptions o;
  o.Kind = Transport::kFifo;
  o.Path = dir / "lp";
  auto emu = StartEmulator(o);
  const std::string target = "parallel:" + emu->DevicePath();
  EXPECT_EQ(Krt6ctl({"-t", target, "z4"}).status, 0);
  for (int i = 0; i < 100 && emu->CommandTexts().empty(); ++i) ::usleep(10000);
  EXPECT_EQ(emu->CommandTexts(), (std::vector<std::string>{"Z4;0"}));
}

}  // namespace
}  // namespace krt6::cli_test
