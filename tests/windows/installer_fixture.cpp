// The installer that unpack_run_test packs into its packages as setup.exe.
// It reads "fixture.txt" beside itself, lines of key=value:
//   record=PATH   where to write what it saw (UTF-16): its current folder,
//                 its command line, then every file below its own folder as
//                 a path relative to it, one per line
//   exit=N        its exit code
//   hold=MS       leave a helper behind that holds "held.bin" (beside this
//                 program) open without sharing for MS milliseconds after
//                 this program has ended
// The helper is this program again, started as
//   installer_fixture --hold FILE MS EVENT
// from the record's folder; it opens FILE, sets the named event and waits.
#include <windows.h>

#include <cwchar>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

std::wstring OwnPath() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::wstring(path, length);
}

std::string ReadAll(const std::wstring& path) {
  std::string bytes;
  const HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0)
    bytes.append(buffer, got);
  CloseHandle(file);
  return bytes;
}

void ListFiles(const std::wstring& folder, const std::wstring& prefix,
               std::vector<std::wstring>& files) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ListFiles(folder + L"\\" + name, prefix + name + L"\\", files);
    } else {
      files.push_back(prefix + name);
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

int Hold(const wchar_t* file, DWORD milliseconds, const wchar_t* eventName) {
  const HANDLE held = CreateFileW(file, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (held == INVALID_HANDLE_VALUE) return 2;
  if (const HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, eventName)) {
    SetEvent(ready);
    CloseHandle(ready);
  }
  Sleep(milliseconds);
  CloseHandle(held);
  return 0;
}

// Starts the helper and waits until it holds the file.
bool LeaveHelper(const std::wstring& self, const std::wstring& file, DWORD milliseconds,
                 const std::wstring& folder) {
  const std::wstring eventName = L"installer-fixture-" + std::to_wstring(GetCurrentProcessId());
  const HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
  std::wstring line = L"\"" + self + L"\" --hold \"" + file + L"\" " +
                      std::to_wstring(milliseconds) + L" " + eventName;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  bool holding = false;
  if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                     &startup, &process)) {
    const HANDLE waits[] = {ready, process.hProcess};
    holding = WaitForMultipleObjects(2, waits, FALSE, 20000) == WAIT_OBJECT_0;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(ready);
  return holding;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 5 && std::wstring(argv[1]) == L"--hold") {
    return Hold(argv[2], std::wcstoul(argv[3], nullptr, 10), argv[4]);
  }
  const std::wstring self = OwnPath();
  const std::wstring home = FolderOf(self);
  std::wstring record;
  int exitCode = 0;
  DWORD hold = 0;
  std::istringstream settings(ReadAll(home + L"\\fixture.txt"));
  for (std::string line; std::getline(settings, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals), value = line.substr(equals + 1);
    if (key == "record") record.assign(value.begin(), value.end());  // ASCII paths only
    if (key == "exit") exitCode = std::stoi(value);
    if (key == "hold") hold = static_cast<DWORD>(std::stoul(value));
  }
  if (record.empty()) return 1000;

  wchar_t folder[MAX_PATH];
  const DWORD length = GetCurrentDirectoryW(MAX_PATH, folder);
  std::wstring text =
      std::wstring(folder, length < MAX_PATH ? length : 0) + L"\n" + GetCommandLineW() + L"\n";
  std::vector<std::wstring> files;
  ListFiles(home, L"", files);
  for (const std::wstring& file : files) text += file + L"\n";
  const HANDLE out =
      CreateFileW(record.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE) return 1001;
  DWORD written = 0;
  WriteFile(out, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
  CloseHandle(out);

  if (hold != 0 && !LeaveHelper(self, home + L"\\held.bin", hold, FolderOf(record))) return 1002;
  return exitCode;
}
