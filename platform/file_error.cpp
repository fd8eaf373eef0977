#include "platform/file_error.h"

#include <string>

#include "text/utf8.h"

namespace platform {
namespace {

std::string Describe(const FileErrorInfo& info) {
  return std::string(FileErrorCauseName(info.cause)) + " (OS error " +
         std::to_string(info.osError) + ") while accessing " + text::Utf16ToUtf8(info.path);
}

}  // namespace

const char* FileErrorCauseName(FileErrorCause cause) {
  switch (cause) {
    case FileErrorCause::kNone: return "no error";
    case FileErrorCause::kGeneric: return "unspecified error";
    case FileErrorCause::kFileNotFound: return "file not found";
    case FileErrorCause::kBadPath: return "invalid path";
    case FileErrorCause::kTooManyOpenFiles: return "too many open files";
    case FileErrorCause::kAccessDenied: return "access denied";
    case FileErrorCause::kInvalidFile: return "invalid file handle";
    case FileErrorCause::kRemoveCurrentDirectory: return "current folder cannot be removed";
    case FileErrorCause::kDirectoryFull: return "folder full";
    case FileErrorCause::kBadSeek: return "seek failed";
    case FileErrorCause::kHardIo: return "hardware I/O error";
    case FileErrorCause::kSharingViolation: return "sharing violation";
    case FileErrorCause::kLockViolation: return "lock violation";
    case FileErrorCause::kDiskFull: return "disk full";
    case FileErrorCause::kEndOfFile: return "end of file reached";
  }
  return "unknown error";
}

FileError::FileError(FileErrorInfo info) : info_(std::move(info)), description_(Describe(info_)) {}

void ThrowLastFileError(const std::u16string& path) {
  const long osError = LastOsError();
  throw FileError({CauseFromOsError(osError), osError, path});
}

}  // namespace platform
