#include "tests/e2e/program_driver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/file_system.h"
#include "platform/win32/wide.h"
#include "tests/support/temp_folder.h"

namespace e2e {

using platform::win32::FromWide;
using platform::win32::Wide;

std::u16string BinDirectory() {
  std::u16string self = platform::GetModulePath();
  self.resize(self.rfind(u'\\') + 1);
  return platform::GetFullPath(self + FromWide(TEST_BIN_DIR_RELATIVE));
}

std::wstring WindowText(HWND window) {
  wchar_t text[2048] = {};
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                      5000, &copied);
  return text;
}

constexpr int kMessageBoxText = 0xFFFF;

std::wstring MessageBoxText(HWND box) { return WindowText(GetDlgItem(box, kMessageBoxText)); }

void Press(HWND window, int button) {
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(window, button)));
}

ScopedEnvironment::ScopedEnvironment(std::wstring name, const std::wstring& value)
    : name_(std::move(name)) {
  wchar_t old[32768];
  const DWORD length = GetEnvironmentVariableW(name_.c_str(), old, 32768);
  had_ = length > 0 && length < 32768;
  if (had_) old_.assign(old, length);
  SetEnvironmentVariableW(name_.c_str(), value.c_str());
}

ScopedEnvironment::~ScopedEnvironment() {
  SetEnvironmentVariableW(name_.c_str(), had_ ? old_.c_str() : nullptr);
}

RunningProgram::RunningProgram(const std::u16string& exe, const std::u16string& folder,
                               const std::u16string& arguments) {
  std::u16string commandLine = u"\"" + exe + u"\"";
  if (!arguments.empty()) commandLine += u" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(Wide(exe), Wide(commandLine.data()), nullptr, nullptr, FALSE, 0, nullptr,
                      Wide(folder), &startup, &info)) {
    ADD_FAILURE() << "cannot start " << testing_support::U8(exe);
    return;
  }
  process_.reset(info.hProcess);
  const platform::win32::UniqueHandle thread(info.hThread);
  processId_ = info.dwProcessId;
}

RunningProgram::~RunningProgram() {
  if (Running()) {
    TerminateProcess(process_.get(), 99);
    WaitForSingleObject(process_.get(), 10000);
  }
}

int RunningProgram::Wait(int seconds) {
  if (!process_ || WaitForSingleObject(process_.get(), seconds * 1000) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  GetExitCodeProcess(process_.get(), &code);
  return static_cast<int>(code);
}

bool RunningProgram::Running() const {
  return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

HWND RunningProgram::FindDialog(const std::wstring& caption, HWND except, int seconds) const {
  return Find(caption, except, 0, seconds);
}

HWND RunningProgram::FindMessageBox(const std::wstring& caption, int seconds) const {
  return Find(caption, nullptr, kMessageBoxText, seconds);
}

HWND RunningProgram::Find(const std::wstring& caption, HWND except, int controlId,
                          int seconds) const {
  struct Search {
    DWORD processId;
    const std::wstring& caption;
    HWND except;
    int controlId;
    HWND found;
  };
  const auto visit = [](HWND window, LPARAM context) -> BOOL {
    auto& search = *reinterpret_cast<Search*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (owner == search.processId && window != search.except && IsWindowVisible(window) &&
        std::wstring(className) == L"#32770" && WindowText(window) == search.caption &&
        (search.controlId == 0 || GetDlgItem(window, search.controlId) != nullptr)) {
      search.found = window;
      return FALSE;
    }
    return TRUE;
  };
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < until && Running()) {
    Search search{processId_, caption, except, controlId, nullptr};
    EnumWindows(visit, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return nullptr;
}

}  // namespace e2e
