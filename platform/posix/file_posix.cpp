// File on POSIX: a file descriptor, with the Windows share modes kept by
// flock(2) and the Windows refusals (directories, read-only files) made by
// hand. Files are opened with O_NONBLOCK, which is taken away again at once,
// so that opening a FIFO never waits for its other end.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "platform/file.h"
#include "text/utf8.h"

namespace platform {
namespace {

static_assert(sizeof(off_t) == 8, "files beyond 2 GiB need a 64-bit off_t");

// One read(2) or write(2) moves at most this much, well below SSIZE_MAX.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

// How often Open() tries again when the file comes and goes between its
// "create" and "open existing" attempts; the last try creates without
// O_EXCL, which also ends the dance over a dangling symbolic link.
constexpr int kOpenAttempts = 4;

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

void CloseKeepingErrno(int fd) {
  const int saved = errno;
  ::close(fd);
  errno = saved;
}

[[noreturn]] void Throw(FileErrorCause cause, long osError, const std::u16string& path) {
  throw FileError({cause, osError, path});
}

// A failed read or write. EBADF on an open descriptor means that it was not
// opened for that direction, which Windows reports as "access denied".
[[noreturn]] void ThrowTransferError(bool open, const std::u16string& path) {
  const int osError = errno;
  if (open && osError == EBADF) Throw(FileErrorCause::kAccessDenied, osError, path);
  Throw(CauseFromOsError(osError), osError, path);
}

// The cause of a failed open(2). ENOENT because a folder on the way is
// missing is a bad path, as Windows has it (a path rather than a file not
// found).
FileErrorCause OpenFailureCause(int osError, const std::string& name) {
  if (osError == ENOENT) {
    const std::size_t cut = name.rfind('/');
    if (cut != std::string::npos && cut != 0) {
      struct stat st;
      const std::string parent = name.substr(0, cut);
      if (::stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return FileErrorCause::kBadPath;
      }
    }
  }
  return CauseFromOsError(osError);
}

int OpenFlags(FileAccess access) {
  int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  switch (access) {
    case FileAccess::kRead: flags |= O_RDONLY; break;
    case FileAccess::kWrite: flags |= O_WRONLY; break;
    case FileAccess::kReadWrite: flags |= O_RDWR; break;
  }
  return flags;
}

// Cuts the file behind `fd`, which was opened for reading only, through a
// second descriptor of the same file. The share lock stays with `fd`: a
// flock belongs to the open file description, so opening and closing
// another one leaves it alone.
bool CutThroughSecondDescriptor(const std::string& name, const struct stat& held) {
  const int fd = ::open(name.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st;
  bool cut = false;
  if (::fstat(fd, &st) != 0) {
    // errno says why
  } else if (st.st_dev != held.st_dev || st.st_ino != held.st_ino) {
    errno = EBUSY;  // the name was given to another file meanwhile
  } else {
    int result;
    do result = ::ftruncate(fd, 0);
    while (result != 0 && errno == EINTR);
    cut = result == 0;
  }
  CloseKeepingErrno(fd);
  return cut;
}

// Makes reads and writes on `fd` wait again, as they do on any file that
// was opened without O_NONBLOCK.
bool ClearNonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

// Takes the flock that keeps `share` on `fd`: 0 when it is held, or the
// errno of the refusal. A file system that keeps no locks cannot keep share
// modes either; the file stays unguarded there.
int TakeShareLock(int fd, FileShare share) {
  const int lock = (share == FileShare::kNone ? LOCK_EX : LOCK_SH) | LOCK_NB;
  while (::flock(fd, lock) != 0) {
    if (errno == EINTR) continue;
    if (errno == EOPNOTSUPP || errno == ENOSYS) break;
    return errno;
  }
  return 0;
}

}  // namespace

File::File(File&& other) noexcept : handle_(other.handle_), path_(std::move(other.path_)) {
  other.handle_ = kInvalidHandle;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Release();
    handle_ = other.handle_;
    other.handle_ = kInvalidHandle;
    path_ = std::move(other.path_);
  }
  return *this;
}

File::~File() { Release(); }

bool File::Open(const std::u16string& path, FileAccess access, FileCreation creation,
                FileShare share, FileErrorInfo* error) {
  Release();
  path_ = path;
  const std::string name = text::Utf16ToUtf8(path);
  const int flags = OpenFlags(access);

  auto report = [&](FileErrorCause cause, int osError) {
    if (error) *error = FileErrorInfo{cause, osError, path};
    return false;
  };

  // Open without O_TRUNC: the file is cut only once the share lock is ours,
  // so that a file that someone else holds without sharing stays whole.
  // `created` tells whether this call made the file.
  int fd = -1;
  bool created = false;
  for (int attempt = 1; fd < 0; ++attempt) {
    if (creation != FileCreation::kOpenExisting) {
      const bool last = attempt >= kOpenAttempts;
      fd = ::open(name.c_str(), flags | O_CREAT | (last ? 0 : O_EXCL), 0666);
      if (fd >= 0) {
        created = !last;
        break;
      }
      if (errno == EINTR) continue;
      if (errno != EEXIST || last) return report(OpenFailureCause(errno, name), errno);
    }
    fd = ::open(name.c_str(), flags);
    if (fd >= 0) break;
    if (errno == EINTR) continue;
    // Removed between the two attempts: create it after all.
    if (errno == ENOENT && creation != FileCreation::kOpenExisting) continue;
    return report(OpenFailureCause(errno, name), errno);
  }

  // Gives up on the open file. A file that this call created goes again,
  // unless someone else holds it by now: then it is theirs.
  auto abandon = [&](FileErrorCause cause, int osError) {
    CloseKeepingErrno(fd);
    if (created && cause != FileErrorCause::kSharingViolation) ::unlink(name.c_str());
    return report(cause, osError);
  };

  if (!ClearNonBlocking(fd)) return abandon(CauseFromOsError(errno), errno);
  struct stat st;
  if (::fstat(fd, &st) != 0) return abandon(CauseFromOsError(errno), errno);
  // Windows never opens a directory as a file.
  if (S_ISDIR(st.st_mode)) return abandon(FileErrorCause::kAccessDenied, EISDIR);
  // Nor does it write to, or cut, a read-only file, whoever asks; root
  // would get through here without this check.
  const bool changes = access != FileAccess::kRead || creation == FileCreation::kCreateAlways;
  if (changes && !created && S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0) {
    return abandon(FileErrorCause::kAccessDenied, EACCES);
  }

  if (const int refused = TakeShareLock(fd, share); refused != 0) {
    const FileErrorCause cause =
        refused == EWOULDBLOCK ? FileErrorCause::kSharingViolation : CauseFromOsError(refused);
    return abandon(cause, refused);
  }

  if (creation == FileCreation::kCreateAlways && !created && st.st_size != 0) {
    bool cut;
    if (access == FileAccess::kRead) {
      cut = CutThroughSecondDescriptor(name, st);
    } else {
      int result;
      do result = ::ftruncate(fd, 0);
      while (result != 0 && errno == EINTR);
      cut = result == 0;
    }
    if (!cut) return abandon(CauseFromOsError(errno), errno);
  }

  handle_ = fd;
  return true;
}

bool File::AdoptShared(std::intptr_t handle, const std::u16string& path) {
  Release();
  handle_ = handle;
  path_ = path;
  if (const int refused = TakeShareLock(Fd(handle_), FileShare::kReadWrite); refused != 0) {
    Release();
    errno = refused;
    return false;
  }
  return true;
}

FileIdentity File::Identity() {
  struct stat st;
  if (::fstat(Fd(handle_), &st) != 0) ThrowLastError();
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

bool File::IsPlainFile() {
  struct stat st;
  if (::fstat(Fd(handle_), &st) != 0) ThrowLastError();
  return S_ISREG(st.st_mode);
}

std::size_t File::Read(void* buffer, std::size_t count) {
  auto* bytes = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::read(Fd(handle_), bytes + done, std::min(count - done, kMaxTransfer));
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n == 0) {
      break;  // end of file
    } else if (errno != EINTR) {
      ThrowTransferError(IsOpen(), path_);
    }
  }
  return done;
}

