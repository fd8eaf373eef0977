#include "package/package_builder.h"

#include "package/package_format.h"
#include "platform/file.h"
#include "platform/file_system.h"

namespace package {
namespace {

char16_t FoldAscii(char16_t c) { return c >= u'a' && c <= u'z' ? c - (u'a' - u'A') : c; }

// Letters A-Z and a-z are taken as equal; every other character, accented
// letters included, must match exactly.
bool EqualIgnoringAsciiCase(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

}  // namespace

int PackageEntry::LoadFromFile(const std::u16string& fullPath, const std::u16string& root) {
  platform::File file;
  if (!file.Open(fullPath, platform::FileAccess::kRead, platform::FileCreation::kOpenExisting,
                 platform::FileShare::kReadWrite)) {
    return 0;
  }
  std::uint32_t length = 0;
  try {
    length = static_cast<std::uint32_t>(file.Length());
    file.Close();
  } catch (const platform::FileError&) {
    return 0;  // a file whose length cannot be had is one that cannot be read
  }
  size = length;
  sourcePath = fullPath;
  const std::size_t cut = root.size() + 1;
  storedName = cut < fullPath.size() ? fullPath.substr(cut) : std::u16string();
  return 1;
}

void PackageEntry::Reset() {
  size = 0;
  storedName.clear();
  sourcePath.clear();
}

PackageBuilder::PackageBuilder() : stream{}, modulePath(platform::GetModulePath()) {
  stream.zalloc = Z_NULL;
  stream.zfree = Z_NULL;
  stream.opaque = Z_NULL;
}

PackageBuilder::~PackageBuilder() = default;

int PackageBuilder::AddFile(const std::u16string& fullPath, const std::u16string& root) {
  if (entryCount == kTableCapacity) return 0;
  for (int i = 0; i < entryCount; ++i) {
    if (EqualIgnoringAsciiCase(entries[i].sourcePath, fullPath)) return 1;
  }
  PackageEntry& entry = entries[entryCount];
  if (entry.LoadFromFile(fullPath, root) == 0) return 0;
  // A name that the reader refuses would make the whole package unreadable.
  if (entry.storedName.size() > format::kMaxNameLength || !format::IsSafeStoredName(entry.storedName)) {
    entry.Reset();
    return 0;
  }
  ++entryCount;
  return 1;
}

int PackageBuilder::AddFolder(const std::u16string& folderPath, const std::u16string& root,
                              const std::u16string& excludedName) {
  // An empty folder path would search the root of the whole drive.
  if (folderPath.empty()) return 0;
  int notAdded = 0;
  const std::u16string pattern = folderPath + platform::kPathSeparator + u"*.*";
  platform::FoundFile child;
  {
    platform::DirectorySearch folders(pattern);
    while (folders.Next(child)) {
      // Folder links are not followed: a link back up the tree would add
      // the same files again and again, without end.
      if (child.IsDirectory() && !child.name.empty() && child.name[0] != u'.' &&
          (child.attributes & platform::kAttributeReparsePoint) == 0) {
        notAdded += AddFolder(folderPath + platform::kPathSeparator + child.name, root, excludedName);
      }
    }
  }
  platform::DirectorySearch files(pattern);
  while (files.Next(child)) {
    if (!child.IsDirectory() && !EqualIgnoringAsciiCase(child.name, excludedName) &&
        AddFile(child.fullPath, root) == 0) {
      ++notAdded;
    }
  }
  return notAdded;
}

int PackageBuilder::MeasureTotal() {
  // The sum wraps like the 32-bit number it is; packages stay below 2 GiB.
  std::uint32_t total = 0;
  platform::FoundFile found;
  for (int i = 0; i < entryCount; ++i) {
    platform::DirectorySearch search(entries[i].sourcePath);
    if (search.Next(found)) {
      entries[i].size = static_cast<std::uint32_t>(found.size);
      total += entries[i].size;
    }
  }
  return static_cast<int>(total);
}

void PackageBuilder::ClearTable() {
  for (PackageEntry& entry : entries) entry.Reset();
  entryCount = 0;
  trailerSize = 0;
}

}  // namespace package
