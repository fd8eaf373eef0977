#include "tests/windows/installer_record.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>

#include "extractor/services/service_rules.h"
#include "platform/file_system.h"
#include "platform/win32/wide.h"
#include "tests/support/temp_folder.h"

namespace testing_support {

using platform::win32::Wide;

InstallerRecord ReadInstallerRecord(const std::u16string& path) {
  InstallerRecord record;
  if (!platform::FileExists(path)) return record;
  const std::string bytes = ReadWholeFile(path);
  const std::u16string text(reinterpret_cast<const char16_t*>(bytes.data()),
                            bytes.size() / sizeof(char16_t));
  std::vector<std::u16string> lines;
  for (std::size_t at = 0, end; (end = text.find(u'\n', at)) != std::u16string::npos;
       at = end + 1) {
    lines.push_back(text.substr(at, end - at));
  }
  if (lines.size() < 2) return record;
  record.currentFolder = lines[0];
  record.commandLine = lines[1];
  record.files.assign(lines.begin() + 2, lines.end());
  std::sort(record.files.begin(), record.files.end());
  return record;
}

std::vector<std::u16string> FilesBelow(const std::u16string& folder) {
  namespace fs = std::filesystem;
  std::vector<std::u16string> files;
  std::error_code error;
  const fs::path base(Wide(folder));
  for (const auto& item : fs::recursive_directory_iterator(base, error)) {
    if (item.is_regular_file()) {
      files.push_back(platform::win32::FromWide(fs::relative(item.path(), base).c_str()));
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

namespace {
const std::u16string kRunOnce(extractor::services::kRunOnceKey);
}  // namespace

std::optional<std::wstring> RunOnceValue(const std::u16string& name) {
  wchar_t data[1024] = {};
  DWORD size = sizeof(data) - sizeof(wchar_t);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, Wide(kRunOnce), Wide(name), RRF_RT_REG_SZ, nullptr, data,
                   &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::wstring(data);
}

void RemoveRunOnceValue(const std::u16string& name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(kRunOnce), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
    RegDeleteValueW(key, Wide(name));
    RegCloseKey(key);
  }
}

}  // namespace testing_support
