#include "cli/discovery.h"

#include <arpa/inet.h>
#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "cli/sessions.h"
#include "link/port_names.h"
#include "link/tcp_link.h"
#include "link/usb_link.h"
#include "session/session.h"
#include "texts/texts.h"

namespace krt6::cli {
namespace {

using Clock = std::chrono::steady_clock;

// Why a scan's network text names nothing to ask.
constexpr TextPair kNotARangeText{
    "\"%1\" is not an IPv4 range (A.B.C.D/N, N from 22 to 32).",
    "「%1」は IPv4 の範囲 (A.B.C.D/N、N は 22 から 32) ではありません。"};
constexpr TextPair kRangeTooLargeText{
    "\"%1\" is too large: a scan covers at most a /22 (1024 addresses).",
    "「%1」は広すぎます。スキャンできるのは /22 (1024 アドレス) までです。"};
constexpr TextPair kTooManyHostsText{"The scan would ask more than 1024 addresses.",
                                     "スキャンするアドレスが 1024 を超えます。"};
constexpr TextPair kNotAHostText{"\"%1\" is neither a host nor an IPv4 range.",
                                 "「%1」はホストでも IPv4 の範囲でもありません。"};
constexpr TextPair kNoHostsText{"No network or host to scan was given.",
                                "スキャンするネットワークまたはホストが指定されていません。"};
static_assert(kMaxScanAddresses == 1024, "the texts name the limit");

// The number after `prefix` when `name` is the prefix and a decimal number; -1 otherwise.
int NodeNumber(std::string_view name, std::string_view prefix) {
  if (name.size() <= prefix.size() || name.size() > prefix.size() + 4 ||
      name.substr(0, prefix.size()) != prefix) {
    return -1;
  }
  int number = 0;
  for (char c : name.substr(prefix.size())) {
    if (c < '0' || c > '9') return -1;
    number = number * 10 + (c - '0');
  }
  return number;
}

// The device nodes "<dir>/<prefix>N", by number.
std::vector<std::string> NodesIn(const std::string& dir, std::string_view prefix) {
  std::vector<std::pair<int, std::string>> found;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* e = ::readdir(d)) {
      const int n = NodeNumber(e->d_name, prefix);
      if (n >= 0) found.emplace_back(n, e->d_name);
    }
    ::closedir(d);
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> names;
  for (auto& f : found) names.push_back(std::move(f.second));
  return names;
}

PortEntry Entry(std::string device, std::string name, const char* scheme) {
  PortEntry e;
  e.Uri = std::string(scheme) + ":" + (name.empty() ? device : name);
  e.Device = std::move(device);
  e.Name = std::move(name);
  return e;
}

// Addresses in host order.
std::uint32_t ToHost(const in_addr& a) { return ntohl(a.s_addr); }
std::string AddressText(std::uint32_t host_order) {
  in_addr a{};
  a.s_addr = htonl(host_order);
  char text[INET_ADDRSTRLEN];
  return ::inet_ntop(AF_INET, &a, text, sizeof text) != nullptr ? text : "";
}

// A host name or address as a target may give it: letters, digits, '.', '-', '_', and for IPv6
// ':' within optional brackets.
bool LooksLikeHost(std::string_view text) {
  if (text.empty() || text.size() > 255) return false;
  if (text.front() == '[') {
    if (text.size() < 3 || text.back() != ']') return false;
    text = text.substr(1, text.size() - 2);
  }
  return std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_' || c == ':';
  });
}

// The addresses of one IPv4 block, appended to `hosts`; an error sentence when the block is bad
// or would take the scan past its limit.
std::string AddBlock(std::string_view text, std::vector<std::string>& hosts, Language language) {
  const std::size_t slash = text.find('/');
  const std::string address(text.substr(0, slash));
  const std::string_view bits = text.substr(slash + 1);
  in_addr a{};
  int prefix = -1;
  if (!bits.empty() && bits.size() <= 2 &&
      std::all_of(bits.begin(), bits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    prefix = std::stoi(std::string(bits));
  }
  if (::inet_pton(AF_INET, address.c_str(), &a) != 1 || prefix < 0 || prefix > 32) {
    return FormatText(kNotARangeText, language, text);
  }
  const std::uint64_t size = std::uint64_t{1} << (32 - prefix);
  if (size > kMaxScanAddresses) return FormatText(kRangeTooLargeText, language, text);
  const std::uint32_t mask = prefix == 0 ? 0 : ~std::uint32_t{0} << (32 - prefix);
  const std::uint32_t first = ToHost(a) & mask;
  const std::uint32_t last = first + static_cast<std::uint32_t>(size - 1);
  // A block of more than two addresses has a network and a broadcast address: no printer there.
  const std::uint32_t from = size > 2 ? first + 1 : first;
  const std::uint32_t to = size > 2 ? last - 1 : last;
  if (hosts.size() + (to - from + 1) > kMaxScanAddresses) {
    return TextFor(kTooManyHostsText, language);
  }
  for (std::uint32_t h = from;; ++h) {
    hosts.push_back(AddressText(h));
    if (h == to) break;
  }
  return {};
}

}  // namespace

