#include "link/parallel_link.h"

#include "link/link_kinds.h"
#include "link/target_forms.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>

#include "link/posix_io.h"

namespace krt6 {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A write to a device whose reader went away raises SIGPIPE; the link wants EPIPE instead, so
// the signal is blocked for the calling thread while writing and a pending one is consumed.
class SigpipeGuard {
 public:
  SigpipeGuard() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    was_pending_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
  }
  ~SigpipeGuard() {
    if (!was_pending_) {
      const timespec zero{0, 0};
      while (sigtimedwait(&pipe_, nullptr, &zero) == SIGPIPE) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  SigpipeGuard(const SigpipeGuard&) = delete;
  SigpipeGuard& operator=(const SigpipeGuard&) = delete;

 private:
  sigset_t pipe_{};
  sigset_t old_{};
  bool was_pending_ = false;
};

}  // namespace

ParallelLink::~ParallelLink() {
  for (int fd : open_) ::close(fd);
}

LinkHandle ParallelLink::Open(Result& failure) {
  const std::string& name = port_name_;
  const std::string device = resolver_ ? resolver_->ParallelDevice(name) : std::string();
  if (device.empty()) {
    failure = Failure(Cause::kNotFound, name, "no such parallel port (LPT1 to LPT4 are known).");
    return kInvalidLinkHandle;
  }
  device_ = name + " (" + device + ")";
  UniqueFd fd;
  for (;;) {
    fd.Reset(::open(device.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.Valid() || errno != EINTR) break;
  }
  if (!fd.Valid()) {
    const int e = errno;
    failure = SystemFailure(device_, e, {}, true);
    return kInvalidLinkHandle;
  }
  if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    failure = SystemFailure(device_, EBUSY, {}, true);
    return kInvalidLinkHandle;
  }
  const int handle = fd.Release();
  open_.insert(handle);
  return handle;
}

std::size_t ParallelLink::Write(LinkHandle handle, const std::uint8_t* data, std::size_t size,
                                Result& failure) {
  const int fd = static_cast<int>(handle);
  if (open_.count(fd) == 0) return 0;
  const auto deadline =
      Clock::now() +
      milliseconds(timings_.WriteBaseMs + timings_.WritePerByteMs * static_cast<int>(size));
  SigpipeGuard guard;
  std::size_t sent = 0;
  while (sent < size) {
    const ssize_t n = ::write(fd, data + sent, size - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      failure = SystemFailure(device_, errno);
      return sent;
    }
    // The lp driver cannot be polled for room: try again after a short pause.
    const auto now = Clock::now();
    if (now >= deadline) {
      failure = Failure(Cause::kTimedOut, device_,
                        "the printer did not take the data in time (" + std::to_string(sent) +
                            " of " + std::to_string(size) + " bytes sent).");
      return sent;
    }
    if (!SleepUntil(std::min(deadline, now + milliseconds(timings_.RetryMs)), Cancellation())) {
      failure = SystemFailure(device_, ECANCELED);
      return sent;
    }
  }
  return sent;
}

void ParallelLink::Close(LinkHandle handle) {
  const int fd = static_cast<int>(handle);
  if (open_.erase(fd) != 0) ::close(fd);
}

}  // namespace krt6

namespace krt6 {
namespace {

std::string ParallelHint(Cause cause) {
  switch (cause) {
    case Cause::kPermission: return "Add your user to the lp group.";
    case Cause::kBusy: return "The port is held by another program.";
    case Cause::kNotFound: return "Check that the printer is connected and switched on.";
    case Cause::kGone: return "The printer went off line.";
    case Cause::kTimedOut: return "Check that the printer is on line and has paper.";
    default: return {};
  }
}

}  // namespace

const LinkKindInfo& ParallelLinkKind() {
  static const LinkKindInfo kind{
      .kind = lkLpt,
      .item = {"LPT", "LPT"},
      .prefix = "parallel:",
      .uri_forms = "parallel:DEVICE",
      .capabilities = ParallelLink::kCapabilities,
      .hint = ParallelHint,
      .read_target = ReadParallelTarget,
      .printer_key = ParallelPrinterKey,
      .make = [](const LinkSettings& settings,
                 const SystemLinkOptions& options) -> std::unique_ptr<LinkBackend> {
        return std::make_unique<ParallelLink>(options.Ports, options.Parallel, settings.LptName);
      }};
  return kind;
}

}  // namespace krt6
