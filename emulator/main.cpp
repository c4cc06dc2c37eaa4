// krt6-emulator: K-RT6 printers for testing the setting tool without hardware.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "emulator/emulator.h"

namespace {

using krt6::emulator::Emulator;
using krt6::emulator::EmulatorOptions;
using krt6::emulator::Faults;
using krt6::emulator::Transport;

const char kUsage[] =
    "Usage: krt6-emulator [options]\n"
    "K-RT6 label printers on TCP ports, a pseudo terminal or a FIFO. Each answers the setting\n"
    "tool's commands (WS, WV, Z5;0, Z5;1, Z5;3), keeps what Z2;1, Z2;2, IP;, IS;, IH; and ZW01;\n"
    "set, and logs every command it receives (raw bytes and text). It prints the address of\n"
    "each printer (TCP) or the device path, one a line, once it serves them.\n"
    "\n"
    "Transport (one of):\n"
    "  --tcp [HOST:]PORT     listen for the tool's connections (default 127.0.0.1:8000); give\n"
    "                        HOST 0.0.0.0 or :: to accept other machines, PORT 0 for free ports\n"
    "  --pty [LINK]          serial line on a pseudo terminal; prints the device path and, with\n"
    "                        LINK, places a symlink to it there (an existing LINK is replaced\n"
    "                        only when it is such a link, and removed at the end)\n"
    "  --fifo PATH           parallel port on a FIFO at PATH (created when missing, and then\n"
    "                        removed at the end)\n"
    "\n"
    "TCP printers and connections:\n"
    "  --count N             N printers (1-1000) on ports PORT to PORT+N-1, each with its own\n"
    "                        state; every other option applies to each of them, and log lines\n"
    "                        begin with the printer's port in brackets\n"
    "  --vary                printer n (from 1) gets the IP address plus n-1 and the host name\n"
    "                        NAMEnnnn (NAME from --host-name, or KRT6), so that a read shows\n"
    "                        which printer answered\n"
    "  --idle-limit SECONDS  close a connection that carries nothing either way for this long\n"
    "                        (default 60, fractions allowed; 0 never closes)\n"
    "Every connection is served on its own, the connections of one printer share its state.\n"
    "\n"
    "Printer state:\n"
    "  --firmware TEXT       firmware version text, 1-4 characters (default 1.0J; 1.0B to 1.0I\n"
    "                        give the 42-byte Z5;0 reply)\n"
    "  --status XX           the two status characters of the WS reply (default 00, ON LINE)\n"
    "  --parameters1 TEXT    Z5;1 reply bytes 4..27 (24 characters, layout of Z2;1, from\n"
    "                        position 5)\n"
    "  --parameters2 TEXT    Z5;0 reply bytes 4..40 (37 characters, layout of Z2;2, from\n"
    "                        position 5)\n"
    "  --ip A.B.C.D  --gateway A.B.C.D  --mask A.B.C.D      (each part 0-255)\n"
    "  --socket-mode D (one digit)  --socket-port N (0-65535)  --dhcp 0|1\n"
    "  --dhcp-id TEXT (up to 32 characters)  --host-name TEXT (up to 16 characters)\n"
    "\n"
    "Faults, for testing:\n"
    "  --no-reply            take commands, answer nothing\n"
    "  --ignore-sets         take Set commands (parameters, LAN settings, host name) without\n"
    "                        applying them: a read-back shows the values from before\n"
    "  --cut N               send only the first N bytes of each reply\n"
    "  --noise TEXT          send TEXT before each reply\n"
    "  --delay MS            wait MS before each reply\n"
    "  --wv-no-marker N      answer the first N WV queries without the V marker\n"
    "  --hangup close|reset  end the connection after each reply (serial and FIFO: the device\n"
    "                        goes away)\n"
    "  --trickle MS          pause MS between reply bytes\n"
    "  --stall               serial: answer every command with XOFF; TCP and FIFO: stop\n"
    "                        reading\n"
    "  --line-rate BPS       serial: take as long as a real line at BPS (50-4000000) for\n"
    "                        commands and replies, ten bits a byte; a reply waits for its own\n"
    "                        command's bytes from the moment the command began to arrive\n"
    "\n"
    "Status from outside:\n"
    "  --control FILE        read printers' status characters from FILE at start and again at\n"
    "                        each SIGUSR1: one line each, 'XX' for every printer or 'N XX' for\n"
    "                        printer N (from 1); '#' comments and blank lines are skipped. A\n"
    "                        file with a wrong line is said on standard error and not applied\n"
    "\n"
    "Output:\n"
    "  --log FILE            append the log to FILE instead of standard output (a FIFO needs\n"
    "                        its reader first); a line it cannot write is said on standard\n"
    "                        error, once until writing works again\n"
    "  --quiet               no log\n"
    "  --help                this text\n"
    "  --version             the program's name and version\n"
    "\n"
    "SIGINT, SIGTERM or SIGHUP ends it within a second, whatever the clients do, and removes\n"
    "what it made (the --pty link, a FIFO it created); SIGUSR1 reads the --control file (and is\n"
    "ignored without one), SIGUSR2 is ignored. Exit\n"
    "status: 0 after a signal, 2 for a wrong option or value, 1 when the transport cannot be\n"
    "opened.\n";

[[noreturn]] void Refuse(const std::string& message) {
  std::fprintf(stderr, "krt6-emulator: %s (see --help)\n", message.c_str());
  std::exit(2);
}

// Reads the status lines of the --control file and applies them when every line is right; a
// missing file is only an error once it was asked for by a signal.
void ApplyControl(Emulator& emulator, const std::string& path, bool asked) {
  FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) {
    if (asked) {
      std::fprintf(stderr, "krt6-emulator: --control: cannot read %s: %s\n", path.c_str(),
                   std::strerror(errno));
    }
    return;
  }
  std::vector<std::pair<int, std::string>> settings;
  std::string problem;
  char buffer[256];
  for (int line = 1; problem.empty() && std::fgets(buffer, sizeof buffer, file) != nullptr;
       ++line) {
    std::string text(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
      text.pop_back();
    }
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos || text[first] == '#') continue;
    text.erase(0, first);
    int printer = -1;
    const std::size_t space = text.find(' ');
    if (space != std::string::npos) {
      const std::string number = text.substr(0, space);
      char* end = nullptr;
      const long n = std::strtol(number.c_str(), &end, 10);
      if (number.empty() || *end != '\0' || n < 1 || n > emulator.Count()) {
        problem = "line " + std::to_string(line) + ": no printer '" + number + "' (1-" +
                  std::to_string(emulator.Count()) + ")";
        break;
      }
      printer = static_cast<int>(n) - 1;
      text = text.substr(text.find_first_not_of(' ', space));
    }
    if (text.size() != 2 || text[0] < 0x21 || text[0] > 0x7e || text[1] < 0x21 || text[1] > 0x7e) {
      problem =
          "line " + std::to_string(line) + ": the status is two characters, not '" + text + "'";
      break;
    }
    settings.emplace_back(printer, text);
  }
  std::fclose(file);
  if (!problem.empty()) {
    std::fprintf(stderr, "krt6-emulator: --control %s %s; nothing changed\n", path.c_str(),
                 problem.c_str());
    return;
  }
  for (const auto& [printer, status] : settings) emulator.SetStatus(printer, status[0], status[1]);
}

