// convert in this process: a setting file's bytes kept through JSON, and a file it cannot read.
#include "support/krt6ctl_runs.h"
#include "support/temp_dir.h"

namespace krt6::cli_test {
namespace {

TEST(ConvertTest, KeepsASettingFileThroughJson) {
  auto emu = Tcp();
  testing::TempDir dir;
  ASSERT_EQ(Krt6ctl({"-t", TcpTarget(*emu), "get", "lan", "-o", dir / "a.ts1"}).status, 0);
  EXPECT_EQ(Krt6ctl({"convert", dir / "a.ts1", dir / "a.json"}).status, 0);
  EXPECT_EQ(Krt6ctl({"convert", dir / "a.json", dir / "b.ts1"}).status, 0);
  EXPECT_EQ(testing::ReadBytes(dir / "a.ts1"), testing::ReadBytes(dir / "b.ts1"));
  EXPECT_EQ(json::parse(ReadText(dir / "a.json"))["lan"]["socket_port"], 8000);
  EXPECT_EQ(Krt6ctl({"convert", dir / "missing.ts0", dir / "x.json"}).status, 2);
}

}  // namespace
}  // namespace krt6::cli_test
