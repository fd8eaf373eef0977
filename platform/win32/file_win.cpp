#include <windows.h>

#include <algorithm>
#include <utility>

#include "platform/file.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

// File keeps its handle as the portable intptr_t of file.h (a descriptor on
// POSIX) and is itself that handle's owner: Close() must report the close's
// failure as a FileError, which an owner that closes on destruction cannot.
// The handle passes through UniqueFileHandle where that is clearer: from
// CreateFileW until the file takes it, and for the silent close of Release(),
// which thereby keeps the thread's last error as every owner does.

namespace platform {
namespace {

HANDLE AsHandle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

DWORD DesiredAccess(FileAccess access) {
  switch (access) {
    case FileAccess::kRead: return GENERIC_READ;
    case FileAccess::kWrite: return GENERIC_WRITE;
    case FileAccess::kReadWrite: return GENERIC_READ | GENERIC_WRITE;
  }
  return 0;
}

DWORD Disposition(FileCreation creation) {
  switch (creation) {
    case FileCreation::kOpenExisting: return OPEN_EXISTING;
    case FileCreation::kCreateAlways: return CREATE_ALWAYS;
    case FileCreation::kOpenAlways: return OPEN_ALWAYS;
  }
  return OPEN_EXISTING;
}

DWORD ShareMode(FileShare share) {
  return share == FileShare::kNone ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
}

// ReadFile and WriteFile take 32-bit counts; larger requests go in pieces.
constexpr std::size_t kLargestTransfer = 1u << 30;

}  // namespace

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, kInvalidHandle)), path_(std::move(other.path_)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Release();
    handle_ = std::exchange(other.handle_, kInvalidHandle);
    path_ = std::move(other.path_);
  }
  return *this;
}

File::~File() { Release(); }

void File::Release() noexcept {
  const win32::UniqueFileHandle closed(AsHandle(std::exchange(handle_, kInvalidHandle)));
}

void File::ThrowLastError() const { ThrowLastFileError(path_); }

bool File::Open(const std::u16string& path, FileAccess access, FileCreation creation,
                FileShare share, FileErrorInfo* error) {
  Release();
  path_ = path;
  // Without FILE_FLAG_BACKUP_SEMANTICS a directory never opens.
  win32::UniqueFileHandle opened(CreateFileW(win32::Wide(path), DesiredAccess(access),
                                             ShareMode(share), nullptr, Disposition(creation),
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!opened) {
    const long osError = LastOsError();
    if (error) *error = {CauseFromOsError(osError), osError, path};
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(opened.release());
  return true;
}

bool File::AdoptShared(std::intptr_t handle, const std::u16string& path) {
  // The share mode was given to CreateFileW with the handle.
  Release();
  handle_ = handle;
  path_ = path;
  return true;
}

FileIdentity File::Identity() {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(AsHandle(handle_), &info)) ThrowLastError();
  return {info.dwVolumeSerialNumber,
          (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

bool File::IsPlainFile() {
  const DWORD type = GetFileType(AsHandle(handle_));
  if (type == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR) ThrowLastError();
  if (type != FILE_TYPE_DISK) return false;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(AsHandle(handle_), &info)) ThrowLastError();
  return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::size_t File::Read(void* buffer, std::size_t count) {
  auto* out = static_cast<unsigned char*>(buffer);
  std::size_t total = 0;
  while (total < count) {
    const DWORD ask = static_cast<DWORD>(std::min(count - total, kLargestTransfer));
    DWORD got = 0;
    if (!ReadFile(AsHandle(handle_), out + total, ask, &got, nullptr)) ThrowLastError();
    if (got == 0) break;
    total += got;
  }
  return total;
}

void File::Write(const void* data, std::size_t count) {
  const auto* in = static_cast<const unsigned char*>(data);
  std::size_t total = 0;
  while (total < count) {
    const DWORD ask = static_cast<DWORD>(std::min(count - total, kLargestTransfer));
    DWORD put = 0;
    if (!WriteFile(AsHandle(handle_), in + total, ask, &put, nullptr)) ThrowLastError();
    if (put == 0) throw FileError({FileErrorCause::kDiskFull, ERROR_DISK_FULL, path_});
    total += put;
  }
}

std::uint64_t File::Seek(std::int64_t offset, SeekOrigin origin) {
  const DWORD method = origin == SeekOrigin::kBegin     ? FILE_BEGIN
                       : origin == SeekOrigin::kCurrent ? FILE_CURRENT
                                                        : FILE_END;
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  LARGE_INTEGER position;
  if (!SetFilePointerEx(AsHandle(handle_), distance, &position, method)) ThrowLastError();
  return static_cast<std::uint64_t>(position.QuadPart);
}

std::uint64_t File::Position() { return Seek(0, SeekOrigin::kCurrent); }

std::uint64_t File::Length() {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(AsHandle(handle_), &size)) ThrowLastError();
  return static_cast<std::uint64_t>(size.QuadPart);
}

void File::Close() {
  if (handle_ == kInvalidHandle) return;
  const HANDLE h = AsHandle(std::exchange(handle_, kInvalidHandle));
  if (!CloseHandle(h)) ThrowLastError();
}

}  // namespace platform
