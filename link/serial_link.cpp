#include "link/serial_link.h"

#include "link/link_kinds.h"
#include "link/target_forms.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iterator>

namespace krt6 {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct RateEntry {
  speed_t Speed;
  int Rate;
};
constexpr RateEntry kRates[] = {{B2400, 2400},   {B4800, 4800},   {B9600, 9600},    {B19200, 19200},
                                {B38400, 38400}, {B57600, 57600}, {B115200, 115200}};

RateEntry RateFor(std::int32_t index) {
  if (index >= 0 && index <= 6) return kRates[index];
  return kRates[2];
}

// Whether setting `wanted` would change nothing on a port whose settings are `current`.
bool SameLine(const termios& wanted, const termios& current) {
  return wanted.c_iflag == current.c_iflag && wanted.c_oflag == current.c_oflag &&
         wanted.c_cflag == current.c_cflag && wanted.c_lflag == current.c_lflag &&
         wanted.c_line == current.c_line && wanted.c_ispeed == current.c_ispeed &&
         wanted.c_ospeed == current.c_ospeed &&
         std::equal(std::begin(wanted.c_cc), std::end(wanted.c_cc), std::begin(current.c_cc));
}

}  // namespace

int SerialRate(std::int32_t baud_rate_index) { return RateFor(baud_rate_index).Rate; }

SerialLine MapSerialSettings(const SerialSettings& s, const termios& current) {
  SerialLine line;
  termios t = current;
  // Raw mode (what cfmakeraw does), spelled out so that the function stays free of system calls.
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                      IXON | IXOFF | IXANY | INPCK);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CBAUD);
  t.c_cflag |= CLOCAL | CREAD;

  const RateEntry rate = RateFor(s.BaudRateIndex);
  line.Speed = rate.Speed;
  line.Rate = rate.Rate;
  t.c_cflag |= rate.Speed;
  t.c_ispeed = rate.Speed;
  t.c_ospeed = rate.Speed;

  t.c_cflag |= s.DataBitIndex == 0 ? CS7 : CS8;

  if (s.ParityIndex == 1) {
    t.c_cflag |= PARENB | PARODD;
    t.c_iflag |= INPCK;  // received bytes are checked for odd parity only
  } else if (s.ParityIndex == 2) {
    t.c_cflag |= PARENB;
  }

  // One and a half stop bits exist only for five-bit words; two stand in for them.
  if (s.StopBitIndex == 1 || s.StopBitIndex == 2) t.c_cflag |= CSTOPB;

  // "RTS" (1) asks for RTS held on with output held while CTS is low; "RTS/CTS" (2) lets the
  // driver move RTS by its input queue. Linux has only CRTSCTS, which does both: there is no
  // termios mode that honours CTS while leaving RTS alone, and a CTS check of our own before each
  // chunk could not stop a chunk the UART is already sending. So 1 maps like 2, RTS is raised at
  // open, and the driver lowers it only when its input buffer is nearly full (a few KiB unread);
  // replies are at most 99 bytes and read as they come, so in practice RTS stays raised.
  if (s.HdShakIndex != 0) {
    t.c_cflag |= CRTSCTS;
    line.HoldOutputOnDsr = true;
  }
  if (s.SWShakIndex == 1) t.c_iflag |= IXON | IXOFF;

  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  line.Attributes = t;
  return line;
}

SerialLink::SerialLink(std::shared_ptr<const PortResolver> resolver, SerialTimings timings,
                       SerialSettings settings)
    : resolver_(std::move(resolver)), timings_(timings), settings_(std::move(settings)) {}

SerialLink::~SerialLink() {
  for (auto& [fd, port] : open_) ::close(fd);
}

