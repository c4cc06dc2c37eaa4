// krt6-exporter's command line, in the Prometheus style: --name=VALUE or --name VALUE.
#pragma once

#include <string>
#include <variant>
#include <vector>

namespace krt6::exporter {

inline constexpr int kDefaultPort = 10106;

struct Flags {
  std::string listen_host = "127.0.0.1";
  int listen_port = kDefaultPort;  // 0: one the kernel picks (the log line names it)
  std::string config_file;         // the fleet (YAML); empty: none
  double drift_interval = 300;     // seconds between two drift readings of a printer
  double probe_timeout = 10;       // seconds, when a scrape does not give its own
  bool help = false;
  bool version = false;
};

// The flags of `arguments` (without the program's name), or why they are wrong: a sentence
// naming the flag.
std::variant<Flags, std::string> ParseFlags(const std::vector<std::string>& arguments);

// HOST:PORT or [IPv6]:PORT into `host` and `port`; false when it is not one.
bool ParseListenAddress(const std::string& text, std::string& host, int& port);

// --help's text.
extern const char kUsage[];

}  // namespace krt6::exporter
