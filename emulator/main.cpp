// krt6-emulator: a K-RT6 printer for testing the setting tool without hardware.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>

#include "emulator/emulator.h"

namespace {

using krt6::emulator::Emulator;
using krt6::emulator::EmulatorOptions;
using krt6::emulator::Faults;
using krt6::emulator::Transport;

const char kUsage[] =
    "Usage: krt6-emulator [options]\n"
    "A K-RT6 label printer on a TCP port, a pseudo terminal or a FIFO. It answers the setting\n"
    "tool's commands (WS, WV, Z5;0, Z5;1, Z5;3), keeps what Z2;1, Z2;2, IP;, IS;, IH; and ZW01;\n"
    "set, and logs every command it receives (raw bytes and text).\n"
    "\n"
    "Transport (one of):\n"
    "  --tcp [HOST:]PORT     listen for the tool's connections (default 127.0.0.1:8000);\n"
    "                        give HOST 0.0.0.0 or :: to accept other machines\n"
    "  --pty [LINK]          serial line on a pseudo terminal; prints the device path and, with\n"
    "                        LINK, places a symlink to it there\n"
    "  --fifo PATH           parallel port on a FIFO at PATH (created when missing)\n"
    "\n"
    "Printer state:\n"
    "  --firmware TEXT       firmware version text (default 1.0J; 1.0B to 1.0I give the\n"
    "                        42-byte Z5;0 reply)\n"
    "  --status XX           the two status characters of the WS reply (default 00, ON LINE)\n"
    "  --parameters1 TEXT    Z5;1 reply bytes 4..27 (24 characters, layout of Z2;1, from\n"
    "                        position 5)\n"
    "  --parameters2 TEXT    Z5;0 reply bytes 4..40 (37 characters, layout of Z2;2, from\n"
    "                        position 5)\n"
    "  --ip A.B.C.D  --gateway A.B.C.D  --mask A.B.C.D\n"
    "  --socket-mode D  --socket-port N  --dhcp 0|1  --dhcp-id TEXT  --host-name TEXT\n"
    "\n"
    "Faults, for testing:\n"
    "  --no-reply            take commands, answer nothing\n"
    "  --cut N               send only the first N bytes of each reply\n"
    "  --noise TEXT          send TEXT before each reply\n"
    "  --delay MS            wait MS before each reply\n"
    "  --wv-no-marker N      answer the first N WV queries without the V marker\n"
    "  --hangup close|reset  end the connection after each reply (serial and FIFO: the device\n"
    "                        goes away)\n"
    "  --trickle MS          pause MS between reply bytes\n"
    "  --stall               serial: answer every command with XOFF; TCP and FIFO: stop\n"
    "                        reading\n"
    "  --line-rate BPS       serial: take as long as a real line at BPS for commands and replies\n"
    "\n"
    "Output:\n"
    "  --log FILE            write the log to FILE instead of standard output\n"
    "  --quiet               no log\n"
    "  --help                this text\n"
    "\n"
    "SIGINT or SIGTERM ends it cleanly.\n";

bool ParseAddress(const char* text, int (&out)[4]) {
  return std::sscanf(text, "%d.%d.%d.%d", &out[0], &out[1], &out[2], &out[3]) == 4;
}

int ToInt(const char* text, const char* option) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || v < -1000000 || v > 1000000) {
    std::fprintf(stderr, "krt6-emulator: %s needs a number, not '%s'\n", option, text);
    std::exit(2);
  }
  return static_cast<int>(v);
}

}  // namespace

