// The krt6-emulator program: it serves the tool over TCP and on a pseudo terminal, documents its
// options, ends cleanly on SIGTERM, SIGINT and SIGHUP, and says when it cannot write its log.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "link/link_kinds.h"
#include "protocol/protocol.h"
#include "support/child_wait.h"
#include "support/fake_link.h"
#include "support/os_bench.h"
#include "support/temp_dir.h"

namespace krt6 {
namespace {

std::string EmulatorPath() {
  char self[PATH_MAX] = {};
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  std::string dir(self, n > 0 ? static_cast<std::size_t>(n) : 0);
  dir = dir.substr(0, dir.rfind('/'));  // build/tests
  return dir.substr(0, dir.rfind('/')) + "/emulator/krt6-emulator";
}

// The links for a tool on the emulator's pseudo terminal. The terminal hands bytes over through a
// kernel worker that a loaded machine can hold up for more than the tool's one-second read window
// (1.1 s seen with eight sanitizer test programs and two busy processes on two cores), where a
// real line has no such hand-over. These tests check opening and answering, not the tool's
// timing: its serial reads wait 10 s.
SystemLinkOptions PtyLinks(const std::string& device) {
  auto ports = std::make_shared<testing::MapPorts>();
  ports->Serial["COM1"] = device;
  SystemLinkOptions o;
  o.Ports = ports;
  o.Serial.ReadAcceptMs = 10000;
  o.Serial.ReadFailMs = 12000;
  return o;
}

// Starts the program with `args` and reads the first `lines` lines it prints (its addresses or
// device); what it writes to standard error is kept for `Errors()`.
struct Program {
  pid_t pid = -1;
  std::string first_line;
  std::vector<std::string> lines;
  int errors_fd = -1;
  explicit Program(std::vector<std::string> args, std::size_t count = 1, int wait_ms = 10000) {
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    if (::pipe2(err, O_CLOEXEC) != 0) return;
    pid = ::fork();
    if (pid == 0) {
      ::dup2(out[1], 1);
      ::dup2(err[1], 2);
      std::vector<char*> argv;
      static std::string path = EmulatorPath();
      argv.push_back(path.data());
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(path.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    errors_fd = err[0];
    std::string line;
    char buffer[4096];
    const auto start = std::chrono::steady_clock::now();
    while (lines.size() < count) {
      const int left = wait_ms - static_cast<int>(testing::MillisecondsSince(start));
      pollfd p{out[0], POLLIN, 0};
      if (left <= 0 || ::poll(&p, 1, left) <= 0) break;
      const ssize_t n = ::read(out[0], buffer, sizeof buffer);
      if (n <= 0) break;
      for (ssize_t i = 0; i < n; ++i) {
        if (buffer[i] != '\n') {
          line += buffer[i];
        } else {
          lines.push_back(line);
          line.clear();
        }
      }
    }
    if (!lines.empty()) first_line = lines[0];
    ::close(out[0]);
  }
  // The exit status, or -1 when it is still running after `ms`.
  int WaitExit(int ms, rusage* usage = nullptr) {
    const int status = testing::WaitUpTo(pid, ms, usage);
    if (status != -1) pid = -1;
    return status;
  }
  // Sends `signal_number` and waits (a bounded while) for the end.
  int Stop(int signal_number) {
    if (pid <= 0) return -1;  // ended already (kill(-1) would reach every process)
    ::kill(pid, signal_number);
    const int status = testing::WaitChild(pid, 10000);
    pid = -1;
    return status;
  }
  std::string Errors() const {
    std::string text;
    char buffer[4096];
    pollfd p{errors_fd, POLLIN, 0};
    while (::poll(&p, 1, 100) > 0) {
      const ssize_t n = ::read(errors_fd, buffer, sizeof buffer);
      if (n <= 0) break;
      text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
  }
  ~Program() {
    if (pid > 0) Stop(SIGKILL);
    if (errors_fd >= 0) ::close(errors_fd);
  }
};

TEST(EmulatorProgramTest, HelpDocumentsEveryOption) {
  ASSERT_EQ(::access(EmulatorPath().c_str(), X_OK), 0) << EmulatorPath() << " is not built";
  Program help({"--help"}, 1000);
  const int status = help.WaitExit(2000);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(help.first_line, "Usage: krt6-emulator [options]");
  std::string text;
  for (const auto& line : help.lines) text += line + "\n";
  for (const char* option :
       {"--tcp",        "--pty",      "--fifo",      "--count",        "--vary",
        "--idle-limit", "--firmware", "--status",    "--parameters1",  "--parameters2",
        "--ip",         "--gateway",  "--mask",      "--socket-mode",  "--socket-port",
        "--dhcp",       "--dhcp-id",  "--host-name", "--no-reply",     "--ignore-sets",
        "--cut",        "--noise",    "--delay",     "--wv-no-marker", "--hangup",
        "--trickle",    "--stall",    "--line-rate", "--log",          "--quiet",
        "--control",    "--help"}) {
    EXPECT_NE(text.find(std::string("  ") + option + " "), std::string::npos) << option;
  }
}

// A raw client on loopback with a small receive buffer, non-blocking once connected.
int ConnectTo(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int size = 16 * 1024;
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ::fcntl(fd, F_SETFL, O_NONBLOCK);
  return fd;
}

TEST(EmulatorProgramTest, ServesTcpBesideAnIdleClientAndEndsCleanlyOnSigterm) {
  Program emu({"--tcp", "127.0.0.1:0", "--status", "04", "--quiet", "--idle-limit", "0.3"});
  ASSERT_EQ(emu.first_line.rfind("127.0.0.1:", 0), 0u) << emu.first_line;
  const int port = std::stoi(emu.first_line.substr(10));
  const auto connected = std::chrono::steady_clock::now();
  const int silent = ConnectTo(port);  // connects and sends nothing
  testing::LinkFixture f;
  f.Use(lkEthernet);
  f.settings.Tcp.IPAddr = "127.0.0.1";
  f.settings.Tcp.Port = port;
  krt6::Result last;
  Protocol protocol(f.layer, [](int) {});
  int version = 4;
  std::int32_t status = 0;
  EXPECT_EQ((last = protocol.ExecuteCommand<ckReadStatus>(status, version)).code, kSuccess)
      << last.Text();
  EXPECT_EQ(status, 4);  // "PAUSE"
  // The silent client is let go at the idle limit.
  pollfd p{silent, POLLIN, 0};
  char byte = 0;
  // Not before the limit; after it within a bound a busy machine keeps (the default is 60 s).
  EXPECT_TRUE(::poll(&p, 1, 5000) == 1 && ::recv(silent, &byte, 1, 0) == 0);
  const double closed_after = testing::MillisecondsSince(connected);
  EXPECT_GE(closed_after, 290);
  EXPECT_LT(closed_after, 3000);
  ::close(silent);
  const int exit_status = emu.Stop(SIGTERM);
  EXPECT_TRUE(WIFEXITED(exit_status) && WEXITSTATUS(exit_status) == 0) << exit_status;
}

TEST(EmulatorProgramTest, ServesAPseudoTerminalThroughItsSymlinkAndRemovesItOnSigint) {
  char dir[] = "/tmp/krt6-emu-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string link = std::string(dir) + "/com";
  ASSERT_EQ(::symlink("/dev/pts/999999", link.c_str()), 0);  // left by an earlier run: replaced
  Program emu({"--pty", link, "--quiet"});
  ASSERT_EQ(emu.first_line.rfind("/dev/pts/", 0), 0u) << emu.first_line;
  testing::LinkFixture f;
  f.options = PtyLinks(link);
  f.Use(lkCom);
  krt6::Result last;
  Protocol protocol(f.layer, [](int) {});
  int version = 4;
  std::int32_t status = 0;
  EXPECT_EQ((last = protocol.ExecuteCommand<ckReadStatus>(status, version)).code, kSuccess)
      << last.Text();
  EXPECT_EQ(status, 1);
  const int exit_status = emu.Stop(SIGINT);
  EXPECT_TRUE(WIFEXITED(exit_status) && WEXITSTATUS(exit_status) == 0) << exit_status;
  EXPECT_NE(::access(link.c_str(), F_OK), 0) << "the symlink is removed at the end";
  ::rmdir(dir);
}

// The status characters of running printers change from outside: the --control file is read at
// start and at each SIGUSR1; a file with a wrong line changes nothing and is said.
TEST(EmulatorProgramTest, TheControlFileChangesRunningPrintersStatus) {
  testing::TempDir dir;
  const std::string control = dir / "control";
  {
    std::FILE* f = std::fopen(control.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("# printer 2 starts with a paper end\n\n2 13\n", f);
    std::fclose(f);
  }
  Program emu({"--tcp", "127.0.0.1:0", "--count", "3", "--quiet", "--control", control}, 3);
  ASSERT_EQ(emu.lines.size(), 3u);
  auto status_of = [&](int printer) {
    testing::LinkFixture f;
    f.Use(lkEthernet);
    f.settings.Tcp.IPAddr = "127.0.0.1";
    f.settings.Tcp.Port = std::stoi(emu.lines[static_cast<std::size_t>(printer)].substr(10));
    Protocol protocol(f.layer, [](int) {});
    int version = 4;
    std::int32_t status = -1;
    const krt6::Result r = protocol.ExecuteCommand<ckReadStatus>(status, version);
    return r.Ok() ? status : -1;
  };
  // Applied once the signal is taken: within a bounded while.
  auto changes_to = [&](int printer, int expected) {
    const auto start = std::chrono::steady_clock::now();
    while (status_of(printer) != expected) {
      if (testing::MillisecondsSince(start) > 5000) return false;
      ::usleep(20000);
    }
    return true;
  };
  EXPECT_EQ(status_of(0), 1);
  EXPECT_EQ(status_of(1), 10);  // "13": Paper Error
  EXPECT_EQ(status_of(2), 1);
  auto rewrite = [&](const char* text) {
    std::FILE* f = std::fopen(control.c_str(), "w");
    std::fputs(text, f);
    std::fclose(f);
    ::kill(emu.pid, SIGUSR1);
  };
  rewrite("11\n3 04\n");  // every printer jams, then printer 3 pauses
  EXPECT_TRUE(changes_to(0, 8));
  EXPECT_TRUE(changes_to(1, 8));
  EXPECT_TRUE(changes_to(2, 4));
  rewrite("00\n4 00\n");  // no printer 4: nothing changes
  const auto said = std::chrono::steady_clock::now();
  std::string errors;
  while (errors.find("nothing changed") == std::string::npos &&
         testing::MillisecondsSince(said) < 5000) {
    errors += emu.Errors();
  }
  EXPECT_NE(errors.find("line 2: no printer '4'"), std::string::npos) << errors;
  EXPECT_EQ(status_of(0), 8);
  const int exit_status = emu.Stop(SIGTERM);
  EXPECT_TRUE(WIFEXITED(exit_status) && WEXITSTATUS(exit_status) == 0) << exit_status;
}

// SIGTERM, SIGINT and SIGHUP end it with status 0 and take away what it made: the pseudo
// terminal's link and a FIFO it created, not a FIFO that was there before. SIGUSR1 and SIGUSR2
// are ignored: it serves on until a signal that ends it.
TEST(EmulatorProgramTest, EverySignalEndsItCleanlyOrIsIgnored) {
  testing::TempDir dir;
  const std::string link = dir / "com", made = dir / "lp0", kept = dir / "lp1";
  ASSERT_EQ(::mkfifo(kept.c_str(), 0600), 0);
  const struct {
    const char* transport;
    std::string path;
    int signal_number;
    bool ends;
  } cases[] = {
      {"--pty", link, SIGHUP, true},    {"--pty", link, SIGUSR1, false},
      {"--pty", link, SIGUSR2, false},  {"--fifo", made, SIGHUP, true},
      {"--fifo", made, SIGTERM, true},  {"--fifo", made, SIGUSR1, false},
      {"--fifo", kept, SIGHUP, true},   {"--fifo", kept, SIGINT, true},
      {"--fifo", kept, SIGUSR2, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.transport) + " " + c.path + ", signal " +
                 std::to_string(c.signal_number));
    Program emu({c.transport, c.path, "--quiet"});
    ASSERT_EQ(emu.lines.size(), 1u);
    struct stat st {};
    ASSERT_EQ(::lstat(c.path.c_str(), &st), 0);
    ASSERT_GT(emu.pid, 0);
    ::kill(emu.pid, c.signal_number);
    int status = emu.WaitExit(c.ends ? 5000 : 300);
    if (!c.ends) {
      EXPECT_EQ(status, -1) << "ended by a signal it ignores";
      EXPECT_EQ(::lstat(c.path.c_str(), &st), 0);
      status = emu.Stop(SIGTERM);
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const bool was_there = c.path == kept;
    EXPECT_EQ(::lstat(c.path.c_str(), &st) == 0, was_there)
        << (was_there ? "the FIFO that was there is left" : "what it made is gone");
  }
}

// A log it cannot write is said, not lost in silence: a FIFO nobody reads is refused (in the
// table of wrong values below), and a full device is reported once on standard error, with the
// count of lost lines at the end, while the printer serves on.
TEST(EmulatorProgramTest, ALogItCannotWriteIsReportedOnce) {
  Program emu({"--tcp", "127.0.0.1:0", "--log", "/dev/full"});
  ASSERT_EQ(emu.first_line.rfind("127.0.0.1:", 0), 0u) << emu.first_line;
  testing::LinkFixture f;
  f.Use(lkEthernet);
  f.settings.Tcp.IPAddr = "127.0.0.1";
  f.settings.Tcp.Port = std::stoi(emu.first_line.substr(10));
  krt6::Result last;
  Protocol protocol(f.layer, [](int) {});
  int version = 4;
  for (int i = 0; i < 2; ++i) {
    std::int32_t status = 0;
    EXPECT_EQ((last = protocol.ExecuteCommand<ckReadStatus>(status, version)).code, kSuccess);
  }
  const int exit_status = emu.Stop(SIGTERM);
  EXPECT_TRUE(WIFEXITED(exit_status) && WEXITSTATUS(exit_status) == 0) << exit_status;
  const std::string errors = emu.Errors();
  const std::string full = std::strerror(ENOSPC);
  const auto first = errors.find(full);
  EXPECT_NE(first, std::string::npos) << errors;
  EXPECT_EQ(errors.find(full, first + 1), std::string::npos) << "reported once: " << errors;
  EXPECT_NE(errors.find("lines could not be written to /dev/full"), std::string::npos) << errors;
}

TEST(EmulatorProgramTest, ASerialToolThatIsNotRootOpensTheLineAgainAndAgain) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to drop privileges in a child";
  Program emu({"--pty", "--quiet"});
  ASSERT_EQ(emu.first_line.rfind("/dev/pts/", 0), 0u) << emu.first_line;
  ASSERT_EQ(::chmod(emu.first_line.c_str(), 0666), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(10);
    testing::LinkFixture f;
    SystemLinkOptions o = PtyLinks(emu.first_line);
    o.Usb = std::make_shared<testing::NoUsb>();
    f.options = o;
    f.Use(lkCom);
    krt6::Result last;
    Protocol protocol(f.layer, [](int) {});
    int version = 4;
    for (int i = 0; i < 3; ++i) {
      std::int32_t status = 0;
      if ((last = protocol.ExecuteCommand<ckReadStatus>(status, version)).code != kSuccess) {
        std::fprintf(stderr, "exchange %d: %s\n", i, last.Text().c_str());
        ::_exit(20 + i);
      }
    }
    ::_exit(0);
  }
  const int status = testing::WaitChild(child, 60000);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "exit " << WEXITSTATUS(status) << " (20 + the exchange that failed)";
}

TEST(EmulatorProgramTest, RefusesWrongValuesAndLeavesEveryPathAsItWas) {
  char dir[] = "/tmp/krt6-emu-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string base = dir;
  const std::string file = base + "/file", other = base + "/other", fifo = base + "/fifo";
  {
    std::FILE* f = std::fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("keep", f);
    std::fclose(f);
  }
  ASSERT_EQ(::symlink(file.c_str(), other.c_str()), 0);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::vector<std::vector<std::string>> cases = {
      {"--tcp", "127.0.0.1:70000"},
      {"--tcp", "127.0.0.1:80x"},
      {"--tcp", "127.0.0.1:"},
      {"--firmware", "--tcp", "0"},
      {"--firmware", "1.0JJ"},
      {"--delay"},
      {"--fifo", file},
      {"--fifo", base},
      {"--pty", file},
      {"--pty", other},
      {"--pty", fifo},
      {"--pty", "--count", "2"},
      {"--tcp", "0", "--pty"},
      {"--count", "0"},
      {"--count", "1001"},
      {"--tcp", "127.0.0.1:65535", "--count", "2"},
      {"--ip", "1.2.3"},
      {"--ip", "1.2.3.256"},
      {"--mask", "255.255.255.0x"},
      {"--status", "1"},
      {"--socket-port", "70000"},
      {"--dhcp", "2"},
      {"--host-name", "SEVENTEEN-LETTERS"},
      {"--line-rate", "0"},
      {"--cut", "-1"},
      {"--idle-limit", "-1"},
      {"--idle-limit", "soon"},
      {"--hangup", "later"},
      {"--log", base},
      {"--log", fifo},  // nobody reads it
      {"stray"},
  };
  for (const auto& args : cases) {
    std::string shown;
    for (const auto& a : args) shown += a + " ";
    SCOPED_TRACE(shown);
    Program emu(args, 1, 500);
    const int status = emu.WaitExit(2000);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
    EXPECT_TRUE(emu.lines.empty()) << emu.first_line;
    EXPECT_EQ(emu.Errors().rfind("krt6-emulator: ", 0), 0u);
  }
  struct stat st {};
  EXPECT_TRUE(::lstat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 4);
  EXPECT_TRUE(::lstat(other.c_str(), &st) == 0 && S_ISLNK(st.st_mode));
  EXPECT_TRUE(::lstat(fifo.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
  for (const auto& path : {file, other, fifo}) ::unlink(path.c_str());
  ::rmdir(dir);
}

// A client with small buffers that sends commands until nothing more is taken, reading nothing.
int FloodWithoutReading(int fd) {
  const int size = 16 * 1024;
  ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
  std::string commands;
  for (int i = 0; i < 1000; ++i) commands += "{Z5;3|}";
  int sent = 0;
  for (int refused = 0; refused < 60;) {  // 300 ms without progress: the printer is stuck
    const ssize_t n = ::write(fd, commands.data(), commands.size());
    if (n > 0) {
      sent += static_cast<int>(n);
      refused = 0;
    } else {
      ++refused;
      ::usleep(5000);
    }
  }
  return sent;
}

// It ends within a second of the signal on an idle machine; the bound below leaves room for a
// loaded one, and still fails a stop that waits for the clients (a pseudo terminal's closing
// wait alone is 30 s).
constexpr int kEndBoundMs = 5000;

TEST(EmulatorProgramTest, EndsSoonAfterASignalWhateverTheClientsDo) {
  {
    Program emu({"--tcp", "127.0.0.1:0", "--quiet"});
    ASSERT_EQ(emu.first_line.rfind("127.0.0.1:", 0), 0u) << emu.first_line;
    const int port = std::stoi(emu.first_line.substr(10));
    const int never_reads = ConnectTo(port);
    EXPECT_GT(FloodWithoutReading(never_reads), 64 * 1024);
    const int silent = ConnectTo(port);
    const auto start = std::chrono::steady_clock::now();
    ::kill(emu.pid, SIGTERM);
    const int status = emu.WaitExit(kEndBoundMs);
    EXPECT_LT(testing::MillisecondsSince(start), kEndBoundMs);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ::close(silent);
    ::close(never_reads);
  }
  {
    // A serial tool that keeps the line open, asks and never reads.
    Program emu({"--pty", "--quiet", "--line-rate", "115200"});
    ASSERT_EQ(emu.first_line.rfind("/dev/pts/", 0), 0u) << emu.first_line;
    const int tool = ::open(emu.first_line.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(tool, 0);
    EXPECT_GT(FloodWithoutReading(tool), 4096);
    const auto start = std::chrono::steady_clock::now();
    ::kill(emu.pid, SIGINT);
    const int status = emu.WaitExit(kEndBoundMs);
    EXPECT_LT(testing::MillisecondsSince(start), kEndBoundMs);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ::close(tool);
  }
}

// 200 printers from one process: they start within a second, each answers, each shows its own
// address and name, a printer that ignores Set commands reads back unchanged, and the whole run
// costs the emulator under half a millisecond of processor time a query.
TEST(EmulatorProgramTest, TwoHundredPrintersStartFastAndAnswerCheaply) {
  constexpr int kCount = 200;
  const auto launched = std::chrono::steady_clock::now();
  Program emu({"--tcp", "127.0.0.1:0", "--count", std::to_string(kCount), "--vary", "--ignore-sets",
               "--quiet"},
              kCount);
  const double start_ms = testing::MillisecondsSince(launched);
  ASSERT_EQ(emu.lines.size(), static_cast<std::size_t>(kCount));
  EXPECT_LT(start_ms, 1000);
  std::set<int> ports;
  for (const auto& line : emu.lines) ports.insert(std::stoi(line.substr(10)));
  EXPECT_EQ(ports.size(), static_cast<std::size_t>(kCount));

  testing::LinkFixture f;
  f.Use(lkEthernet);
  f.settings.Tcp.IPAddr = "127.0.0.1";
  krt6::Result last;
  Protocol protocol(f.layer, [](int) {});
  int version = 4;
  int answered = 0;
  for (int port : ports) {
    f.settings.Tcp.Port = port;
    std::int32_t status = 0;
    if ((last = protocol.ExecuteCommand<ckReadStatus>(status, version)).code == kSuccess &&
        status == 1) {
      ++answered;
    }
  }
  EXPECT_EQ(answered, kCount);
  const struct {
    std::size_t index;
    int last_part;
    const char* name;
  } checks[] = {{0, 20, "KRT60001"}, {kCount - 1, 20 + kCount - 1, "KRT60200"}};
  for (const auto& c : checks) {
    f.settings.Tcp.Port = std::stoi(emu.lines[c.index].substr(10));
    LanSettings lan;
    ASSERT_EQ((last = protocol.ExecuteCommand<ckReadLanSettings>(lan, version)).code, kSuccess);
    EXPECT_EQ(+lan.IpAddress[3], c.last_part);
    EXPECT_STREQ(lan.DhcpHostName, c.name);
    LanSettings changed = lan;
    changed.IpAddress[3] = 1;
    ASSERT_EQ((last = protocol.ExecuteCommand<ckWriteLanSettings>(changed, version)).code,
              kSuccess);
    ASSERT_EQ((last = protocol.ExecuteCommand<ckReadLanSettings>(lan, version)).code, kSuccess);
    EXPECT_EQ(+lan.IpAddress[3], c.last_part) << "a Set is taken, not applied";
  }

  ::kill(emu.pid, SIGTERM);
  rusage usage{};
  const int status = emu.WaitExit(kEndBoundMs, &usage);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  auto ms = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
  };
  const double cpu_ms = ms(usage.ru_utime) + ms(usage.ru_stime);
  const int exchanges = kCount + 6;
  std::printf(
      "%d printers: serving after %.1f ms; %.1f ms of processor time for %d exchanges "
      "(start and stop included): %.3f ms each\n",
      kCount, start_ms, cpu_ms, exchanges, cpu_ms / exchanges);
  EXPECT_LT(cpu_ms / exchanges, 0.5);
}

}  // namespace
}  // namespace krt6
