// How krt6ctl's targets of the four built-in kinds are read after their prefix, and what names
// the printer each one reaches (link/target_forms.h).
#include "link/target_forms.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstdint>
#include <vector>

#include "link/usb_link.h"
#include "texts/texts.h"

namespace krt6 {
namespace {

constexpr int kDefaultTcpPort = 8000;
constexpr std::size_t kMaxHostLength = 64;   // what the TCP settings carry
constexpr std::size_t kMaxLabelLength = 63;  // of each part of a host name between dots
constexpr std::size_t kMaxDevicePath = PATH_MAX - 1;
constexpr std::size_t kMaxUsbSerial = 126;  // characters a USB string descriptor holds

// Why a target names no printer.
constexpr TextPair kNoCloseText{"an IPv6 address lacks its closing ']'",
                                "IPv6 アドレスに閉じ括弧 ']' がありません"};
constexpr TextPair kNoIpv6Text{"'%1' is no IPv6 address", "'%1' は IPv6 アドレスではありません"};
constexpr TextPair kAfterBracketText{"only ':PORT' may follow ']'",
                                     "']' の後に置けるのは ':PORT' だけです"};
constexpr TextPair kNoPortText{"the port after ':' is missing", "':' の後のポート番号がありません"};
constexpr TextPair kNoIpv6HostText{
    "'%1' is no IPv6 address (a host takes one ':', before its port)",
    "'%1' は IPv6 アドレスではありません (ホストに付けられる ':' はポートの前の 1 つだけです)"};
constexpr TextPair kHostMissingText{"the host is missing", "ホストがありません"};
constexpr TextPair kHostLengthText{"the host '%1' is longer than %2 characters",
                                   "ホスト '%1' が %2 文字を超えています"};
constexpr TextPair kHostCharacterText{
    "the host name '%1' holds a character other than letters, digits, '-' and '.'",
    "ホスト名 '%1' に英字、数字、'-'、'.' 以外の文字が含まれています"};
constexpr TextPair kTrailingDotText{"the host name '%1' ends in a dot",
                                    "ホスト名 '%1' がドットで終わっています"};
constexpr TextPair kEmptyLabelText{"the host name '%1' has an empty label between dots",
                                   "ホスト名 '%1' にドットの間が空の部分があります"};
constexpr TextPair kLabelLengthText{"the host name '%1' has a label longer than %2 characters",
                                    "ホスト名 '%1' に %2 文字を超える部分があります"};
constexpr TextPair kHyphenText{"a label of the host name '%1' begins or ends with '-'",
                               "ホスト名 '%1' に '-' で始まるか終わる部分があります"};
constexpr TextPair kIpv4FormText{
    "'%1' is no IPv4 address: write four decimal numbers 0-255 joined by dots, such as "
    "192.168.0.10",
    "'%1' は IPv4 アドレスではありません: 192.168.0.10 のように 0-255 の 10 進数 4 つをドットで"
    "つないでください"};
constexpr TextPair kIpv4ZeroText{
    "'%1' is no IPv4 address: '%2' has a leading zero, which resolvers read as octal",
    "'%1' は IPv4 アドレスではありません: '%2' は先頭が 0 で、8 進数として読まれます"};
constexpr TextPair kIpv4RangeText{
    "'%1' is no IPv4 address: '%2' is over 255",
    "'%1' は IPv4 アドレスではありません: '%2' が 255 を超えています"};
constexpr TextPair kPortRangeText{"the port '%1' is not 1-65535",
                                  "ポート '%1' が 1-65535 の範囲にありません"};
constexpr TextPair kDeviceMissingText{"the device is missing", "デバイスがありません"};
constexpr TextPair kDeviceNulText{"the device path holds a NUL",
                                  "デバイスパスに NUL 文字が含まれています"};
constexpr TextPair kDeviceLengthText{"the device path is longer than %1 bytes",
                                     "デバイスパスが %1 バイトを超えています"};
constexpr TextPair kNoDeviceText{"'%1' is no %2 name and no device path",
                                 "'%1' は %2 のポート名でもデバイスパスでもありません"};
constexpr TextPair kSerialOptionText{
    "unknown serial option '%1' (baud, bits, parity, stop, flow, xonxoff)",
    "不明なシリアルオプション '%1' です (baud, bits, parity, stop, flow, xonxoff)"};
constexpr TextPair kSerialValueText{"'%1' is not a value the serial line takes",
                                    "'%1' はシリアル回線で使えない値です"};
constexpr TextPair kSerialTwiceText{"the serial option '%1' is given twice",
                                    "シリアルオプション '%1' が 2 回指定されています"};
constexpr TextPair kNoSerialNumberText{"the serial number after '?serial=' is missing",
                                       "'?serial=' の後のシリアル番号がありません"};
constexpr TextPair kSerialNumberLengthText{
    "the serial number is longer than the %1 characters a USB device reports",
    "シリアル番号が USB デバイスの報告できる %1 文字を超えています"};
constexpr TextPair kNoUsbText{
    "'%1' is no BUS-PORTPATH such as 1-2.3 and no ?serial=STRING",
    "'%1' は 1-2.3 のような BUS-PORTPATH でも ?serial=STRING でもありません"};

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

// What is wrong with `host` as a dotted decimal IPv4 address; empty when nothing is.
std::string Ipv4Problem(std::string_view host, Language language) {
  const std::string shown = Printable(host);
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const std::size_t dot = host.find('.', start);
    parts.push_back(host.substr(start, dot == std::string_view::npos ? dot : dot - start));
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  if (parts.size() != 4 || !std::all_of(parts.begin(), parts.end(), AllDigits)) {
    return FormatText(kIpv4FormText, language, shown);
  }
  for (std::string_view part : parts) {
    if (part.size() > 1 && part.front() == '0') {
      return FormatText(kIpv4ZeroText, language, shown, part);
    }
    if (Number(part, 0, 255) < 0) return FormatText(kIpv4RangeText, language, shown, part);
  }
  return {};
}

// What is wrong with `host` as an IPv4 address or a host name; empty when nothing is. Whatever
// the resolver would take for an address (127.1, 2130706433, 0x7f000001, 127.0.0.010) must be
// written in dotted decimal, so that it means the same here and in a settings document.
std::string HostProblem(std::string_view host, Language language) {
  const std::string shown = Printable(host);
  if (host.size() > kMaxHostLength) {
    return FormatText(kHostLengthText, language, shown, std::to_string(kMaxHostLength));
  }
  const bool numeric =
      std::any_of(host.begin(), host.end(),
                  [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }) &&
      std::all_of(host.begin(), host.end(), [](char c) {
        return c == '.' || std::isdigit(static_cast<unsigned char>(c)) != 0;
      });
  in_addr address{};
  if (numeric || ::inet_aton(std::string(host).c_str(), &address) != 0) {
    return Ipv4Problem(host, language);
  }
  if (!std::all_of(host.begin(), host.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '-';
      })) {
    return FormatText(kHostCharacterText, language, shown);
  }
  const std::string_view labels = host.back() == '.' ? host.substr(0, host.size() - 1) : host;
  for (std::size_t start = 0; start <= labels.size();) {
    const std::size_t dot = std::min(labels.find('.', start), labels.size());
    const std::string_view label = labels.substr(start, dot - start);
    if (label.empty()) return FormatText(kEmptyLabelText, language, shown);
    if (label.size() > kMaxLabelLength) {
      return FormatText(kLabelLengthText, language, shown, std::to_string(kMaxLabelLength));
    }
    if (label.front() == '-' || label.back() == '-') {
      return FormatText(kHyphenText, language, shown);
    }
    start = dot + 1;
  }
  if (host.back() == '.') return FormatText(kTrailingDotText, language, shown);
  return {};
}

// The address `text` (without brackets) names, when inet_pton takes it for an IPv6 address.
bool Ipv6Address(std::string_view text, in6_addr& address) {
  return text.size() <= kMaxHostLength - 2 &&
         ::inet_pton(AF_INET6, std::string(text).c_str(), &address) == 1;
}

// HOST, HOST:PORT, [IPv6], [IPv6]:PORT, or an IPv6 address without brackets (no port then).
std::string ParseHostPort(std::string_view text, LinkAddress& target, Language language) {
  std::string host;
  std::string_view port;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) return TextFor(kNoCloseText, language);
    const std::string_view inner = text.substr(1, close - 1);
    in6_addr address{};
    if (!Ipv6Address(inner, address)) return FormatText(kNoIpv6Text, language, Printable(inner));
    host = "[" + std::string(inner) + "]";
    const std::string_view rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return TextFor(kAfterBracketText, language);
      port = rest.substr(1);
      if (port.empty()) return TextFor(kNoPortText, language);
    }
  } else if (std::count(text.begin(), text.end(), ':') > 1) {
    in6_addr address{};
    if (!Ipv6Address(text, address)) return FormatText(kNoIpv6HostText, language, Printable(text));
    host = "[" + std::string(text) + "]";
  } else {
    const std::size_t colon = text.find(':');
    host = std::string(text.substr(0, colon));
    if (colon != std::string_view::npos) {
      port = text.substr(colon + 1);
      if (port.empty()) return TextFor(kNoPortText, language);
    }
    if (host.empty()) return TextFor(kHostMissingText, language);
    if (std::string problem = HostProblem(host, language); !problem.empty()) return problem;
  }
  int port_number = kDefaultTcpPort;
  if (!port.empty()) {
    const long value = Number(port, 1, 65535);
    if (value < 0) return FormatText(kPortRangeText, language, Printable(port));
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
    if (text.size() > kMaxDevicePath) {
      return FormatText(kDeviceLengthText, language, std::to_string(kMaxDevicePath));
    }
    out = std::string(text);
    return {};
  }
  const int number = PortNumber(std::string(text), prefix);
  if (number < 1 || number > last) {
    return FormatText(kNoDeviceText, language, Printable(text),
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

std::string ParseSerial(std::string_view text, LinkAddress& target, Language language) {
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
  std::vector<std::string_view> given;
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
      return FormatText(kSerialOptionText, language, Printable(option));
    }
    if (!fine) return FormatText(kSerialValueText, language, Printable(option));
    if (std::find(given.begin(), given.end(), key) != given.end()) {
      return FormatText(kSerialTwiceText, language, key);
    }
    given.push_back(key);
    if (end == std::string_view::npos) break;
    options = options.substr(end + 1);
  }
  return {};
}

