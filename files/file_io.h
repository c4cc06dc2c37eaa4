// Whole-file replacement that never leaves a half-written file behind, and bounded reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "files/file_result.h"

namespace krt6 {

// The points of a replacement at which a test may step in (for instance to kill the process).
enum class ReplaceStage {
  kTemporaryCreated,  // the temporary file exists and is empty
  kDataWritten,       // every byte is written to the temporary file, not yet flushed
  kDataFlushed,       // the temporary file is on disk and closed; the target is still the old one
};
using ReplaceHook = std::function<void(ReplaceStage)>;

// When a replacement reaches the disk.
enum class Durability {
  kAtOnce,  // on disk on return: the data is flushed before the rename, the folder after it
  // For many files saved together, before anything that refers to them is written: a file that
  // did not exist yet is renamed into place unflushed, and no folder is flushed; the caller flushes
  // them all at once with FlushFileSystem. A file that existed is still flushed before it is
  // replaced, so that no older file is ever replaced by one that is not on disk yet.
  kTogether,
};

// Replaces the file at `path` with exactly `size` bytes of `data`: the bytes go to a new file in
// the same folder, which is flushed to disk and then renamed over `path`, and the folder is
// flushed. Until the rename the old file is untouched; on any failure the temporary file is
// removed. A replaced file keeps its permission bits; a file without any write permission bit
// is never replaced. Symbolic links are followed through every level, so the file the chain ends
// in is replaced (or created) and the links stay; but, as the kernel does, a link in a sticky
// folder that everyone may write to (/tmp) is followed only when it belongs to the effective
// user or to the folder's owner, and is otherwise refused (kCreate, EACCES, the link named in the
// reason). Failures name `path` as the operator gave it.
FileResult ReplaceFileAtomically(const std::string& path, const std::uint8_t* data,
                                 std::size_t size, const ReplaceHook& hook = {},
                                 Durability durability = Durability::kAtOnce);

// Flushes everything written to the file system that holds the folder `folder` (the files saved
// with Durability::kTogether and their folders; every file system when the folder may not be
// listed); a failure names `folder`.
FileResult FlushFileSystem(const std::string& folder);

// Reads at most `limit` bytes from the start of the file at `path` into `out` (resized to what
// was read). Anything but a regular file (a FIFO, a device, a folder) is refused unread, with
// "not a regular file" in the description.
FileResult ReadFilePrefix(const std::string& path, std::size_t limit,
                          std::vector<std::uint8_t>& out);

}  // namespace krt6