long ToNumber(const std::string& text, const std::string& option, long low, long high) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || end == text.c_str() || *end != '\0' || errno != 0 || v < low || v > high) {
    Refuse(option + " takes a whole number from " + std::to_string(low) + " to " +
           std::to_string(high) + ", not '" + text + "'");
  }
  return v;
}

int ToInt(const std::string& text, const std::string& option, int low, int high) {
  return static_cast<int>(ToNumber(text, option, low, high));
}

// Printable ASCII of `low` to `high` characters.
std::string ToText(const std::string& text, const std::string& option, std::size_t low,
                   std::size_t high) {
  const bool printable =
      std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
  if (!printable || text.size() < low || text.size() > high) {
    Refuse(
        option + " takes " +
        (low == high ? std::to_string(low) : std::to_string(low) + " to " + std::to_string(high)) +
        " printable characters, not '" + text + "'");
  }
  return text;
}

void ToAddress(const std::string& text, const std::string& option, int (&out)[4]) {
  std::size_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    const std::size_t dot = text.find('.', pos);
    const bool last = i == 3;
    if (last != (dot == std::string::npos)) Refuse(option + " takes A.B.C.D, not '" + text + "'");
    const std::string part = text.substr(pos, last ? std::string::npos : dot - pos);
    if (part.empty() || part.size() > 3 ||
        part.find_first_not_of("0123456789") != std::string::npos) {
      Refuse(option + " takes A.B.C.D, not '" + text + "'");
    }
    out[i] = ToInt(part, option + " (each part)", 0, 255);
    pos = dot + 1;
  }
}

// Writes the log's lines to a descriptor. A line that cannot be written (a full disk, a reader
// that went away) is said on standard error once until writing works again, and counted.
class LogSink {
 public:
  LogSink(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}

