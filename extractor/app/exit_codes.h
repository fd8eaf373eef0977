// The extractor's exit codes. When the installer ran, the program returns
// the installer's own exit code; otherwise the Windows error number that
// means what happened, as setup programs return them, so that a
// deployment script can tell an installed product from a damaged download.
#pragma once

#include <windows.h>

#include "extractor/ui/unpack_progress_dlg.h"

namespace extractor {

enum class ExitCode : DWORD {
  kSuccess = 0,            // /extract: every entry was unpacked
  kNoFolderAccess = 5,     // ERROR_ACCESS_DENIED: the folder cannot be made or written
  kNoDiskSpace = 112,      // ERROR_DISK_FULL: not enough free space for the files
  kCancelled = 1223,       // ERROR_CANCELLED: the user cancelled
  kPackageDamaged = 1392,  // ERROR_FILE_CORRUPT: the package is incomplete or damaged
};

// The exit code of a run that reached the unpacking: the installer's code,
// or, when it could not be started, the system's error for the start
// (ERROR_FILE_NOT_FOUND when there was none).
inline DWORD ExitCodeOf(const UnpackOutcome& outcome) {
  switch (outcome.end) {
    case UnpackEnd::kInstallerExited: return outcome.installerExitCode;
    case UnpackEnd::kInstallerNotStarted:
      return outcome.startError != 0 ? outcome.startError : ERROR_FILE_NOT_FOUND;
    case UnpackEnd::kCancelled: return static_cast<DWORD>(ExitCode::kCancelled);
    case UnpackEnd::kDamaged:
    case UnpackEnd::kNotRun: break;
  }
  return static_cast<DWORD>(ExitCode::kPackageDamaged);
}

}  // namespace extractor
