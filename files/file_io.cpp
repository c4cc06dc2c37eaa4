#include "files/file_io.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>

#include "texts/file_texts.h"

namespace krt6 {
namespace {

// Closes a descriptor when it goes out of scope unless released first.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  void Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now and reports the result: the last chance for the kernel to report a lost write.
  int CloseNow() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd);  // never retried: Linux releases the descriptor even on EINTR
  }

 private:
  int fd_;
};

// Linux gives up on a path after this many symbolic links.
constexpr int kMaxLinkLevels = 40;

struct FolderAndName {
  std::string folder;
  std::string name;
};

FolderAndName SplitPath(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {std::string(1, '.'), path};
  return {slash == 0 ? std::string(1, '/') : path.substr(0, slash), path.substr(slash + 1)};
}

// Whether the kernel would follow the link `link` (lstat'ed as `status`) for this process: in a
// sticky folder that everyone may write to (/tmp), only a link of the effective user or of the
// folder's owner is followed, so that nobody can plant a link there that leads someone else's
// save to a file of their choosing.
bool MayFollowLink(const std::string& link, const struct stat& status) {
  if (status.st_uid == ::geteuid()) return true;
  struct stat folder {};
  if (::stat(SplitPath(link).folder.c_str(), &folder) != 0) return false;
  if ((folder.st_mode & (S_ISVTX | S_IWOTH)) != (S_ISVTX | S_IWOTH)) return true;
  return folder.st_uid == status.st_uid;
}

