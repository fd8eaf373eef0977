// An open file: the platform layer's one owner of a file handle.
//
// Open() reports failure through its result and never throws; Read, Write,
// Seek, Position, Length and Close raise FileError. The destructor closes a
// file that is still open and never throws.
//
// Share modes behave as on Windows, also between handles of one process:
// a file opened with FileShare::kNone cannot be opened again while that
// handle is open, and it cannot be opened that way while another handle has
// it open. On POSIX the modes are kept with advisory locks (flock), so they
// hold between handles of this layer, in this process and in others.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file_error.h"

namespace platform {

enum class FileAccess { kRead, kWrite, kReadWrite };

enum class FileCreation {
  kOpenExisting,  // the file must exist
  kCreateAlways,  // create it, or cut an existing file to length 0
  kOpenAlways,    // open it, creating it when it is missing; never cuts
};

enum class FileShare {
  kNone,       // nobody else may open the file while it is open here
  kReadWrite,  // others may read and write it meanwhile
};

enum class SeekOrigin { kBegin, kCurrent, kEnd };

// What tells one file from another whatever names lead to it: two paths (a
// hard link, another spelling) reach the same file exactly when the
// identities of the files opened through them are equal.
struct FileIdentity {
  std::uint64_t volume = 0;  // the device or volume serial number
  std::uint64_t index = 0;   // the inode or file index on that volume
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

class File {
 public:
  File() = default;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  // Opens `path`, closing whatever this object held before. A directory is
  // never opened as a file. On failure returns false, leaves the object
  // closed and fills *error when it is given.
  bool Open(const std::u16string& path, FileAccess access, FileCreation creation, FileShare share,
            FileErrorInfo* error = nullptr);

  bool IsOpen() const { return handle_ != kInvalidHandle; }

  // The path given to Open(), for messages.
  const std::u16string& path() const { return path_; }

  // The identity of the open file. Raises FileError.
  FileIdentity Identity();

  // True when the open file is a plain file: not a pipe, a socket or a
  // device (opening one of those never waits for a peer). Raises FileError.
  bool IsPlainFile();

  // Reads up to `count` bytes; fewer only at the end of the file.
  // Returns the number of bytes read, 0 at the end.
  std::size_t Read(void* buffer, std::size_t count);

  // Writes all `count` bytes or raises (kDiskFull when the disk is full).
  void Write(const void* data, std::size_t count);

  // Moves the file position and returns the new position. A position before
  // the start of the file raises kBadSeek.
  std::uint64_t Seek(std::int64_t offset, SeekOrigin origin);

  std::uint64_t Position();
  std::uint64_t Length();

  // Closes the file. Raises when the system reports a failure; the handle
  // is released either way.
  void Close();

 private:
  friend class StagedFile;

  // INVALID_HANDLE_VALUE on Windows and the invalid descriptor on POSIX are
  // both -1.
  static constexpr std::intptr_t kInvalidHandle = -1;

  // Takes over `handle`, a plain file that the platform layer created and
  // opened itself, and holds it as Open() with
  // FileShare::kReadWrite holds a file; `path` names it. False, with the
  // handle closed and the system's error left for LastOsError(), when that
  // share mode cannot be had.
  bool AdoptShared(std::intptr_t handle, const std::u16string& path);

  [[noreturn]] void ThrowLastError() const;
  void Release() noexcept;

  std::intptr_t handle_ = kInvalidHandle;
  std::u16string path_;
};

}  // namespace platform
