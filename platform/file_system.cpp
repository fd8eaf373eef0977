// What the file system layer does alike on every platform, built on the
// per-platform functions.
#include "platform/file_system.h"

#include <vector>

namespace platform {

bool CreateFolderChain(const std::u16string& path) {
  auto isFolder = [](const std::u16string& p) {
    const auto attributes = GetAttributes(p);
    return attributes && (*attributes & kAttributeDirectory) != 0;
  };
  CreateFolder(path);
  if (isFolder(path)) return true;
  const std::size_t cut = path.rfind(kPathSeparator);
  if (cut == std::u16string::npos || cut == 0) return false;
  const std::u16string parent = path.substr(0, cut);
  if (parent == std::u16string(1, kPathSeparator)) return false;
  if (parent.size() >= 2 && parent.substr(1) == u":") return false;
  return CreateFolderChain(parent) && CreateFolder(path);
}

namespace {

// Removes one link as a link. A link to a file, and any link on POSIX, goes
// with a file deletion; a link to a folder or a junction on Windows only
// with a folder removal, which removes the link and leaves the folder it
// points to alone.
bool RemoveLink(const std::u16string& path) { return RemoveFile(path) || RemoveFolder(path); }

bool RemoveEntry(const FoundFile& entry) {
  if (entry.IsLink()) return RemoveLink(entry.fullPath);
  if (entry.IsDirectory()) return DeleteTree(entry.fullPath) == 0 && RemoveFolder(entry.fullPath);
  // Windows deletes no read-only file. The attribute of a link is never
  // touched: on POSIX it would be its target's.
  if (entry.attributes & kAttributeReadOnly) {
    SetAttributes(entry.fullPath, entry.attributes & ~kAttributeReadOnly);
  }
  RemoveFile(entry.fullPath);
  // A file that another process holds open without sharing its deletion
  // stays; so does one that Windows only marked for deletion.
  return !FileExists(entry.fullPath);
}

}  // namespace

int DeleteTree(const std::u16string& folder) {
  const auto attributes = GetAttributes(folder);
  if (!attributes || (*attributes & kAttributeDirectory) == 0 ||
      (*attributes & kAttributeReparsePoint) != 0) {
    return -1;
  }
  const std::u16string pattern = folder + kPathSeparator + u"*";
  // Entries are removed in search order; a pass that finds nothing left
  // ends the work, so an entry that a pass did not see is still taken.
  for (;;) {
    std::vector<FoundFile> entries;
    {
      DirectorySearch search(pattern);
      FoundFile found;
      while (search.Next(found)) {
        if (found.name != u"." && found.name != u"..") entries.push_back(found);
      }
      if (search.failed()) return -1;
    }
    if (entries.empty()) return 0;
    for (const FoundFile& entry : entries) {
      if (!RemoveEntry(entry)) return -1;
    }
  }
}

}  // namespace platform
