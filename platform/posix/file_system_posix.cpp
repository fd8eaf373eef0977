// The file system functions on POSIX, answering as their Windows
// counterparts do where the two systems can be made to agree.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "text/utf8.h"

namespace platform {
namespace {

std::string Native(const std::u16string& path) { return text::Utf16ToUtf8(path); }

struct Inspection {
  std::uint32_t attributes = 0;
  std::uint64_t size = 0;
};

// The attributes and size that Windows would give the file `path` names. A
// symbolic link is a reparse point, as a link is on Windows, and carries the
// attributes and size of its target beside that; a link whose target is
// missing (or that loops) is a reparse point and nothing else. A FIFO, a
// socket and a device are devices of size 0. Nothing, with errno telling
// why, when the path names nothing.
std::optional<Inspection> Inspect(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
  Inspection found;
  if (S_ISLNK(st.st_mode)) {
    found.attributes |= kAttributeReparsePoint;
    if (::stat(path.c_str(), &st) != 0) return found;
  }
  if (S_ISDIR(st.st_mode)) {
    found.attributes |= kAttributeDirectory;
  } else if (S_ISREG(st.st_mode)) {
    found.size = static_cast<std::uint64_t>(st.st_size);
  } else {
    found.attributes |= kAttributeDevice;
  }
  if ((st.st_mode & S_IWUSR) == 0) found.attributes |= kAttributeReadOnly;
  // As on Windows, "normal" only stands alone.
  if (found.attributes == 0) found.attributes = kAttributeNormal;
  return found;
}

// Whether the bytes of a name read back unchanged from their UTF-16 form.
bool Readable(const std::string& nativeName, const std::u16string& name) {
  return text::Utf16ToUtf8(name) == nativeName;
}

// A growing buffer for the calls that fail with a too small one.
template <typename Call>
std::u16string WithGrowingBuffer(Call call) {
  std::string buffer(256, '\0');
  for (;;) {
    const long length = call(buffer);
    if (length < 0) return {};
    if (static_cast<std::size_t>(length) < buffer.size()) {
      buffer.resize(static_cast<std::size_t>(length));
      return text::Utf8ToUtf16(buffer);
    }
    buffer.resize(buffer.size() * 2);
  }
}

// '*' matches any run of characters, '?' exactly one UTF-16 unit, as on
// Windows; everything else matches itself, brackets and backslashes
// included. Case matters, as it does to POSIX names.
bool Matches(std::u16string_view pattern, std::u16string_view name) {
  std::size_t p = 0, n = 0;
  std::size_t star = std::u16string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (star != std::u16string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

}  // namespace

std::optional<std::uint32_t> GetAttributes(const std::u16string& path) {
  const std::optional<Inspection> found = Inspect(Native(path));
  if (!found) return std::nullopt;
  return found->attributes;
}

bool SetAttributes(const std::u16string& path, std::uint32_t attributes) {
  const std::string name = Native(path);
  struct stat st;
  if (::stat(name.c_str(), &st) != 0) return false;
  const mode_t old_mode = st.st_mode & 07777;
  mode_t mode = old_mode;
  if (attributes & kAttributeReadOnly) {
    mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  } else {
    // Only the owner gets writing back: nobody else gains access that way.
    mode |= S_IWUSR;
  }
  return mode == old_mode || ::chmod(name.c_str(), mode) == 0;
}

std::optional<FileIdentity> GetFileIdentity(const std::u16string& path) {
  struct stat st;
  if (::stat(Native(path).c_str(), &st) != 0) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

bool CreateFolder(const std::u16string& path) { return ::mkdir(Native(path).c_str(), 0777) == 0; }

bool RemoveFolder(const std::u16string& path) { return ::rmdir(Native(path).c_str()) == 0; }

bool RemoveFile(const std::u16string& path) {
  const std::string name = Native(path);
  struct stat st;
  if (::lstat(name.c_str(), &st) != 0) return false;
  if (S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return false;
  }
  // Windows deletes no read-only file; the attribute must go first.
  if (S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0) {
    errno = EACCES;
    return false;
  }
  return ::unlink(name.c_str()) == 0;
}

std::u16string GetCurrentFolder() {
  return WithGrowingBuffer([](std::string& buffer) -> long {
    if (::getcwd(buffer.data(), buffer.size()) != nullptr) return std::strlen(buffer.c_str());
    // ERANGE: the buffer is too small; say so by filling it.
    return errno == ERANGE ? static_cast<long>(buffer.size()) : -1;
  });
}

bool SetCurrentFolder(const std::u16string& path) { return ::chdir(Native(path).c_str()) == 0; }

std::u16string GetFullPath(const std::u16string& path) {
  if (path.empty()) return {};
  std::u16string whole;
  if (path.front() != u'/') {
    whole = GetCurrentFolder();
    if (whole.empty()) return {};
    whole += u'/';
  }
  whole += path;

  std::vector<std::u16string_view> steps;
  for (std::size_t start = 0; start < whole.size();) {
    std::size_t end = whole.find(u'/', start);
    if (end == std::u16string::npos) end = whole.size();
    const std::u16string_view step(whole.data() + start, end - start);
    if (step == u"..") {
      if (!steps.empty()) steps.pop_back();  // never above the root
    } else if (!step.empty() && step != u".") {
      steps.push_back(step);
    }
    start = end + 1;
  }

  std::u16string full;
  for (const std::u16string_view step : steps) {
    full += u'/';
    full += step;
  }
  if (full.empty() || whole.back() == u'/') full += u'/';
  return full;
}

std::u16string GetModulePath() {
  return WithGrowingBuffer([](std::string& buffer) -> long {
    return ::readlink("/proc/self/exe", buffer.data(), buffer.size());
  });
}

std::optional<std::uint64_t> GetFreeDiskSpace(const std::u16string& path) {
  struct statvfs volume;
  if (::statvfs(Native(path).c_str(), &volume) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(volume.f_bavail) * volume.f_frsize;
}

struct DirectorySearch::State {
  DIR* dir = nullptr;
  std::u16string folder;  // absolute, ending in '/'
  std::string nativeFolder;
  std::u16string name;      // the name part of the pattern
  bool everything = false;  // "*" or "*.*"
  bool single = false;      // no wildcards: one name, looked up directly
  bool done = false;
  bool failed = false;

  ~State() {
    if (dir != nullptr) ::closedir(dir);
  }

  // Fills `found` for the child `nativeName`; false, with errno telling
  // why, when it is gone.
  bool Fill(const std::string& nativeName, std::u16string name16, FoundFile& found) const {
    const std::optional<Inspection> inspected = Inspect(nativeFolder + nativeName);
    if (!inspected) return false;
    found.nameReadable = Readable(nativeName, name16);
    found.fullPath = folder + name16;
    found.name = std::move(name16);
    found.attributes = inspected->attributes;
    found.size = inspected->size;
    return true;
  }
};

DirectorySearch::DirectorySearch(const std::u16string& pattern) : state_(new State) {
  State& s = *state_;
  // The pattern is made absolute first and split afterwards, as Windows
  // does: "a/b/.." searches for "a", and "a/" names no child at all.
  const std::u16string full = GetFullPath(pattern);
  const std::size_t cut = full.rfind(u'/');
  if (cut == std::u16string::npos || cut + 1 == full.size()) {
    s.done = true;
    return;
  }
  s.folder = full.substr(0, cut + 1);
  s.nativeFolder = Native(s.folder);
  s.name = full.substr(cut + 1);
  s.single = s.name.find_first_of(u"*?") == std::u16string::npos;
  if (s.single) {
    // A missing name is no match, but its folder must be there to say so.
    struct stat st;
    if (::stat(s.nativeFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      s.done = true;
      s.failed = true;
    }
    return;
  }
  s.everything = s.name == u"*" || s.name == u"*.*";
  s.dir = ::opendir(s.nativeFolder.c_str());
  if (s.dir == nullptr) {
    s.done = true;
    s.failed = true;
  }
}

DirectorySearch::~DirectorySearch() { delete state_; }

bool DirectorySearch::Next(FoundFile& found) {
  State& s = *state_;
  if (s.done) return false;
  if (s.single) {
    s.done = true;
    if (s.Fill(Native(s.name), s.name, found)) return true;
    if (errno != ENOENT) s.failed = true;
    return false;
  }
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(s.dir);
    if (entry == nullptr) break;
    std::u16string name = text::Utf8ToUtf16(entry->d_name);
    if (!s.everything && !Matches(s.name, name)) continue;
    if (s.Fill(entry->d_name, std::move(name), found)) return true;
  }
  // readdir says the end of the folder with errno untouched.
  if (errno != 0) s.failed = true;
  s.done = true;
  return false;
}

bool DirectorySearch::failed() const { return state_->failed; }

}  // namespace platform
