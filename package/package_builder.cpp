#include "package/package_builder.h"

#include <algorithm>
#include <climits>
#include <optional>

#include "package/package_format.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "text/ascii.h"

namespace package {
namespace {

// Windows takes '/' for '\\' and letters of either case as equal in paths;
// POSIX compares them exactly.
constexpr bool kWindowsPaths = platform::kPathSeparator == u'\\';

bool IsSeparator(char16_t c) {
  return c == platform::kPathSeparator || (kWindowsPaths && c == u'/');
}

bool SamePathText(std::u16string_view a, std::u16string_view b) {
  if (!kWindowsPaths) return a == b;
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const bool separators = IsSeparator(a[i]) && IsSeparator(b[i]);
    if (text::FoldAsciiCase(a[i]) != text::FoldAsciiCase(b[i]) && !separators) return false;
  }
  return true;
}

// Two stored names that restore to the same file on Windows: letters A-Z
// and a-z, and '\\' and '/', taken as equal.
bool SameStoredName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const bool separators = (a[i] == u'\\' || a[i] == u'/') && (b[i] == u'\\' || b[i] == u'/');
    if (text::FoldAsciiCase(a[i]) != text::FoldAsciiCase(b[i]) && !separators) return false;
  }
  return true;
}

// The name that `fullPath` gets in the package: the path without `root`
// and the separator after it. Nothing when the root is not the leading part
// of the path (as the platform compares paths), when no separator follows
// it, or when nothing is left. A root that ends with a separator is cut
// with that separator.
std::optional<std::u16string> CutRoot(const std::u16string& fullPath, const std::u16string& root) {
  const bool rootEndsWithSeparator = !root.empty() && IsSeparator(root.back());
  if (fullPath.size() <= root.size() || !SamePathText(fullPath.substr(0, root.size()), root)) {
    return std::nullopt;
  }
  std::size_t cut = root.size();
  if (!rootEndsWithSeparator) {
    if (!IsSeparator(fullPath[cut])) return std::nullopt;
    ++cut;
  }
  if (cut >= fullPath.size()) return std::nullopt;
  return fullPath.substr(cut);
}

}  // namespace

int PackageEntry::LoadFromFile(const std::u16string& fullPath, const std::u16string& root) {
  const std::optional<std::u16string> name = CutRoot(fullPath, root);
  if (!name) return 0;
  platform::File file;
  if (!file.Open(fullPath, platform::FileAccess::kRead, platform::FileCreation::kOpenExisting,
                 platform::FileShare::kReadWrite)) {
    return 0;
  }
  std::uint64_t length = 0;
  try {
    // Only plain files are packed, and sizes are below 2 GiB in a package.
    if (!file.IsPlainFile()) return 0;
    length = file.Length();
    file.Close();
  } catch (const platform::FileError&) {
    return 0;  // a file whose length cannot be had is one that cannot be read
  }
  if (length > format::kMaxPackageBytes) return 0;
  size = static_cast<std::uint32_t>(length);
  sourcePath = fullPath;
  storedName = *name;
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
    if (text::EqualIgnoringAsciiCase(entries[i].sourcePath, fullPath)) return 1;
  }
  PackageEntry& entry = entries[entryCount];
  if (entry.LoadFromFile(fullPath, root) == 0) return 0;
  // A name that the reader refuses would make the whole package unreadable.
  if (entry.storedName.size() > format::kMaxNameLength ||
      !format::IsSafeStoredName(entry.storedName)) {
    entry.Reset();
    return 0;
  }
  // Two files under one name would overwrite each other when unpacked; the
  // same file reached by another path is simply there already.
  for (int i = 0; i < entryCount; ++i) {
    if (SameStoredName(entries[i].storedName, entry.storedName)) {
      const auto added = platform::GetFileIdentity(entries[i].sourcePath);
      const bool sameFile = added && added == platform::GetFileIdentity(fullPath);
      entry.Reset();
      return sameFile ? 1 : 0;
    }
  }
  ++entryCount;
  return 1;
}

