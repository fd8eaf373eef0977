#include "extractor/ui/animated_image.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "framework/win_app.h"
#include "platform/win32/wide.h"

namespace extractor {

namespace gdip = Gdiplus::DllExports;

namespace {

constexpr wchar_t kNotLoadedTrace[] = L"GIF not initialized\n";
constexpr wchar_t kNoThreadTrace[] = L"Couldn't start a GIF animation thread\n";

// A GDI+ drawing surface over a device context.
void DeleteGraphics(Gdiplus::GpGraphics* graphics) noexcept { gdip::GdipDeleteGraphics(graphics); }
using UniqueGraphics = platform::win32::UniqueAny<Gdiplus::GpGraphics*, &DeleteGraphics>;

// How long a frame with `delay` (hundredths of a second) stays on the
// screen. A delay from the file is at most 16 bits, but the property is 32:
// the product is kept below INFINITE.
DWORD FrameTime(UINT delay) {
  const std::uint64_t time = std::uint64_t{delay} * 10;
  return static_cast<DWORD>(
      std::clamp<std::uint64_t>(time, CAnimatedImage::kMinimumFrameTime, INFINITE - 1));
}

}  // namespace

CAnimatedImage::~CAnimatedImage() { Stop(); }

bool CAnimatedImage::LoadFromResource(HMODULE module, const std::u16string& type,
                                      const std::u16string& name) {
  Stop();
  const HRSRC info =
      FindResourceW(module, platform::win32::Wide(name), platform::win32::Wide(type));
  if (!info) return false;
  const DWORD size = SizeofResource(module, info);
  // A loaded resource is part of the module's image: nothing to free.
  const HGLOBAL resource = LoadResource(module, info);
  const void* bytes = resource ? LockResource(resource) : nullptr;
  if (!bytes || size == 0) return false;
  return LoadFromBytes(bytes, size);
}

bool CAnimatedImage::LoadFromBytes(const void* bytes, DWORD size) {
  // GDI+ reads the stream while the image lives, so the bytes get a block
  // of their own that the stream frees when it is released.
  platform::win32::UniqueGlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE, size));
  if (!memory) return false;
  void* target = GlobalLock(memory.get());
  if (!target) return false;
  std::memcpy(target, bytes, size);
  GlobalUnlock(memory.get());

  UniqueStream stream;
  if (FAILED(CreateStreamOnHGlobal(memory.get(), TRUE, stream.put()))) return false;
  static_cast<void>(memory.release());  // the stream's now

  // Declared after the stream: an image that is not taken goes first.
  UniqueGdiplusImage image;
  if (gdip::GdipLoadImageFromStream(stream.get(), image.put()) != Gdiplus::Ok ||
      !TakeImage(std::move(image))) {
    return false;
  }
  stream_ = std::move(stream);
  return true;
}

bool CAnimatedImage::LoadFromFile(const std::u16string& path) {
  Stop();
  UniqueGdiplusImage image;
  if (gdip::GdipLoadImageFromFile(platform::win32::Wide(path), image.put()) != Gdiplus::Ok) {
    return false;
  }
  return TakeImage(std::move(image));
}

bool CAnimatedImage::TakeImage(UniqueGdiplusImage image) {
  UINT width = 0;
  UINT height = 0;
  if (gdip::GdipGetImageWidth(image.get(), &width) != Gdiplus::Ok ||
      gdip::GdipGetImageHeight(image.get(), &height) != Gdiplus::Ok || width == 0 || height == 0 ||
      width > kMaximumSide || height > kMaximumSide) {
    return false;
  }
  image_ = std::move(image);
  width_ = width;
  height_ = height;

  // The frames of the first dimension (time, for a GIF) are the ones that
  // are played; an image without dimensions is one frame.
  frameCount_ = 1;
  UINT dimensions = 0;
  if (gdip::GdipImageGetFrameDimensionsCount(image_.get(), &dimensions) == Gdiplus::Ok &&
      dimensions > 0) {
    std::vector<GUID> list(dimensions);
    UINT count = 0;
    if (gdip::GdipImageGetFrameDimensionsList(image_.get(), list.data(), dimensions) ==
            Gdiplus::Ok &&
        gdip::GdipImageGetFrameCount(image_.get(), &list[0], &count) == Gdiplus::Ok && count > 0) {
      frameDimension_ = list[0];
      frameCount_ = count;
    }
  }
  ReadFrameDelays();
  position_ = 0;
  return true;
}

void CAnimatedImage::ReadFrameDelays() {
  delays_.assign(frameCount_, 0);
  UINT size = 0;
  if (gdip::GdipGetPropertyItemSize(image_.get(), PropertyTagFrameDelay, &size) != Gdiplus::Ok ||
      size < sizeof(Gdiplus::PropertyItem)) {
    return;
  }
  // The item is a header whose value points into the same block; the block
  // is made of PropertyItems so that the header is aligned.
  std::vector<Gdiplus::PropertyItem> block((size + sizeof(Gdiplus::PropertyItem) - 1) /
                                           sizeof(Gdiplus::PropertyItem));
  if (gdip::GdipGetPropertyItem(image_.get(), PropertyTagFrameDelay, size, block.data()) !=
      Gdiplus::Ok) {
    return;
  }
  const Gdiplus::PropertyItem& item = block[0];
  if (item.type != PropertyTagTypeLong || !item.value) return;
  // The values must lie inside the block that GDI+ filled.
  const auto* begin = reinterpret_cast<const std::uint8_t*>(block.data());
  const auto* end = begin + size;
  const auto* values = static_cast<const std::uint8_t*>(item.value);
  if (values < begin || values > end) return;
  const std::size_t available =
      std::min<std::size_t>(item.length, static_cast<std::size_t>(end - values));
  const std::size_t count = std::min<std::size_t>(frameCount_, available / sizeof(std::uint32_t));
  for (std::size_t i = 0; i < count; ++i) {
    std::uint32_t delay = 0;
    std::memcpy(&delay, values + i * sizeof delay, sizeof delay);
    delays_[i] = delay;
  }
}

