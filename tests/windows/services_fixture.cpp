// The program that system_services_test starts: writes its current folder,
// a line break and its whole command line (UTF-16) to the file named by its
// first argument (relative to its current folder), and exits with the
// number given as its second argument.
#include <windows.h>

#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 1000;
  wchar_t folder[MAX_PATH];
  const DWORD length = GetCurrentDirectoryW(MAX_PATH, folder);
  const std::wstring text =
      std::wstring(folder, length < MAX_PATH ? length : 0) + L"\n" + GetCommandLineW();
  const HANDLE file = CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1001;
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written,
            nullptr);
  CloseHandle(file);
  return static_cast<int>(std::wcstoul(argv[2], nullptr, 10));
}
