// The owners of GDI objects and device contexts. Like every owner (see
// unique_any.h) they keep the thread's last error when they close.
//
// Linking: gdi32 (a GUI program links it already).
#pragma once

#include <windows.h>

#include <utility>

#include "platform/win32/unique_any.h"

namespace platform::win32 {

// Pens, brushes, fonts, bitmaps and regions, deleted with DeleteObject. An
// object must not be selected into a device context when its owner goes:
// declare the owner before the ObjectSelection that selects it.
template <typename T = HGDIOBJ>
using UniqueGdiObject = UniqueAny<T, &DeleteObject>;

// A memory device context from CreateCompatibleDC or CreateDCW.
using UniqueMemoryDc = UniqueAny<HDC, &DeleteDC>;

// A window's device context from GetDC or GetWindowDC, given back with
// ReleaseDC to the window it came from.
class WindowDc {
 public:
  WindowDc() noexcept = default;
  // GetDC(window); a null window is the screen.
  explicit WindowDc(HWND window) noexcept : window_(window), dc_(GetDC(window)) {}
  // A context that GetWindowDC or GetDCEx gave for `window`.
  WindowDc(HWND window, HDC dc) noexcept : window_(window), dc_(dc) {}
  WindowDc(WindowDc&& other) noexcept
      : window_(std::exchange(other.window_, nullptr)), dc_(std::exchange(other.dc_, nullptr)) {}
  WindowDc& operator=(WindowDc&& other) noexcept {
    if (this != &other) {
      reset();
      window_ = std::exchange(other.window_, nullptr);
      dc_ = std::exchange(other.dc_, nullptr);
    }
    return *this;
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  ~WindowDc() { reset(); }

  explicit operator bool() const noexcept { return dc_ != nullptr; }
  HDC get() const noexcept { return dc_; }

  void reset() noexcept {
    if (dc_) {
      const LastErrorKeeper keep;
      ReleaseDC(window_, dc_);
    }
    window_ = nullptr;
    dc_ = nullptr;
  }

 private:
  HWND window_ = nullptr;
  HDC dc_ = nullptr;
};

// BeginPaint and, when the scope ends, EndPaint: the painting of one
// WM_PAINT. Bound to its PAINTSTRUCT, so it is neither copied nor moved.
class PaintDc {
 public:
  explicit PaintDc(HWND window) noexcept : window_(window), dc_(BeginPaint(window, &paint_)) {}
  PaintDc(const PaintDc&) = delete;
  PaintDc& operator=(const PaintDc&) = delete;
  ~PaintDc() {
    if (dc_) {
      const LastErrorKeeper keep;
      EndPaint(window_, &paint_);
    }
  }

  // False when BeginPaint gave no device context.
  explicit operator bool() const noexcept { return dc_ != nullptr; }
  HDC get() const noexcept { return dc_; }
  const PAINTSTRUCT& paint() const noexcept { return paint_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_;
};

// Selects a pen, brush, font or bitmap into a device context and selects the
// object that was there before back in when the scope ends. Not for
// regions: SelectObject gives no previous object for them.
class ObjectSelection {
 public:
  ObjectSelection(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(SelectObject(dc, object)) {
    if (previous_ == HGDI_ERROR) previous_ = nullptr;
  }
  ObjectSelection(ObjectSelection&& other) noexcept
      : dc_(std::exchange(other.dc_, nullptr)),
        previous_(std::exchange(other.previous_, nullptr)) {}
  ObjectSelection& operator=(ObjectSelection&&) = delete;
  ObjectSelection(const ObjectSelection&) = delete;
  ObjectSelection& operator=(const ObjectSelection&) = delete;
  ~ObjectSelection() {
    if (previous_) {
      const LastErrorKeeper keep;
      SelectObject(dc_, previous_);
    }
  }

  // False when the object could not be selected.
  explicit operator bool() const noexcept { return previous_ != nullptr; }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

}  // namespace platform::win32
