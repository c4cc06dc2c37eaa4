#include "cli/target.h"

#include "link/usb_link.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>

namespace krt6::cli {
namespace {

constexpr int kDefaultTcpPort = 8000;
constexpr std::size_t kMaxHostLength = 64;  // what the TCP settings carry

bool StartsWith(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

bool AllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
  });
}

// A decimal number from `low` to `high`, or -1.
long Number(std::string_view text, long low, long high) {
  if (!AllDigits(text) || text.size() > 9) return -1;
  const long value = std::stol(std::string(text));
  return value >= low && value <= high ? value : -1;
}

bool IsHostName(std::string_view host) {
  if (host.empty() || host.size() > kMaxHostLength) return false;
  return std::all_of(host.begin(), host.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '-' || c == '_';
  });
}

bool IsIpv6Text(std::string_view host) {
  if (host.empty() || host.size() > kMaxHostLength - 2) return false;
  return std::all_of(host.begin(), host.end(), [](char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0 || c == ':' || c == '.';
  });
}

// HOST, HOST:PORT, [IPv6], [IPv6]:PORT, or an IPv6 address without brackets (no port then).
std::string ParseHostPort(std::string_view text, Target& target) {
  std::string host;
  std::string_view port;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) return "an IPv6 address lacks its closing ']'";
    const std::string_view inner = text.substr(1, close - 1);
    if (!IsIpv6Text(inner)) return "'" + std::string(inner) + "' is no IPv6 address";
    host = "[" + std::string(inner) + "]";
    const std::string_view rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return "only ':PORT' may follow ']'";
      port = rest.substr(1);
      if (port.empty()) return "the port after ':' is missing";
    }
  } else if (std::count(text.begin(), text.end(), ':') > 1) {
    if (!IsIpv6Text(text)) return "'" + std::string(text) + "' is no host";
    host = "[" + std::string(text) + "]";
  } else {
    const std::size_t colon = text.find(':');
    host = std::string(text.substr(0, colon));
    if (colon != std::string_view::npos) {
      port = text.substr(colon + 1);
      if (port.empty()) return "the port after ':' is missing";
    }
    if (!IsHostName(host)) {
      return host.empty() ? std::string("the host is missing")
                          : "'" + host + "' is no host name or address";
    }
  }
  int port_number = kDefaultTcpPort;
  if (!port.empty()) {
    const long value = Number(port, 1, 65535);
    if (value < 0) return "the port '" + std::string(port) + "' is not 1-65535";
    port_number = static_cast<int>(value);
  }
  target.Kind = lkEthernet;
  target.Settings.Tcp.IPAddr = host;
  target.Settings.Tcp.Port = port_number;
  return {};
}

// A port name of the fixed table, or a device path.
std::string Device(std::string_view text, const char* prefix, int last, std::string& out) {
  if (text.empty()) return "the device is missing";
  if (text.front() == '/') {
    if (text.find('\0') != std::string_view::npos) return "the device path holds a NUL";
    out = std::string(text);
    return {};
  }
  const int number = PortNumber(std::string(text), prefix);
  if (number < 1 || number > last) {
    return "'" + std::string(text) + "' is no " + prefix + "1.." + prefix + std::to_string(last) +
           " name and no device path";
  }
  out = std::string(text);
  return {};
}

template <std::size_t N>
int IndexOf(const std::array<std::string_view, N>& items, std::string_view value) {
  for (std::size_t i = 0; i < N; ++i) {
    if (items[i] == value) return static_cast<int>(i);
  }
  return -1;
}

