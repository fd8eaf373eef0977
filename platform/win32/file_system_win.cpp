#include <windows.h>

#include "platform/file_system.h"
#include "platform/win32/buffer_adapter.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

namespace platform {

using win32::FillBuffer;
using win32::FromWide;
using win32::Wide;

std::optional<std::uint32_t> GetAttributes(const std::u16string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path));
  if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return attributes;
}

bool SetAttributes(const std::u16string& path, std::uint32_t attributes) {
  return SetFileAttributesW(Wide(path), attributes) != 0;
}

std::optional<FileIdentity> GetFileIdentity(const std::u16string& path) {
  // No access asked for, so that the file's share mode never stands in the
  // way; backup semantics open folders too.
  const win32::UniqueFileHandle file(
      CreateFileW(Wide(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber,
                      (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

bool CreateFolder(const std::u16string& path) { return CreateDirectoryW(Wide(path), nullptr) != 0; }

bool RemoveFolder(const std::u16string& path) { return RemoveDirectoryW(Wide(path)) != 0; }

bool RemoveFile(const std::u16string& path) { return DeleteFileW(Wide(path)) != 0; }

std::u16string GetCurrentFolder() {
  return FillBuffer(
      [](wchar_t* buffer, DWORD capacity) { return GetCurrentDirectoryW(capacity, buffer); });
}

bool SetCurrentFolder(const std::u16string& path) { return SetCurrentDirectoryW(Wide(path)) != 0; }

std::u16string GetFullPath(const std::u16string& path) {
  if (path.empty()) return {};
  return FillBuffer([&](wchar_t* buffer, DWORD capacity) {
    return GetFullPathNameW(Wide(path), capacity, buffer, nullptr);
  });
}

std::u16string GetModulePath() {
  return FillBuffer([](wchar_t* buffer, DWORD capacity) {
    return GetModuleFileNameW(nullptr, buffer, capacity);
  });
}

std::optional<std::uint64_t> GetFreeDiskSpace(const std::u16string& path) {
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExW(Wide(path), &available, nullptr, nullptr)) return std::nullopt;
  return available.QuadPart;
}

struct DirectorySearch::State {
  win32::UniqueFindHandle handle;
  WIN32_FIND_DATAW data{};
  bool pending = false;  // data holds a match not yet handed out
  bool failed = false;
  std::u16string root;  // the searched folder, absolute, ending with a separator
};

namespace {

// Whether FindFirstFileW or FindNextFileW failed only because nothing (more)
// matched; a missing or unreadable folder fails otherwise.
bool NothingMatched(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES;
}

}  // namespace

DirectorySearch::DirectorySearch(const std::u16string& pattern) : state_(new State) {
  state_->handle.reset(FindFirstFileW(Wide(pattern), &state_->data));
  state_->pending = static_cast<bool>(state_->handle);
  state_->failed = !state_->pending && !NothingMatched(GetLastError());
  // The folder of a found child is the pattern made absolute and cut after
  // its last separator.
  std::u16string full = GetFullPath(pattern);
  if (full.empty()) full = pattern;
  const std::size_t cut = full.find_last_of(u"\\/");
  state_->root = cut == std::u16string::npos ? std::u16string() : full.substr(0, cut + 1);
}

DirectorySearch::~DirectorySearch() { delete state_; }

bool DirectorySearch::Next(FoundFile& found) {
  if (!state_->pending) {
    if (!state_->handle) return false;
    if (!FindNextFileW(state_->handle.get(), &state_->data)) {
      if (!NothingMatched(GetLastError())) state_->failed = true;
      state_->handle.reset();
      return false;
    }
  }
  state_->pending = false;
  const WIN32_FIND_DATAW& d = state_->data;
  found.name = FromWide(d.cFileName);
  found.fullPath = state_->root + found.name;
  found.attributes = d.dwFileAttributes;
  found.size = (static_cast<std::uint64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
  found.nameReadable = true;
  return true;
}

bool DirectorySearch::failed() const { return state_->failed; }

}  // namespace platform
