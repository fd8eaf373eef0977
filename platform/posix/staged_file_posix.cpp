// StagedFile on POSIX: the folders below the root are walked with openat(2)
// and O_NOFOLLOW from one held descriptor to the next, so that no link and
// no rename on the way can send the file anywhere else; the temporary file
// and the final name are both reached through the last descriptor.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include "platform/staged_file.h"
#include "text/utf8.h"

namespace platform {
namespace {

// How many temporary names are tried before giving up.
constexpr int kTemporaryNameTries = 1000;

std::string Native(const std::u16string& path) { return text::Utf16ToUtf8(path); }

int OpenFolderAt(int dir, const std::string& name) {
  int fd;
  do fd = ::openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  return fd;
}

// Splits `relative` into its components; false when one is empty, "." or
// "..", which would leave the folder or name none.
bool SplitRelative(const std::string& relative, std::vector<std::string>& parts) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = relative.find('/', start);
    std::string part = relative.substr(start, end == std::string::npos ? end : end - start);
    if (part.empty() || part == "." || part == "..") return false;
    parts.push_back(std::move(part));
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

// The refusals for what stands at the final name `name` in `dir`:
// kNone when nothing does or a file that may be replaced does; otherwise
// the failure, with *osError set when the system gave one.
StageFailure LookAtFinalName(int dir, const std::string& name,
                             const std::optional<FileIdentity>& protect, long* osError) {
  struct stat st;
  if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) return StageFailure::kNone;
    *osError = errno;
    return StageFailure::kCannotCreate;
  }
  if (!S_ISREG(st.st_mode)) return StageFailure::kNotAPlainFile;
  const FileIdentity identity{static_cast<std::uint64_t>(st.st_dev),
                              static_cast<std::uint64_t>(st.st_ino)};
  // The protected file is named as such even when it is read-only too.
  if (protect && identity == *protect) return StageFailure::kProtected;
  // Windows replaces no read-only file; root would get through without this.
  if ((st.st_mode & S_IWUSR) == 0) return StageFailure::kReadOnly;
  return StageFailure::kNone;
}

}  // namespace

struct StagedFile::Folders {
  // A folder of `relative` that Begin created: its name in the held
  // folder open[parent].
  struct Made {
    std::size_t parent;
    std::string name;
  };

  std::vector<std::string> madeAbove;  // the root and its parents made by path, outermost first
  std::vector<int> open;               // the root, then each folder of `relative`
  std::vector<Made> madeBelow;         // outermost first
  std::string finalName;
  std::string temporaryName;  // empty while there is no temporary file

  Folders() = default;
  Folders(const Folders&) = delete;
  Folders& operator=(const Folders&) = delete;
  ~Folders() { Close(); }

  int Dir() const { return open.back(); }

  void Close() noexcept {
    for (const int fd : open) ::close(fd);
    open.clear();
  }
};

