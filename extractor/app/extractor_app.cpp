#include "extractor/app/extractor_app.h"

#include <commctrl.h>
#include <objbase.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "extractor/app/exit_codes.h"
#include "extractor/app/extract_only.h"
#include "extractor/services/system_services.h"
#include "extractor/ui/extractor_dlg.h"
#include "platform/win32/wide.h"
#include "text/command_line.h"

namespace extractor {
namespace {

// Constructed during static initialisation, before the framework's entry
// point runs; destroyed at exit.
CExtractorApp theApp;

// From the Windows 8 headers, which the toolchain shows only for newer
// targets; Windows 7 has them with its loader update.
constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

}  // namespace

bool RestrictDllSearchToSystemFolder() {
  const auto setDefault =
      reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  const bool restricted = setDefault != nullptr && setDefault(kSearchSystem32) != FALSE;
  SetDllDirectoryW(L"");

  // GDI+ is delay-loaded by name; the common controls come through the
  // manifest's side-by-side assembly, never from the program's folder.
  wchar_t system[MAX_PATH];
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    const std::wstring gdiplus = std::wstring(system, length) + L"\\gdiplus.dll";
    LoadLibraryExW(gdiplus.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  }
  return restricted;
}

void CExtractorApp::BeforeInitInstance() { RestrictDllSearchToSystemFolder(); }

bool CExtractorApp::InitInstance() {
  gdiplus = std::make_unique<platform::win32::GdiplusSession>();
  // The folder picker's new style needs OLE on this thread.
  const HRESULT ole = OleInitialize(nullptr);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  const std::u16string commandLine = platform::win32::FromWide(GetCommandLineW());
  const text::CommandLineParts parts = text::SplitCommandLine(commandLine);
  if (services::IsSystemVersion6OrLater()) {
    services::MarkCompatibilityPersisted(std::u16string(parts.programPath));
  }

  if (const std::optional<std::u16string> folder = services::ExtractOnlyFolder(parts.arguments)) {
    // A deployment: no window, no question, only the exit code.
    package::PackageBuilder builder;
    exitCode = ExtractOnly(builder, *folder);
  } else {
    CExtractorDlg dialog;
    dialog.installerArguments = std::u16string(parts.arguments);
    mainWindow = &dialog;
    dialog.DoModal();
    mainWindow = nullptr;
    exitCode = dialog.exitCode();
  }
  if (SUCCEEDED(ole)) OleUninitialize();
  return false;
}

int CExtractorApp::ExitInstance() {
  gdiplus.reset();
  return static_cast<int>(exitCode);
}

}  // namespace extractor

// What ends the program after an exception that nothing caught: the default
// prints the exception's type, with a demangler of 45 KiB that every package
// would carry. The extractor has no console to print to.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
