// The built krt6ctl program against RunKrt6ctl in this process: for each command line, the same
// exit status and the same bytes on stdout and stderr (times taken out), so that what the
// in-process tests see is what the program prints.
#include <cctype>
#include <string>

#include "support/krt6ctl_runs.h"
#include "support/temp_dir.h"

namespace krt6::cli_test {
namespace {

// The output with the times, which differ from run to run, taken out.
std::string Timeless(std::string text) {
  const std::string key = "\"elapsed_ms\":";
  for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
    std::size_t end = at + key.size();
    while (end < text.size() &&
           (std::isdigit(static_cast<unsigned char>(text[end])) != 0 ||
            std::string_view(".e+-").find(text[end]) != std::string_view::npos)) {
      ++end;
    }
    text.replace(at + key.size(), end - at - key.size(), "0");
  }
  return text;
}

TEST(ProgramTest, SameBytesAsInProcess) {
  auto emu = Tcp(2);
  const std::string one = TcpTarget(*emu, 0);
  const std::string two = TcpTarget(*emu, 1);
  testing::TempDir dir;
  const std::vector<std::vector<std::string>> lines = {
      {"--help"},
      {"set", "--help"},
      {"--version"},
      {"status", "-t", one},
      {"--lang=ja", "status", "-t", one, "-t", two},
      {"--json", "status", "-t", one, "-t", "127.0.0.1:1"},
      {"version", "-t", one},
      {"--json", "get", "lan", "-t", two},
      {"get", "params", "-o", dir / "p.ts0", "-t", one},
      {"--lang=ja", "get", "all", "-o", dir / "p.ts1", "-t", one},
      {"convert", dir / "p.ts0", dir / "p.json"},
      {"diff", dir / "p.ts0", two},
      {"set", "--check", "comm_speed=19200", "dhcp=ON", "-t", one, "-t", two},
      {"--json", "set", "--check", "socket_port=9100", "-t", one},
      {"z4", "-t", one, "-t", two},
      {"set", "ip_address=10.0.0.5", "-t", one, "-t", two},
      {"--lang=ja", "set", "colour=red", "-t", one},
      {"z1", "2", "-t", one},
      {"frobnicate"},
      {"status"},
      {"list", "-t", one},
      {"scan", "10.0.0.0/16"},
  };
  int failures = 0;
  for (const auto& line : lines) {
    SCOPED_TRACE(line.back());
    const CtlRun program = Krt6ctlProgram(line);
    const CtlRun here = Krt6ctl(line);
    EXPECT_EQ(program.status, here.status);
    EXPECT_EQ(Timeless(program.out), Timeless(here.out));
    EXPECT_EQ(program.err, here.err);
    if (program.status != 0) ++failures;
  }
  // The table holds successes and failures of each kind: it compares more than one path.
  EXPECT_GE(failures, 6);
  EXPECT_LE(failures, static_cast<int>(lines.size()) - 8);
}

}  // namespace
}  // namespace krt6::cli_test
