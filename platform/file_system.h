// Folders, paths, attributes and directory search: the rest of the platform
// layer's door to the file system. None of these functions throws a
// FileError; each reports failure through its result, as the Windows
// functions they stand for do.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace platform {

// The separator of the platform's paths. Names stored inside a package
// always use '\\'; the POSIX side translates at its boundary.
#ifdef _WIN32
inline constexpr char16_t kPathSeparator = u'\\';
#else
inline constexpr char16_t kPathSeparator = u'/';
#endif

// Names stored inside a package separate folders with '\\'. These two turn
// such a name into a relative path of this platform and back; on Windows
// they change nothing.
inline std::u16string LocalPathFromStoredName(std::u16string_view storedName) {
  std::u16string path(storedName);
  for (char16_t& c : path) {
    if (c == u'\\') c = kPathSeparator;
  }
  return path;
}

inline std::u16string StoredNameFromLocalPath(std::u16string_view path) {
  std::u16string name(path);
  for (char16_t& c : name) {
    if (c == kPathSeparator) c = u'\\';
  }
  return name;
}

// File attributes, with the values that Windows gives them.
inline constexpr std::uint32_t kAttributeReadOnly = 0x01;
inline constexpr std::uint32_t kAttributeHidden = 0x02;
inline constexpr std::uint32_t kAttributeSystem = 0x04;
inline constexpr std::uint32_t kAttributeDirectory = 0x10;
inline constexpr std::uint32_t kAttributeDevice = 0x40;  // a pipe, a socket or a device
inline constexpr std::uint32_t kAttributeArchive = 0x20;
inline constexpr std::uint32_t kAttributeNormal = 0x80;
inline constexpr std::uint32_t kAttributeReparsePoint = 0x400;  // a link or junction

// The attributes of `path`, without opening it; nothing when the path names
// nothing. A directory, and a file that another process holds open without
// sharing, have attributes like any other. A link carries
// kAttributeReparsePoint as in a FoundFile.
std::optional<std::uint32_t> GetAttributes(const std::u16string& path);

// True when `path` names an existing file or folder. Only the attributes
// are asked for: the file is not opened, so a locked file counts too.
inline bool FileExists(const std::u16string& path) { return GetAttributes(path).has_value(); }

// Sets the attributes of `path`. On POSIX only kAttributeReadOnly has an
// effect (it takes away or gives back the write permissions).
bool SetAttributes(const std::u16string& path, std::uint32_t attributes);

// The identity of the file that `path` names (links followed), taken
// without changing the file; nothing when the path names nothing that can
// be opened for reading its attributes.
std::optional<FileIdentity> GetFileIdentity(const std::u16string& path);

// Creates one folder; its parent must exist. False when it already exists.
bool CreateFolder(const std::u16string& path);

// Creates folder `path` and every missing folder above it, from the top
// down, asking whether a folder exists of its attributes (the current
// folder is never changed). The walk up stops at the root of the path: a
// leading separator alone, a drive designator ("C:"), or the start of a
// relative path. True when the folder exists afterwards.
bool CreateFolderChain(const std::u16string& path);

// Removes one empty folder.
bool RemoveFolder(const std::u16string& path);

// Deletes one file.
bool RemoveFile(const std::u16string& path);

// Deletes everything inside `folder`, not `folder` itself: files (a
// read-only one has the attribute cleared first), folders with their
// contents, and links. A link (a symbolic link to a file or a folder, a
// junction) is removed as a link: what it points to is never entered,
// changed or deleted. A `folder` that is itself a link is not entered
// either. 0 when the folder is empty at the end; -1 when it is missing,
// cannot be listed, is a link, or an entry could not be removed, in which
// case the removal stops at that entry and the entries removed before it
// stay removed.
int DeleteTree(const std::u16string& folder);

// The process's current folder, or the empty string when it cannot be had.
std::u16string GetCurrentFolder();

// Makes `path` the process's current folder. False, with the current folder
// unchanged, when `path` is not an existing folder.
bool SetCurrentFolder(const std::u16string& path);

// The platform's full-path rule (GetFullPathNameW on Windows): a relative
// path is taken relative to the current folder, "." and ".." steps and
// doubled separators are resolved by the text alone, and nothing is checked
// against the disk. A trailing separator stays. The empty string when the
// path cannot be made absolute.
std::u16string GetFullPath(const std::u16string& path);

// The whole path of the running program's executable, never a cut one.
std::u16string GetModulePath();

// Bytes free for the calling user on the volume that holds `path`.
std::optional<std::uint64_t> GetFreeDiskSpace(const std::u16string& path);

// One child found by a DirectorySearch. A link (a symbolic link to a file
// or a folder, a dangling one, a junction) carries kAttributeReparsePoint
// on every platform, beside the attributes of what it points to; a pipe, a
// socket or a device carries kAttributeDevice.
struct FoundFile {
  std::u16string name;      // the child's own name
  std::u16string fullPath;  // the searched folder made absolute, then name
  std::uint32_t attributes = 0;
  std::uint64_t size = 0;
  // False when the child's name cannot be told in UTF-16 (on POSIX: bytes
  // that are not UTF-8). `name` then holds U+FFFD for the bad bytes and
  // `fullPath` names no file, or another one.
  bool nameReadable = true;

  bool IsDirectory() const { return (attributes & kAttributeDirectory) != 0; }
  bool IsLink() const { return (attributes & kAttributeReparsePoint) != 0; }
  // Neither a folder nor a link nor a device: a file that can be packed.
  bool IsPlainFile() const {
    return (attributes & (kAttributeDirectory | kAttributeReparsePoint | kAttributeDevice)) == 0;
  }
};

// A directory search over a pattern: a folder, a separator and a name that
// may hold the wildcards '*' and '?' ("*.*" matches every name, as on
// Windows). A pattern without wildcards finds the one file it names. The
// entries "." and ".." come as the platform lists them. The search handle is
// released by the destructor.
class DirectorySearch {
 public:
  explicit DirectorySearch(const std::u16string& pattern);
  DirectorySearch(const DirectorySearch&) = delete;
  DirectorySearch& operator=(const DirectorySearch&) = delete;
  ~DirectorySearch();

  // Fills `found` with the next match; false when there is none.
  bool Next(FoundFile& found);

  // True when the search could not list what it was asked for: the folder
  // is missing, is no folder, or cannot be read (reading it broke off
  // included). A pattern that simply matches nothing is no failure.
  bool failed() const;

 private:
  struct State;
  State* state_ = nullptr;
};

}  // namespace platform
