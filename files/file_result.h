// The outcome of a setting-file operation: success, or which step failed on which path with the
// system's own error.
#pragma once

#include <string>

#include "texts/texts.h"

namespace krt6 {

// The steps of saving and loading a setting file that can fail.
enum class FileOperation { kCreate, kOpen, kRead, kWrite, kFlush, kRename };

// "create", "open", "read", "write", "flush", "rename".
const char* FileOperationName(FileOperation operation);

class FileResult {
 public:
  FileResult() = default;  // success

  static FileResult Failure(FileOperation operation, std::string path, int error_number);
  // A failure the program decided on rather than the system: `reason` says why, before the
  // system's text for `error_number`; its "%1" stands for `argument`. The pair must outlive the
  // result (the texts are constants).
  static FileResult Refusal(FileOperation operation, std::string path, const TextPair& reason,
                            int error_number, std::string argument = {});

  bool Ok() const { return error_number_ == 0; }
  explicit operator bool() const { return Ok(); }

  FileOperation Operation() const { return operation_; }
  const std::string& Path() const { return path_; }
  int ErrorNumber() const { return error_number_; }
  // The system's text for ErrorNumber(), captured when the failure happened.
  const std::string& SystemText() const { return system_text_; }

  // For the details of the message box: "Could not <operation> <path>: <text> (errno N)", with
  // "<reason>: " before the text of a refusal, the reason in `language`. Empty on success.
  std::string Describe(Language language = Language::kEnglish) const;

 private:
  FileOperation operation_ = FileOperation::kOpen;
  std::string path_;
  int error_number_ = 0;
  std::string system_text_;
  TextPair reason_{"", ""};
  std::string reason_argument_;
};

}  // namespace krt6