void File::Write(const void* data, std::size_t count) {
  const auto* bytes = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(Fd(handle_), bytes + done, std::min(count - done, kMaxTransfer));
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n == 0) {
      // Nothing taken and no error: no room left.
      Throw(FileErrorCause::kDiskFull, ENOSPC, path_);
    } else if (errno != EINTR) {
      ThrowTransferError(IsOpen(), path_);
    }
  }
}

std::uint64_t File::Seek(std::int64_t offset, SeekOrigin origin) {
  int whence = SEEK_SET;
  if (offset < 0) {
    // A target before the start is refused here, as Windows refuses it,
    // rather than left to the system.
    std::uint64_t base = 0;
    switch (origin) {
      case SeekOrigin::kBegin: base = 0; break;
      case SeekOrigin::kCurrent: base = Position(); break;
      case SeekOrigin::kEnd: base = Length(); break;
    }
    const std::uint64_t back = std::uint64_t{0} - static_cast<std::uint64_t>(offset);
    if (back > base) Throw(FileErrorCause::kBadSeek, EINVAL, path_);
  }
  switch (origin) {
    case SeekOrigin::kBegin: whence = SEEK_SET; break;
    case SeekOrigin::kCurrent: whence = SEEK_CUR; break;
    case SeekOrigin::kEnd: whence = SEEK_END; break;
  }
  const off_t position = ::lseek(Fd(handle_), offset, whence);
  if (position < 0) {
    // EINVAL from lseek is a target out of range, not a bad path.
    if (errno == EINVAL) Throw(FileErrorCause::kBadSeek, EINVAL, path_);
    ThrowLastError();
  }
  return static_cast<std::uint64_t>(position);
}

std::uint64_t File::Position() {
  const off_t position = ::lseek(Fd(handle_), 0, SEEK_CUR);
  if (position < 0) ThrowLastError();
  return static_cast<std::uint64_t>(position);
}

std::uint64_t File::Length() {
  struct stat st;
  if (::fstat(Fd(handle_), &st) != 0) ThrowLastError();
  return static_cast<std::uint64_t>(st.st_size);
}

void File::Close() {
  if (!IsOpen()) return;
  const int fd = Fd(handle_);
  handle_ = kInvalidHandle;
  // On EINTR the descriptor is gone all the same and nothing was lost.
  if (::close(fd) != 0 && errno != EINTR) ThrowLastError();
}

void File::ThrowLastError() const { ThrowLastFileError(path_); }

void File::Release() noexcept {
  if (!IsOpen()) return;
  CloseKeepingErrno(Fd(handle_));
  handle_ = kInvalidHandle;
}

}  // namespace platform
