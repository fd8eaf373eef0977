// The application object of our thin dialog framework. A program derives
// one class from CWinApp and defines exactly one global object of it; the
// framework's entry point (wWinMain) finds it, runs InitInstance, runs a
// message loop only when InitInstance returns true, and ends the process
// with the code that ExitInstance returns.
#pragma once

#include <windows.h>

#include <atomic>
#include <initializer_list>
#include <string>

#include "framework/framework_ids.h"
#include "platform/file_error.h"

namespace framework {

class CWnd;

// The id of the program's title string: the caption of every message box.
inline constexpr UINT kAppTitleStringId = IDS_APP_TITLE;

class CWinApp {
 public:
  CWinApp();
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // The one application object, or nullptr before it is constructed.
  static CWinApp* Get();

  // Called first of all, before InitInstance and before anything of the
  // program's own has run: the place for settings of the process itself
  // that must come before any library is loaded (where DLLs are looked
  // for). Throwing ends the program as a failure, without InitInstance.
  virtual void BeforeInitInstance();

  // Starts the program. Return false to end without a message loop.
  virtual bool InitInstance();
  // Returns the process exit code.
  virtual int ExitInstance();

  // Called by the entry point: BeforeInitInstance, InitInstance, the
  // message loop when asked for, ExitInstance. No exception leaves it; one
  // that reaches it is recorded and ends the program with kInternalErrorCode.
  static constexpr int kInternalErrorCode = 70;
  int Run(HINSTANCE instance);

  HINSTANCE instance() const { return instance_; }

  // The string `id` in the language that the platform picks for the user;
  // empty when the program has no such string.
  std::u16string LoadText(UINT id) const;

  // A modal message box with `text`, captioned with messageCaption (the
  // program's title while that is empty) and owned by the main window when
  // there is one. Returns the button pressed.
  int ShowMessageBox(const std::u16string& text, UINT type) const;
  std::u16string messageCaption;

  // The framework's own English text for a file error, with the file's
  // name in it, shown with the stop icon.
  void ReportFileError(const platform::FileError& error) const;

  // Set when an unexpected exception was stopped at a window procedure or
  // at a worker thread's barrier; any thread may record one.
  void RecordFailure() { failed_ = true; }
  bool failed() const { return failed_; }

  // The window that owns message boxes; the creator's dialog sets itself.
  CWnd* mainWindow = nullptr;

 private:
  HINSTANCE instance_ = nullptr;
  std::atomic<bool> failed_ = false;
};

// The module whose resources and window classes are the program's: the
// application's instance once it runs, the executable otherwise.
HINSTANCE ProgramInstance();

// `text` with every "%1" replaced by `argument`.
std::u16string FormatMessageText(std::u16string_view text, std::u16string_view argument);
// `text` with every "%1", "%2", ... replaced by the first, second, ...
// argument, in one pass (a placeholder inside an argument stays as it is);
// a placeholder without an argument stays.
std::u16string FormatMessageText(std::u16string_view text,
                                 std::initializer_list<std::u16string_view> arguments);

// The English text of a file error's cause, with "%1" standing for the file.
std::u16string FileErrorText(platform::FileErrorCause cause);

}  // namespace framework