std::string ParseUsb(std::string_view text, LinkAddress& target, Language language) {
  target.Kind = lkUsb;
  if (text.empty()) return {};
  if (StartsWith(text, "?serial=")) {
    target.UsbSerial = std::string(text.substr(8));
    if (target.UsbSerial.empty()) return TextFor(kNoSerialNumberText, language);
    const auto characters = std::count_if(target.UsbSerial.begin(), target.UsbSerial.end(),
                                          [](char c) { return (c & 0xc0) != 0x80; });
    if (static_cast<std::size_t>(characters) > kMaxUsbSerial) {
      return FormatText(kSerialNumberLengthText, language, std::to_string(kMaxUsbSerial));
    }
    return {};
  }
  if (!IsUsbPortPath(text)) {
    return FormatText(kNoUsbText, language, Printable(text));
  }
  target.UsbPortPath = std::string(text);
  return {};
}

std::string Lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  });
  return text;
}

}  // namespace

std::string ReadHostPort(std::string_view text, LinkAddress& address, Language language) {
  return ParseHostPort(text, address, language);
}

std::string ReadTcpTarget(std::string_view rest, LinkAddress& address, Language language) {
  if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
  return ParseHostPort(rest, address, language);
}

std::string ReadSerialTarget(std::string_view rest, LinkAddress& address, Language language) {
  return ParseSerial(rest, address, language);
}

