#include "link/tcp_link.h"

#include "link/link_kinds.h"
#include "link/target_forms.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>

namespace krt6 {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::string Endpoint(const std::string& host, std::uint16_t port) {
  const bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

// An IPv6 address may be written in brackets, as in a URL ("[::1]"); the resolver takes it bare.
std::string BareHost(const std::string& host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    return host.substr(1, host.size() - 2);
  }
  return host;
}

}  // namespace

LinkHandle TcpLink::Open(Result& failure) {
  socket_.Reset();
  const std::string host = BareHost(settings_.IPAddr);
  const auto port =
      static_cast<std::uint16_t>(static_cast<std::uint32_t>(settings_.Port) & 0xffffu);
  peer_ = Endpoint(host, port);
  if (settings_.IPAddr.empty()) {
    failure = Failure(Cause::kBadSettings, {}, "No printer address is set.");
    return kInvalidLinkHandle;
  }

  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  // An address written as numbers needs no resolver (nor its buffers and its look at the
  // interfaces): a fleet opens hundreds at once.
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
  if (rc == EAI_NONAME) {
    // A host name. The resolver cannot be interrupted: a cancel during the lookup takes effect
    // when the resolver answers, within its own limits.
    hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
    rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
  }
  if (rc == EAI_NONAME || rc == EAI_ADDRFAMILY) {
    // AI_ADDRCONFIG hides loopback-only setups; ask again without it.
    hints.ai_flags = AI_NUMERICSERV;
    rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
  }
  if (rc != 0) {
    if (rc == EAI_SYSTEM) {
      failure = SystemFailure(host, errno, {}, true);
    } else {
      failure = Failure(rc == EAI_AGAIN ? Cause::kUnreachable : Cause::kNotFound, host,
                        ::gai_strerror(rc));
    }
    return kInvalidLinkHandle;
  }
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, ::freeaddrinfo);

  const auto deadline = Clock::now() + milliseconds(timings_.ConnectMs);
  int last_errno = ETIMEDOUT;
  for (const addrinfo* a = list.get(); a != nullptr; a = a->ai_next) {
    if (Clock::now() >= deadline) break;
    UniqueFd fd(
        ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol));
    if (!fd.Valid()) {
      last_errno = errno;
      continue;
    }
    int r = ::connect(fd.Get(), a->ai_addr, a->ai_addrlen);
    if (r != 0 && errno != EINPROGRESS && errno != EINTR) {
      last_errno = errno;
      continue;
    }
    if (r != 0) {
      const int revents = PollOne(fd.Get(), POLLOUT, deadline, Cancellation());
      if (revents <= 0) {
        last_errno = revents == 0 ? ETIMEDOUT : errno;
        if (last_errno == ECANCELED) break;
        continue;
      }
      int error = 0;
      socklen_t len = sizeof error;
      if (::getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &error, &len) != 0) error = errno;
      if (error != 0) {
        last_errno = error;
        continue;
      }
    }
    socket_ = std::move(fd);
    return kHandle;
  }
  failure = SystemFailure(peer_, last_errno,
                          last_errno == ETIMEDOUT
                              ? "No answer within " + std::to_string(timings_.ConnectMs) + " ms."
                              : std::string(),
                          true);
  return kInvalidLinkHandle;
}

std::size_t TcpLink::Write(LinkHandle, const std::uint8_t* data, std::size_t size,
                           Result& failure) {
  if (!socket_.Valid()) {
    failure = Failure(Cause::kOther, peer_, "the connection is not open.");
    return 0;
  }
  const auto deadline = Clock::now() + milliseconds(timings_.WriteMs);
  std::size_t sent = 0;
  while (sent < size) {
    const ssize_t n = ::send(socket_.Get(), data + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      failure = SystemFailure(peer_, errno);
      return sent;
    }
    const int revents = PollOne(socket_.Get(), POLLOUT, deadline, Cancellation());
    if (revents == 0) {
      failure = Failure(
          Cause::kTimedOut, peer_,
          "the printer did not take the data within " + std::to_string(timings_.WriteMs) + " ms.");
      return sent;
    }
    if (revents < 0) {
      failure = SystemFailure(peer_, errno);
      return sent;
    }
  }
  return sent;
}

std::size_t TcpLink::Fill(LinkHandle, std::uint8_t* out, std::size_t capacity,
                          Clock::time_point until, Result& failure) {
  if (!socket_.Valid()) {
    failure = Failure(Cause::kOther, peer_, "the connection is not open.");
    return 0;
  }
  const auto deadline = std::min(Clock::now() + milliseconds(timings_.WaitMs), until);
  for (;;) {
    const int revents = PollOne(socket_.Get(), POLLIN, deadline, Cancellation());
    if (revents == 0) {
      failure = Failure(Cause::kTimedOut, peer_,
                        "no reply within " + std::to_string(timings_.WaitMs) + " ms.");
      return 0;
    }
    if (revents < 0) {
      failure = SystemFailure(peer_, errno);
      return 0;
    }
    const ssize_t n = ::recv(socket_.Get(), out, std::min(capacity, kMaxRead), MSG_DONTWAIT);
    if (n > 0) return static_cast<std::size_t>(n);
    if (n == 0) {
      failure = Failure(Cause::kGone, peer_, "the printer closed the connection.");
      return 0;
    }
    if (errno == EINTR || errno == EAGAIN) continue;
    failure = SystemFailure(peer_, errno);
    return 0;
  }
}

void TcpLink::Close(LinkHandle) { socket_.Reset(); }

}  // namespace krt6

namespace krt6 {
namespace {

std::string TcpHint(Cause cause) {
  switch (cause) {
    case Cause::kNotFound: return "Check the printer's address.";
    case Cause::kGone: return "The printer ended the connection.";
    case Cause::kBusy: return "The port is held by another program.";
    case Cause::kTimedOut:
    case Cause::kRefused:
    case Cause::kUnreachable:
      return "Check the printer's address and port and that it is switched on.";
    case Cause::kBadSettings: return "Enter the printer's address in the Ethernet setup.";
    default: return {};
  }
}

}  // namespace

const LinkKindInfo& TcpLinkKind() {
  static const LinkKindInfo kind{
      .kind = lkEthernet,
      .item = {"ETHERNET", "LAN"},
      .prefix = "socket://",
      .uri_forms = "socket://HOST[:PORT] (or HOST, HOST:PORT, [IPv6]:PORT)",
      .capabilities = TcpLink::kCapabilities,
      .hint = TcpHint,
      .read_target = ReadTcpTarget,
      .printer_key = TcpPrinterKey,
      .make = [](const LinkSettings& settings,
                 const SystemLinkOptions& options) -> std::unique_ptr<LinkBackend> {
        return std::make_unique<TcpLink>(options.Tcp, settings.Tcp);
      }};
  return kind;
}

}  // namespace krt6
