// status and version in this process against emulated printers over TCP, a pseudo terminal and a
// FIFO: the contract line of each, the readable line with its byte trace, both languages, -q, and
// the cause each kind of failure gives.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "cli/fleet.h"
#include "protocol/commands.h"
#include "support/krt6ctl_runs.h"
#include "support/loopback.h"
#include "support/temp_dir.h"
#include "texts/texts.h"

namespace krt6::cli_test {
namespace {

TEST(StatusTest, OverTcpAndPty) {
  for (Transport transport : {Transport::kTcp, Transport::kPty}) {
    SCOPED_TRACE(TransportName(transport));
    std::string target;
    auto emu = Over(transport, target);
    json line = OneLine(target, {"status"}, "status");
    EXPECT_EQ(line["data"], (json{{"status_code", 1}, {"status", "ON LINE"}}));
    line = OneLine(target, {"version"}, "version");
    EXPECT_EQ(line["data"], (json{{"version", "1.0J"}, {"class", 3}}));

    // Without --json: the readable line, and the byte trace on stderr with -v.
    const CtlRun plain = Krt6ctl({"-v", "status", "-t", target});
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.out, "ON LINE\n");
    EXPECT_NE(plain.err.find("[" + target + "]"), std::string::npos) << plain.err;
    EXPECT_NE(plain.err.find("7B 57 53 7C 7D  {WS|}"), std::string::npos) << plain.err;
    EXPECT_EQ(Krt6ctl({"--lang=ja", "status", "-t", target}).out,
              std::string(StatusText(1, Language::kJapanese)) + "\n");
    // -q drops a status line.
    EXPECT_EQ(Krt6ctl({"-q", "status", "-t", target}).out, "");
    EXPECT_TRUE(Sets(*emu).empty());
  }
}

// Each failure names its cause in the JSON line: a refused connection, a printer that takes the
// connection and never answers, an absent USB printer, a port that cannot carry replies; a success
// has none.
TEST(StatusTest, FailuresCarryTheirCause) {
  // A socket that listens but is never accepted from: the connection is made, no reply comes.
  const int silent = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(silent, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(silent, 4), 0);
  socklen_t size = sizeof address;
  ASSERT_EQ(::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &size), 0);
  const std::string silent_target = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  // A port the kernel just gave out and took back: nothing listens there.
  const std::string refused_target = testing::RefusedTarget();
  EmulatorOptions answering;
  answering.Port = 0;  // a free port from the kernel
  auto emu = StartEmulator(answering);
  const struct {
    std::string target;
    json cause;
    int code;
  } cases[] = {
      {refused_target, "refused", kPortOpenError},
      {silent_target, "timeout", kReceivingError},
      {"usb:?serial=KRT6-NO-SUCH-PRINTER", "not_found", kPortOpenError},
      {"parallel:/dev/null", "cannot_receive", cli::kCannotDo},
      {TcpTarget(*emu), nullptr, 0},
  };
  for (const auto& c : cases) {
    const CtlRun run = Krt6ctl({"--json", "status", "-t", c.target});
    const json line = json::parse(run.out);
    EXPECT_EQ(line["cause"], c.cause) << c.target << ": " << run.out;
    EXPECT_EQ(line["code"], c.code) << c.target;
    EXPECT_EQ(run.status, c.code == 0 ? 0 : 1) << c.target;
  }
  ::close(silent);
}

// A parallel port takes commands but gives no replies: a query is code 8.
TEST(StatusTest, ParallelPortHasNoReplies) {
  testing::TempDir dir;
  EmulatorOptions o;
  o.Kind = Transport::kFifo;
  o.Path = dir / "lp";
  auto emu = StartEmulator(o);
  const std::string target = "parallel:" + emu->DevicePath();
  CtlRun run = Krt6ctl({"--json", "-t", target, "status"});
  EXPECT_EQ(run.status, 1);
  ASSERT_EQ(run.Lines().size(), 1u);
  ExpectContract(run.Lines()[0], "status", 8);
}

}  // namespace
}  // namespace krt6::cli_test