int main(int argc, char** argv) {
  EmulatorOptions options;
  Faults& f = options.Spoil;
  std::string log_path;
  bool quiet = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](bool optional = false) -> const char* {
      if (i + 1 < argc && (argv[i + 1][0] != '-' || !optional)) return argv[++i];
      if (optional) return nullptr;
      std::fprintf(stderr, "krt6-emulator: %s needs a value\n", a.c_str());
      std::exit(2);
    };
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--tcp") {
      options.Kind = Transport::kTcp;
      const std::string v = value();
      const std::size_t colon = v.rfind(':');
      if (colon != std::string::npos) {
        options.Host = v.substr(0, colon);
        if (options.Host.size() > 2 && options.Host.front() == '[') {
          options.Host = options.Host.substr(1, options.Host.size() - 2);
        }
        options.Port = ToInt(v.c_str() + colon + 1, "--tcp");
      } else {
        options.Port = ToInt(v.c_str(), "--tcp");
      }
    } else if (a == "--pty") {
      options.Kind = Transport::kPty;
      if (const char* link = value(true)) options.Path = link;
    } else if (a == "--fifo") {
      options.Kind = Transport::kFifo;
      options.Path = value();
    } else if (a == "--firmware") {
      options.Printer.Firmware = value();
    } else if (a == "--status") {
      const std::string v = value();
      if (v.size() != 2) {
        std::fprintf(stderr, "krt6-emulator: --status needs two characters\n");
        return 2;
      }
      options.Printer.Status[0] = v[0];
      options.Printer.Status[1] = v[1];
    } else if (a == "--parameters1" || a == "--parameters2") {
      std::string& target =
          a == "--parameters1" ? options.Printer.Parameters1 : options.Printer.Parameters2;
      const std::string v = value();
      target.replace(0, std::min(v.size(), target.size()), v.substr(0, target.size()));
    } else if (a == "--ip" || a == "--gateway" || a == "--mask") {
      auto& lan = options.Printer.Lan;
      int(&target)[4] = a == "--ip" ? lan.Ip : a == "--gateway" ? lan.Gateway : lan.Mask;
      if (!ParseAddress(value(), target)) {
        std::fprintf(stderr, "krt6-emulator: %s needs A.B.C.D\n", a.c_str());
        return 2;
      }
    } else if (a == "--socket-mode") {
      options.Printer.Lan.PortMode = value()[0];
    } else if (a == "--socket-port") {
      options.Printer.Lan.Port = ToInt(value(), "--socket-port");
    } else if (a == "--dhcp") {
      options.Printer.Lan.Dhcp = ToInt(value(), "--dhcp") != 0;
    } else if (a == "--dhcp-id") {
      std::string id = value();
      id.resize(32, ' ');
      options.Printer.Lan.DhcpId = id;
    } else if (a == "--host-name") {
      options.Printer.Lan.HostName = std::string(value()).substr(0, 16);
    } else if (a == "--no-reply") {
      f.NoReply = true;
    } else if (a == "--cut") {
      f.CutAfter = ToInt(value(), "--cut");
    } else if (a == "--noise") {
      f.Noise = value();
    } else if (a == "--delay") {
      f.DelayMs = ToInt(value(), "--delay");
    } else if (a == "--wv-no-marker") {
      f.WvWithoutMarker = ToInt(value(), "--wv-no-marker");
    } else if (a == "--hangup") {
      const std::string v = value();
      if (v != "close" && v != "reset") {
        std::fprintf(stderr, "krt6-emulator: --hangup takes close or reset\n");
        return 2;
      }
      f.HangupAfterReply = v == "close" ? Faults::Hangup::kClose : Faults::Hangup::kReset;
    } else if (a == "--trickle") {
      f.TrickleMs = ToInt(value(), "--trickle");
    } else if (a == "--stall") {
      f.Stall = true;
    } else if (a == "--line-rate") {
      f.LineRate = ToInt(value(), "--line-rate");
    } else if (a == "--log") {
      log_path = value();
    } else if (a == "--quiet") {
      quiet = true;
    } else {
      std::fprintf(stderr, "krt6-emulator: unknown option %s (see --help)\n", a.c_str());
      return 2;
    }
  }

  std::ofstream log_file;
  if (!log_path.empty()) {
    log_file.open(log_path, std::ios::app);
    if (!log_file) {
      std::fprintf(stderr, "krt6-emulator: cannot write %s: %s\n", log_path.c_str(),
                   std::strerror(errno));
      return 1;
    }
  }
  std::mutex log_mutex;
  if (!quiet) {
    options.Log = [&](const std::string& line) {
      std::lock_guard<std::mutex> lock(log_mutex);
      std::ostream& out = log_file.is_open() ? static_cast<std::ostream&>(log_file) : std::cout;
      out << line << std::endl;
    };
  }

  // The signals are taken by sigwait below, not by a handler, so block them before the server
  // thread starts (it inherits the mask).
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  signal(SIGPIPE, SIG_IGN);

  Emulator emulator(options);
  std::string error;
  if (!emulator.Start(error)) {
    std::fprintf(stderr, "krt6-emulator: %s\n", error.c_str());
    return 1;
  }
  if (options.Kind == Transport::kPty) {
    std::printf("%s\n", emulator.DevicePath().c_str());
  } else if (options.Kind == Transport::kTcp) {
    std::printf("%s:%d\n", options.Host.c_str(), emulator.Port());
  } else {
    std::printf("%s\n", emulator.DevicePath().c_str());
  }
  std::fflush(stdout);
  int signal_number = 0;
  sigwait(&stop, &signal_number);
  emulator.Stop();
  return 0;
}
