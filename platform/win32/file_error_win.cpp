#include <windows.h>

#include "platform/file_error.h"

namespace platform {

long LastOsError() { return static_cast<long>(GetLastError()); }

FileErrorCause CauseFromOsError(long osError) {
  switch (static_cast<DWORD>(osError)) {
    case NO_ERROR: return FileErrorCause::kNone;
    case ERROR_FILE_NOT_FOUND: return FileErrorCause::kFileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_DIRECTORY: return FileErrorCause::kBadPath;
    case ERROR_TOO_MANY_OPEN_FILES: return FileErrorCause::kTooManyOpenFiles;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_CANNOT_MAKE:
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return FileErrorCause::kAccessDenied;
    case ERROR_INVALID_HANDLE:
    case ERROR_INVALID_ACCESS: return FileErrorCause::kInvalidFile;
    case ERROR_CURRENT_DIRECTORY: return FileErrorCause::kRemoveCurrentDirectory;
    case ERROR_DIR_NOT_EMPTY:
    case ERROR_NO_MORE_FILES: return FileErrorCause::kDirectoryFull;
    case ERROR_NEGATIVE_SEEK:
    case ERROR_SEEK:
    case ERROR_SEEK_ON_DEVICE: return FileErrorCause::kBadSeek;
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_NOT_READY:
    case ERROR_IO_DEVICE: return FileErrorCause::kHardIo;
    case ERROR_SHARING_VIOLATION: return FileErrorCause::kSharingViolation;
    case ERROR_LOCK_VIOLATION: return FileErrorCause::kLockViolation;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return FileErrorCause::kDiskFull;
    case ERROR_HANDLE_EOF: return FileErrorCause::kEndOfFile;
    default: return FileErrorCause::kGeneric;
  }
}

}  // namespace platform
