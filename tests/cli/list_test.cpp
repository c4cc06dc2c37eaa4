// list in this process: whatever this machine has attached, each record a JSON line with its URI.
#include "support/krt6ctl_runs.h"

namespace krt6::cli_test {
namespace {

TEST(ListTest, EveryRecordHasItsUri) {
  const CtlRun list = Krt6ctl({"--json", "list"});
  EXPECT_EQ(list.status, 0);
  for (const json& line : list.Lines()) EXPECT_TRUE(line.contains("uri")) << line;
}

}  // namespace
}  // namespace krt6::cli_test
