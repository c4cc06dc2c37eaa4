#include "emulator/emulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>

namespace krt6::emulator {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

constexpr std::uint8_t kXOFF = 0x13;
// A connection whose replies pile up unread this far is not read from until they drain.
constexpr std::size_t kMaxQueued = 64 * 1024;
// A wake-up from a timer comes tens of microseconds late on a busy machine, which would add to
// every paced exchange: the last byte of a paced reply is waited for this long by watching the
// clock instead.
constexpr nanoseconds kOnTimeWindow = std::chrono::microseconds(60);

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// The time one byte takes on a line at `rate` bit/s (ten bits a byte); zero for an unpaced line.
nanoseconds ByteTime(int rate) {
  return rate > 0 ? nanoseconds(10'000'000'000LL / rate) : nanoseconds(0);
}

nanoseconds Times(nanoseconds unit, std::size_t count) {
  return unit * static_cast<long long>(count);
}

// The target of the symlink at `path`, or empty when there is no symlink there.
std::string LinkTarget(const std::string& path) {
  char target[256];
  const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
  return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

bool IsPtsName(const std::string& target) {
  constexpr const char kPts[] = "/dev/pts/";
  const std::size_t prefix = sizeof kPts - 1;
  if (target.size() <= prefix || target.compare(0, prefix, kPts) != 0) return false;
  return std::all_of(target.begin() + static_cast<long>(prefix), target.end(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

// The state of printer `index` of a varied fleet: its own IP address and host name.
PrinterState Varied(PrinterState state, int index) {
  auto& ip = state.Lan.Ip;
  std::uint32_t address = 0;
  for (int part : ip) address = (address << 8) | static_cast<std::uint32_t>(part & 0xff);
  address += static_cast<std::uint32_t>(index);
  for (int i = 3; i >= 0; --i) {
    ip[i] = static_cast<int>(address & 0xff);
    address >>= 8;
  }
  // Letters and digits only, at most 15 characters: a name the tool can send back unchanged.
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "%04d", (index + 1) % 10000);
  const std::string name = state.Lan.HostName.empty() ? "KRT6" : state.Lan.HostName;
  state.Lan.HostName = name.substr(0, 15 - std::strlen(suffix)) + suffix;
  return state;
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

std::string PtyLinkProblem(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return {};
  if (S_ISLNK(st.st_mode) && IsPtsName(LinkTarget(path))) return {};
  return path + " exists and is not a link to a pseudo terminal; it is left as it is";
}

std::string FifoProblem(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || S_ISFIFO(st.st_mode)) return {};
  return path + " exists and is not a FIFO";
}

// What the serving thread watches: a printer's listening socket or a connection.
struct Emulator::Watched {
  explicit Watched(bool is_listener) : listener(is_listener) {}
  bool listener;
  std::uint32_t events = 0;  // what it is registered for; 0 when it is not
};

struct Emulator::Printer : Emulator::Watched {
  explicit Printer(const PrinterState& state) : Watched(true), model(state) {}
  PrinterModel model;
  std::vector<ReceivedCommand> commands;
  std::vector<std::uint8_t> received;
  int connections = 0;
  int listen_fd = -1;
  int port = 0;
  std::string tag;  // "[port] " in the log when there are several printers
  Clock::time_point accept_paused_until{};
};

// One TCP client, the pseudo terminal's master or the FIFO: its own framing, its own line.
struct Emulator::Connection : Emulator::Watched {
  Connection() : Watched(false) {}
  struct OutByte {
    std::uint8_t byte;
    Clock::time_point due;  // when the line has carried it to the other side
    bool on_time = false;   // the last byte of a paced reply: not a microsecond late
  };
  int fd = -1;
  Printer* printer = nullptr;
  CommandFramer framer;
  Clock::time_point frame_start{};  // when the first byte of the frame in progress was read
  Clock::time_point in_free{};      // when the line has carried every byte received so far
  Clock::time_point out_free{};     // when the line will have carried every queued reply byte
  std::deque<OutByte> out;
  bool want_write = false;  // the last write would have blocked: wait until it can go on
  bool closing = false;     // hang up once the queued bytes are out
  Faults::Hangup hangup = Faults::Hangup::kNone;
  Clock::time_point last_activity{};
  Clock::time_point quiet_until{};  // pty or FIFO without another side: look again later
  bool closed = false;
};

Emulator::Emulator(EmulatorOptions options)
    : options_(std::move(options)), faults_(options_.Spoil) {
  const int count = std::max(1, options_.Count);
  for (int i = 0; i < count; ++i) {
    auto printer =
        std::make_unique<Printer>(options_.Vary ? Varied(options_.Printer, i) : options_.Printer);
    printer->model.SetVersionRepliesWithoutMarker(faults_.WvWithoutMarker);
    printer->model.SetIgnoreSets(faults_.IgnoreSets);
    printers_.push_back(std::move(printer));
  }
}

Emulator::~Emulator() { Stop(); }

void Emulator::Note(const Printer* printer, const std::string& line) const {
  if (options_.Log) options_.Log(printer != nullptr ? printer->tag + line : line);
}

bool Emulator::Start(std::string& error) {
  if (wake_[0] >= 0) {
    error = "the emulator is already running";
    return false;
  }
  if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
    error = Errno("pipe");
    return false;
  }
  epoll_fd_ = ::epoll_create1(EPOLL_CLOEXEC);
  if (epoll_fd_ < 0) {
    error = Errno("epoll");
    Stop();
    return false;
  }
  if (options_.Kind != Transport::kTcp && printers_.size() > 1) {
    error = "several printers need TCP";
    Stop();
    return false;
  }
  bool started = false;
  switch (options_.Kind) {
    case Transport::kTcp: started = StartTcp(error); break;
    case Transport::kPty: started = StartPty(error); break;
    case Transport::kFifo: started = StartFifo(error); break;
  }
  if (!started) {
    Stop();
    return false;
  }
  thread_ = std::thread([this] { Run(); });
  return true;
}

bool Emulator::StartTcp(std::string& error) {
  if (options_.Port < 0 || options_.Port > 65535 ||
      (options_.Port > 0 && options_.Port + Count() - 1 > 65535)) {
    error = "ports " + std::to_string(options_.Port) + " and on do not fit below 65536";
    return false;
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const int rc =
      ::getaddrinfo(options_.Host.empty() ? nullptr : options_.Host.c_str(), "0", &hints, &found);
  if (rc != 0) {
    error = options_.Host + ": " + ::gai_strerror(rc);
    return false;
  }
  sockaddr_storage address{};
  std::memcpy(&address, found->ai_addr, found->ai_addrlen);
  const socklen_t address_length = found->ai_addrlen;
  const int family = found->ai_family;
  ::freeaddrinfo(found);
  auto port_field = [&]() -> in_port_t& {
    return family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                              : reinterpret_cast<sockaddr_in*>(&address)->sin_port;
  };
  for (int i = 0; i < Count(); ++i) {
    Printer& p = *printers_[static_cast<std::size_t>(i)];
    const int wanted = options_.Port == 0 ? 0 : options_.Port + i;
    port_field() = htons(static_cast<std::uint16_t>(wanted));
    p.listen_fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const int on = 1;
    if (p.listen_fd >= 0) ::setsockopt(p.listen_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (p.listen_fd < 0 ||
        ::bind(p.listen_fd, reinterpret_cast<sockaddr*>(&address), address_length) != 0 ||
        ::listen(p.listen_fd, 64) != 0) {
      error = Errno("listen on " + options_.Host + ":" + std::to_string(wanted));
      return false;
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(p.listen_fd, reinterpret_cast<sockaddr*>(&bound), &length);
    p.port = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                               : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    if (Count() > 1) p.tag = "[" + std::to_string(p.port) + "] ";
    Note(&p, "listening on " + options_.Host + ":" + std::to_string(p.port));
  }
  return true;
}

bool Emulator::StartPty(std::string& error) {
  if (!options_.Path.empty()) {
    error = PtyLinkProblem(options_.Path);
    if (!error.empty()) return false;
  }
  auto connection = std::make_unique<Connection>();
  Connection& c = *connection;
  c.printer = printers_[0].get();
  c.fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  char name[128];
  if (c.fd < 0 || ::grantpt(c.fd) != 0 || ::unlockpt(c.fd) != 0 ||
      ::ptsname_r(c.fd, name, sizeof name) != 0) {
    error = Errno("pseudo terminal");
    CloseFd(c.fd);
    return false;
  }
  // Holding the slave open keeps the master from seeing a hang-up between two exchanges; raw
  // mode keeps the line discipline from echoing or translating anything.
  slave_hold_fd_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_hold_fd_ >= 0) {
    termios t{};
    ::tcgetattr(slave_hold_fd_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave_hold_fd_, TCSANOW, &t);
  }
  ::fcntl(c.fd, F_SETFL, ::fcntl(c.fd, F_GETFL) | O_NONBLOCK);
  if (!options_.Path.empty()) {
    // Only a link to a pseudo terminal (one a previous run left) is replaced.
    if (!LinkTarget(options_.Path).empty()) ::unlink(options_.Path.c_str());
    if (::symlink(name, options_.Path.c_str()) != 0) {
      error = Errno("symlink " + options_.Path);
      CloseFd(c.fd);
      return false;
    }
  }
  device_ = name;
  connections_.push_back(std::move(connection));
  Note(nullptr,
       "serial line on " + device_ + (options_.Path.empty() ? "" : " (" + options_.Path + ")"));
  return true;
}

bool Emulator::StartFifo(std::string& error) {
  error = FifoProblem(options_.Path);
  if (!error.empty()) return false;
  struct stat st {};
  if (::stat(options_.Path.c_str(), &st) != 0) {
    if (::mkfifo(options_.Path.c_str(), 0660) != 0 || ::lstat(options_.Path.c_str(), &st) != 0) {
      error = Errno("mkfifo " + options_.Path);
      return false;
    }
    fifo_made_ = true;
    fifo_device_ = st.st_dev;
    fifo_inode_ = st.st_ino;
  }
  auto connection = std::make_unique<Connection>();
  connection->printer = printers_[0].get();
  connection->fd = ::open(options_.Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  device_ = options_.Path;
  if (connection->fd < 0) {
    error = Errno(options_.Path);
    return false;
  }
  // A writer of our own keeps the reader from seeing end-of-file between two exchanges.
  fifo_hold_fd_ = ::open(device_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  connections_.push_back(std::move(connection));
  Note(nullptr, "parallel port on FIFO " + device_);
  return true;
}

void Emulator::Stop() {
  stopping_ = true;
  if (wake_[1] >= 0) {
    const char c = 'x';
    [[maybe_unused]] ssize_t n = ::write(wake_[1], &c, 1);
  }
  if (thread_.joinable()) thread_.join();
  for (auto& c : connections_) CloseFd(c->fd);
  connections_.clear();
  for (auto& p : printers_) CloseFd(p->listen_fd);
  CloseFd(slave_hold_fd_);
  CloseFd(fifo_hold_fd_);
  CloseFd(wake_[0]);
  CloseFd(wake_[1]);
  CloseFd(epoll_fd_);
  RemovePtyLink();
  RemoveOwnFifo();
}

void Emulator::RemoveOwnFifo() {
  // Only the FIFO this emulator created, still the same node, is removed.
  if (!fifo_made_) return;
  struct stat st {};
  if (::lstat(device_.c_str(), &st) == 0 && S_ISFIFO(st.st_mode) && st.st_dev == fifo_device_ &&
      st.st_ino == fifo_inode_) {
    ::unlink(device_.c_str());
  }
  fifo_made_ = false;
}

void Emulator::RemovePtyLink() {
  // Only the link this emulator placed, still pointing at its own device, is removed.
  if (options_.Kind != Transport::kPty || options_.Path.empty() || device_.empty()) return;
  if (LinkTarget(options_.Path) == device_) ::unlink(options_.Path.c_str());
}

int Emulator::Port(int printer) const {
  if (printer < 0 || printer >= Count()) return 0;
  return printers_[static_cast<std::size_t>(printer)]->port;
}

std::vector<ReceivedCommand> Emulator::Commands(int printer) const {
  if (printer < 0 || printer >= Count()) return {};
  std::lock_guard<std::mutex> lock(mutex_);
  return printers_[static_cast<std::size_t>(printer)]->commands;
}

std::vector<std::string> Emulator::CommandTexts(int printer) const {
  std::vector<std::string> texts;
  for (const auto& c : Commands(printer)) texts.push_back(c.Text);
  return texts;
}

std::vector<std::uint8_t> Emulator::ReceivedBytes(int printer) const {
  if (printer < 0 || printer >= Count()) return {};
  std::lock_guard<std::mutex> lock(mutex_);
  return printers_[static_cast<std::size_t>(printer)]->received;
}

int Emulator::Connections(int printer) const {
  if (printer < 0 || printer >= Count()) return 0;
  std::lock_guard<std::mutex> lock(mutex_);
  return printers_[static_cast<std::size_t>(printer)]->connections;
}

PrinterState Emulator::State(int printer) const {
  if (printer < 0 || printer >= Count()) return {};
  std::lock_guard<std::mutex> lock(mutex_);
  return printers_[static_cast<std::size_t>(printer)]->model.State();
}

void Emulator::SetFaults(const Faults& faults) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_ = faults;
  for (auto& p : printers_) {
    p->model.SetVersionRepliesWithoutMarker(faults.WvWithoutMarker);
    p->model.SetIgnoreSets(faults.IgnoreSets);
  }
}

bool Emulator::SetStatus(int printer, char first, char second) {
  if (printer < -1 || printer >= Count()) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  for (int i = 0; i < Count(); ++i) {
    if (printer != -1 && i != printer) continue;
    char* status = printers_[static_cast<std::size_t>(i)]->model.MutableState().Status;
    status[0] = first;
    status[1] = second;
  }
  return true;
}

void Emulator::ClearLog() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& p : printers_) {
    p->commands.clear();
    p->received.clear();
  }
}

void Emulator::Accept(Printer& p, Clock::time_point now) {
  for (;;) {
    const int fd = ::accept4(p.listen_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        // Out of descriptors or memory: leave the waiting clients queued for a while.
        Note(&p, Errno("accept"));
        p.accept_paused_until = now + milliseconds(100);
      }
      return;
    }
    // Replies go out as the line carries them, not held back to be joined with later bytes.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    auto c = std::make_unique<Connection>();
    c->fd = fd;
    c->printer = &p;
    c->last_activity = now;
    int number = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      number = ++p.connections;
    }
    Note(&p, "connection " + std::to_string(number) + " accepted");
    connections_.push_back(std::move(c));
  }
}

void Emulator::Receive(Connection& c, Clock::time_point now) {
  std::uint8_t buffer[4096];
  const bool tcp = options_.Kind == Transport::kTcp;
  const ssize_t got =
      tcp ? ::recv(c.fd, buffer, sizeof buffer, 0) : ::read(c.fd, buffer, sizeof buffer);
  if (got > 0) {
    c.last_activity = now;
    // A serial port leaves exclusive mode when the tool closes it; a pseudo terminal keeps it
    // for as long as its master is open, which would shut a tool that is not root out of its
    // next exchange. The tool has the line by now: the mode is dropped, before any reply goes
    // out, since a tool that has its reply may close and open the line again at once.
    if (slave_hold_fd_ >= 0) ::ioctl(slave_hold_fd_, TIOCNXCL);
    Process(c, buffer, static_cast<std::size_t>(got), now);
    return;
  }
  if (got < 0 && (errno == EINTR || errno == EAGAIN)) return;
  if (tcp) {
    Close(c, got == 0 ? "connection closed by the tool" : Errno("connection").c_str());
    return;
  }
  // pty or FIFO with no other side open just now: look again a little later.
  c.quiet_until = now + milliseconds(50);
}

void Emulator::Process(Connection& c, const std::uint8_t* data, std::size_t size,
                       Clock::time_point now) {
  Printer& p = *c.printer;
  std::vector<ReceivedCommand> commands;
  std::vector<std::size_t> ends;
  const bool was_in_frame = c.framer.InFrame();
  c.framer.Feed(data, size, commands, &ends);

  Faults f;
  std::vector<std::vector<Reply>> replies(commands.size());
  {
    std::lock_guard<std::mutex> lock(mutex_);
    f = faults_;
    // The line carries the bytes one after another: these begin once it has carried the earlier
    // ones, and no earlier than now.
    const nanoseconds byte_time = ByteTime(f.LineRate);
    const Clock::time_point chunk_start = std::max(now, c.in_free);
    c.in_free = chunk_start + Times(byte_time, size);
    if (options_.Record) p.received.insert(p.received.end(), data, data + size);
    for (std::size_t i = 0; i < commands.size(); ++i) {
      ReceivedCommand& command = commands[i];
      command.Arrived = i == 0 && was_in_frame ? c.frame_start : now;
      command.LineDone = chunk_start + Times(byte_time, ends[i]);
      p.model.Execute(command.Text, replies[i]);
      if (options_.Record) p.commands.push_back(command);
    }
  }
  // A frame still open began in these bytes, unless it is the one that was open before.
  if (c.framer.InFrame() && !(was_in_frame && commands.empty())) c.frame_start = now;
  if (commands.empty()) return;
  const bool logging = static_cast<bool>(options_.Log);
  for (const auto& command : commands) {
    if (logging) Note(&p, "<- " + Printable(command.Raw) + "   [" + HexDump(command.Raw) + "]");
  }
  if (options_.Kind == Transport::kFifo) {
    if (f.HangupAfterReply != Faults::Hangup::kNone) Hangup(c, Faults::Hangup::kClose);
    return;
  }
  if (f.Stall && options_.Kind == Transport::kPty) {
    // A printer whose buffer is full: it answers every command with XOFF and nothing else, so
    // the tool's next write is held.
    c.out.push_back({kXOFF, now});
    Note(&p, "-> XOFF");
    Flush(c, now);
    return;
  }
  bool replied = false;
  for (std::size_t i = 0; i < commands.size(); ++i) {
    // A reply waits for its own command to have come over the line, charged from the moment the
    // command began to arrive: a pseudo terminal hands over the tool's bytes at once, where a
    // real line would have held the tool until its earlier commands had left.
    const Clock::time_point heard =
        std::max(now, commands[i].Arrived + Times(ByteTime(f.LineRate), commands[i].Raw.size()));
    for (const Reply& r : replies[i]) {
      replied = true;
      if (f.NoReply) {
        if (logging) Note(&p, "  (no reply to " + r.Command + ")");
        continue;
      }
      std::vector<std::uint8_t> bytes(f.Noise.begin(), f.Noise.end());
      std::size_t length = r.Bytes.size();
      if (f.CutAfter >= 0) length = std::min(length, static_cast<std::size_t>(f.CutAfter));
      bytes.insert(bytes.end(), r.Bytes.begin(), r.Bytes.begin() + static_cast<long>(length));
      if (logging) Note(&p, "-> " + std::to_string(bytes.size()) + " bytes: " + Printable(bytes));
      Queue(c, bytes, heard + milliseconds(f.DelayMs), f);
    }
  }
  if (f.HangupAfterReply != Faults::Hangup::kNone && (replied || f.NoReply)) {
    c.closing = true;
    c.hangup = f.HangupAfterReply;
  }
  if (!c.want_write) Flush(c, now);
}

void Emulator::Queue(Connection& c, const std::vector<std::uint8_t>& bytes, Clock::time_point ready,
                     const Faults& f) {
  // On a paced line each byte reaches the other side when the line has carried it, after the
  // bytes before it; a trickling printer pauses between two bytes as well.
  const nanoseconds byte_time = ByteTime(f.LineRate);
  const nanoseconds pause = milliseconds(std::max(0, f.TrickleMs));
  const Clock::time_point start = std::max(ready, c.out_free);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    c.out.push_back({bytes[i], start + Times(byte_time, i + 1) + Times(pause, i),
                     byte_time.count() > 0 && i + 1 == bytes.size()});
  }
  c.out_free = c.out.empty() ? start : std::max(start, c.out.back().due);
}

void Emulator::Flush(Connection& c, Clock::time_point now) {
  const bool tcp = options_.Kind == Transport::kTcp;
  while (!c.out.empty() && c.out.front().due <= now) {
    std::uint8_t buffer[4096];
    std::size_t n = 0;
    for (auto it = c.out.begin(); it != c.out.end() && n < sizeof buffer && it->due <= now; ++it) {
      buffer[n++] = it->byte;
    }
    const ssize_t w =
        tcp ? ::send(c.fd, buffer, n, MSG_NOSIGNAL | MSG_DONTWAIT) : ::write(c.fd, buffer, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        c.want_write = true;
        return;
      }
      if (tcp) {
        Close(c, Errno("reply").c_str());
      } else {
        Note(c.printer, Errno("reply"));
        Hangup(c, Faults::Hangup::kClose);
      }
      return;
    }
    c.out.erase(c.out.begin(), c.out.begin() + w);
    c.last_activity = now;
    if (static_cast<std::size_t>(w) < n) {
      c.want_write = true;
      return;
    }
  }
  if (c.out.empty() && c.closing) Hangup(c, c.hangup);
}

void Emulator::Close(Connection& c, const char* why) {
  Note(c.printer, why);
  // Closing a descriptor takes it out of the epoll set only when no other descriptor shares its
  // open file: a child forked by the process that hosts the emulator (a test starting a program)
  // holds copies until it execs. Left registered, the connection freed below would still be
  // reported.
  if (c.events != 0) ::epoll_ctl(epoll_fd_, EPOLL_CTL_DEL, c.fd, nullptr);
  c.events = 0;
  CloseFd(c.fd);
  c.closed = true;
}

void Emulator::Hangup(Connection& c, Faults::Hangup kind) {
  if (options_.Kind == Transport::kTcp && kind == Faults::Hangup::kReset) {
    linger l{1, 0};
    ::setsockopt(c.fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  }
  Close(c, kind == Faults::Hangup::kReset ? "connection reset" : "connection closed");
  if (options_.Kind == Transport::kPty) {
    // The serial device goes away: the tool's side sees a hang-up, the link disappears.
    CloseFd(slave_hold_fd_);
    RemovePtyLink();
  } else if (options_.Kind == Transport::kFifo) {
    // The parallel port goes away with its device node.
    CloseFd(fifo_hold_fd_);
    struct stat st {};
    if (::lstat(device_.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) ::unlink(device_.c_str());
  }
}

bool Emulator::Watch(Watched& w, int fd, std::uint32_t events) {
  if (events == w.events) return true;
  epoll_event e{};
  e.events = events;
  e.data.ptr = &w;
  const int op = w.events == 0 ? EPOLL_CTL_ADD : events == 0 ? EPOLL_CTL_DEL : EPOLL_CTL_MOD;
  if (::epoll_ctl(epoll_fd_, op, fd, &e) != 0) return false;
  w.events = events;
  return true;
}

void Emulator::Run() {
  // Paced replies wait for each byte's moment; the default timer slack (50 us) would stretch a
  // line's timing noticeably at high rates.
  ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  const bool tcp = options_.Kind == Transport::kTcp;
  const nanoseconds idle_limit = milliseconds(tcp ? std::max(0, options_.IdleLimitMs) : 0);
  epoll_event wake{};
  wake.events = EPOLLIN;
  wake.data.ptr = nullptr;
  ::epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, wake_[0], &wake);
  epoll_event events[64];
  while (!stopping_) {
    bool stall = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stall = faults_.Stall && options_.Kind != Transport::kPty;
    }
    Clock::time_point now = Clock::now();
    Clock::time_point deadline = now + std::chrono::seconds(1);
    // What each descriptor is watched for, and the earliest moment something is due.
    for (auto& p : printers_) {
      if (p->listen_fd < 0) continue;
      const bool paused = p->accept_paused_until > now;
      if (paused) deadline = std::min(deadline, p->accept_paused_until);
      Watch(*p, p->listen_fd, paused ? 0u : static_cast<std::uint32_t>(EPOLLIN));
    }
    for (auto& connection : connections_) {
      Connection& c = *connection;
      std::uint32_t wanted = 0;
      if (stall) {
        if (tcp) wanted |= EPOLLRDHUP;  // not read from, but a client that leaves is let go
      } else if (!c.closing && c.out.size() < kMaxQueued) {
        if (c.quiet_until <= now) {
          wanted |= EPOLLIN;
        } else {
          deadline = std::min(deadline, c.quiet_until);
        }
      }
      if (c.want_write) {
        wanted |= EPOLLOUT;
      } else if (!c.out.empty()) {
        const auto& next = c.out.front();
        deadline = std::min(deadline, next.on_time ? next.due - kOnTimeWindow : next.due);
      }
      if (idle_limit.count() > 0) deadline = std::min(deadline, c.last_activity + idle_limit);
      // A descriptor watched for nothing still reports a hang-up; an empty set stays registered
      // that way rather than being removed.
      if (!Watch(c, c.fd, wanted == 0 ? static_cast<std::uint32_t>(EPOLLET) : wanted)) {
        Close(c, Errno("epoll").c_str());
      }
    }
    const auto wait = std::max(nanoseconds(0), deadline - now);
    const timespec timeout{static_cast<time_t>(wait.count() / 1'000'000'000),
                           static_cast<long>(wait.count() % 1'000'000'000)};
    const int n = ::epoll_pwait2(epoll_fd_, events, 64, &timeout, nullptr);
    if (n < 0 && errno != EINTR) {
      Note(nullptr, Errno("epoll"));
      break;
    }
    if (stopping_) break;
    now = Clock::now();
    for (int i = 0; i < n; ++i) {
      Watched* w = static_cast<Watched*>(events[i].data.ptr);
      const std::uint32_t revents = events[i].events;
      if (w == nullptr) {
        char drain[64];
        while (::read(wake_[0], drain, sizeof drain) > 0) {
        }
      } else if (w->listener) {
        Accept(static_cast<Printer&>(*w), now);
      } else {
        Connection& c = static_cast<Connection&>(*w);
        if (c.closed) continue;
        if ((revents & EPOLLOUT) != 0) c.want_write = false;
        if (stall) {
          if ((revents & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) != 0 && tcp) {
            Close(c, "connection closed by the tool");
          }
        } else if ((revents & (EPOLLIN | EPOLLHUP | EPOLLERR)) != 0 && (c.events & EPOLLIN)) {
          Receive(c, now);
        }
      }
    }
    // Replies that are due, the hang-ups after them, and connections idle for too long.
    now = Clock::now();
    for (auto& connection : connections_) {
      Connection& c = *connection;
      if (!c.closed && !c.want_write && !c.out.empty() && c.out.front().on_time &&
          c.out.front().due > now && c.out.front().due - now <= kOnTimeWindow) {
        while (Clock::now() < c.out.front().due) {
#if defined(__x86_64__) || defined(__i386__)
          __builtin_ia32_pause();
#endif
        }
        now = Clock::now();
      }
      if (!c.closed && !c.want_write) Flush(c, now);
      if (!c.closed && idle_limit.count() > 0 && now - c.last_activity >= idle_limit) {
        Close(c, ("connection idle for " + std::to_string(options_.IdleLimitMs) + " ms: closed")
                     .c_str());
      }
    }
    std::erase_if(connections_, [](const auto& c) { return c->closed; });
  }
}

}  // namespace krt6::emulator