UINT CAnimatedImage::FrameDelay(UINT index) const {
  return index < delays_.size() ? delays_[index] : 0;
}

bool CAnimatedImage::Start(HWND window, int x, int y) {
  if (!image_) {
    OutputDebugStringW(kNotLoadedTrace);
    return false;
  }
  if (started_) return false;
  window_ = window;
  x_ = x;
  y_ = y;
  started_ = true;

  if (frameCount_ > 1) {
    pauseEvent_.reset(CreateEventW(nullptr, TRUE, TRUE, nullptr));
    stopEvent_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (pauseEvent_ && stopEvent_) {
      thread_.reset(CreateThread(nullptr, 0, &ThreadEntry, this, 0, nullptr));
      if (thread_) return true;
    }
    // The first frame stays on the screen as a still image.
    OutputDebugStringW(kNoThreadTrace);
    pauseEvent_.reset();
    stopEvent_.reset();
  }
  const platform::win32::WindowDc dc(window_);
  if (dc) DrawFrame(dc.get());
  return true;
}

void CAnimatedImage::Draw(HDC dc) {
  if (!image_) {
    OutputDebugStringW(kNotLoadedTrace);
    return;
  }
  if (!started_ || thread_) return;
  DrawFrame(dc);
}

void CAnimatedImage::DrawFrame(HDC dc) const {
  UniqueGraphics graphics;
  if (gdip::GdipCreateFromHDC(dc, graphics.put()) != Gdiplus::Ok) return;
  gdip::GdipDrawImageRectI(graphics.get(), image_.get(), x_, y_, static_cast<INT>(width_),
                           static_cast<INT>(height_));
}

void CAnimatedImage::Pause() {
  if (!thread_ || paused_) return;
  ResetEvent(pauseEvent_.get());
  paused_ = true;
}

void CAnimatedImage::Resume() {
  if (!thread_ || !paused_) return;
  SetEvent(pauseEvent_.get());
  paused_ = false;
}

void CAnimatedImage::Stop() {
  if (thread_) {
    // A paused thread waits on the pause event: let it go to see the stop.
    Resume();
    SetEvent(stopEvent_.get());
    WaitForSingleObject(thread_.get(), INFINITE);
    thread_.reset();
  }
  pauseEvent_.reset();
  stopEvent_.reset();
  paused_ = false;
  started_ = false;
  backgroundSelection_.reset();
  backgroundDc_.reset();
  background_.reset();
  image_.reset();
  stream_.reset();
  delays_.clear();
  frameCount_ = 1;
  width_ = 0;
  height_ = 0;
  position_ = 0;
  window_ = nullptr;
}

DWORD WINAPI CAnimatedImage::ThreadEntry(void* parameter) noexcept {
  try {
    static_cast<CAnimatedImage*>(parameter)->Animate();
  } catch (...) {
    if (framework::CWinApp* app = framework::CWinApp::Get()) app->RecordFailure();
  }
  return 0;
}

void CAnimatedImage::Animate() {
  for (;;) {
    if (WaitForSingleObject(pauseEvent_.get(), INFINITE) != WAIT_OBJECT_0) return;
    // A stop that came while the animation was held ends it before a frame.
    if (WaitForSingleObject(stopEvent_.get(), 0) != WAIT_TIMEOUT) return;

    const UINT drawn = position_;
    DrawOverBackground();
    const DWORD drawnAt = GetTickCount();
    if (observer_) observer_(drawn);

    position_ = drawn + 1 < frameCount_ ? drawn + 1 : 0;
    gdip::GdipImageSelectActiveFrame(image_.get(), &frameDimension_, position_);

    // The frame just drawn stays for its own delay; the wait is on the stop
    // event, and it is taken up again when it ends early.
    const DWORD frameTime = FrameTime(FrameDelay(drawn));
    for (DWORD elapsed = GetTickCount() - drawnAt; elapsed < frameTime;
         elapsed = GetTickCount() - drawnAt) {
      if (WaitForSingleObject(stopEvent_.get(), frameTime - elapsed) != WAIT_TIMEOUT) return;
    }
  }
}

void CAnimatedImage::DrawOverBackground() {
  const platform::win32::WindowDc dc(window_);
  if (!dc) return;
  if (!backgroundDc_) {
    platform::win32::UniqueMemoryDc memoryDc(CreateCompatibleDC(dc.get()));
    platform::win32::UniqueGdiObject<HBITMAP> bitmap(
        CreateCompatibleBitmap(dc.get(), static_cast<int>(width_), static_cast<int>(height_)));
    if (memoryDc && bitmap) {
      background_ = std::move(bitmap);
      backgroundDc_ = std::move(memoryDc);
      backgroundSelection_.emplace(backgroundDc_.get(), background_.get());
      BitBlt(backgroundDc_.get(), 0, 0, static_cast<int>(width_), static_cast<int>(height_),
             dc.get(), x_, y_, SRCCOPY);
    }
  }
  if (backgroundDc_) {
    BitBlt(dc.get(), x_, y_, static_cast<int>(width_), static_cast<int>(height_),
           backgroundDc_.get(), 0, 0, SRCCOPY);
  }
  DrawFrame(dc.get());
}

}  // namespace extractor
