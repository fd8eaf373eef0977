#include "framework/win_app.h"

#include <commctrl.h>

#include "framework/window.h"
#include "platform/win32/wide.h"

namespace framework {
namespace {

CWinApp* theApplication = nullptr;

}  // namespace

CWinApp::CWinApp() { theApplication = this; }

CWinApp::~CWinApp() {
  if (theApplication == this) theApplication = nullptr;
}

CWinApp* CWinApp::Get() { return theApplication; }

void CWinApp::BeforeInitInstance() {}

bool CWinApp::InitInstance() { return false; }

int CWinApp::ExitInstance() { return 0; }

int CWinApp::Run(HINSTANCE instance) {
  instance_ = instance;
  try {
    BeforeInitInstance();
    if (InitInstance()) {
      MSG message;
      while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
    }
    mainWindow = nullptr;
    return ExitInstance();
  } catch (...) {
    RecordFailure();
    return kInternalErrorCode;  // the program's own codes stay below it
  }
}

HINSTANCE ProgramInstance() {
  const CWinApp* app = CWinApp::Get();
  return app && app->instance() ? app->instance() : GetModuleHandleW(nullptr);
}

std::u16string CWinApp::LoadText(UINT id) const {
  // With a buffer size of 0, LoadStringW hands out a pointer into the
  // resource itself: the text is not cut at any length.
  const wchar_t* text = nullptr;
  const int length = LoadStringW(instance_, id, reinterpret_cast<wchar_t*>(&text), 0);
  if (length <= 0 || text == nullptr) return {};
  return platform::win32::FromWide(text, static_cast<std::size_t>(length));
}

int CWinApp::ShowMessageBox(const std::u16string& text, UINT type) const {
  const std::u16string title =
      messageCaption.empty() ? LoadText(kAppTitleStringId) : messageCaption;
  HWND owner = mainWindow ? mainWindow->hwnd() : nullptr;
  return MessageBoxW(owner, platform::win32::Wide(text), platform::win32::Wide(title), type);
}

void CWinApp::ReportFileError(const platform::FileError& error) const {
  ShowMessageBox(FormatMessageText(FileErrorText(error.cause()), error.path()),
                 MB_OK | MB_ICONSTOP);
}

std::u16string FormatMessageText(std::u16string_view text,
                                 std::initializer_list<std::u16string_view> arguments) {
  // One pass: a "%2" inside the first argument stays as it is.
  std::u16string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::size_t number =
        text[i] == u'%' && i + 1 < text.size() && text[i + 1] >= u'1' && text[i + 1] <= u'9'
            ? static_cast<std::size_t>(text[i + 1] - u'1')
            : arguments.size();
    if (number < arguments.size()) {
      out.append(arguments.begin()[number]);
      ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

std::u16string FormatMessageText(std::u16string_view text, std::u16string_view argument) {
  return FormatMessageText(text, {argument});
}

std::u16string FileErrorText(platform::FileErrorCause cause) {
  using platform::FileErrorCause;
  switch (cause) {
    case FileErrorCause::kNone: return u"No error occurred.";
    case FileErrorCause::kGeneric: return u"An unknown error occurred while accessing %1.";
    case FileErrorCause::kFileNotFound: return u"%1 was not found.";
    case FileErrorCause::kBadPath: return u"%1 contains an invalid path.";
    case FileErrorCause::kTooManyOpenFiles:
      return u"%1 could not be opened because there are too many open files.";
    case FileErrorCause::kAccessDenied: return u"Access to %1 was denied.";
    case FileErrorCause::kInvalidFile: return u"An invalid file handle was associated with %1.";
    case FileErrorCause::kRemoveCurrentDirectory:
      return u"%1 could not be removed because it is the current directory.";
    case FileErrorCause::kDirectoryFull:
      return u"%1 could not be created because the directory is full.";
    case FileErrorCause::kBadSeek: return u"Seek failed on %1";
    case FileErrorCause::kHardIo: return u"A hardware I/O error was reported while accessing %1.";
    case FileErrorCause::kSharingViolation:
      return u"A sharing violation occurred while accessing %1.";
    case FileErrorCause::kLockViolation: return u"A locking violation occurred while accessing %1.";
    case FileErrorCause::kDiskFull: return u"Disk full while accessing %1.";
    case FileErrorCause::kEndOfFile: return u"An attempt was made to access %1 past its end.";
  }
  return u"An unknown error occurred while accessing %1.";
}

}  // namespace framework

// The framework's entry point: the program's one CWinApp object does the work.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  framework::CWinApp* app = framework::CWinApp::Get();
  return app ? app->Run(instance) : framework::CWinApp::kInternalErrorCode;
}
