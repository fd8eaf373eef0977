// File errors of the platform layer.
//
// Opening a file reports failure through its result; reading, writing,
// seeking, taking the length and closing raise a FileError. Every FileError
// carries its cause, the operating system's own error number and the path
// of the file it concerns, so whoever catches it can tell the user what
// went wrong with which file.
#pragma once

#include <exception>
#include <string>

namespace platform {

// What went wrong, independent of the operating system. The dialog
// framework has one English text for each cause.
enum class FileErrorCause {
  kNone,
  kGeneric,
  kFileNotFound,
  kBadPath,
  kTooManyOpenFiles,
  kAccessDenied,
  kInvalidFile,
  kRemoveCurrentDirectory,
  kDirectoryFull,
  kBadSeek,
  kHardIo,
  kSharingViolation,
  kLockViolation,
  kDiskFull,
  kEndOfFile,
};

// A short English name of the cause, for diagnostics ("disk full").
const char* FileErrorCauseName(FileErrorCause cause);

// The cause of a failure, its OS error number and the path concerned.
struct FileErrorInfo {
  FileErrorCause cause = FileErrorCause::kNone;
  long osError = 0;  // GetLastError() on Windows, errno on POSIX
  std::u16string path;
};

// Maps the operating system's error number to our cause. Implemented once
// per platform; the only place where OS error numbers are interpreted.
FileErrorCause CauseFromOsError(long osError);

// The last OS error of the calling thread (GetLastError or errno).
long LastOsError();

// The exception raised by a failed read, write, seek, length or close.
// what() says the cause, the OS error and the path in English.
class FileError : public std::exception {
 public:
  explicit FileError(FileErrorInfo info);

  const char* what() const noexcept override { return description_.c_str(); }

  FileErrorCause cause() const { return info_.cause; }
  long osError() const { return info_.osError; }
  const std::u16string& path() const { return info_.path; }
  const FileErrorInfo& info() const { return info_; }

 private:
  FileErrorInfo info_;
  std::string description_;
};

// Raises a FileError for `path` from the calling thread's last OS error.
[[noreturn]] void ThrowLastFileError(const std::u16string& path);

}  // namespace platform
