// The targets krt6ctl takes: which texts name a printer and which key it gets, targets that name
// the same printer twice, and the targets file's limits, with every echo cut and escaped.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/app.h"
#include "cli/fleet.h"
#include "cli/target.h"
#include "support/temp_dir.h"
#include "texts/texts.h"

namespace krt6 {
namespace {

using cli::TargetText;

// No raw control byte and a readable length: what every echo must keep to.
void ExpectReadable(const std::string& message) {
  EXPECT_LT(message.size(), 600u) << message.substr(0, 600);
  EXPECT_TRUE(std::none_of(message.begin(), message.end(), [](char c) {
    return c == 0x7f || (c >= 0 && c < 0x20);
  })) << Printable(message, 600);
}

TEST(TargetTest, PrintableEscapesAndCuts) {
  const struct {
    std::string text;
    std::size_t limit;
    std::string shown;
  } cases[] = {
      {"a\x1b[31m\n\t\r\x7f", 80, "a\\x1b[31m\\n\\t\\r\\x7f"},
      {"プリンター ü", 80, "プリンター ü"},
      {"\xc2\x9b"
       "2J",
       80, "\\u009b2J"},  // C1 control
      {"\xff\xc3 \xc0\xaf \xed\xa0\x80", 80, "\\xff\\xc3 \\xc0\\xaf \\xed\\xa0\\x80"},  // no UTF-8
      {std::string(100, 'x'), 80, std::string(80, 'x') + "..."},
      {"ab\x1b", 5, "ab..."},  // an escape is never split
      {"日本語", 2, "日本..."},
  };
  for (const auto& c : cases) EXPECT_EQ(Printable(c.text, c.limit), c.shown) << c.shown;
}

// Accepted texts with the key of the printer they name; refused ones with what the refusal says.
TEST(TargetTest, TextsKeysAndRefusals) {
  const std::string label63(63, 'a');
  const struct {
    std::string text;
    std::string key;   // empty: refused
    std::string word;  // the refusal names this
    Language language = Language::kEnglish;
  } cases[] = {
      {"127.0.0.1", "127.0.0.1:8000", ""},
      {"socket://127.0.0.1:8000", "127.0.0.1:8000", ""},
      {"SOCKET://Printer-2.Local:9000/", "printer-2.local:9000", ""},
      {"255.255.255.255:65535", "255.255.255.255:65535", ""},
      {"[::FFFF:127.0.0.1]", "127.0.0.1:8000", ""},
      {"[0:0::0001]:9", "[::1]:9", ""},
      {"FE80::1", "[fe80::1]:8000", ""},
      {label63, label63 + ":8000", ""},
      {std::string(62, 'a') + ".b", std::string(62, 'a') + ".b:8000", ""},
      {"1.2.3.4.example", "1.2.3.4.example:8000", ""},
      {"serial:COM1?baud=19200", "serial:/dev/ttyS0", ""},
      {"serial:/dev/ttyS0", "serial:/dev/ttyS0", ""},
      {"parallel:LPT1", "parallel:/dev/lp0", ""},
      {"usb:", "usb:", ""},
      {"usb:?serial=プリンター1", "usb:?serial=プリンター1", ""},
      {"127.0.0.010", "", "'010' has a leading zero"},
      {"127.0.0.010", "", "8 進数", Language::kJapanese},
      {"127.1", "", "four decimal numbers"},
      {"2130706433", "", "four decimal numbers"},
      {"0x7f000001", "", "four decimal numbers"},
      {"1.2.3.4.5", "", "four decimal numbers"},
      {"1.2.3.256", "", "'256' is over 255"},
      {"-1", "", "begins or ends with '-'"},
      {"....", "", "empty label"},
      {"host.:1", "", "ends in a dot"},
      {"under_score", "", "other than letters"},
      {"drücker", "", "other than letters"},
      {std::string(64, 'a'), "", "longer than 63"},
      {label63 + "." + std::string(10, 'b'), "", "longer than 64"},
      {"a:1:2", "", "'a:1:2' is no IPv6 address"},
      {"fe80::1%eth0", "", "no IPv6 address"},
      {"[1.2.3.4]", "", "'1.2.3.4' is no IPv6 address"},
      {"[::1", "", "closing ']'"},
      {"1.2.3.4:0", "", "'0' is not 1-65535"},
      {"1.2.3.4:65536", "", "'65536' is not 1-65535"},
      {"1.2.3.4:65536", "", "1-65535 の範囲", Language::kJapanese},
      {"serial:COM1?baud=9600+baud=19200", "", "'baud' is given twice"},
      {"serial:/" + std::string(5000, 'd'), "", "longer than 4095"},
      {"usb:?serial=" + std::string(127, 's'), "", "126 characters"},
      {"serial:/dev/\xc2\x9b", "", "control characters"},
      {"parallel:/dev/\xff", "", "no UTF-8"},
      {"a\x1b]0;title\x07", "", "'a\\x1b]0;title\\x07'"},
      {std::string(1 << 20, 'h') + ":1", "", std::string(80, 'h') + "..."},
  };
  for (const auto& c : cases) {
    auto parsed = cli::ParseTarget(c.text, c.language);
    const std::string shown = Printable(c.text);
    if (!c.key.empty()) {
      ASSERT_TRUE(std::holds_alternative<cli::Target>(parsed))
          << shown << ": " << std::get<std::string>(parsed);
      EXPECT_EQ(cli::PrinterKey(std::get<cli::Target>(parsed)), c.key) << shown;
      continue;
    }
    ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << shown;
    const std::string& message = std::get<std::string>(parsed);
    EXPECT_NE(message.find(c.word), std::string::npos) << shown << ": " << message;
    ExpectReadable(message);
  }
}

struct CtlRun {
  int status = -1;
  std::string err;
};

// krt6ctl in this process, its standard error captured.
CtlRun Krt6ctl(std::vector<std::string> args) {
  args.insert(args.begin(), "krt6ctl");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::ostringstream out;
  std::ostringstream err;
  const int status = cli::RunKrt6ctl(static_cast<int>(args.size()), argv.data(), out, err);
  return {status, err.str()};
}

// The same printer twice is refused naming both places; different printers all stay, in order,
// each with where it was written.
TEST(TargetTest, DuplicatesNameBothPlaces) {
  const struct {
    std::vector<std::string> texts;
    std::string message;  // empty: accepted
  } cases[] = {
      {{"socket://127.0.0.1:8000", "10.0.0.1", "127.0.0.1"},
       "-t socket://127.0.0.1:8000 and -t 127.0.0.1 name the same printer 127.0.0.1:8000"},
      {{"HOST", "host:8000"}, "-t HOST and -t host:8000 name the same printer host:8000"},
      {{"::1", "[0::1]:8000"}, "-t ::1 and -t [0::1]:8000 name the same printer [::1]:8000"},
      {{"serial:COM1", "serial:/dev/ttyS0?baud=19200"}, "same printer serial:/dev/ttyS0"},
      {{"parallel:/dev/lp0", "parallel:LPT1"}, "same printer parallel:/dev/lp0"},
      {{"usb:", "usb:"}, "-t usb: and -t usb: name the same printer usb:"},
      {{"usb:", "usb:1-2", "usb:?serial=1-2", "127.0.0.1:8000", "127.0.0.1:8001", "serial:COM1",
        "serial:COM2"},
       ""},
  };
  for (const auto& c : cases) {
    std::vector<TargetText> texts;
    for (const std::string& text : c.texts) texts.push_back({text, {}, 0, {}, nullptr});
    auto parsed = cli::ParseTargets(texts);
    if (c.message.empty()) {
      ASSERT_TRUE(std::holds_alternative<std::vector<cli::Target>>(parsed))
          << std::get<std::string>(parsed);
      const auto& targets = std::get<std::vector<cli::Target>>(parsed);
      ASSERT_EQ(targets.size(), c.texts.size());
      for (std::size_t i = 0; i < targets.size(); ++i) {
        EXPECT_EQ(targets[i].Origin, "-t " + c.texts[i]);
      }
      continue;
    }
    ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << c.message;
    EXPECT_NE(std::get<std::string>(parsed).find(c.message), std::string::npos)
        << std::get<std::string>(parsed);
  }

  // Through the command line: lines of the file by number, in either language, before any link.
  testing::TempDir dir;
  const std::string file = dir / "fleet.txt";
  std::ofstream(file) << "# office\n10.0.0.1\n127.0.0.1:8000\n\n10.0.0.2  # hall\nusb:\n"
                      << "  socket://127.0.0.1/  \n";
  CtlRun run = Krt6ctl({"--lang=en", "status", "--targets", file});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err,
            "krt6ctl: " + file + ":3 and " + file + ":7 name the same printer 127.0.0.1:8000\n");
  run = Krt6ctl({"--lang=ja", "status", "-t", "USB:", "--targets", file});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "krt6ctl: -t USB: と " + file + ":6 は同じプリンター usb: を指しています\n");
  std::ofstream(file) << "10.0.0.1\n\n127.0.0.010\n";
  run = Krt6ctl({"--lang=en", "status", "--targets", file});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err.rfind("krt6ctl: " + file + ":3: target '127.0.0.010': ", 0), 0u) << run.err;
}

