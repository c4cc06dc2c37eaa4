// scan in this process over loopback addresses only: the two printers that listen answer, the
// rest do not; a range larger than a /22 is refused before anything is asked.
#include "support/krt6ctl_runs.h"

namespace krt6::cli_test {
namespace {

// A block of loopback addresses away from 127.0.0.1, where other programs on the machine may
// listen on the same port number.
TEST(ScanTest, FindsThePrintersOnLoopback) {
  EmulatorOptions o;
  o.Host = "127.77.0.10";
  o.Port = 0;
  auto first = StartEmulator(o);
  o.Host = "127.77.0.13";
  o.Port = first->Port();
  auto second = StartEmulator(o);
  const CtlRun run =
      Krt6ctl({"--json", "scan", "127.77.0.8/29", "--port", std::to_string(first->Port())});
  EXPECT_EQ(run.status, 0) << run.err;
  const auto lines = run.Lines();
  ASSERT_EQ(lines.size(), 2u) << run.out;
  const std::string port = ":" + std::to_string(first->Port());
  EXPECT_EQ(lines[0]["target"], "socket://127.77.0.10" + port);
  EXPECT_EQ(lines[1]["target"], "socket://127.77.0.13" + port);
  ExpectContract(lines[1], "scan", 0);
  EXPECT_EQ(lines[1]["data"]["status"], "ON LINE");
  EXPECT_EQ(Krt6ctl({"scan", "10.0.0.0/16"}).status, 2);  // larger than a /22: refused, not asked
}

}  // namespace
}  // namespace krt6::cli_test
