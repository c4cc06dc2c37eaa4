#include "cli/target.h"

#include "link/usb_link.h"
#include "texts/texts.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>

namespace krt6::cli {
namespace {

constexpr int kDefaultTcpPort = 8000;
constexpr std::size_t kMaxHostLength = 64;  // what the TCP settings carry

// Why a target names no printer.
constexpr TextPair kTargetText{"target '%1': %2", "ターゲット '%1': %2"};
constexpr TextPair kEmptyText{"the target is empty", "ターゲットが空です"};
constexpr TextPair kBlanksText{"a target holds no blanks or control characters",
                               "ターゲットに空白や制御文字は使えません"};
constexpr TextPair kSchemeText{"unknown scheme (socket://, serial:, parallel:, usb:)",
                               "不明なスキームです (socket://, serial:, parallel:, usb:)"};
constexpr TextPair kNoCloseText{"an IPv6 address lacks its closing ']'",
                                "IPv6 アドレスに閉じ括弧 ']' がありません"};
constexpr TextPair kNoIpv6Text{"'%1' is no IPv6 address", "'%1' は IPv6 アドレスではありません"};
constexpr TextPair kAfterBracketText{"only ':PORT' may follow ']'",
                                     "']' の後に置けるのは ':PORT' だけです"};
constexpr TextPair kNoPortText{"the port after ':' is missing", "':' の後のポート番号がありません"};
constexpr TextPair kNoHostText{"'%1' is no host", "'%1' はホストではありません"};
constexpr TextPair kHostMissingText{"the host is missing", "ホストがありません"};
constexpr TextPair kNoHostNameText{"'%1' is no host name or address",
                                   "'%1' はホスト名でもアドレスでもありません"};
constexpr TextPair kPortRangeText{"the port '%1' is not 1-65535",
                                  "ポート '%1' が 1-65535 の範囲にありません"};
constexpr TextPair kDeviceMissingText{"the device is missing", "デバイスがありません"};
constexpr TextPair kDeviceNulText{"the device path holds a NUL",
                                  "デバイスパスに NUL 文字が含まれています"};
constexpr TextPair kNoDeviceText{"'%1' is no %2 name and no device path",
                                 "'%1' は %2 のポート名でもデバイスパスでもありません"};
constexpr TextPair kSerialOptionText{
    "unknown serial option '%1' (baud, bits, parity, stop, flow, xonxoff)",
    "不明なシリアルオプション '%1' です (baud, bits, parity, stop, flow, xonxoff)"};
constexpr TextPair kSerialValueText{"'%1' is not a value the serial line takes",
                                    "'%1' はシリアル回線で使えない値です"};
constexpr TextPair kNoSerialNumberText{"the serial number after '?serial=' is missing",
                                       "'?serial=' の後のシリアル番号がありません"};
constexpr TextPair kNoUsbText{
    "'%1' is no BUS-PORTPATH such as 1-2.3 and no ?serial=STRING",
    "'%1' は 1-2.3 のような BUS-PORTPATH でも ?serial=STRING でもありません"};
constexpr TextPair kUnreadableText{"cannot read the targets file %1",
                                   "ターゲットファイル %1 を読めません"};

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
std::string ParseHostPort(std::string_view text, Target& target, Language language) {
  std::string host;
  std::string_view port;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) return TextFor(kNoCloseText, language);
    const std::string_view inner = text.substr(1, close - 1);
    if (!IsIpv6Text(inner)) return FormatText(kNoIpv6Text, language, inner);
    host = "[" + std::string(inner) + "]";
    const std::string_view rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return TextFor(kAfterBracketText, language);
      port = rest.substr(1);
      if (port.empty()) return TextFor(kNoPortText, language);
    }
  } else if (std::count(text.begin(), text.end(), ':') > 1) {
    if (!IsIpv6Text(text)) return FormatText(kNoHostText, language, text);
    host = "[" + std::string(text) + "]";
  } else {
    const std::size_t colon = text.find(':');
    host = std::string(text.substr(0, colon));
    if (colon != std::string_view::npos) {
      port = text.substr(colon + 1);
      if (port.empty()) return TextFor(kNoPortText, language);
    }
    if (!IsHostName(host)) {
      return host.empty() ? std::string(TextFor(kHostMissingText, language))
                          : FormatText(kNoHostNameText, language, host);
    }
  }
  int port_number = kDefaultTcpPort;
  if (!port.empty()) {
    const long value = Number(port, 1, 65535);
    if (value < 0) return FormatText(kPortRangeText, language, port);
    port_number = static_cast<int>(value);
  }
  target.Kind = lkEthernet;
  target.Settings.Tcp.IPAddr = host;
  target.Settings.Tcp.Port = port_number;
  return {};
}

