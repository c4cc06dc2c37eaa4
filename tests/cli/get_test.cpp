// get in this process against emulated printers over TCP and a pseudo terminal: the whole
// document, one part into a setting file, and nothing written to the printer.
#include "support/krt6ctl_runs.h"
#include "support/temp_dir.h"

namespace krt6::cli_test {
namespace {

TEST(GetTest, OverTcpAndPty) {
  for (Transport transport : {Transport::kTcp, Transport::kPty}) {
    SCOPED_TRACE(TransportName(transport));
    std::string target;
    auto emu = Over(transport, target);
    testing::TempDir dir;
    json line = OneLine(target, {"get", "all"}, "get");
    EXPECT_EQ(line["data"]["format"], "krt6-settings");
    EXPECT_EQ(line["data"]["parameters"]["comm_speed"], "9600 bps");
    EXPECT_EQ(line["data"]["lan"]["socket_port"], 8000);
    line = OneLine(target, {"get", "params", "-o", dir / "p.ts0"}, "get");
    EXPECT_EQ(testing::ReadBytes(dir / "p.ts0").size(), 92u);
    EXPECT_FALSE(line["data"].contains("lan"));
    EXPECT_TRUE(Sets(*emu).empty());
  }
}

}  // namespace
}  // namespace krt6::cli_test
