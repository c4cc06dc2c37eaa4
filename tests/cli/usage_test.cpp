// krt6ctl's command line in this process: input that is wrong sends nothing to any printer (exit
// 2, the key named on stderr, stdout empty), in either language; and --version.
#include <fstream>

#include "support/krt6ctl_runs.h"
#include "support/temp_dir.h"

namespace krt6::cli_test {
namespace {

TEST(UsageTest, BadInputSendsNothing) {
  auto emu = Tcp();
  const std::string target = TcpTarget(*emu);
  testing::TempDir dir;
  auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(dir / name) << text;
    return dir / name;
  };
  struct Case {
    std::vector<std::string> args;
    std::string named;  // what stderr must mention
  };
  const Case cases[] = {
      {{"set", write("broken.json", "{\"format\": \"krt6-settings\", ")}, "JSON"},
      {{"set",
        write("unknown.json",
              R"({"format":"krt6-settings","version":1,"parameters":{"comm_sped":"9600 bps"}})")},
       "comm_sped"},
      {{"set", "colour=red"}, "colour"},
      {{"set", "dhcp_id=AB}{WS|"}, "dhcp_id"},
      {{"set", "dhcp_hostname=a|}"}, "dhcp_hostname"},
      {{"set", "comm_speed=12345"}, "comm_speed"},
      {{"set", "ip_address=10.0.0.256"}, "ip_address"},
      {{"set", "--firmware", "1.0J", "comm_speed=9600", "-t", "parallel:/dev/null"}, "parallel"},
      {{"set", "--firmware", "1.0", "comm_speed=9600", "-t", "parallel:/dev/null"}, "--firmware"},
      // Two printers may never get one identity, not even in a check.
      {{"set", "ip_address=10.0.0.5", "comm_speed=19200", "-t", "127.0.0.2"}, "lan.ip_address"},
      {{"set", "--check", "dhcp_hostname=KRT6", "-t", "127.0.0.2"}, "lan.dhcp_hostname"},
      {{"set", "--keep-identity", "ip_address=10.0.0.5"}, "names no field"},
      {{"status", "-t", "socket://bad host"}, "bad host"},
      {{"status", "-t", "serial:COM99"}, "COM99"},
      {{"status", "--lang", "fr"}, "--lang"},
      {{"frobnicate"}, "subcommand"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"--json", "-t", target};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CtlRun run = Krt6ctl(args);
    EXPECT_EQ(run.status, 2) << c.args[1] << " " << run.err;
    EXPECT_TRUE(run.out.empty()) << run.out;
    EXPECT_NE(run.err.find(c.named), std::string::npos) << run.err;
  }
  EXPECT_TRUE(emu->CommandTexts().empty());
  EXPECT_EQ(emu->Connections(), 0);
  EXPECT_EQ(Krt6ctl({"status"}).status, 2);  // no target
}

// Bad targets and usage errors speak the chosen language: exit 2, the text on stderr.
TEST(UsageTest, UsageErrorsInBothLanguages) {
  struct Case {
    std::vector<std::string> args;
    std::string english;
    std::string japanese;
  };
  const Case cases[] = {
      {{"status", "-t", "serial:COM99"},
       "target 'serial:COM99': 'COM99' is no COM1..COM30 name and no device path",
       "ターゲット 'serial:COM99': 'COM99' は COM1..COM30 "
       "のポート名でもデバイスパスでもありません"},
      {{"status", "-t", "host:0"}, "the port '0' is not 1-65535", "範囲にありません"},
      {{"status", "-t", "ftp://host"}, "unknown scheme", "不明なスキーム"},
      {{"status", "--targets", "/nonexistent/targets"},
       "cannot read the targets file",
       "ターゲットファイル /nonexistent/targets を読めません"},
      {{"status"}, "no target: give -t TARGET", "ターゲットがありません"},
      {{"list", "-t", "usb:"}, "this command takes no -t/--targets", "を取りません"},
      {{"get", "-o", "x.txt", "-t", "usb:"},
       "x.txt: the file name must end in",
       "x.txt: ファイル名"},
      {{"set", "comm_speed=9600", "-t", "parallel:/dev/null"},
       "parallel:/dev/null: a parallel port cannot read the version: give --firmware",
       "パラレルポートではバージョンを読めません"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"--lang=ja"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CtlRun japanese = Krt6ctl(args);
    const CtlRun english = Krt6ctl(c.args);
    EXPECT_EQ(japanese.status, 2) << japanese.err;
    EXPECT_EQ(english.status, 2) << english.err;
    EXPECT_NE(japanese.err.find(c.japanese), std::string::npos) << japanese.err;
    EXPECT_EQ(japanese.err.find(c.english), std::string::npos) << japanese.err;
    EXPECT_NE(english.err.find(c.english), std::string::npos) << english.err;
  }
}

TEST(UsageTest, Version) { EXPECT_EQ(Krt6ctl({"--version"}).out, "krt6ctl 0.18\n"); }

}  // namespace
}  // namespace krt6::cli_test