LinkHandle SerialLink::Open(Result& failure) {
  const std::string& name = settings_.PortName;
  const std::string device = resolver_ ? resolver_->SerialDevice(name) : std::string();
  if (device.empty()) {
    failure = Failure(Cause::kNotFound, name, "no such serial port (COM1 to COM30 are known).");
    return kInvalidLinkHandle;
  }
  UniqueFd fd;
  for (;;) {
    fd.Reset(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.Valid() || errno != EINTR) break;
  }
  if (!fd.Valid()) {
    const int e = errno;
    failure = SystemFailure(name + " (" + device + ")", e, {}, true);
    return kInvalidLinkHandle;
  }
  termios current{};
  if (::tcgetattr(fd.Get(), &current) != 0) {
    const int e = errno;
    failure =
        SystemFailure(name + " (" + device + ")", e, "The device is not a serial port.", true);
    return kInvalidLinkHandle;
  }
  // Exclusive like a port on other systems: TIOCEXCL keeps further opens out (root excepted),
  // the lock also catches a second opener running as root.
  if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    failure = SystemFailure(name + " (" + device + ")", EBUSY, {}, true);
    return kInvalidLinkHandle;
  }
  ::ioctl(fd.Get(), TIOCEXCL);

  // Discard what arrived before this exchange. Output needs no purge: every close below lets
  // the previous exchange's bytes drain (or discards them at the write limit), and flushing
  // output on a pseudo terminal would drop bytes the other side has not read yet.
  ::tcflush(fd.Get(), TCIFLUSH);
  const SerialLine line = MapSerialSettings(settings_, current);
  // The port keeps its line settings between two opens, so they are set only when they differ
  // (the first exchange, or after an edit or another program). A line setting the driver refuses
  // (an unsupported rate) does not stop the open.
  if (!SameLine(line.Attributes, current)) ::tcsetattr(fd.Get(), TCSANOW, &line.Attributes);
  // Raise DTR and RTS; drivers without modem lines refuse, which is not an error here.
  const int lines = TIOCM_DTR | TIOCM_RTS;
  ::ioctl(fd.Get(), TIOCMBIS, &lines);

  const int handle = fd.Release();
  open_[handle] = Port{name + " (" + device + ")", line.HoldOutputOnDsr, line.Rate};
  return handle;
}

bool SerialLink::WaitForDsr(int fd, const Port& port, Clock::time_point deadline, Result& failure) {
  for (;;) {
    int status = 0;
    if (::ioctl(fd, TIOCMGET, &status) != 0) return true;  // no modem lines to watch
    if ((status & TIOCM_DSR) != 0) return true;
    if (Clock::now() >= deadline) {
      failure = Failure(Cause::kTimedOut, port.Device,
                        "the printer holds DSR low (not ready); nothing was sent.");
      return false;
    }
    if (!SleepUntil(std::min(deadline, Clock::now() + milliseconds(10)), Cancellation())) {
      failure = SystemFailure(port.Device, ECANCELED);
      return false;
    }
  }
}

