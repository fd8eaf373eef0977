// The extractor's application object: hardens where DLLs come from before
// anything else, starts GDI+ and the common controls, marks the program for
// the compatibility assistant, and runs the main dialog once. The process
// exit code is the run's (see exit_codes.h).
#pragma once

#include <windows.h>

#include <memory>

#include "framework/win_app.h"
#include "platform/win32/gdiplus_session.h"

namespace extractor {

class CExtractorApp : public framework::CWinApp {
 public:
  // DLLs are taken from the system folder only: a package is started from
  // the user's download folder, where a hostile page can leave a DLL named
  // like one that the program or the system loads by name.
  void BeforeInitInstance() override;
  // Runs the main dialog modally; returns false (no message loop).
  bool InitInstance() override;
  int ExitInstance() override;

 private:
  std::unique_ptr<platform::win32::GdiplusSession> gdiplus;
  DWORD exitCode = 0;
};

// Restricts the DLL search of this process to the system folder and takes
// the current folder out of it; then loads, by full path from the system
// folder, the DLLs that the program delay-loads by name and that are not
// known DLLs, so that even a system without the restriction never takes
// them from elsewhere. False when the restriction is not available.
bool RestrictDllSearchToSystemFolder();

}  // namespace extractor
