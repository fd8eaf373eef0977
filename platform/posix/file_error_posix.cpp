// errno → FileErrorCause. The causes are chosen so that a failure reads the
// same to the user as the corresponding failure on Windows.
#include <cerrno>

#include "platform/file_error.h"

namespace platform {

FileErrorCause CauseFromOsError(long osError) {
  switch (osError) {
    case 0: return FileErrorCause::kNone;

    case ENOENT:
    case ENXIO:
    case ENODEV: return FileErrorCause::kFileNotFound;

    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case EINVAL: return FileErrorCause::kBadPath;

    case EMFILE:
    case ENFILE: return FileErrorCause::kTooManyOpenFiles;

    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case EEXIST: return FileErrorCause::kAccessDenied;

    case EBADF: return FileErrorCause::kInvalidFile;

    // A folder that still holds something (the Windows side reports its
    // "folder not empty" the same way), or that cannot take one more entry.
    case ENOTEMPTY:
    case EMLINK: return FileErrorCause::kDirectoryFull;

    case ESPIPE:
    case EOVERFLOW: return FileErrorCause::kBadSeek;

    case EIO: return FileErrorCause::kHardIo;

    // A refused flock, a busy device and a running program that is opened
    // for writing all mean that someone else holds the file.
    case EBUSY:
    case ETXTBSY:
    case EWOULDBLOCK:
#if EAGAIN != EWOULDBLOCK
    case EAGAIN:
#endif
      return FileErrorCause::kSharingViolation;

    case ENOLCK:
    case EDEADLK: return FileErrorCause::kLockViolation;

    case ENOSPC:
    case EDQUOT:
    case EFBIG: return FileErrorCause::kDiskFull;

    default: return FileErrorCause::kGeneric;
  }
}

long LastOsError() { return errno; }

}  // namespace platform