  void Write(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string text = line + "\n";
    std::size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else {
        Lost(n < 0 ? errno : EIO);
        return;
      }
    }
    failing_ = false;
  }

  // How many lines were lost, on standard error, when any was.
  void ReportLost() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (lost_ > 0) {
      std::fprintf(stderr, "krt6-emulator: %ld of the log's lines could not be written to %s\n",
                   lost_, name_.c_str());
    }
  }

 private:
  void Lost(int error) {
    ++lost_;
    if (failing_) return;
    failing_ = true;
    std::fprintf(stderr,
                 "krt6-emulator: cannot write the log to %s: %s; lines are lost until it "
                 "can be written again\n",
                 name_.c_str(), std::strerror(error));
  }

  const int fd_;
  const std::string name_;
  std::mutex mutex_;
  bool failing_ = false;
  long lost_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  EmulatorOptions options;
  options.Record = false;  // a long run keeps no history; the log has it
  Faults& f = options.Spoil;
  std::string log_path;
  std::string transport;
  bool quiet = false;
  std::string control_path;
  bool count_given = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    // A value never begins with "--": "--firmware --tcp 0" lacks the firmware text.
    auto has_value = [&] { return i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0; };
    auto value = [&]() -> std::string {
      if (!has_value()) Refuse(a + " needs a value");
      return argv[++i];
    };
    auto choose = [&](Transport kind) {
      if (!transport.empty() && transport != a)
        Refuse(transport + " and " + a + " exclude each other");
      transport = a;
      options.Kind = kind;
    };
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--version") {
      std::fputs("krt6-emulator " KRT6_VERSION "\n", stdout);
      return 0;
    } else if (a == "--tcp") {
      choose(Transport::kTcp);
      const std::string v = value();
      const std::size_t colon = v.rfind(':');
      if (colon != std::string::npos) {
        std::string host = v.substr(0, colon);
        if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
          host = host.substr(1, host.size() - 2);
        }
        options.Host = host;
      }
      options.Port =
          ToInt(colon == std::string::npos ? v : v.substr(colon + 1), "--tcp's port", 0, 65535);
    } else if (a == "--pty") {
      choose(Transport::kPty);
      if (i + 1 < argc && argv[i + 1][0] != '-') options.Path = argv[++i];
    } else if (a == "--fifo") {
      choose(Transport::kFifo);
      options.Path = value();
    } else if (a == "--count") {
      options.Count = ToInt(value(), a, 1, 1000);
      count_given = true;
    } else if (a == "--vary") {
      options.Vary = true;
    } else if (a == "--idle-limit") {
      const std::string v = value();
      char* end = nullptr;
      const double seconds = std::strtod(v.c_str(), &end);
      if (v.empty() || *end != '\0' || !std::isfinite(seconds) || seconds < 0 || seconds > 86400 ||
          (seconds > 0 && seconds < 0.01)) {
        Refuse("--idle-limit takes seconds from 0.01 to 86400 (or 0), not '" + v + "'");
      }
      options.IdleLimitMs = static_cast<int>(std::lround(seconds * 1000));
    } else if (a == "--firmware") {
      options.Printer.Firmware = ToText(value(), a, 1, 4);
    } else if (a == "--status") {
      const std::string v = ToText(value(), a, 2, 2);
      options.Printer.Status[0] = v[0];
      options.Printer.Status[1] = v[1];
    } else if (a == "--parameters1" || a == "--parameters2") {
      std::string& target =
          a == "--parameters1" ? options.Printer.Parameters1 : options.Printer.Parameters2;
      target = ToText(value(), a, target.size(), target.size());
    } else if (a == "--ip" || a == "--gateway" || a == "--mask") {
      auto& lan = options.Printer.Lan;
      ToAddress(value(), a, a == "--ip" ? lan.Ip : a == "--gateway" ? lan.Gateway : lan.Mask);
    } else if (a == "--socket-mode") {
      const std::string v = value();
      if (v.size() != 1 || v[0] < '0' || v[0] > '9') Refuse(a + " takes one digit");
      options.Printer.Lan.PortMode = v[0];
    } else if (a == "--socket-port") {
      options.Printer.Lan.Port = ToInt(value(), a, 0, 65535);
    } else if (a == "--dhcp") {
      options.Printer.Lan.Dhcp = ToInt(value(), a, 0, 1) != 0;
    } else if (a == "--dhcp-id") {
      std::string id = ToText(value(), a, 0, 32);
      id.resize(32, ' ');
      options.Printer.Lan.DhcpId = id;
    } else if (a == "--host-name") {
      options.Printer.Lan.HostName = ToText(value(), a, 0, 16);
    } else if (a == "--no-reply") {
      f.NoReply = true;
    } else if (a == "--ignore-sets") {
      f.IgnoreSets = true;
    } else if (a == "--cut") {
      f.CutAfter = ToInt(value(), a, 0, 65535);
    } else if (a == "--noise") {
      f.Noise = value();
      if (f.Noise.empty() || f.Noise.size() > 4096) Refuse(a + " takes 1 to 4096 bytes");
    } else if (a == "--delay") {
      f.DelayMs = ToInt(value(), a, 0, 600000);
    } else if (a == "--wv-no-marker") {
      f.WvWithoutMarker = ToInt(value(), a, 0, 1000000);
    } else if (a == "--hangup") {
      const std::string v = value();
      if (v != "close" && v != "reset") Refuse("--hangup takes close or reset");
      f.HangupAfterReply = v == "close" ? Faults::Hangup::kClose : Faults::Hangup::kReset;
    } else if (a == "--trickle") {
      f.TrickleMs = ToInt(value(), a, 0, 60000);
    } else if (a == "--stall") {
      f.Stall = true;
    } else if (a == "--line-rate") {
      f.LineRate = ToInt(value(), a, 50, 4000000);
    } else if (a == "--log") {
      log_path = value();
    } else if (a == "--control") {
      control_path = value();
    } else if (a == "--quiet") {
      quiet = true;
    } else {
      Refuse("unknown option " + a);
    }
  }

  // What the values name must be of the right kind before anything is opened.
  if (count_given && options.Count > 1 && options.Kind != Transport::kTcp) {
    Refuse("--count needs --tcp");
  }
  if (options.Kind == Transport::kTcp && options.Port > 0 &&
      options.Port + options.Count - 1 > 65535) {
    Refuse("--count " + std::to_string(options.Count) + " from port " +
           std::to_string(options.Port) + " goes past 65535");
  }
  if (options.Kind == Transport::kPty && !options.Path.empty()) {
    const std::string problem = krt6::emulator::PtyLinkProblem(options.Path);
    if (!problem.empty()) Refuse("--pty: " + problem);
  }
  if (options.Kind == Transport::kFifo) {
    const std::string problem = krt6::emulator::FifoProblem(options.Path);
    if (!problem.empty()) Refuse("--fifo: " + problem);
  }
  int log_fd = 1;
  if (!log_path.empty()) {
    struct stat st {};
    if (::stat(log_path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      Refuse("--log: " + log_path + " is a directory");
    }
    // Opened without waiting: a FIFO nobody reads would hold the open for ever.
    log_fd = ::open(log_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY, 0666);
    if (log_fd < 0 && errno == ENXIO) {
      Refuse("--log: nobody reads the FIFO " + log_path + " (start its reader first)");
    }
    if (log_fd < 0) Refuse("--log: cannot write " + log_path + ": " + std::strerror(errno));
    // Written like standard output from now on: each line waits until the reader takes it.
    ::fcntl(log_fd, F_SETFL, ::fcntl(log_fd, F_GETFL) & ~O_NONBLOCK);
  }
  LogSink log(log_fd, log_path.empty() ? "standard output" : log_path);
  if (!quiet) options.Log = [&log](const std::string& line) { log.Write(line); };

  // Each printer and connection takes a descriptor: allow as many as the system lets us.
  rlimit files{};
  if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
  }

  // The signals that end it are taken by sigwait below, not by a handler, so block them before
  // the server thread starts (it inherits the mask). SIGHUP is among them unless it was ignored
  // when the program started (nohup). SIGUSR1 and SIGUSR2 are ignored: their default would end
  // the program on the spot and leave the link or the FIFO behind.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  struct sigaction hangup {};
  if (::sigaction(SIGHUP, nullptr, &hangup) != 0 || hangup.sa_handler != SIG_IGN) {
    sigaddset(&stop, SIGHUP);
  }
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  signal(SIGPIPE, SIG_IGN);
  signal(SIGUSR2, SIG_IGN);
  sigset_t waited = stop;
  if (control_path.empty()) {
    signal(SIGUSR1, SIG_IGN);
  } else {
    sigaddset(&waited, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &waited, nullptr);
  }

  Emulator emulator(options);
  std::string error;
  if (!emulator.Start(error)) {
    std::fprintf(stderr, "krt6-emulator: %s\n", error.c_str());
    return 1;
  }
  std::string listing;
  if (options.Kind == Transport::kTcp) {
    const bool v6 = options.Host.find(':') != std::string::npos;
    for (int i = 0; i < emulator.Count(); ++i) {
      listing += (v6 ? "[" + options.Host + "]" : options.Host) + ":" +
                 std::to_string(emulator.Port(i)) + "\n";
    }
  } else {
    listing = emulator.DevicePath() + "\n";
  }
  std::fputs(listing.c_str(), stdout);
  std::fflush(stdout);
  if (!control_path.empty()) ApplyControl(emulator, control_path, false);
  int signal_number = 0;
  while (sigwait(&waited, &signal_number) == 0 && signal_number == SIGUSR1) {
    ApplyControl(emulator, control_path, true);
  }
  emulator.Stop();
  log.ReportLost();
  return 0;
}