AttachedDevices ListAttachedDevices(const DeviceRoots& roots) {
  AttachedDevices found;
  for (const UsbDeviceInfo& d : ListSysfsUsbDevices(roots.Sys, kPrinterVendorId)) {
    UsbPrinterEntry e;
    e.PortPath = d.PortPath();
    e.ProductId = d.ProductId;
    e.Serial = d.Serial;
    e.Uri = "usb:" + e.PortPath;
    found.Usb.push_back(std::move(e));
  }
  // The port names are those of the system's nodes; the root only moves where they are looked for.
  for (const char* prefix : {"ttyS", "ttyUSB", "ttyACM"}) {
    for (const std::string& node : NodesIn(roots.Dev, prefix)) {
      const std::string device = roots.Dev + "/" + node;
      if (!SerialDevicePresent(device, roots.Sys + "/class/tty")) continue;
      found.Serial.push_back(Entry(device, SerialPortNameFor("/dev/" + node), "serial"));
    }
  }
  for (const std::string& node : NodesIn(roots.Dev, "lp")) {
    found.Parallel.push_back(
        Entry(roots.Dev + "/" + node, ParallelPortNameFor("/dev/" + node), "parallel"));
  }
  for (const std::string& node : NodesIn(roots.Dev + "/usb", "lp")) {
    found.Parallel.push_back(
        Entry(roots.Dev + "/usb/" + node, ParallelPortNameFor("/dev/usb/" + node), "parallel"));
  }
  return found;
}

ScanHosts ParseScanNetwork(std::string_view text, Language language) {
  ScanHosts result;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find_first_of(", \t\n", at);
    const std::string_view token =
        text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
    at = end == std::string_view::npos ? text.size() : end + 1;
    if (token.empty()) continue;
    if (token.find('/') != std::string_view::npos) {
      result.Error = AddBlock(token, result.Hosts, language);
    } else if (!LooksLikeHost(token)) {
      result.Error = FormatText(kNotAHostText, language, token);
    } else if (result.Hosts.size() >= kMaxScanAddresses) {
      result.Error = TextFor(kTooManyHostsText, language);
    } else {
      result.Hosts.emplace_back(token);
    }
    if (!result.Error.empty()) {
      result.Hosts.clear();
      return result;
    }
  }
  if (result.Hosts.empty()) result.Error = TextFor(kNoHostsText, language);
  return result;
}

std::vector<ScanHit> ScanNetwork(const std::vector<std::string>& hosts,
                                 const ScanOptions& options) {
  const Clock::time_point deadline = Clock::now() + options.TotalLimit;
  std::vector<std::optional<ScanHit>> answers(hosts.size());
  std::atomic<std::size_t> next{0};
  std::mutex mutex;
  std::condition_variable finished;
  std::vector<Session*> asking;  // the sessions in an exchange, for the deadline to cancel
  bool expired = false;
  std::size_t workers = std::min<std::size_t>(hosts.size(), std::max(options.Jobs, 1));
  std::size_t running = workers;

  auto work = [&] {
    for (std::size_t i = next++; i < hosts.size(); i = next++) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) break;
      SystemLinkOptions links;
      links.Tcp.ConnectMs = static_cast<int>(std::min(options.ConnectLimit, left).count());
      LinkTarget host{lkEthernet, {}};
      host.Settings.Tcp.IPAddr = hosts[i];
      host.Settings.Tcp.Port = options.Port;
      const std::unique_ptr<Session> session = MakeSession(host, links, options.Lang);
      {
        std::lock_guard<std::mutex> lock(mutex);
        if (expired) break;
        asking.push_back(session.get());
      }
      const Outcome<std::int32_t> status = session->ReadStatus();
      {
        std::lock_guard<std::mutex> lock(mutex);
        asking.erase(std::find(asking.begin(), asking.end(), session.get()));
      }
      if (status.Ok()) {
        answers[i] =
            ScanHit{hosts[i], options.Port, status.Value, StatusText(status.Value, options.Lang)};
      }
    }
    std::lock_guard<std::mutex> lock(mutex);
    if (--running == 0) finished.notify_all();
  };

  std::vector<std::thread> threads;
  threads.reserve(workers);
  for (std::size_t t = 0; t < workers; ++t) threads.emplace_back(work);
  {
    std::unique_lock<std::mutex> lock(mutex);
    if (!finished.wait_until(lock, deadline, [&] { return running == 0; })) {
      // Time is up: the exchanges still running end now, and no new one begins.
      expired = true;
      for (Session* s : asking) s->Cancel();
    }
  }
  for (std::thread& t : threads) t.join();

  std::vector<ScanHit> hits;
  for (auto& a : answers) {
    if (a) hits.push_back(std::move(*a));
  }
  return hits;
}

}  // namespace krt6::cli
