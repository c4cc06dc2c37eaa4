#include "emulator/emulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace krt6::emulator {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kXOFF = 0x13;

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

std::string HexDump(const std::vector<std::uint8_t>& bytes) {
  std::string out;
  char b[4];
  for (std::uint8_t c : bytes) {
    std::snprintf(b, sizeof b, "%02x ", c);
    out += b;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

std::string Printable(const std::vector<std::uint8_t>& bytes) {
  std::string out;
  char b[8];
  for (std::uint8_t c : bytes) {
    if (c >= 0x20 && c < 0x7f && c != '\\') {
      out.push_back(static_cast<char>(c));
    } else {
      std::snprintf(b, sizeof b, "\\x%02x", c);
      out += b;
    }
  }
  return out;
}

Emulator::Emulator(EmulatorOptions options)
    : options_(std::move(options)), model_(options_.Printer), faults_(options_.Spoil) {
  model_.SetVersionRepliesWithoutMarker(faults_.WvWithoutMarker);
}

Emulator::~Emulator() { Stop(); }

void Emulator::Note(const std::string& line) {
  if (options_.Log) options_.Log(line);
}

bool Emulator::Start(std::string& error) {
  if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
    error = Errno("pipe");
    return false;
  }
  switch (options_.Kind) {
    case Transport::kTcp: {
      addrinfo hints{};
      hints.ai_family = AF_UNSPEC;
      hints.ai_socktype = SOCK_STREAM;
      hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
      addrinfo* found = nullptr;
      const std::string service = std::to_string(options_.Port);
      const int rc = ::getaddrinfo(options_.Host.empty() ? nullptr : options_.Host.c_str(),
                                   service.c_str(), &hints, &found);
      if (rc != 0) {
        error = options_.Host + ": " + ::gai_strerror(rc);
        return false;
      }
      listen_fd_ = ::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
      const int on = 1;
      if (listen_fd_ >= 0) ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
      if (listen_fd_ < 0 || ::bind(listen_fd_, found->ai_addr, found->ai_addrlen) != 0 ||
          ::listen(listen_fd_, 4) != 0) {
        error = Errno("listen on " + options_.Host + ":" + service);
        ::freeaddrinfo(found);
        CloseFd(listen_fd_);
        return false;
      }
      ::freeaddrinfo(found);
      sockaddr_storage bound{};
      socklen_t len = sizeof bound;
      ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&bound), &len);
      port_ = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                                : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
      Note("listening on " + options_.Host + ":" + std::to_string(port_));
      break;
    }
    case Transport::kPty: {
      master_fd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
      if (master_fd_ < 0 || ::grantpt(master_fd_) != 0 || ::unlockpt(master_fd_) != 0) {
        error = Errno("pseudo terminal");
        CloseFd(master_fd_);
        return false;
      }
      char name[128];
      if (::ptsname_r(master_fd_, name, sizeof name) != 0) {
        error = Errno("ptsname");
        CloseFd(master_fd_);
        return false;
      }
      device_ = name;
      // Holding the slave open keeps the master from seeing a hang-up between two exchanges; raw
      // mode keeps the line discipline from echoing or translating anything.
      slave_hold_fd_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
      if (slave_hold_fd_ >= 0) {
        termios t{};
        ::tcgetattr(slave_hold_fd_, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(slave_hold_fd_, TCSANOW, &t);
      }
      ::fcntl(master_fd_, F_SETFL, ::fcntl(master_fd_, F_GETFL) | O_NONBLOCK);
      if (!options_.Path.empty()) {
        ::unlink(options_.Path.c_str());
        if (::symlink(name, options_.Path.c_str()) != 0) {
          error = Errno("symlink " + options_.Path);
          CloseFd(slave_hold_fd_);
          CloseFd(master_fd_);
          return false;
        }
      }
      Note("serial line on " + device_ + (options_.Path.empty() ? "" : " (" + options_.Path + ")"));
      break;
    }
    case Transport::kFifo: {
      device_ = options_.Path;
      struct stat st {};
      if (::stat(device_.c_str(), &st) != 0 && ::mkfifo(device_.c_str(), 0660) != 0) {
        error = Errno("mkfifo " + device_);
        return false;
      }
      fifo_fd_ = ::open(device_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      if (fifo_fd_ < 0) {
        error = Errno(device_);
        return false;
      }
      // A writer of our own keeps the reader from seeing end-of-file between two exchanges.
      fifo_hold_fd_ = ::open(device_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      Note("parallel port on FIFO " + device_);
      break;
    }
  }
  thread_ = std::thread([this] { Run(); });
  return true;
}

void Emulator::Stop() {
  stopping_ = true;
  if (wake_[1] >= 0) {
    const char c = 'x';
    [[maybe_unused]] ssize_t n = ::write(wake_[1], &c, 1);
  }
  if (thread_.joinable()) thread_.join();
  CloseFd(listen_fd_);
  CloseFd(master_fd_);
  CloseFd(slave_hold_fd_);
  CloseFd(fifo_fd_);
  CloseFd(fifo_hold_fd_);
  CloseFd(wake_[0]);
  CloseFd(wake_[1]);
  if (options_.Kind == Transport::kPty && !options_.Path.empty()) ::unlink(options_.Path.c_str());
}

std::vector<ReceivedCommand> Emulator::Commands() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return commands_;
}

std::vector<std::string> Emulator::CommandTexts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> texts;
  for (const auto& c : commands_) texts.push_back(c.Text);
  return texts;
}

