// The creator's exit codes, so that a build script can tell a package from
// no package. The dialog shows the same things whatever the outcome. The
// values are the README's table; they never change.
#pragma once

namespace creator {

enum class ExitCode : int {
  kPackageWritten = 0,         // a complete package was written
  kDescriptionUnreadable = 1,  // the description is missing or cannot be read
  kNothingToPack = 2,          // the description names no file that can be packed
  kNoPackage = 3,              // no package: target not creatable, image missing, writer failed
  kCancelled = 4,              // the user closed the dialog; no package is left
  kPackageIncomplete = 5,      // written, but a described file could not be added
};

// The code's name, for messages.
constexpr const char* ExitCodeName(ExitCode code) {
  switch (code) {
    case ExitCode::kPackageWritten: return "package written";
    case ExitCode::kDescriptionUnreadable: return "description unreadable";
    case ExitCode::kNothingToPack: return "nothing to pack";
    case ExitCode::kNoPackage: return "no package";
    case ExitCode::kCancelled: return "cancelled";
    case ExitCode::kPackageIncomplete: return "package incomplete";
  }
  return "unknown exit code";
}

}  // namespace creator
