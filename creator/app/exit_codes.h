// The creator's exit codes, so that a build script can tell a package from
// no package. The dialog shows the same things whatever the outcome.
#pragma once

namespace creator {

enum ExitCode : int {
  kExitPackageWritten = 0,       // a complete package was written
  kExitDescriptionUnreadable = 1,  // the description is missing or cannot be read
  kExitNothingToPack = 2,        // the description names no file that can be packed
  kExitNoPackage = 3,            // no package: target not creatable, image missing, writer failed
  kExitCancelled = 4,            // the user closed the dialog; no package is left
  kExitPackageIncomplete = 5,    // written, but a described file could not be added
};

}  // namespace creator
