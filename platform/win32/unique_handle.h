// Owners of kernel handles, one per way of saying "no handle": processes,
// threads and events are empty when NULL (never -1, which is the current
// process), files when INVALID_HANDLE_VALUE.
#pragma once

#include <windows.h>

#include <memory>

namespace platform::win32 {

struct HandleCloser {
  void operator()(HANDLE h) const {
    if (h) CloseHandle(h);
  }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

struct FileHandleCloser {
  using pointer = HANDLE;
  void operator()(HANDLE h) const {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};
using UniqueFileHandle = std::unique_ptr<void, FileHandleCloser>;

}  // namespace platform::win32