std::vector<std::uint8_t> Emulator::ReceivedBytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

PrinterState Emulator::State() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return model_.State();
}

void Emulator::SetFaults(const Faults& faults) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_ = faults;
  model_.SetVersionRepliesWithoutMarker(faults.WvWithoutMarker);
}

void Emulator::ClearLog() {
  std::lock_guard<std::mutex> lock(mutex_);
  commands_.clear();
  received_.clear();
}

bool Emulator::WaitMs(int milliseconds) {
  if (milliseconds <= 0) return !stopping_;
  pollfd p{wake_[0], POLLIN, 0};
  ::poll(&p, 1, milliseconds);
  return !stopping_;
}

bool Emulator::SendPaced(int fd, const std::uint8_t* data, std::size_t size, const Faults& f,
                         Clock::time_point& line_free) {
  const bool paced = f.TrickleMs > 0 || f.LineRate > 0;
  const auto byte_time = f.LineRate > 0 ? std::chrono::nanoseconds(10'000'000'000L / f.LineRate)
                                        : std::chrono::nanoseconds(0);
  const auto start = std::max(line_free, Clock::now());
  line_free = start + byte_time * static_cast<long>(size);
  for (std::size_t sent = 0; sent < size;) {
    if (stopping_) return false;
    std::size_t n = paced ? 1 : size - sent;
    if (f.LineRate > 0) {
      // Byte i leaves when the line has carried the i bytes before it.
      const auto due = start + byte_time * static_cast<long>(sent + 1);
      const auto now = Clock::now();
      if (due > now) std::this_thread::sleep_until(due);
    }
    const ssize_t w = options_.Kind == Transport::kTcp ? ::send(fd, data + sent, n, MSG_NOSIGNAL)
                                                       : ::write(fd, data + sent, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) {
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, 50);
        continue;
      }
      Note(Errno("reply"));
      return false;
    }
    sent += static_cast<std::size_t>(w);
    if (f.TrickleMs > 0 && sent < size && !WaitMs(f.TrickleMs)) return false;
  }
  return true;
}