bool StagedFile::Begin(const std::u16string& root, const std::u16string& relative,
                       const FileIdentity* protect) {
  Restart(protect);
  folders_ = new Folders;
  Folders& f = *folders_;

  std::u16string rootPath = root;
  while (rootPath.size() > 1 && rootPath.back() == u'/') rootPath.pop_back();
  finalPath_ = rootPath;
  if (finalPath_.empty() || finalPath_.back() != u'/') finalPath_ += u'/';
  finalPath_ += relative;
  temporaryPath_.clear();

  std::vector<std::string> parts;
  if (!SplitRelative(Native(relative), parts)) return Fail(StageFailure::kCannotCreate, EINVAL);
  f.finalName = parts.back();
  parts.pop_back();
  f.open.reserve(parts.size() + 1);
  f.madeBelow.reserve(parts.size());

  // The root and whatever is missing above it, the way the system goes.
  const std::string rootName = Native(rootPath);
  if (rootName.empty()) return Fail(StageFailure::kCannotCreate, ENOENT);
  std::vector<std::string> missing;
  for (std::string at = rootName;;) {
    struct stat st;
    if (::stat(at.c_str(), &st) == 0) break;  // anything but a folder fails to open below
    if (errno != ENOENT) return Fail(StageFailure::kCannotCreate, errno);
    missing.push_back(at);
    const std::size_t cut = at.rfind('/');
    if (cut == std::string::npos || cut == 0) break;
    at.resize(cut);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (::mkdir(it->c_str(), 0777) == 0) {
      f.madeAbove.push_back(*it);
    } else if (errno != EEXIST) {
      return Fail(StageFailure::kCannotCreate, errno);
    }
  }
  int fd;
  do fd = ::open(rootName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) return Fail(StageFailure::kCannotCreate, errno);
  f.open.push_back(fd);

  // The folders below the root, none of them followed.
  for (const std::string& part : parts) {
    const int dir = f.Dir();
    fd = OpenFolderAt(dir, part);
    if (fd < 0 && errno == ENOENT) {
      if (::mkdirat(dir, part.c_str(), 0777) == 0) {
        f.madeBelow.push_back({f.open.size() - 1, part});
      } else if (errno != EEXIST) {
        return Fail(StageFailure::kCannotCreate, errno);
      }
      fd = OpenFolderAt(dir, part);
    }
    if (fd < 0) {
      const int error = errno;
      struct stat st;
      if ((error == ELOOP || error == ENOTDIR) &&
          ::fstatat(dir, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        return Fail(S_ISLNK(st.st_mode) ? StageFailure::kLinkOnTheWay : StageFailure::kNotAFolder,
                    error);
      }
      return Fail(StageFailure::kCannotCreate, error);
    }
    f.open.push_back(fd);
  }

  long error = 0;
  if (const StageFailure refused = LookAtFinalName(f.Dir(), f.finalName, protect_, &error);
      refused != StageFailure::kNone) {
    return Fail(refused, error);
  }

  // The temporary name is short whatever the final name's length.
  const std::u16string folderPath = finalPath_.substr(0, finalPath_.rfind(u'/') + 1);
  for (int number = 1;; ++number) {
    if (number > kTemporaryNameTries) return Fail(StageFailure::kCannotCreate, EEXIST);
    const std::string name = "~stage" + std::to_string(number) + ".tmp";
    if (name == f.finalName) continue;
    do
      fd = ::openat(f.Dir(), name.c_str(),
                    O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
      f.temporaryName = name;
      break;
    }
    if (errno != EEXIST) return Fail(StageFailure::kCannotCreate, errno);
  }
  temporaryPath_ = folderPath + text::Utf8ToUtf16(f.temporaryName);
  if (!file_.AdoptShared(fd, temporaryPath_)) return Fail(StageFailure::kCannotCreate, errno);
  return true;
}

bool StagedFile::Commit() {
  if (folders_ == nullptr || folders_->temporaryName.empty()) {
    return Fail(StageFailure::kCannotCreate, EINVAL);
  }
  Folders& f = *folders_;
  try {
    file_.Close();
  } catch (const FileError& e) {
    return Fail(StageFailure::kCannotCreate, e.osError());
  }
  long error = 0;
  if (const StageFailure refused = LookAtFinalName(f.Dir(), f.finalName, protect_, &error);
      refused != StageFailure::kNone) {
    return Fail(refused, error);
  }
  if (::renameat(f.Dir(), f.temporaryName.c_str(), f.Dir(), f.finalName.c_str()) != 0) {
    return Fail(StageFailure::kCannotCreate, errno);
  }
  delete folders_;
  folders_ = nullptr;
  return true;
}

void StagedFile::Abandon() noexcept {
  file_ = File();
  if (folders_ == nullptr) return;
  Folders& f = *folders_;
  if (!f.temporaryName.empty()) ::unlinkat(f.Dir(), f.temporaryName.c_str(), 0);
  // Each folder goes only while it is empty; one that is not keeps the
  // folders around it as well.
  for (auto it = f.madeBelow.rbegin(); it != f.madeBelow.rend(); ++it) {
    ::unlinkat(f.open[it->parent], it->name.c_str(), AT_REMOVEDIR);
  }
  f.Close();
  for (auto it = f.madeAbove.rbegin(); it != f.madeAbove.rend(); ++it) ::rmdir(it->c_str());
  delete folders_;
  folders_ = nullptr;
}

}  // namespace platform
