// diff in this process: two files, a file and a printer, and a printer that cannot be read.
#include <fstream>

#include "support/krt6ctl_runs.h"
#include "support/temp_dir.h"

namespace krt6::cli_test {
namespace {

TEST(DiffTest, FilesAndPrinters) {
  auto emu = Tcp();
  testing::TempDir dir;
  ASSERT_EQ(Krt6ctl({"-t", TcpTarget(*emu), "get", "lan", "-o", dir / "a.ts1"}).status, 0);
  ASSERT_EQ(Krt6ctl({"convert", dir / "a.ts1", dir / "a.json"}).status, 0);
  json edited = json::parse(ReadText(dir / "a.json"));
  edited["lan"]["socket_port"] = 9100;
  std::ofstream(dir / "c.json") << edited.dump();
  CtlRun run = Krt6ctl({"--json", "diff", dir / "a.json", dir / "c.json"});
  EXPECT_EQ(run.status, 3) << run.err;  // they differ
  EXPECT_EQ(json::parse(run.out)["changes"],
            (json::array({{{"key", "lan.socket_port"}, {"before", "8000"}, {"after", "9100"}}})));
  ASSERT_EQ(Krt6ctl({"-t", TcpTarget(*emu), "set", "socket_port=9100"}).status, 0);
  run = Krt6ctl({"diff", dir / "a.ts1", TcpTarget(*emu)});
  EXPECT_EQ(run.status, 3) << run.err;
  EXPECT_NE(run.out.find("lan.socket_port: 8000 -> 9100"), std::string::npos) << run.out;
  EXPECT_EQ(Krt6ctl({"diff", dir / "a.ts1", "127.0.0.1:1"}).status, 1);
}

}  // namespace
}  // namespace krt6::cli_test
