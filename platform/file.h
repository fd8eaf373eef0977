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
  bool Open(const std::u16string& path, FileAccess access,
            FileCreation creation, FileShare share,
            FileErrorInfo* error = nullptr);

  bool IsOpen() const { return handle_ != kInvalidHandle; }

  // The path given to Open(), for messages.
  const std::u16string& path() const { return path_; }

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
  // INVALID_HANDLE_VALUE on Windows and the invalid descriptor on POSIX are
  // both -1.
  static constexpr std::intptr_t kInvalidHandle = -1;

  [[noreturn]] void ThrowLastError() const;
  void Release() noexcept;

  std::intptr_t handle_ = kInvalidHandle;
  std::u16string path_;
};

}  // namespace platform
