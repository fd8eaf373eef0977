// The GDI+ session of a program: GdiplusStartup when it is made,
// GdiplusShutdown when it goes. Every GDI+ object must be gone before the
// session ends, so a session is made first in the scope that uses GDI+.
// GDI+ is neither started nor shut down while the loader lock is held: no
// session in a global object.
//
// Linking: gdiplus (only where a session is made).
#pragma once

#include <windows.h>

// GDI+ needs the COM interfaces (IStream) that WIN32_LEAN_AND_MEAN leaves out.
#include <objidl.h>

#include <gdiplus.h>

#include "platform/win32/unique_any.h"

namespace platform::win32 {

class GdiplusSession {
 public:
  GdiplusSession() noexcept {
    const Gdiplus::GdiplusStartupInput input;
    status_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr);
  }
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;
  ~GdiplusSession() {
    if (status_ == Gdiplus::Ok) {
      const LastErrorKeeper keep;
      Gdiplus::GdiplusShutdown(token_);
    }
  }

  // True when GDI+ started.
  explicit operator bool() const noexcept { return status_ == Gdiplus::Ok; }
  Gdiplus::Status status() const noexcept { return status_; }

 private:
  // Whether a token was given is told by the status: the token's value is
  // GDI+'s own.
  ULONG_PTR token_ = 0;
  Gdiplus::Status status_ = Gdiplus::GenericError;
};

}  // namespace platform::win32
