#include "creator/app/package_creator_app.h"

#include <windows.h>

#include <commctrl.h>

#include "creator/app/startup_paths.h"
#include "creator/ui/package_progress_dlg.h"
#include "platform/win32/wide.h"

namespace creator {
namespace {

// Constructed during static initialisation, before the framework's entry
// point runs; destroyed at exit.
CPackageCreatorApp theApp;

}  // namespace

CPackageCreatorApp& TheApp() { return theApp; }

bool CPackageCreatorApp::InitInstance() {
  // The dialog's progress bar is a common control, drawn in the current
  // visual style through the program's manifest.
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  const StartupPaths paths = ComputeStartupPaths(platform::win32::FromWide(GetCommandLineW()));
  exeDirectory = paths.exeDirectory;
  descriptionPath = paths.descriptionPath;

  CPackageProgressDlg dialog;
  mainWindow = &dialog;
  dialog.DoModal();
  mainWindow = nullptr;
  return false;
}

int CPackageCreatorApp::ExitInstance() {
  return static_cast<int>(failed() ? ExitCode::kNoPackage : exitCode);
}

}  // namespace creator