// The file a save lands in: every level of a symbolic link is followed, as writing through it
// would, so a chain that ends in a missing name creates that name and leaves every link as it
// is. Links are followed only where the kernel would follow them (MayFollowLink). A chain that
// cannot be followed fails with `path` named (ELOOP when it does not end).
FileResult ResolveTarget(const std::string& path, std::string& target) {
  target = path;
  for (int level = 0; level < kMaxLinkLevels; ++level) {
    struct stat status {};
    if (::lstat(target.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return {};
    if (!MayFollowLink(target, status)) {
      return FileResult::Refusal(FileOperation::kCreate, path, kSharedFolderLinkText, EACCES,
                                 target);
    }
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink(target.c_str(), buffer, sizeof buffer);
    if (length < 0) return FileResult::Failure(FileOperation::kCreate, path, errno);
    if (length == 0 || static_cast<std::size_t>(length) >= sizeof buffer) {
      return FileResult::Failure(FileOperation::kCreate, path, ENAMETOOLONG);
    }
    std::string next(buffer, static_cast<std::size_t>(length));
    // A relative link names a file beside the link itself.
    const std::size_t slash = target.rfind('/');
    if (next.front() != '/' && slash != std::string::npos)
      next = target.substr(0, slash + 1) + next;
    target = std::move(next);
  }
  return FileResult::Failure(FileOperation::kCreate, path, ELOOP);
}

// With a file size limit, a write beyond it raises SIGXFSZ, whose default action ends the
// program. While a guard lives the signal is blocked for the calling thread, so the write fails
// with EFBIG instead, and a signal the writes raised is consumed before it is unblocked.
class FileSizeSignalGuard {
 public:
  FileSizeSignalGuard() {
    sigemptyset(&signal_);
    sigaddset(&signal_, SIGXFSZ);
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    was_pending_ = sigismember(&pending, SIGXFSZ) == 1;
    pthread_sigmask(SIG_BLOCK, &signal_, &old_);
  }
  ~FileSizeSignalGuard() {
    if (!was_pending_) {
      const timespec zero{0, 0};
      while (sigtimedwait(&signal_, nullptr, &zero) == SIGXFSZ) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  FileSizeSignalGuard(const FileSizeSignalGuard&) = delete;
  FileSizeSignalGuard& operator=(const FileSizeSignalGuard&) = delete;

 private:
  sigset_t signal_{};
  sigset_t old_{};
  bool was_pending_ = false;
};

int WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  FileSizeSignalGuard guard;
  std::size_t done = 0;
  while (done < size) {
    const ssize_t written = ::write(fd, data + done, size - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return ENOSPC;  // no progress and no error: the medium took nothing
    done += static_cast<std::size_t>(written);
  }
  return 0;
}

int SyncDescriptor(int fd) {
  while (::fsync(fd) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

// A name in `folder` that no other save picks: hidden, derived from the target's name.
std::string TemporaryName(const std::string& name, unsigned attempt) {
  static std::atomic<unsigned> counter{0};
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  char suffix[64];
  std::snprintf(suffix, sizeof suffix, ".%ld.%u.%llx.tmp", static_cast<long>(::getpid()),
                counter.fetch_add(1) + attempt, static_cast<unsigned long long>(ticks));
  // Part of the name only: a target name near the file system's length limit must still leave
  // room for the suffix.
  return "." + name.substr(0, 96) + suffix;
}

// Writes into an existing device or FIFO directly: it has no contents a rename could protect,
// and renaming over it would replace the device node itself.
FileResult WriteInPlace(const std::string& path, const std::string& target,
                        const std::uint8_t* data, std::size_t size) {
  Descriptor fd(::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!fd.valid()) return FileResult::Failure(FileOperation::kCreate, path, errno);
  if (const int error = WriteAll(fd.get(), data, size)) {
    return FileResult::Failure(FileOperation::kWrite, path, error);
  }
  if (fd.CloseNow() != 0) return FileResult::Failure(FileOperation::kFlush, path, errno);
  return {};
}

}  // namespace

FileResult ReplaceFileAtomically(const std::string& path, const std::uint8_t* data,
                                 std::size_t size, const ReplaceHook& hook, Durability durability) {
  std::string target;
  if (FileResult resolved = ResolveTarget(path, target); !resolved) return resolved;
  struct stat old_status {};
  const bool existed = ::stat(target.c_str(), &old_status) == 0;
  if (existed && S_ISDIR(old_status.st_mode)) {
    return FileResult::Failure(FileOperation::kCreate, path, EISDIR);
  }
  if (existed && !S_ISREG(old_status.st_mode)) return WriteInPlace(path, target, data, size);
  // A file the operator made read-only stays as it is: replacing it by a rename would only need
  // the folder's permission, and would silently undo that protection. A file without any write
  // permission bit is read-only for root too, whom the access check lets through.
  if (existed && (old_status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    return FileResult::Failure(FileOperation::kCreate, path, EACCES);
  }
  if (existed && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
    return FileResult::Failure(FileOperation::kCreate, path, errno);
  }

  const auto [folder, name] = SplitPath(target);
  if (name.empty()) return FileResult::Failure(FileOperation::kCreate, path, EISDIR);

  // The folder is opened once so that creating, renaming and flushing all act on the same one.
  bool can_sync_folder = true;
  Descriptor folder_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder_fd.valid() && errno == EACCES) {
    // A folder that may be written but not listed: it can still take the file, not a flush.
    folder_fd.Reset(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    can_sync_folder = false;
  }
  if (!folder_fd.valid()) return FileResult::Failure(FileOperation::kCreate, path, errno);

  std::string temporary;
  Descriptor fd;
  for (unsigned attempt = 0; attempt < 100 && !fd.valid(); ++attempt) {
    temporary = TemporaryName(name, attempt);
    // 0666 less the umask, as for any new file; a replaced file's bits are copied below.
    const int created = ::openat(folder_fd.get(), temporary.c_str(),
                                 O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (created >= 0) {
      fd.Reset(created);
    } else if (errno != EEXIST) {
      return FileResult::Failure(FileOperation::kCreate, path, errno);
    }
  }
  if (!fd.valid()) return FileResult::Failure(FileOperation::kCreate, path, EEXIST);

  auto fail = [&](FileOperation operation, int error) {
    ::unlinkat(folder_fd.get(), temporary.c_str(), 0);
    return FileResult::Failure(operation, path, error);
  };

  if (existed) {
    // Best effort: a replaced file keeps its permissions (and, for root, its owner). Failing to
    // copy them leaves an ordinary new file, which is no reason to refuse the save.
    (void)::fchmod(fd.get(), old_status.st_mode & 07777);
    // fchown's result is declared must-use under _FORTIFY_SOURCE, where a (void) cast does not
    // silence it.
    if (::geteuid() == 0 && ::fchown(fd.get(), old_status.st_uid, old_status.st_gid) != 0) {
    }
  }
  if (hook) hook(ReplaceStage::kTemporaryCreated);

  if (const int error = WriteAll(fd.get(), data, size)) return fail(FileOperation::kWrite, error);
  if (hook) hook(ReplaceStage::kDataWritten);

  const bool at_once = durability == Durability::kAtOnce;
  if (at_once || existed) {
    if (const int error = SyncDescriptor(fd.get())) return fail(FileOperation::kFlush, error);
  }
  if (fd.CloseNow() != 0) return fail(FileOperation::kFlush, errno);
  if (hook && (at_once || existed)) hook(ReplaceStage::kDataFlushed);

  if (::renameat(folder_fd.get(), temporary.c_str(), folder_fd.get(), name.c_str()) != 0) {
    return fail(FileOperation::kRename, errno);
  }
  // The rename itself must reach the disk too, or a power cut could bring back the old file.
  if (can_sync_folder && at_once) {
    const int error = SyncDescriptor(folder_fd.get());
    if (error != 0 && error != EINVAL) {  // EINVAL: the file system cannot flush folders
      return FileResult::Failure(FileOperation::kFlush, path, error);
    }
  }
  return {};
}

FileResult FlushFileSystem(const std::string& folder) {
  const Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid() && errno == EACCES) {
    // A folder that may be written but not listed cannot be opened for syncfs: every file system
    // is flushed instead.
    ::sync();
    return {};
  }
  if (!fd.valid()) return FileResult::Failure(FileOperation::kFlush, folder, errno);
  // Since Linux 5.8 syncfs also fails when a file could not be written back since the last
  // syncfs; before, it failed only on a bad descriptor.
  if (::syncfs(fd.get()) != 0) return FileResult::Failure(FileOperation::kFlush, folder, errno);
  return {};
}

FileResult ReadFilePrefix(const std::string& path, std::size_t limit,
                          std::vector<std::uint8_t>& out) {
  out.clear();
  // Only a regular file holds a setting file: a FIFO, a device or a folder would load nothing or
  // endless zeros. Checked before opening, so that no device is opened, and again on what was
  // opened, in case the name was replaced in between.
  auto not_regular = [&](mode_t mode) {
    return FileResult::Refusal(FileOperation::kRead, path, kNotRegularFileText,
                               S_ISDIR(mode) ? EISDIR : EINVAL);
  };
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    return FileResult::Failure(FileOperation::kOpen, path, errno);
  }
  if (!S_ISREG(status.st_mode)) return not_regular(status.st_mode);
  // O_NONBLOCK: should the name have become a FIFO or a device after all, opening answers at
  // once instead of freezing the window; it changes nothing for regular files.
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!fd.valid()) return FileResult::Failure(FileOperation::kOpen, path, errno);
  if (::fstat(fd.get(), &status) != 0) {
    return FileResult::Failure(FileOperation::kOpen, path, errno);
  }
  if (!S_ISREG(status.st_mode)) return not_regular(status.st_mode);
  std::vector<std::uint8_t> buffer(limit);
  std::size_t total = 0;
  while (total < limit) {
    const ssize_t got = ::read(fd.get(), buffer.data() + total, limit - total);
    if (got < 0) {
      if (errno == EINTR) continue;
      return FileResult::Failure(FileOperation::kRead, path, errno);
    }
    if (got == 0) break;
    total += static_cast<std::size_t>(got);
  }
  buffer.resize(total);
  out = std::move(buffer);
  return {};
}

}  // namespace krt6
