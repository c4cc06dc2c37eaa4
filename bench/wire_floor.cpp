#include "bench/wire_floor.h"

#include <netdb.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "protocol/protocol.h"

namespace krt6::bench {
namespace {

using Clock = std::chrono::steady_clock;

// One exchange as it goes on the wire: each command framed, the bytes of its reply, and whether
// the printer needs its pause after the exchange.
struct Exchange {
  std::vector<std::pair<std::vector<std::uint8_t>, std::size_t>> steps;
  int settle_ms = 0;
  bool closes = true;  // the connection ends with the exchange
};

// The writes carry the start-up records: the same values for every printer, which only the
// bench's own emulated printers, discarded after the run, ever receive.
std::vector<Exchange> Plan(const std::vector<CommandKind>& kinds, Connections connections) {
  std::vector<Exchange> plan;
  bool settled = false;
  for (const CommandKind kind : kinds) {
    const Operation& operation = *FindOperation(kind);
    Exchange exchange;
    for (const OperationStep& step : DefaultSteps(operation, 4)) {
      exchange.steps.emplace_back(FrameCommand(step.command.data(), step.command.size(), false),
                                  step.reply.length);
    }
    exchange.settle_ms = operation.settle != Settle::kNone ? operation.settle_ms : 0;
    // Joined to the exchange before it when neither needs the pause.
    if (connections == Connections::kOneAfterSettling && settled && plan.back().settle_ms == 0 &&
        exchange.settle_ms == 0) {
      plan.back().closes = false;
    }
    settled = settled || exchange.settle_ms > 0;
    plan.push_back(std::move(exchange));
  }
  return plan;
}

struct Printer {
  sockaddr_storage address{};
  socklen_t address_length = 0;
  int fd = -1;
  std::uint32_t watched = 0;  // the events fd is registered for; 0: not registered yet
  std::size_t exchange = 0;
  std::size_t step = 0;
  std::size_t awaited = 0;  // reply bytes still to come; 0 while connecting
  bool connecting = false;
  Clock::time_point resume{};  // after a pause
  bool pausing = false;
  bool done = false;
};

class Floor {
 public:
  explicit Floor(std::vector<Exchange> plan) : plan_(std::move(plan)) {}
  ~Floor() {
    for (Printer& printer : printers_) {
      if (printer.fd >= 0) ::close(printer.fd);
    }
    if (epoll_ >= 0) ::close(epoll_);
  }

  double Run(const std::vector<std::string>& addresses) {
    for (const std::string& text : addresses) {
      const std::size_t colon = text.rfind(':');
      addrinfo hints{};
      hints.ai_socktype = SOCK_STREAM;
      hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
      addrinfo* found = nullptr;
      if (colon == std::string::npos ||
          ::getaddrinfo(text.substr(0, colon).c_str(), text.substr(colon + 1).c_str(), &hints,
                        &found) != 0) {
        std::fprintf(stderr, "wire floor: %s is not HOST:PORT\n", text.c_str());
        return -1;
      }
      Printer printer;
      std::memcpy(&printer.address, found->ai_addr, found->ai_addrlen);
      printer.address_length = found->ai_addrlen;
      ::freeaddrinfo(found);
      printers_.push_back(printer);
    }
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    const Clock::time_point start = Clock::now();
    const Clock::time_point give_up = start + std::chrono::seconds(30);
    for (Printer& printer : printers_) {
      if (!Connect(printer)) return -1;
    }
    std::size_t done = 0;
    epoll_event events[256];
    while (done < printers_.size()) {
      if (Clock::now() > give_up) return -1;
      const int n = ::epoll_wait(epoll_, events, 256, 1);
      for (int i = 0; i < n; ++i) {
        if (!Advance(*static_cast<Printer*>(events[i].data.ptr))) return -1;
      }
      const Clock::time_point now = Clock::now();
      done = 0;
      for (Printer& printer : printers_) {
        if (printer.pausing && now >= printer.resume) {
          printer.pausing = false;
          if (!Connect(printer)) return -1;
        }
        done += printer.done ? 1 : 0;
      }
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  }

 private:
  // Registers the printer's connection for `events`; no call when it already is, so that the
  // floor spends no system call a client could save.
  bool Watch(Printer& printer, std::uint32_t events) {
    if (printer.watched == events) return true;
    epoll_event event{};
    event.events = events;
    event.data.ptr = &printer;
    const int op = printer.watched == 0 ? EPOLL_CTL_ADD : EPOLL_CTL_MOD;
    printer.watched = events;
    return ::epoll_ctl(epoll_, op, printer.fd, &event) == 0;
  }

  bool Connect(Printer& printer) {
    printer.fd = ::socket(printer.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (printer.fd < 0) return false;
    const int rc = ::connect(printer.fd, reinterpret_cast<const sockaddr*>(&printer.address),
                             printer.address_length);
    if (rc != 0 && errno != EINPROGRESS) return false;
    printer.connecting = true;
    printer.step = 0;
    printer.watched = 0;
    return Watch(printer, EPOLLOUT);
  }

  // Sends commands until one awaits its reply or the exchange ends.
  bool Send(Printer& printer) {
    for (;;) {
      const Exchange& exchange = plan_[printer.exchange];
      if (printer.step == exchange.steps.size()) return EndExchange(printer);
      const auto& [framed, reply] = exchange.steps[printer.step];
      if (::send(printer.fd, framed.data(), framed.size(), MSG_NOSIGNAL) !=
          static_cast<ssize_t>(framed.size())) {
        return false;
      }
      if (reply > 0) {
        printer.awaited = reply;
        return Watch(printer, EPOLLIN);
      }
      ++printer.step;
    }
  }

  bool EndExchange(Printer& printer) {
    const Exchange& exchange = plan_[printer.exchange++];
    printer.step = 0;
    if (exchange.closes) {
      ::close(printer.fd);
      printer.fd = -1;
    }
    if (printer.exchange == plan_.size()) {
      printer.done = true;
      return true;
    }
    if (exchange.settle_ms > 0) {
      printer.pausing = true;
      printer.resume = Clock::now() + std::chrono::milliseconds(exchange.settle_ms);
      return true;
    }
    return exchange.closes ? Connect(printer) : Send(printer);
  }

  bool Advance(Printer& printer) {
    if (printer.connecting) {
      printer.connecting = false;
      return Send(printer);
    }
    std::uint8_t buffer[4096];
    const ssize_t n = ::recv(printer.fd, buffer, sizeof buffer, 0);
    if (n <= 0) return n < 0 && errno == EAGAIN;
    printer.awaited -= std::min(printer.awaited, static_cast<std::size_t>(n));
    if (printer.awaited > 0) return true;
    ++printer.step;
    return Send(printer);
  }

  std::vector<Exchange> plan_;
  std::vector<Printer> printers_;
  int epoll_ = -1;
};

}  // namespace

double WireFloorMs(const std::vector<std::string>& addresses, const std::vector<CommandKind>& kinds,
                   Connections connections) {
  Floor floor(Plan(kinds, connections));
  return floor.Run(addresses);
}

}  // namespace krt6::bench