std::string ParseSerial(std::string_view text, Target& target) {
  const std::size_t question = text.find('?');
  SerialSettings& serial = target.Settings.Serial;
  if (std::string error = Device(text.substr(0, question), "COM", 30, serial.PortName);
      !error.empty()) {
    return error;
  }
  target.Kind = lkCom;
  if (question == std::string_view::npos) return {};
  static constexpr std::array<std::string_view, 7> kBauds = {"2400",  "4800",  "9600",  "19200",
                                                             "38400", "57600", "115200"};
  static constexpr std::array<std::string_view, 2> kBits = {"7", "8"};
  static constexpr std::array<std::string_view, 3> kParities = {"none", "odd", "even"};
  static constexpr std::array<std::string_view, 3> kStops = {"1", "1.5", "2"};
  static constexpr std::array<std::string_view, 3> kFlows = {"none", "rts", "rtscts"};
  std::string_view options = text.substr(question + 1);
  while (true) {
    const std::size_t end = options.find_first_of("+&");
    const std::string_view option = options.substr(0, end);
    const std::size_t equals = option.find('=');
    const std::string_view key = option.substr(0, equals);
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view() : option.substr(equals + 1);
    auto pick = [&](const auto& items, std::int32_t& index) {
      const int found = IndexOf(items, value);
      if (found >= 0) index = found;
      return found >= 0;
    };
    bool fine = false;
    if (key == "xonxoff" && equals == std::string_view::npos) {
      serial.SWShakIndex = 1;
      fine = true;
    } else if (key == "baud") {
      fine = pick(kBauds, serial.BaudRateIndex);
    } else if (key == "bits") {
      fine = pick(kBits, serial.DataBitIndex);
    } else if (key == "parity") {
      fine = pick(kParities, serial.ParityIndex);
    } else if (key == "stop") {
      fine = pick(kStops, serial.StopBitIndex);
    } else if (key == "flow") {
      fine = pick(kFlows, serial.HdShakIndex);
    } else {
      return "unknown serial option '" + std::string(option) +
             "' (baud, bits, parity, stop, flow, xonxoff)";
    }
    if (!fine) return "'" + std::string(option) + "' is not a value the serial line takes";
    if (end == std::string_view::npos) break;
    options = options.substr(end + 1);
  }
  return {};
}

std::string ParseUsb(std::string_view text, Target& target) {
  target.Kind = lkUsb;
  if (text.empty()) return {};
  if (StartsWith(text, "?serial=")) {
    target.UsbSerial = std::string(text.substr(8));
    if (target.UsbSerial.empty()) return "the serial number after '?serial=' is missing";
    return {};
  }
  if (!IsUsbPortPath(text)) {
    return "'" + std::string(text) + "' is no BUS-PORTPATH such as 1-2.3 and no ?serial=STRING";
  }
  target.UsbPortPath = std::string(text);
  return {};
}

}  // namespace

std::variant<Target, std::string> ParseTarget(std::string_view text) {
  Target target;
  target.Text = std::string(text);
  std::string error;
  if (text.empty()) {
    error = "the target is empty";
  } else if (std::any_of(text.begin(), text.end(), [](char c) {
               return std::iscntrl(static_cast<unsigned char>(c)) != 0 || c == ' ';
             })) {
    error = "a target holds no blanks or control characters";
  } else if (StartsWith(text, "socket://")) {
    std::string_view rest = text.substr(9);
    if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
    error = ParseHostPort(rest, target);
  } else if (StartsWith(text, "serial:")) {
    error = ParseSerial(text.substr(7), target);
  } else if (StartsWith(text, "parallel:")) {
    error = Device(text.substr(9), "LPT", 4, target.Settings.LptName);
    target.Kind = lkLpt;
  } else if (StartsWith(text, "usb:")) {
    error = ParseUsb(text.substr(4), target);
  } else if (text.find("://") != std::string_view::npos) {
    error = "unknown scheme (socket://, serial:, parallel:, usb:)";
  } else {
    error = ParseHostPort(text, target);
  }
  if (!error.empty()) return "target '" + std::string(text) + "': " + error;
  return target;
}

bool ReadTargetsFile(const std::string& path, std::vector<std::string>& targets,
                     std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = "cannot read the targets file " + path;
    return false;
  }
  std::string line;
  while (std::getline(in, line)) {
    line = line.substr(0, line.find('#'));
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) continue;
    const std::size_t last = line.find_last_not_of(" \t\r");
    targets.push_back(line.substr(first, last - first + 1));
  }
  if (in.bad()) {
    error = "cannot read the targets file " + path;
    return false;
  }
  return true;
}

std::string TargetPorts::SerialDevice(const std::string& port_name) const {
  return !port_name.empty() && port_name.front() == '/' ? port_name
                                                        : table_.SerialDevice(port_name);
}

std::string TargetPorts::ParallelDevice(const std::string& port_name) const {
  return !port_name.empty() && port_name.front() == '/' ? port_name
                                                        : table_.ParallelDevice(port_name);
}

}  // namespace krt6::cli