std::string ReadParallelTarget(std::string_view rest, LinkAddress& address, Language language) {
  return Device(rest, "LPT", 4, address.Settings.LptName, language);
}

std::string ReadUsbTarget(std::string_view rest, LinkAddress& address, Language language) {
  return ParseUsb(rest, address, language);
}

std::string TcpPrinterKey(const LinkAddress& address, const PortResolver&) {
  std::string host = address.Settings.Tcp.IPAddr;
  in6_addr ip6{};
  if (host.size() > 2 && host.front() == '[' && host.back() == ']' &&
      Ipv6Address(std::string_view(host).substr(1, host.size() - 2), ip6)) {
    char text[INET6_ADDRSTRLEN] = {};
    if (IN6_IS_ADDR_V4MAPPED(&ip6)) {
      host = ::inet_ntop(AF_INET, &ip6.s6_addr[12], text, sizeof text);
    } else {
      host = "[" + std::string(::inet_ntop(AF_INET6, &ip6, text, sizeof text)) + "]";
    }
  }
  return Lowered(std::move(host)) + ":" + std::to_string(address.Settings.Tcp.Port);
}

std::string SerialPrinterKey(const LinkAddress& address, const PortResolver& ports) {
  return "serial:" + ports.SerialDevice(address.Settings.Serial.PortName);
}

std::string ParallelPrinterKey(const LinkAddress& address, const PortResolver& ports) {
  return "parallel:" + ports.ParallelDevice(address.Settings.LptName);
}

std::string UsbPrinterKey(const LinkAddress& address, const PortResolver&) {
  return address.UsbSerial.empty() ? "usb:" + address.UsbPortPath
                                   : "usb:?serial=" + address.UsbSerial;
}

}  // namespace krt6