// A port name of the fixed table, or a device path.
std::string Device(std::string_view text, const char* prefix, int last, std::string& out,
                   Language language) {
  if (text.empty()) return TextFor(kDeviceMissingText, language);
  if (text.front() == '/') {
    if (text.find('\0') != std::string_view::npos) return TextFor(kDeviceNulText, language);
    out = std::string(text);
    return {};
  }
  const int number = PortNumber(std::string(text), prefix);
  if (number < 1 || number > last) {
    return FormatText(kNoDeviceText, language, text,
                      prefix + std::string("1..") + prefix + std::to_string(last));
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

std::string ParseSerial(std::string_view text, Target& target, Language language) {
  const std::size_t question = text.find('?');
  SerialSettings& serial = target.Settings.Serial;
  if (std::string error = Device(text.substr(0, question), "COM", 30, serial.PortName, language);
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
      return FormatText(kSerialOptionText, language, option);
    }
    if (!fine) return FormatText(kSerialValueText, language, option);
    if (end == std::string_view::npos) break;
    options = options.substr(end + 1);
  }
  return {};
}

std::string ParseUsb(std::string_view text, Target& target, Language language) {
  target.Kind = lkUsb;
  if (text.empty()) return {};
  if (StartsWith(text, "?serial=")) {
    target.UsbSerial = std::string(text.substr(8));
    if (target.UsbSerial.empty()) return TextFor(kNoSerialNumberText, language);
    return {};
  }
  if (!IsUsbPortPath(text)) {
    return FormatText(kNoUsbText, language, text);
  }
  target.UsbPortPath = std::string(text);
  return {};
}

}  // namespace

std::variant<Target, std::string> ParseTarget(std::string_view text, Language language) {
  Target target;
  target.Text = std::string(text);
  std::string error;
  if (text.empty()) {
    error = TextFor(kEmptyText, language);
  } else if (std::any_of(text.begin(), text.end(), [](char c) {
               return std::iscntrl(static_cast<unsigned char>(c)) != 0 || c == ' ';
             })) {
    error = TextFor(kBlanksText, language);
  } else if (StartsWith(text, "socket://")) {
    std::string_view rest = text.substr(9);
    if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
    error = ParseHostPort(rest, target, language);
  } else if (StartsWith(text, "serial:")) {
    error = ParseSerial(text.substr(7), target, language);
  } else if (StartsWith(text, "parallel:")) {
    error = Device(text.substr(9), "LPT", 4, target.Settings.LptName, language);
    target.Kind = lkLpt;
  } else if (StartsWith(text, "usb:")) {
    error = ParseUsb(text.substr(4), target, language);
  } else if (text.find("://") != std::string_view::npos) {
    error = TextFor(kSchemeText, language);
  } else {
    error = ParseHostPort(text, target, language);
  }
  if (!error.empty()) return FormatText(kTargetText, language, text, error);
  return target;
}

bool ReadTargetsFile(const std::string& path, std::vector<std::string>& targets, std::string& error,
                     Language language) {
  std::ifstream in(path);
  if (!in) {
    error = FormatText(kUnreadableText, language, path);
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
    error = FormatText(kUnreadableText, language, path);
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