void Emulator::Hangup(int& fd, bool reset) {
  if (options_.Kind == Transport::kTcp && reset) {
    linger l{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  }
  Note(reset ? "connection reset" : "connection closed");
  CloseFd(fd);
  if (options_.Kind == Transport::kPty) {
    // The serial device goes away: the tool's side sees a hang-up, the path disappears.
    CloseFd(slave_hold_fd_);
    if (!options_.Path.empty()) ::unlink(options_.Path.c_str());
  } else if (options_.Kind == Transport::kFifo) {
    CloseFd(fifo_hold_fd_);
    ::unlink(device_.c_str());
  }
}

bool Emulator::Respond(int fd, const std::vector<Reply>& replies, std::size_t command_bytes) {
  Faults f;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    f = faults_;
  }
  // On a paced line the command took this long on the wire before the printer could act on it,
  // and each reply byte leaves when the line has carried the bytes before it.
  Clock::time_point line_free = Clock::now();
  if (f.LineRate > 0) {
    line_free +=
        std::chrono::nanoseconds(static_cast<long>(command_bytes) * 10'000'000'000L / f.LineRate);
  }
  if (f.Stall && options_.Kind == Transport::kPty) {
    // A printer whose buffer is full: it answers every command with XOFF and nothing else, so
    // the tool's next write is held.
    const std::uint8_t x = kXOFF;
    if (::write(fd, &x, 1) == 1) Note("-> XOFF");
    return true;
  }
  for (const Reply& r : replies) {
    if (f.NoReply) {
      Note("  (no reply to " + r.Command + ")");
      continue;
    }
    if (!WaitMs(f.DelayMs)) return false;
    std::vector<std::uint8_t> bytes(f.Noise.begin(), f.Noise.end());
    std::size_t length = r.Bytes.size();
    if (f.CutAfter >= 0) length = std::min(length, static_cast<std::size_t>(f.CutAfter));
    bytes.insert(bytes.end(), r.Bytes.begin(), r.Bytes.begin() + static_cast<long>(length));
    Note("-> " + std::to_string(bytes.size()) + " bytes: " + Printable(bytes));
    if (!SendPaced(fd, bytes.data(), bytes.size(), f, line_free)) return false;
  }
  if (f.HangupAfterReply != Faults::Hangup::kNone && (!replies.empty() || f.NoReply)) {
    return false;
  }
  return true;
}

bool Emulator::Serve(const std::vector<std::uint8_t>& pending, std::vector<Reply>& replies,
                     std::size_t& command_bytes) {
  std::vector<ReceivedCommand> commands;
  command_bytes = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    received_.insert(received_.end(), pending.begin(), pending.end());
    model_.Feed(pending.data(), pending.size(), commands, replies);
    commands_.insert(commands_.end(), commands.begin(), commands.end());
  }
  for (const auto& c : commands) {
    Note("<- " + Printable(c.Raw) + "   [" + HexDump(c.Raw) + "]");
    command_bytes += c.Raw.size();
  }
  return !commands.empty();
}

void Emulator::Run() {
  // Paced replies sleep between bytes; the default timer slack (50 us) would stretch a line's
  // timing noticeably at high rates.
  ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  int client = -1;
  std::vector<std::uint8_t> buffer(4096);
  while (!stopping_) {
    Faults f;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      f = faults_;
    }
    pollfd fds[2] = {{wake_[0], POLLIN, 0}, {-1, 0, 0}};
    int io = -1;
    switch (options_.Kind) {
      case Transport::kTcp: io = client >= 0 ? client : listen_fd_; break;
      case Transport::kPty: io = master_fd_; break;
      case Transport::kFifo: io = fifo_fd_; break;
    }
    if (io >= 0 && !(f.Stall && io != listen_fd_ && options_.Kind != Transport::kPty)) {
      fds[1] = {io, POLLIN, 0};
    }
    const int n = ::poll(fds, fds[1].fd >= 0 ? 2 : 1, 200);
    if (n < 0 && errno != EINTR) break;
    if (stopping_) break;
    if (n <= 0 || fds[1].fd < 0 || fds[1].revents == 0) continue;
    if (options_.Kind == Transport::kTcp && client < 0) {
      client = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client >= 0) {
        ++connections_;
        Note("connection " + std::to_string(connections_.load()) + " accepted");
      }
      continue;
    }
    const ssize_t got = options_.Kind == Transport::kTcp
                            ? ::recv(client, buffer.data(), buffer.size(), 0)
                            : ::read(io, buffer.data(), buffer.size());
    if (got <= 0) {
      if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (options_.Kind == Transport::kTcp) {
        Note("connection closed by the tool");
        CloseFd(client);
        continue;
      }
      // pty: no slave open and no holder (after a hang-up) or a FIFO at end of file.
      if (!WaitMs(50)) break;
      continue;
    }
    const std::vector<std::uint8_t> pending(buffer.begin(), buffer.begin() + got);
    std::vector<Reply> replies;
    std::size_t command_bytes = 0;
    if (!Serve(pending, replies, command_bytes)) continue;
    const int out = options_.Kind == Transport::kTcp ? client : master_fd_;
    if (options_.Kind == Transport::kFifo) {
      if (f.HangupAfterReply != Faults::Hangup::kNone) Hangup(fifo_fd_, false);
      continue;
    }
    if (!Respond(out, replies, command_bytes)) {
      if (stopping_) break;
      if (options_.Kind == Transport::kTcp) {
        Hangup(client, f.HangupAfterReply == Faults::Hangup::kReset);
      } else {
        Hangup(master_fd_, false);
      }
    }
  }
  CloseFd(client);
}

}  // namespace krt6::emulator