// ReadTargetsFile refusing `path`, in a child process given at most 5 s: a read that hangs or
// grows without end fails the test instead of holding it. The refusal, or what went wrong.
std::string RefusalOf(const std::string& path) {
  int out[2];
  if (::pipe(out) != 0) return "no pipe";
  const pid_t child = ::fork();
  if (child == 0) {
    std::vector<TargetText> texts;
    std::string error;
    if (cli::ReadTargetsFile(path, texts, error)) error = "read";
    const ssize_t written = ::write(out[1], error.data(), error.size());
    ::_exit(written == static_cast<ssize_t>(error.size()) ? 0 : 1);
  }
  ::close(out[1]);
  std::string error;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (child > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd wait{out[0], POLLIN, 0};
    if (left.count() <= 0 || ::poll(&wait, 1, static_cast<int>(left.count())) <= 0) {
      error = "no answer within 5 s";
      ::kill(child, SIGKILL);
      break;
    }
    char buffer[512];
    const ssize_t got = ::read(out[0], buffer, sizeof buffer);
    if (got <= 0) break;
    error.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(out[0]);
  if (child > 0) ::waitpid(child, nullptr, 0);
  return error;
}

// Only a regular file of at most 16 MiB is read, and read whole; what it holds is echoed cut
// and escaped.
TEST(TargetTest, TargetsFileLimits) {
  testing::TempDir dir;
  const std::string fifo = dir / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    std::string path;
    std::string word;
  } refused[] = {
      {fifo, "not a regular file"},
      {"/dev/zero", "not a regular file"},
      {dir.path(), "not a regular file"},
      {dir / "missing", "No such file"},
  };
  for (const auto& c : refused) {
    const std::string error = RefusalOf(c.path);
    EXPECT_NE(error.find(c.word), std::string::npos) << c.path << ": " << error;
  }

  // At the limit the file is read to its end; one byte more and it is refused.
  const std::string big = dir / "big.txt";
  {
    std::ofstream out(big, std::ios::binary);
    out << "# " << std::string(cli::kMaxTargetsFileSize - 12, '#') << "\n127.0.0.1";
  }
  std::vector<TargetText> texts;
  std::string error;
  ASSERT_TRUE(cli::ReadTargetsFile(big, texts, error)) << error;
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].Text, "127.0.0.1");
  EXPECT_EQ(texts[0].Line, 2u);
  std::ofstream(big, std::ios::app) << "0";
  error = RefusalOf(big);
  EXPECT_NE(error.find("too large: over 16 MiB"), std::string::npos) << error;

  // A long line and control characters come back cut and escaped, after the line's place.
  const std::string odd = dir / "odd.txt";
  std::ofstream(odd) << "usb:\r\n" << std::string(1 << 20, 'x') << "\n";
  texts.clear();
  ASSERT_TRUE(cli::ReadTargetsFile(odd, texts, error)) << error;
  auto parsed = cli::ParseTargets(texts);
  ASSERT_TRUE(std::holds_alternative<std::string>(parsed));
  EXPECT_EQ(
      std::get<std::string>(parsed).rfind(odd + ":2: target '" + std::string(80, 'x') + "...'", 0),
      0u);
  ExpectReadable(std::get<std::string>(parsed));
  std::ofstream(odd) << "\x1b[2J\x1b]0;owned\x07\n";
  texts.clear();
  ASSERT_TRUE(cli::ReadTargetsFile(odd, texts, error)) << error;
  parsed = cli::ParseTargets(texts);
  ASSERT_TRUE(std::holds_alternative<std::string>(parsed));
  EXPECT_NE(std::get<std::string>(parsed).find("'\\x1b[2J\\x1b]0;owned\\x07'"), std::string::npos)
      << Printable(std::get<std::string>(parsed), 600);
  ExpectReadable(std::get<std::string>(parsed));
}

