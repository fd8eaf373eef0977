// A DLL that a hostile page could leave beside a package, under the name of
// one that the package or the system loads by name. Loaded, it leaves
// "NAME.dll.loaded" beside itself and refuses to stay.
#include <windows.h>

#include <string>

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    const std::wstring marker = std::wstring(path, length) + L".loaded";
    const HANDLE file =
        CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
  return FALSE;
}
