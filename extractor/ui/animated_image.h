// An image drawn into a window with GDI+; an image of several frames (an
// animated GIF) is played on a drawing thread of its own.
//
// The drawing thread waits on two events between frames: a pause event
// (manual reset, signalled while the animation runs) before each frame, and
// a stop event (manual reset) for the time a frame stays on the screen. A
// frame stays for its own delay, and never less than kMinimumFrameTime.
// Each frame is drawn over a copy of the window's background at the drawing
// position, taken when the first frame is drawn.
//
// The component is made, started, paused, stopped and destroyed on one
// thread (the window's); the drawing thread only touches the image, its
// own state and the window's device context. GDI+ must be running
// (platform::win32::GdiplusSession) from loading until Stop or the
// destructor.
//
// Linking: gdi32, ole32 and gdiplus, which the program links itself (the
// extractor loads GDI+ late, from the system folder).
#pragma once

#include <windows.h>

#include <objidl.h>

#include <gdiplus.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/unique_any.h"
#include "platform/win32/unique_gdi.h"
#include "platform/win32/unique_handle.h"

namespace extractor {

namespace detail {

inline void ReleaseStream(IStream* stream) noexcept { stream->Release(); }
inline void DisposeImage(Gdiplus::GpImage* image) noexcept {
  Gdiplus::DllExports::GdipDisposeImage(image);
}

}  // namespace detail

// A COM stream, released when its owner goes.
using UniqueStream = platform::win32::UniqueAny<IStream*, &detail::ReleaseStream>;
// A GDI+ image, disposed of when its owner goes.
using UniqueGdiplusImage = platform::win32::UniqueAny<Gdiplus::GpImage*, &detail::DisposeImage>;

class CAnimatedImage {
 public:
  // The shortest time a frame stays on the screen, whatever its delay says.
  static constexpr DWORD kMinimumFrameTime = 60;
  // The widest and tallest image that loads. Images come from packages that
  // anyone can write; a GIF of a few bytes can claim a screen of 65535
  // pixels square, which no splash needs and whose drawing would cost
  // gigabytes.
  static constexpr UINT kMaximumSide = 8192;

  // Called on the drawing thread after each frame it drew, with the frame's
  // index; set before Start.
  using FrameObserver = std::function<void(UINT frame)>;

  CAnimatedImage() = default;
  CAnimatedImage(const CAnimatedImage&) = delete;
  CAnimatedImage& operator=(const CAnimatedImage&) = delete;
  // Stops.
  ~CAnimatedImage();

  // Loads the image from the resource `type`/`name` of `module` (any
  // language), or from a file; a loaded image is stopped and released
  // first. False, and nothing loaded, when there is no such resource or
  // file, its bytes are no image that GDI+ can read, or the image is wider
  // or taller than kMaximumSide.
  bool LoadFromResource(HMODULE module, const std::u16string& type, const std::u16string& name);
  bool LoadFromFile(const std::u16string& path);

  bool loaded() const { return static_cast<bool>(image_); }
  UINT width() const { return width_; }
  UINT height() const { return height_; }
  // 1 for a still image (and for one that is not loaded).
  UINT frameCount() const { return frameCount_; }
  // The delay of frame `index` in hundredths of a second: 0 for a frame
  // that the image gives none, and for an index past the last frame.
  UINT FrameDelay(UINT index) const;

  // Draws the image into `window` at x, y: a still image at once, an
  // animated one on the drawing thread, which starts here. False when
  // nothing is loaded or it was started already. When the thread cannot be
  // started, the first frame is drawn as a still image instead.
  bool Start(HWND window, int x, int y);
  // Draws the image into `dc` (of the started window, as in its WM_PAINT)
  // at the position given to Start. Draws nothing while the drawing thread
  // owns the image, nor before Start.
  void Draw(HDC dc);
  // Holds and continues the animation; each acts only when the state
  // changes.
  void Pause();
  void Resume();
  // Ends the drawing thread and waits for it, then releases the image and
  // everything that came with it. Safe to call more than once.
  void Stop();

  // The drawing thread while it runs, for waiting on it; nullptr otherwise.
  HANDLE thread() const { return thread_.get(); }
  void SetFrameObserver(FrameObserver observer) { observer_ = std::move(observer); }

 private:
  bool LoadFromBytes(const void* bytes, DWORD size);
  bool TakeImage(UniqueGdiplusImage image);
  void ReadFrameDelays();
  void DrawFrame(HDC dc) const;
  static DWORD WINAPI ThreadEntry(void* parameter) noexcept;
  void Animate();
  void DrawOverBackground();

  // The stream lives as long as the image that reads from it.
  UniqueStream stream_;
  UniqueGdiplusImage image_;
  UINT width_ = 0;
  UINT height_ = 0;
  UINT frameCount_ = 1;
  GUID frameDimension_{};
  std::vector<UINT> delays_;
  UINT position_ = 0;  // the frame drawn next; the drawing thread's alone while it runs

  HWND window_ = nullptr;
  int x_ = 0;
  int y_ = 0;
  bool started_ = false;
  bool paused_ = false;
  FrameObserver observer_;

  platform::win32::UniqueHandle pauseEvent_;
  platform::win32::UniqueHandle stopEvent_;
  platform::win32::UniqueHandle thread_;

  // The saved background: the bitmap is declared before the context it is
  // selected into, and the selection after both.
  platform::win32::UniqueGdiObject<HBITMAP> background_;
  platform::win32::UniqueMemoryDc backgroundDc_;
  std::optional<platform::win32::ObjectSelection> backgroundSelection_;
};

}  // namespace extractor
