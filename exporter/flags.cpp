#include "exporter/flags.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace krt6::exporter {

const char kUsage[] =
    "Usage: krt6-exporter [flags]\n"
    "Prometheus exporter for K-RT6 label printers. Each scrape asks the printers for their status\n"
    "over krt6ctl's links.\n"
    "\n"
    "Flags:\n"
    "  --web.listen-address=HOST:PORT  where to serve (default 127.0.0.1:10106; [IPv6]:PORT;\n"
    "                                  port 0: one the system picks, named in the log)\n"
    "  --config.file=FILE              the fleet (YAML): its printers appear on /metrics\n"
    "  --drift.interval=SECONDS        between two readings of a printer with a desired\n"
    "                                  configuration (default 300)\n"
    "  --probe.timeout=SECONDS         a probe's limit when the scrape gives none in\n"
    "                                  X-Prometheus-Scrape-Timeout-Seconds (default 10)\n"
    "  --help                          this text\n"
    "  --version                       the program's name and version\n"
    "\n"
    "Endpoints: /probe?target=URI (one printer, krt6ctl's target syntax), /metrics (the\n"
    "exporter's own metrics and every printer of the fleet file), / (a landing page).\n"
    "Exit status: 2 for a wrong flag or fleet file, 1 when the fleet file cannot be read or the\n"
    "address cannot be served.\n";

namespace {

std::optional<double> Seconds(const std::string& text, double low, double high) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text.c_str(), &end);
  if (errno != 0 || *end != '\0' || !std::isfinite(value) || value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

bool ParseListenAddress(const std::string& text, std::string& host, int& port) {
  std::string port_text;
  if (text.starts_with('[')) {
    const std::size_t close = text.find(']');
    if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') {
      return false;
    }
    host = text.substr(1, close - 1);
    port_text = text.substr(close + 2);
  } else {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || text.find(':') != colon) return false;
    host = text.substr(0, colon);
    port_text = text.substr(colon + 1);
  }
  if (port_text.empty() || port_text.size() > 5 ||
      port_text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  port = std::atoi(port_text.c_str());
  if (host.empty()) host = "0.0.0.0";
  return port <= 65535;
}

std::variant<Flags, std::string> ParseFlags(const std::vector<std::string>& arguments) {
  Flags flags;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string name = arguments[i];
    std::optional<std::string> value;
    if (const std::size_t equals = name.find('='); equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.resize(equals);
    }
    if (name == "--help" || name == "-h") {
      flags.help = true;
      continue;
    }
    if (name == "--version") {
      flags.version = true;
      continue;
    }
    const bool known = name == "--web.listen-address" || name == "--config.file" ||
                       name == "--drift.interval" || name == "--probe.timeout";
    if (!known) return "unknown flag " + name;
    if (!value) {
      if (i + 1 >= arguments.size()) return "flag " + name + " needs a value";
      value = arguments[++i];
    }
    if (name == "--web.listen-address") {
      if (!ParseListenAddress(*value, flags.listen_host, flags.listen_port)) {
        return "--web.listen-address: '" + *value + "' is not HOST:PORT";
      }
    } else if (name == "--config.file") {
      if (value->empty()) return "--config.file: the file name is empty";
      flags.config_file = *value;
    } else if (name == "--drift.interval") {
      const auto seconds = Seconds(*value, 1, 86400 * 7);
      if (!seconds) return "--drift.interval: '" + *value + "' is not 1 to 604800 seconds";
      flags.drift_interval = *seconds;
    } else {
      const auto seconds = Seconds(*value, 0.01, 3600);
      if (!seconds || *seconds <= 0) {
        return "--probe.timeout: '" + *value + "' is not 0.01 to 3600 seconds";
      }
      flags.probe_timeout = *seconds;
    }
  }
  return flags;
}

}  // namespace krt6::exporter