std::size_t SerialLink::Write(LinkHandle handle, const std::uint8_t* data, std::size_t size,
                              Result& failure) {
  const int fd = static_cast<int>(handle);
  auto it = open_.find(fd);
  if (it == open_.end()) return 0;
  Port& port = it->second;
  const auto deadline =
      Clock::now() +
      milliseconds(timings_.WriteBaseMs + timings_.WritePerByteMs * static_cast<int>(size));
  if (port.HoldOutputOnDsr && !WaitForDsr(fd, port, deadline, failure)) return 0;
  port.OutputSettled = false;
  std::size_t sent = 0;
  while (sent < size) {
    const ssize_t n = ::write(fd, data + sent, size - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      failure = SystemFailure(port.Device, errno);
      return sent;
    }
    const int revents = PollOne(fd, POLLOUT, deadline, Cancellation());
    if (revents < 0) {
      failure = SystemFailure(port.Device, errno);
      return sent;
    }
    if (revents == 0) {
      failure =
          Failure(Cause::kTimedOut, port.Device,
                  "the printer did not take the data in time (" + std::to_string(sent) + " of " +
                      std::to_string(size) + " bytes sent; flow control holds the line).");
      return sent;
    }
    if ((revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 && (revents & POLLOUT) == 0) {
      failure = Failure(Cause::kGone, port.Device, "the device went away while writing.");
      return sent;
    }
  }
  // write() returns once the driver holds the bytes; a printer that holds CTS low or has sent
  // XOFF keeps them there. The chunk counts as written only once it has left within its limit.
  int queued = 0;
  const bool left = WaitForOutputToLeave(fd, port, deadline, queued);
  port.OutputSettled = true;  // every byte has left, or what was held back has been discarded
  if (!left) {
    failure =
        Failure(Cause::kTimedOut, port.Device,
                "the printer did not take the data in time (" + std::to_string(queued) + " of " +
                    std::to_string(size) + " bytes held back; flow control holds the line).");
    return sent - std::min(sent, static_cast<std::size_t>(queued));
  }
  return sent;
}

bool SerialLink::WaitForOutputToLeave(int fd, const Port& port, Clock::time_point deadline,
                                      int& queued) {
  for (;;) {
    queued = 0;
    // Devices without an output queue (pseudo terminals) report nothing left.
    if (::ioctl(fd, TIOCOUTQ, &queued) != 0 || queued <= 0) return true;
    // Sleep about as long as the queued bytes take on the wire (ten bits a byte), so that the
    // wait ends close to when the last byte has left.
    const auto wire = std::chrono::microseconds(10'000'000LL * queued / std::max(1, port.Rate));
    const auto step =
        std::clamp(wire, std::chrono::microseconds(100), std::chrono::microseconds(20'000));
    if (Clock::now() >= deadline ||
        !SleepUntil(std::min(deadline, Clock::now() + step), Cancellation())) {
      ::tcflush(fd, TCOFLUSH);
      return false;
    }
  }
}

std::size_t SerialLink::Fill(LinkHandle handle, std::uint8_t* out, std::size_t capacity,
                             Clock::time_point until, Result& failure) {
  const int fd = static_cast<int>(handle);
  auto it = open_.find(fd);
  if (it == open_.end() || capacity == 0) return 0;
  const Port& port = it->second;
  const auto start = Clock::now();
  const auto accept_until = std::min(start + milliseconds(timings_.ReadAcceptMs), until);
  const auto fail_at = std::min(start + milliseconds(timings_.ReadFailMs), until);
  bool hung_up = false;
  for (;;) {
    const ssize_t n = ::read(fd, out, capacity);
    if (n > 0) return static_cast<std::size_t>(n);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      failure = SystemFailure(port.Device, errno);
      return 0;
    }
    if (hung_up) {
      failure = Failure(Cause::kGone, port.Device, "the device went away (hang-up).");
      return 0;
    }
    // The read just made is the last attempt once the accepting window has passed: a byte that
    // first arrives later stays queued for the next read.
    if (Clock::now() >= accept_until) break;
    const int revents = PollOne(fd, POLLIN, accept_until, Cancellation());
    if (revents < 0) {
      failure = SystemFailure(port.Device, errno);
      return 0;
    }
    if ((revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) hung_up = true;
  }
  if (!SleepUntil(fail_at, Cancellation())) {
    failure = SystemFailure(port.Device, ECANCELED);
    return 0;
  }
  failure = Failure(Cause::kTimedOut, port.Device,
                    "no reply within " + std::to_string(timings_.ReadFailMs) + " ms.");
  return 0;
}

void SerialLink::Close(LinkHandle handle) {
  const int fd = static_cast<int>(handle);
  auto it = open_.find(fd);
  if (it == open_.end()) return;
  const Port port = it->second;
  open_.erase(it);
  // Whatever the driver still holds leaves before the port is released, within the write limit
  // (or is discarded at once after a cancel), so that close() cannot block on a line the printer
  // holds (the driver's own closing wait is 30 s). Only a write cut short can have left bytes:
  // every other one returned with the queue empty or discarded.
  if (!port.OutputSettled) {
    int queued = 0;
    WaitForOutputToLeave(fd, port, Clock::now() + milliseconds(timings_.WriteBaseMs), queued);
  }
  ::close(fd);  // also releases the lock and the exclusive mode
}

}  // namespace krt6

namespace krt6 {
namespace {

std::string SerialHint(Cause cause) {
  switch (cause) {
    case Cause::kPermission: return "Add your user to the dialout group.";
    case Cause::kBusy: return "The port is held by another program.";
    case Cause::kNotFound:
      return "Check that the adapter is plugged in and the port name is right.";
    case Cause::kGone: return "The device went away.";
    default: return {};
  }
}

}  // namespace

const LinkKindInfo& SerialLinkKind() {
  static const LinkKindInfo kind{
      .kind = lkCom,
      .item = {"COM", "COM"},
      .prefix = "serial:",
      .uri_forms = "serial:DEVICE[?baud=9600+bits=8+parity=none+stop=1+flow=rts+xonxoff]",
      .capabilities = SerialLink::kCapabilities,
      .hint = SerialHint,
      .read_target = ReadSerialTarget,
      .printer_key = SerialPrinterKey,
      .make = [](const LinkSettings& settings,
                 const SystemLinkOptions& options) -> std::unique_ptr<LinkBackend> {
        return std::make_unique<SerialLink>(options.Ports, options.Serial, settings.Serial);
      }};
  return kind;
}

}  // namespace krt6
