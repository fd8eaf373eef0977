// The package creator's application object: works out its own paths from
// the command line and runs the progress dialog once.
#pragma once

#include <string>

#include "creator/app/exit_codes.h"
#include "framework/win_app.h"

namespace creator {

class CPackageCreatorApp : public framework::CWinApp {
 public:
  // Enables the common controls, takes exeDirectory and descriptionPath
  // from the command line and runs the progress dialog modally. Returns
  // false: the program ends when the dialog has ended.
  bool InitInstance() override;

  // The process exit code: what the run came to (see exit_codes.h).
  int ExitInstance() override;

  std::u16string exeDirectory;     // the program's folder, without the trailing '\'
  std::u16string descriptionPath;  // the program's path with the extension "txt"

  // Set by the progress dialog when the run ends.
  ExitCode exitCode = ExitCode::kNoPackage;
};

// The one application object.
CPackageCreatorApp& TheApp();

}  // namespace creator
