// Driving a program of ours as a user would, from a test program under
// wine: start it, find its dialogs and message boxes, read their texts,
// press their buttons with window messages, and wait for its exit code.
#pragma once

#include <windows.h>

#include <string>

#include "platform/win32/unique_handle.h"

namespace e2e {

// The build's program folder (bin/), from this test program's own folder.
std::u16string BinDirectory();

// The text of a window, also of an edit control of another process.
std::wstring WindowText(HWND window);
// The text of a message box: its static control has the id 0xFFFF.
std::wstring MessageBoxText(HWND box);
// Clicks `button` of a dialog or message box.
void Press(HWND window, int button);

// An environment variable of this process (and so of the programs it
// starts) set for the life of the object; the old value comes back after.
class ScopedEnvironment {
 public:
  ScopedEnvironment(std::wstring name, const std::wstring& value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::wstring name_;
  bool had_ = false;
  std::wstring old_;
};

// A started program. The destructor ends one that still runs.
class RunningProgram {
 public:
  // Starts `exe` with the command line "exe" (quoted) and `arguments`
  // after a blank when there are any, in `folder`.
  RunningProgram(const std::u16string& exe, const std::u16string& folder,
                 const std::u16string& arguments = {});
  ~RunningProgram();
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  // The exit code once the program has ended; -1 after the time-out.
  int Wait(int seconds = 120);
  bool Running() const;

  // A visible top-level dialog or message box of the program with the
  // caption `caption`, other than `except`; nullptr when none comes within
  // `seconds` or the program ends.
  HWND FindDialog(const std::wstring& caption, HWND except = nullptr, int seconds = 60) const;
  // The same for a message box: a dialog with a message text (0xFFFF).
  HWND FindMessageBox(const std::wstring& caption, int seconds = 60) const;

 private:
  HWND Find(const std::wstring& caption, HWND except, int controlId, int seconds) const;

  platform::win32::UniqueHandle process_;
  DWORD processId_ = 0;
};

}  // namespace e2e