int PackageBuilder::AddFolder(const std::u16string& folderPath, const std::u16string& root,
                              const std::u16string& excludedName) {
  // An empty folder path would search the root of the whole drive.
  if (folderPath.empty()) return 0;
  // The files found have absolute paths, so the root is cut in its absolute
  // form too.
  const std::u16string fullRoot = root.empty() ? root : platform::GetFullPath(root);
  int notAdded = 0;
  const std::u16string pattern = folderPath + platform::kPathSeparator + u"*.*";
  platform::FoundFile child;
  {
    platform::DirectorySearch folders(pattern);
    while (folders.Next(child)) {
      // Folder links are not followed: a link back up the tree would add
      // the same files again and again, without end.
      if (child.IsDirectory() && !child.IsLink() && !child.name.empty() && child.name[0] != u'.') {
        const std::u16string subfolder = folderPath + platform::kPathSeparator + child.name;
        notAdded += child.nameReadable ? AddFolder(subfolder, fullRoot, excludedName) : 1;
      }
    }
    // A folder that is missing or cannot be read counts as one file that
    // could not be added: its files are not in the package.
    if (folders.failed()) return notAdded + 1;
  }
  platform::DirectorySearch files(pattern);
  while (files.Next(child)) {
    if (child.IsDirectory() || text::EqualIgnoringAsciiCase(child.name, excludedName)) continue;
    // The package that is being written is no source of itself.
    if (leftOut && platform::GetFileIdentity(child.fullPath) == leftOut) continue;
    // Links, pipes and devices are not packed, nor a file whose name this
    // platform cannot tell (its path would name another file, or none).
    if (!child.IsPlainFile() || !child.nameReadable || AddFile(child.fullPath, fullRoot) == 0) {
      ++notAdded;
    }
  }
  if (files.failed()) ++notAdded;
  return notAdded;
}

void PackageBuilder::LeaveOutOfFolders(const std::u16string& path) {
  leftOut = platform::GetFileIdentity(path);
}

int PackageBuilder::FindSource(const std::u16string& path) const {
  const auto target = platform::GetFileIdentity(path);
  if (!target) return -1;
  for (int i = 0; i < entryCount; ++i) {
    if (platform::GetFileIdentity(entries[i].sourcePath) == target) return i;
  }
  return -1;
}

int PackageBuilder::MeasureTotal() {
  // The sum wraps like the 32-bit number it is; packages stay below 2 GiB.
  // Each size is taken from the file itself: a search on its name would
  // take a name holding '*' or '?' for a pattern.
  std::uint32_t total = 0;
  for (int i = 0; i < entryCount; ++i) {
    platform::File file;
    if (!file.Open(entries[i].sourcePath, platform::FileAccess::kRead,
                   platform::FileCreation::kOpenExisting, platform::FileShare::kReadWrite)) {
      continue;
    }
    try {
      const std::uint64_t length = file.Length();
      entries[i].size = static_cast<std::uint32_t>(std::min<std::uint64_t>(length, UINT32_MAX));
    } catch (const platform::FileError&) {
      continue;
    }
    total += entries[i].size;
  }
  return static_cast<int>(total);
}

void PackageBuilder::ClearTable() {
  for (PackageEntry& entry : entries) entry.Reset();
  outcomes.fill(EntryOutcome{});
  entryCount = 0;
  trailerSize = 0;
}

// The stream operations over the one zlib stream and its two buffers, for
// the writer and the reader alike. They live apart from both, so that a
// program that only reads packages links no compressor.

std::uint32_t PackageBuilder::FillInput(platform::File& file, std::uint32_t limit) {
  if (stream.avail_in == 0) {
    stream.next_in = inBuffer;
    stream.avail_in = static_cast<uInt>(
        limit == 0 ? 0 : file.Read(inBuffer, std::min<std::size_t>(limit, kStreamBufferSize)));
  }
  return stream.avail_in;
}

std::uint32_t PackageBuilder::FlushOutput(platform::File& file) {
  const std::uint32_t pending = static_cast<std::uint32_t>(kStreamBufferSize - stream.avail_out);
  if (pending != 0) {
    file.Write(outBuffer, pending);
    stream.next_out = outBuffer;
    stream.avail_out = static_cast<uInt>(kStreamBufferSize);
  }
  return pending;
}

std::uint32_t PackageBuilder::EntryPercent() const {
  return PercentOf(stream.total_in, currentTotal);
}

std::uint32_t PackageBuilder::PercentOf(std::uint64_t done, std::uint32_t total) {
  if (total == 0) return 100;
  const auto part = static_cast<std::uint32_t>(done);
  if (total <= 10'000'000) return part * 100 / total;
  return part / (total / 100);
}

}  // namespace package
