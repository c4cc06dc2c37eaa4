#include "files/file_result.h"

#include <cerrno>
#include <cstring>

namespace krt6 {

const char* FileOperationName(FileOperation operation) {
  switch (operation) {
    case FileOperation::kCreate: return "create";
    case FileOperation::kOpen: return "open";
    case FileOperation::kRead: return "read";
    case FileOperation::kWrite: return "write";
    case FileOperation::kFlush: return "flush";
    case FileOperation::kRename: return "rename";
  }
  return "access";
}

FileResult FileResult::Failure(FileOperation operation, std::string path, int error_number) {
  FileResult result;
  result.operation_ = operation;
  result.path_ = std::move(path);
  // A failure must never read as success, even if a caller hands over an errno of 0.
  result.error_number_ = error_number != 0 ? error_number : EIO;
  char buffer[256] = {};
  // The GNU strerror_r returns a pointer that may or may not be into `buffer`.
  result.system_text_ = strerror_r(result.error_number_, buffer, sizeof buffer);
  return result;
}

FileResult FileResult::Refusal(FileOperation operation, std::string path, const TextPair& reason,
                               int error_number, std::string argument) {
  FileResult result = Failure(operation, std::move(path), error_number);
  result.reason_ = reason;
  result.reason_argument_ = std::move(argument);
  return result;
}

std::string FileResult::Describe(Language language) const {
  if (Ok()) return {};
  const std::string reason = FormatText(reason_, language, reason_argument_);
  return std::string("Could not ") + FileOperationName(operation_) + " " + path_ + ": " +
         (reason.empty() ? std::string() : reason + ": ") + system_text_ + " (errno " +
         std::to_string(error_number_) + ")";
}

}  // namespace krt6
