// The krt6-emulator program: it serves the tool over TCP and on a pseudo terminal, documents its
// options, and ends cleanly on SIGTERM and SIGINT.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>

#include "link/system_links.h"
#include "protocol/protocol.h"
#include "support/fake_link.h"
#include "support/os_bench.h"

namespace krt6 {
namespace {

std::string EmulatorPath() {
  char self[PATH_MAX] = {};
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  std::string dir(self, n > 0 ? static_cast<std::size_t>(n) : 0);
  dir = dir.substr(0, dir.rfind('/'));  // build/tests
  return dir.substr(0, dir.rfind('/')) + "/emulator/krt6-emulator";
}

// Starts the program with `args` and reads the first line it prints (its address or device).
struct Program {
  pid_t pid = -1;
  std::string first_line;
  explicit Program(std::vector<std::string> args) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    pid = ::fork();
    if (pid == 0) {
      ::dup2(out[1], 1);
      std::vector<char*> argv;
      static std::string path = EmulatorPath();
      argv.push_back(path.data());
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(path.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    char c = 0;
    pollfd p{out[0], POLLIN, 0};
    while (::poll(&p, 1, 3000) > 0 && ::read(out[0], &c, 1) == 1 && c != '\n') first_line += c;
    ::close(out[0]);
  }
  int Stop(int signal_number) {
    ::kill(pid, signal_number);
    int status = 0;
    ::waitpid(pid, &status, 0);
    pid = -1;
    return status;
  }
  ~Program() {
    if (pid > 0) Stop(SIGKILL);
  }
};

TEST(EmulatorProgramTest, HelpDocumentsEveryOption) {
  ASSERT_EQ(::access(EmulatorPath().c_str(), X_OK), 0) << EmulatorPath() << " is not built";
  Program help({"--help"});
  int status = 0;
  ASSERT_EQ(::waitpid(help.pid, &status, 0), help.pid);
  help.pid = -1;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(help.first_line, "Usage: krt6-emulator [options]");
}

TEST(EmulatorProgramTest, ServesTcpAndEndsCleanlyOnSigterm) {
  Program emu({"--tcp", "127.0.0.1:0", "--status", "04", "--quiet"});
  ASSERT_EQ(emu.first_line.rfind("127.0.0.1:", 0), 0u) << emu.first_line;
  testing::LinkFixture f;
  InstallSystemLinks(f.layer);
  f.settings.Tcp.IPAddr = "127.0.0.1";
  f.settings.Tcp.Port = std::stoi(emu.first_line.substr(10));
  Protocol protocol(f.layer, [](int) {});
  int version = 4;
  std::int32_t status = 0;
  EXPECT_EQ(protocol.ExecuteCommand<ckReadStatus>(lkEthernet, status, version), kSuccess)
      << protocol.LastError();
  EXPECT_EQ(status, 4);  // "PAUSE"
  const int exit_status = emu.Stop(SIGTERM);
  EXPECT_TRUE(WIFEXITED(exit_status) && WEXITSTATUS(exit_status) == 0) << exit_status;
}

TEST(EmulatorProgramTest, ServesAPseudoTerminalThroughItsSymlinkAndRemovesItOnSigint) {
  char dir[] = "/tmp/krt6-emu-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string link = std::string(dir) + "/com";
  Program emu({"--pty", link, "--quiet"});
  ASSERT_EQ(emu.first_line.rfind("/dev/pts/", 0), 0u) << emu.first_line;
  auto ports = std::make_shared<testing::MapPorts>();
  ports->Serial["COM1"] = link;
  testing::LinkFixture f;
  SystemLinkOptions o;
  o.Ports = ports;
  InstallSystemLinks(f.layer, o);
  Protocol protocol(f.layer, [](int) {});
  int version = 4;
  std::int32_t status = 0;
  EXPECT_EQ(protocol.ExecuteCommand<ckReadStatus>(lkCom, status, version), kSuccess)
      << protocol.LastError();
  EXPECT_EQ(status, 1);
  const int exit_status = emu.Stop(SIGINT);
  EXPECT_TRUE(WIFEXITED(exit_status) && WEXITSTATUS(exit_status) == 0) << exit_status;
  EXPECT_NE(::access(link.c_str(), F_OK), 0) << "the symlink is removed at the end";
  ::rmdir(dir);
}

}  // namespace
}  // namespace krt6
