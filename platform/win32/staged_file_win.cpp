// StagedFile on Windows: each folder below the root is opened as itself
// (not through a reparse point) and held without FILE_SHARE_DELETE until
// the file is committed or abandoned, so nobody can rename it or swap it for
// a link meanwhile; the paths built on the held folders then lead where the
// checks found them leading.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/staged_file.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

namespace platform {
namespace {

using win32::UniqueFileHandle;
using win32::Wide;

// How many temporary names are tried before giving up.
constexpr int kTemporaryNameTries = 1000;

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// Splits `relative` at '\\' and '/'; false when a component is empty, "."
// or "..", which would leave the folder or name none.
bool SplitRelative(const std::u16string& relative, std::vector<std::u16string>& parts) {
  std::u16string part;
  for (std::size_t i = 0; i <= relative.size(); ++i) {
    if (i < relative.size() && !IsSeparator(relative[i])) {
      part += relative[i];
      continue;
    }
    if (part.empty() || part == u"." || part == u"..") return false;
    parts.push_back(std::move(part));
    part.clear();
  }
  return true;
}

// Whether the walk up from a missing root stops at `path`: a drive ("C:"),
// the root of the current drive, or the start of a UNC or device path.
bool IsTop(const std::u16string& path) {
  if (path.empty() || path.back() == u':') return true;
  for (const char16_t c : path) {
    if (!IsSeparator(c) && c != u'?' && c != u'.') return false;
  }
  return true;
}

std::u16string TemporaryName(int number) {
  const std::string digits = std::to_string(number);
  return u"~stage" + std::u16string(digits.begin(), digits.end()) + u".tmp";
}

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return {info.dwVolumeSerialNumber,
          (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

// Opens `path` as itself, a reparse point included, for reading its
// attributes; `share` says what others may do meanwhile.
UniqueFileHandle OpenUnfollowed(const std::u16string& path, DWORD share) {
  return UniqueFileHandle(
      CreateFileW(Wide(path), FILE_READ_ATTRIBUTES, share, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// The refusals for what stands at the final name `path`: kNone when
// nothing does or a file that may be replaced does; otherwise the failure,
// with *osError set when the system gave one.
StageFailure LookAtFinalName(const std::u16string& path, const std::optional<FileIdentity>& protect,
                             long* osError) {
  const UniqueFileHandle file(CreateFileW(
      Wide(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return StageFailure::kNone;
    *osError = static_cast<long>(error);
    return StageFailure::kCannotCreate;
  }
  // A device name ("NUL", "CON") opens the device.
  if (GetFileType(file.get()) != FILE_TYPE_DISK) return StageFailure::kNotAPlainFile;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file.get(), &info)) {
    *osError = static_cast<long>(GetLastError());
    return StageFailure::kCannotCreate;
  }
  if (info.dwFileAttributes &
      (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) {
    return StageFailure::kNotAPlainFile;
  }
  // The protected file is named as such even when it is read-only too.
  if (protect && IdentityOf(info) == *protect) return StageFailure::kProtected;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) return StageFailure::kReadOnly;
  return StageFailure::kNone;
}

}  // namespace

struct StagedFile::Folders {
  std::vector<std::u16string> made;    // the folders Begin created, outermost first
  std::vector<UniqueFileHandle> held;  // the root, then each folder of `relative`
  bool temporaryMade = false;
};

bool StagedFile::Begin(const std::u16string& root, const std::u16string& relative,
                       const FileIdentity* protect) {
  Restart(protect);
  folders_ = new Folders;
  Folders& f = *folders_;

  std::u16string path = root;
  while (path.size() > 1 && IsSeparator(path.back()) && path[path.size() - 2] != u':') {
    path.pop_back();
  }
  // A bare drive stands for its root folder here, not for the folder that
  // is current on that drive.
  if (path.size() == 2 && path[1] == u':') path += u'\\';
  finalPath_ = path;
  if (finalPath_.empty() || !IsSeparator(finalPath_.back())) finalPath_ += u'\\';
  for (const char16_t c : relative) finalPath_ += c == u'/' ? u'\\' : c;
  temporaryPath_.clear();

  std::vector<std::u16string> parts;
  if (!SplitRelative(relative, parts)) return Fail(StageFailure::kCannotCreate, ERROR_INVALID_NAME);
  const std::u16string finalName = parts.back();
  parts.pop_back();
  f.held.reserve(parts.size() + 1);

  // The root and whatever is missing above it, the way the system goes.
  if (path.empty()) return Fail(StageFailure::kCannotCreate, ERROR_PATH_NOT_FOUND);
  std::vector<std::u16string> missing;
  for (std::u16string at = path; !IsTop(at);) {
    if (GetFileAttributesW(Wide(at)) != INVALID_FILE_ATTRIBUTES) break;
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      return Fail(StageFailure::kCannotCreate, static_cast<long>(error));
    }
    missing.push_back(at);
    std::size_t cut = at.size();
    while (cut > 0 && !IsSeparator(at[cut - 1])) --cut;
    // "C:\\" rather than "C:" above a folder of the drive's root.
    const std::size_t parent = cut > 1 && at[cut - 2] == u':' ? cut : cut - 1;
    if (cut == 0 || parent >= at.size()) break;
    at.resize(parent);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (CreateDirectoryW(Wide(*it), nullptr)) {
      f.made.push_back(*it);
    } else if (GetLastError() != ERROR_ALREADY_EXISTS) {
      return Fail(StageFailure::kCannotCreate, static_cast<long>(GetLastError()));
    }
  }
  {
    // The root is the caller's: a link there is followed.
    UniqueFileHandle folder(CreateFileW(Wide(path), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!folder || !GetFileInformationByHandle(folder.get(), &info)) {
      return Fail(StageFailure::kCannotCreate, static_cast<long>(GetLastError()));
    }
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return Fail(StageFailure::kCannotCreate, ERROR_DIRECTORY);
    }
    f.held.push_back(std::move(folder));
  }

  // The folders below the root, each opened as itself.
  for (const std::u16string& part : parts) {
    if (!IsSeparator(path.back())) path += u'\\';
    path += part;
    if (CreateDirectoryW(Wide(path), nullptr)) {
      f.made.push_back(path);
    } else if (GetLastError() != ERROR_ALREADY_EXISTS) {
      return Fail(StageFailure::kCannotCreate, static_cast<long>(GetLastError()));
    }
    UniqueFileHandle folder = OpenUnfollowed(path, FILE_SHARE_READ | FILE_SHARE_WRITE);
    BY_HANDLE_FILE_INFORMATION info;
    if (!folder || !GetFileInformationByHandle(folder.get(), &info)) {
      return Fail(StageFailure::kCannotCreate, static_cast<long>(GetLastError()));
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      return Fail(StageFailure::kLinkOnTheWay, 0);
    }
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return Fail(StageFailure::kNotAFolder, 0);
    }
    f.held.push_back(std::move(folder));
  }
  if (!IsSeparator(path.back())) path += u'\\';

  long error = 0;
  if (const StageFailure refused = LookAtFinalName(finalPath_, protect_, &error);
      refused != StageFailure::kNone) {
    return Fail(refused, error);
  }

  // The temporary name is short whatever the final name's length.
  for (int number = 1;; ++number) {
    if (number > kTemporaryNameTries) return Fail(StageFailure::kCannotCreate, ERROR_FILE_EXISTS);
    const std::u16string name = TemporaryName(number);
    if (name == finalName) continue;
    temporaryPath_ = path + name;
    UniqueFileHandle created(CreateFileW(Wide(temporaryPath_), GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (created) {
      f.temporaryMade = true;
      if (!file_.AdoptShared(reinterpret_cast<std::intptr_t>(created.release()), temporaryPath_)) {
        return Fail(StageFailure::kCannotCreate, static_cast<long>(GetLastError()));
      }
      return true;
    }
    const DWORD why = GetLastError();
    if (why != ERROR_FILE_EXISTS && why != ERROR_ALREADY_EXISTS) {
      return Fail(StageFailure::kCannotCreate, static_cast<long>(why));
    }
  }
}

bool StagedFile::Commit() {
  if (folders_ == nullptr || !folders_->temporaryMade) {
    return Fail(StageFailure::kCannotCreate, ERROR_INVALID_FUNCTION);
  }
  try {
    file_.Close();
  } catch (const FileError& e) {
    return Fail(StageFailure::kCannotCreate, e.osError());
  }
  long error = 0;
  if (const StageFailure refused = LookAtFinalName(finalPath_, protect_, &error);
      refused != StageFailure::kNone) {
    return Fail(refused, error);
  }
  if (!MoveFileExW(Wide(temporaryPath_), Wide(finalPath_), MOVEFILE_REPLACE_EXISTING)) {
    return Fail(StageFailure::kCannotCreate, static_cast<long>(GetLastError()));
  }
  delete folders_;
  folders_ = nullptr;
  return true;
}

void StagedFile::Abandon() noexcept {
  file_ = File();
  if (folders_ == nullptr) return;
  Folders& f = *folders_;
  if (f.temporaryMade) DeleteFileW(Wide(temporaryPath_));
  // The held folders are let go first: a folder that is open without
  // FILE_SHARE_DELETE cannot be removed.
  f.held.clear();
  // Each folder goes only while it is empty; one that is not keeps the
  // folders around it as well.
  for (auto it = f.made.rbegin(); it != f.made.rend(); ++it) RemoveDirectoryW(Wide(*it));
  delete folders_;
  folders_ = nullptr;
}

}  // namespace platform
