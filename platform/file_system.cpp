// What the file system layer does alike on every platform, built on the
// per-platform functions.
#include "platform/file_system.h"

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

}  // namespace platform
