// Folders, the open command and the registry values of the system services.
#include <windows.h>

#include <vector>

#include "extractor/services/system_services.h"
#include "platform/file_system.h"
#include "platform/win32/buffer_adapter.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

namespace extractor::services {
namespace {

using platform::win32::FromWide;
using platform::win32::UniqueFindHandle;
using platform::win32::UniqueRegistryKey;
using platform::win32::Wide;

// The default or named string value of `subkey` below `root`, whole (no
// length limit), without expanding environment variables; nothing when it
// is missing, empty or no string.
std::optional<std::u16string> ReadString(HKEY root, const std::u16string& subkey) {
  constexpr DWORD kFlags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD bytes = 0;
    if (RegGetValueW(root, Wide(subkey), nullptr, kFlags, nullptr, nullptr, &bytes) !=
            ERROR_SUCCESS ||
        bytes < sizeof(wchar_t)) {
      return std::nullopt;
    }
    std::u16string value(bytes / sizeof(char16_t), u'\0');
    const LSTATUS status =
        RegGetValueW(root, Wide(subkey), nullptr, kFlags, nullptr, value.data(), &bytes);
    if (status == ERROR_MORE_DATA) continue;  // it grew meanwhile
    if (status != ERROR_SUCCESS) return std::nullopt;
    value.resize(bytes / sizeof(char16_t));
    while (!value.empty() && value.back() == u'\0') value.pop_back();
    if (value.empty()) return std::nullopt;
    return value;
  }
  return std::nullopt;
}

}  // namespace

std::u16string LongPathName(const std::u16string& path) {
  return LongPathName(path, [](const std::u16string& pattern) -> std::optional<std::u16string> {
    WIN32_FIND_DATAW found;
    const UniqueFindHandle search(FindFirstFileW(Wide(pattern), &found));
    if (!search) return std::nullopt;
    return FromWide(found.cFileName);
  });
}

bool DirectoryExists(const std::u16string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int DeleteTree(const std::u16string& folder) { return platform::DeleteTree(folder); }

std::u16string OutermostNewFolder(const std::u16string& path) {
  return OutermostNewFolder(path, [](const std::u16string& p) { return DirectoryExists(p); });
}

OpenCommand FindOpenCommand(const std::u16string& file, HKEY classesRoot) {
  const OpenCommand itself{file, {}};
  if (RunsByItself(file)) return itself;
  const std::optional<std::u16string> fileClass = ReadString(classesRoot, ExtensionOf(file));
  if (!fileClass) return itself;
  const std::optional<std::u16string> command =
      ReadString(classesRoot, *fileClass + u"\\shell\\open\\command");
  if (!command) return itself;
  const std::u16string systemRoot = platform::win32::FillBuffer([](wchar_t* buffer, DWORD size) {
    return GetEnvironmentVariableW(L"SystemRoot", buffer, size);
  });
  std::optional<std::u16string_view> root;
  if (!systemRoot.empty()) root = systemRoot;
  return SplitOpenCommand(*command, file, root).value_or(itself);
}

void SetRunOnceValue(HKEY root, const std::u16string& keyPathAndName, const std::u16string& text) {
  const KeyAndValue target = SplitKeyPathAndName(keyPathAndName);
  // RegCreateKeyExW creates every missing key on the path, from the top.
  UniqueRegistryKey key;
  if (RegCreateKeyExW(root, Wide(target.keyPath), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE, nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
    return;
  }
  // A string value's size includes its terminating zero.
  RegSetValueExW(key.get(), Wide(target.valueName), 0, REG_SZ,
                 reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
}

void DeleteRunOnceValue(HKEY root, const std::u16string& keyPathAndName) {
  const KeyAndValue target = SplitKeyPathAndName(keyPathAndName);
  UniqueRegistryKey key;
  if (RegOpenKeyExW(root, Wide(target.keyPath), 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) {
    return;
  }
  RegDeleteValueW(key.get(), Wide(target.valueName));
}

bool IsSystemVersion6OrLater() {
  wchar_t version[64];
  DWORD bytes = sizeof(version);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion",
                   L"CurrentVersion", RRF_RT_REG_SZ, nullptr, version, &bytes) != ERROR_SUCCESS) {
    return false;
  }
  return IsVersion6OrLater(FromWide(version));
}

void MarkCompatibilityPersisted(const std::u16string& ownPath, HKEY root,
                                const std::u16string& keyPath) {
  UniqueRegistryKey key;
  if (RegCreateKeyExW(root, Wide(keyPath), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                      nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
    return;
  }
  const DWORD one = 1;
  RegSetValueExW(key.get(), Wide(ownPath), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one),
                 sizeof(one));
}

}  // namespace extractor::services