// The texts of each kind of target and what they reach: the link kind, the address or port, the
// serial options, and the selectors and device paths the links get.
TEST(TargetTest, TargetUris) {
  struct Case {
    const char* text;
    LinkKind kind;
    const char* where;  // host:port, port name or USB selector
  };
  const Case good[] = {
      {"socket://printer1", lkEthernet, "printer1:8000"},
      {"socket://10.0.0.5:9100/", lkEthernet, "10.0.0.5:9100"},
      {"10.0.0.5", lkEthernet, "10.0.0.5:8000"},
      {"printer-2.local:9000", lkEthernet, "printer-2.local:9000"},
      {"[::1]:9001", lkEthernet, "[::1]:9001"},
      {"socket://[fe80::1]", lkEthernet, "[fe80::1]:8000"},
      {"::1", lkEthernet, "[::1]:8000"},
      {"serial:COM5", lkCom, "COM5"},
      {"serial:/dev/serial/by-id/usb-X-if00?baud=19200+bits=7+parity=even+stop=2+flow=none+xonxoff",
       lkCom, "/dev/serial/by-id/usb-X-if00"},
      {"parallel:LPT2", lkLpt, "LPT2"},
      {"parallel:/dev/usb/lp0", lkLpt, "/dev/usb/lp0"},
      {"usb:", lkUsb, ""},
      {"usb:1-2.3", lkUsb, "1-2.3"},
      {"usb:?serial=ABC123", lkUsb, "ABC123"},
  };
  for (const Case& c : good) {
    auto parsed = cli::ParseTarget(c.text);
    ASSERT_TRUE(std::holds_alternative<cli::Target>(parsed))
        << c.text << ": " << std::get<std::string>(parsed);
    const cli::Target& t = std::get<cli::Target>(parsed);
    EXPECT_EQ(t.Kind, c.kind) << c.text;
    std::string where;
    if (c.kind == lkEthernet)
      where = t.Settings.Tcp.IPAddr + ":" + std::to_string(t.Settings.Tcp.Port);
    if (c.kind == lkCom) where = t.Settings.Serial.PortName;
    if (c.kind == lkLpt) where = t.Settings.LptName;
    if (c.kind == lkUsb) where = t.UsbPortPath + t.UsbSerial;
    EXPECT_EQ(where, c.where) << c.text;
  }
  const cli::Target serial = std::get<cli::Target>(cli::ParseTarget(good[8].text));
  EXPECT_EQ(serial.Settings.Serial.BaudRateIndex, 3);
  EXPECT_EQ(serial.Settings.Serial.DataBitIndex, 0);
  EXPECT_EQ(serial.Settings.Serial.ParityIndex, 2);
  EXPECT_EQ(serial.Settings.Serial.StopBitIndex, 2);
  EXPECT_EQ(serial.Settings.Serial.HdShakIndex, 0);
  EXPECT_EQ(serial.Settings.Serial.SWShakIndex, 1);
  const cli::Target defaults = std::get<cli::Target>(cli::ParseTarget("serial:COM1"));
  EXPECT_EQ(defaults.Settings.Serial.BaudRateIndex, SerialSettings{}.BaudRateIndex);
  EXPECT_EQ(defaults.Settings.Serial.HdShakIndex, SerialSettings{}.HdShakIndex);

  for (const char* bad :
       {"", "socket://", "host:0", "host:65536", "host:", "ho st", "[::1", "[::1]x", "serial:COM0",
        "serial:COM31", "serial:com1", "serial:COM1?baud=1234", "serial:COM1?speed=9600",
        "parallel:LPT5", "parallel:", "usb:1", "usb:?serial=", "ftp://host", "a\tb"}) {
    EXPECT_TRUE(std::holds_alternative<std::string>(cli::ParseTarget(bad))) << bad;
  }
  // The selectors reach the USB link; device paths reach the serial and parallel links.
  EXPECT_EQ(
      cli::LinkOptionsFor(std::get<cli::Target>(cli::ParseTarget("usb:1-2.3"))).UsbDevice.PortPath,
      "1-2.3");
  EXPECT_EQ(cli::LinkOptionsFor(std::get<cli::Target>(cli::ParseTarget("usb:?serial=S1")))
                .UsbDevice.Serial,
            "S1");
  cli::TargetPorts ports;
  EXPECT_EQ(ports.SerialDevice("/dev/serial/by-id/x"), "/dev/serial/by-id/x");
  EXPECT_EQ(ports.SerialDevice("COM1"), "/dev/ttyS0");
  EXPECT_EQ(ports.ParallelDevice("/dev/usb/lp0"), "/dev/usb/lp0");
}

}  // namespace
}  // namespace krt6
