// The splash window and its animated image (extractor/ui/): images load
// from resources and files with their frames and delays, damaged bytes load
// nothing, frames change no faster than their delays and the 60 ms floor,
// the drawing thread pauses, stops and ends, and the splash window is a
// layered pop-up sized to the program's image and centred on the screen.
#include <windows.h>

#include <gtest/gtest.h>

#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "extractor/ui/animated_image.h"
#include "extractor/ui/splash_dlg.h"
#include "framework/win_app.h"
#include "platform/win32/gdiplus_session.h"
#include "platform/win32/unique_gdi.h"
#include "platform/win32/unique_handle.h"
#include "tests/support/temp_folder.h"

namespace {

using extractor::CAnimatedImage;

constexpr UINT kWidth = 9;
constexpr UINT kHeight = 7;
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kBlack = RGB(0, 0, 0);

using UniqueWindow = platform::win32::UniqueAny<HWND, &DestroyWindow>;

// A visible pop-up for the image to draw into.
UniqueWindow MakeTargetWindow() {
  UniqueWindow window(CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 40, 40, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), nullptr));
  if (window) ShowWindow(window.get(), SW_SHOWNOACTIVATE);
  return window;
}

COLORREF PixelAt(HWND window, int x, int y) {
  const platform::win32::WindowDc dc(window);
  return GetPixel(dc.get(), x, y);
}

void FillBlack(HWND window) {
  const platform::win32::WindowDc dc(window);
  const RECT all{0, 0, 40, 40};
  FillRect(dc.get(), &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}

// A copy of the drawing thread's handle, to see it end after the component
// let go of its own.
platform::win32::UniqueHandle CopyThreadHandle(const CAnimatedImage& image) {
  HANDLE copy = nullptr;
  if (!image.thread() || !DuplicateHandle(GetCurrentProcess(), image.thread(), GetCurrentProcess(),
                                          &copy, SYNCHRONIZE, FALSE, 0)) {
    return {};
  }
  return platform::win32::UniqueHandle(copy);
}

bool HasEnded(const platform::win32::UniqueHandle& thread) {
  return thread && WaitForSingleObject(thread.get(), 0) == WAIT_OBJECT_0;
}

// Each frame the drawing thread draws, with the tick count when it was.
struct DrawnFrame {
  UINT frame;
  ULONGLONG tick;
};

class FrameLog {
 public:
  void Observe(CAnimatedImage& image) {
    image.SetFrameObserver([this](UINT frame) {
      const std::lock_guard<std::mutex> lock(mutex_);
      frames_.push_back({frame, GetTickCount64()});
    });
  }
  std::vector<DrawnFrame> frames() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return frames_;
  }
  std::size_t count() const { return frames().size(); }
  // Waits (polling) until more than `count` frames were drawn; false after
  // two seconds.
  bool WaitForMoreThan(std::size_t count) const {
    const ULONGLONG end = GetTickCount64() + 2000;
    while (this->count() <= count) {
      if (GetTickCount64() > end) return false;
      Sleep(5);
    }
    return true;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<DrawnFrame> frames_;
};

class AnimatedImageTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(session_); }

  framework::CWinApp app_;
  platform::win32::GdiplusSession session_;
};

bool LoadTestImage(CAnimatedImage& image, const std::u16string& name) {
  return image.LoadFromResource(GetModuleHandleW(nullptr), u"GIF", name);
}

TEST_F(AnimatedImageTest, ReadsTheSizeFramesAndDelaysOfEachImage) {
  struct Case {
    std::u16string name;
    std::vector<UINT> delays;  // one per frame
  };
  const Case cases[] = {
      {u"STILL", {0}},
      {u"FRAMES_DELAY0", {0, 0, 0}},
      {u"FRAMES_DELAY5", {5, 5, 5}},
      {u"FRAMES_HELD", {30, 6, 0}},
      {u"FRAMES_NO_DELAY", {0, 0}},  // no delays in the file at all
  };
  for (const Case& c : cases) {
    const std::string name = testing_support::U8(c.name);
    CAnimatedImage image;
    ASSERT_TRUE(LoadTestImage(image, c.name)) << name;
    EXPECT_TRUE(image.loaded()) << name;
    EXPECT_EQ(image.width(), kWidth) << name;
    EXPECT_EQ(image.height(), kHeight) << name;
    ASSERT_EQ(image.frameCount(), c.delays.size()) << name;
    std::vector<UINT> delays(c.delays.size(), 99);
    for (UINT i = 0; i < delays.size(); ++i) delays[i] = image.FrameDelay(i);
    EXPECT_EQ(delays, c.delays) << name;
    EXPECT_EQ(image.FrameDelay(image.frameCount()), 0u) << name << ": past the last frame";
  }
}

TEST_F(AnimatedImageTest, LoadsFromAFileAsFromAResource) {
  const testing_support::TempFolder folder;
  const HMODULE program = GetModuleHandleW(nullptr);
  const HRSRC info = FindResourceW(program, L"FRAMES_HELD", L"GIF");
  ASSERT_NE(info, nullptr);
  const std::string bytes(static_cast<const char*>(LockResource(LoadResource(program, info))),
                          SizeofResource(program, info));
  const std::u16string path = folder.WriteFile(u"held.gif", bytes);

  CAnimatedImage image;
  ASSERT_TRUE(image.LoadFromFile(path));
  EXPECT_EQ(image.width(), kWidth);
  EXPECT_EQ(image.frameCount(), 3u);
  EXPECT_EQ(image.FrameDelay(0), 30u);
  image.Stop();  // the file is free again
  EXPECT_TRUE(DeleteFileW(reinterpret_cast<const wchar_t*>(path.c_str())));
  EXPECT_FALSE(image.LoadFromFile(folder.Path(u"missing.gif")));
  EXPECT_FALSE(image.loaded());
}

// The splash comes from a package that anyone can have written.
TEST_F(AnimatedImageTest, DamagedOrForeignBytesLoadNothingAndDrawNothing) {
  const UniqueWindow window = MakeTargetWindow();
  ASSERT_TRUE(window);
  for (const std::u16string name :
       {u"HEADER_ONLY", u"CUT_IN_PICTURE", u"HUGE_SCREEN", u"NOT_AN_IMAGE", u"MISSING"}) {
    const std::string label = testing_support::U8(name);
    FillBlack(window.get());
    CAnimatedImage image;
    EXPECT_FALSE(LoadTestImage(image, name)) << label;
    EXPECT_FALSE(image.loaded()) << label;
    EXPECT_EQ(image.frameCount(), 1u) << label;
    EXPECT_FALSE(image.Start(window.get(), 0, 0)) << label;
    EXPECT_EQ(image.thread(), nullptr) << label;
    {
      const platform::win32::WindowDc dc(window.get());
      image.Draw(dc.get());
    }
    EXPECT_EQ(PixelAt(window.get(), 0, 0), kBlack) << label;
    image.Stop();
  }
  // A good image after a damaged one in the same component.
  CAnimatedImage image;
  EXPECT_FALSE(LoadTestImage(image, u"NOT_AN_IMAGE"));
  EXPECT_TRUE(LoadTestImage(image, u"STILL"));
  EXPECT_FALSE(app_.failed());
}

TEST_F(AnimatedImageTest, AStillImageStartsNoThreadAndIsDrawnAtStartAndOnPaint) {
  const UniqueWindow window = MakeTargetWindow();
  ASSERT_TRUE(window);
  FillBlack(window.get());
  CAnimatedImage image;
  ASSERT_TRUE(LoadTestImage(image, u"STILL"));
  ASSERT_TRUE(image.Start(window.get(), 2, 3));
  EXPECT_EQ(image.thread(), nullptr);
  EXPECT_FALSE(image.Start(window.get(), 2, 3)) << "started twice";
  EXPECT_EQ(PixelAt(window.get(), 2, 3), kRed);
  EXPECT_EQ(PixelAt(window.get(), 2 + kWidth / 2, 3 + kHeight / 2), kGreen);
  EXPECT_EQ(PixelAt(window.get(), 1, 3), kBlack) << "drawn at the wrong place";

  FillBlack(window.get());
  {
    const platform::win32::WindowDc dc(window.get());
    image.Draw(dc.get());
  }
  EXPECT_EQ(PixelAt(window.get(), 2, 3), kRed);
  image.Stop();
  EXPECT_FALSE(image.loaded());
}

// Frames are counted over the time between Start and Stop: never more than
// one change per frame time (and one more for the edges of the interval).
TEST_F(AnimatedImageTest, FramesChangeNoFasterThanTheirDelaysAndSixtyMilliseconds) {
  struct Case {
    std::u16string name;
    ULONGLONG frameTime;  // milliseconds
  };
  const Case cases[] = {
      {u"FRAMES_DELAY0", 60},  // a delay of 0 still waits the floor
      {u"FRAMES_DELAY5", 60},  // 50 ms is below the floor
  };
  const UniqueWindow window = MakeTargetWindow();
  ASSERT_TRUE(window);
  for (const Case& c : cases) {
    const std::string name = testing_support::U8(c.name);
    CAnimatedImage image;
    ASSERT_TRUE(LoadTestImage(image, c.name)) << name;
    FrameLog log;
    log.Observe(image);
    const ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(image.Start(window.get(), 0, 0)) << name;
    ASSERT_NE(image.thread(), nullptr) << name;
    Sleep(700);
    image.Stop();
    const ULONGLONG elapsed = GetTickCount64() - start;

    const std::vector<DrawnFrame> frames = log.frames();
    EXPECT_LE(frames.size(), elapsed / c.frameTime + 1) << name << " in " << elapsed << " ms";
    EXPECT_GE(frames.size(), 4u) << name << ": the frames do not change";
    for (std::size_t i = 0; i < frames.size(); ++i) {
      EXPECT_EQ(frames[i].frame, i % 3) << name << " frame " << i;
    }
  }
  EXPECT_FALSE(app_.failed());
}

// FRAMES_HELD holds its first frame 300 ms, the others the 60 ms floor.
TEST_F(AnimatedImageTest, EachFrameStaysForItsOwnDelay) {
  const UniqueWindow window = MakeTargetWindow();
  ASSERT_TRUE(window);
  CAnimatedImage image;
  ASSERT_TRUE(LoadTestImage(image, u"FRAMES_HELD"));
  FrameLog log;
  log.Observe(image);
  ASSERT_TRUE(image.Start(window.get(), 0, 0));
  ASSERT_TRUE(log.WaitForMoreThan(7));
  image.Stop();

  const std::vector<DrawnFrame> frames = log.frames();
  ULONGLONG shortestAfterFirst = ~0ull;
  ULONGLONG shortestAfterLast = ~0ull;
  for (std::size_t i = 0; i + 1 < frames.size(); ++i) {
    const ULONGLONG gap = frames[i + 1].tick - frames[i].tick;
    if (frames[i].frame == 0) shortestAfterFirst = std::min(shortestAfterFirst, gap);
    if (frames[i].frame == 2) shortestAfterLast = std::min(shortestAfterLast, gap);
  }
  // The tick count of the observer and of the thread differ by the time a
  // frame takes to draw: a few milliseconds at most.
  EXPECT_GE(shortestAfterFirst, 290u);
  EXPECT_LT(shortestAfterLast, 200u) << "the last frame waited for the first one's delay";
}

TEST_F(AnimatedImageTest, PauseHoldsTheFramesAndStopEndsTheThreadEvenWhenPaused) {
  const UniqueWindow window = MakeTargetWindow();
  ASSERT_TRUE(window);
  CAnimatedImage image;
  ASSERT_TRUE(LoadTestImage(image, u"FRAMES_DELAY0"));
  FrameLog log;
  log.Observe(image);
  ASSERT_TRUE(image.Start(window.get(), 0, 0));
  ASSERT_TRUE(log.WaitForMoreThan(1));

  image.Pause();
  image.Pause();  // no second state: one Resume goes on
  Sleep(100);     // a frame that was being drawn has been counted
  const std::size_t paused = log.count();
  Sleep(300);
  EXPECT_EQ(log.count(), paused) << "frames drawn while paused";
  image.Resume();
  EXPECT_TRUE(log.WaitForMoreThan(paused)) << "no frames after Resume";

  image.Pause();
  const platform::win32::UniqueHandle thread = CopyThreadHandle(image);
  ASSERT_TRUE(thread);
  image.Stop();
  EXPECT_TRUE(HasEnded(thread));
  EXPECT_EQ(image.thread(), nullptr);
  EXPECT_FALSE(image.loaded());
  const std::size_t stopped = log.count();
  image.Stop();
  image.Resume();
  Sleep(150);
  EXPECT_EQ(log.count(), stopped);
  EXPECT_FALSE(app_.failed());
}

TEST_F(AnimatedImageTest, TheDestructorEndsTheThread) {
  const UniqueWindow window = MakeTargetWindow();
  ASSERT_TRUE(window);
  platform::win32::UniqueHandle thread;
  {
    CAnimatedImage image;
    ASSERT_TRUE(LoadTestImage(image, u"FRAMES_DELAY5"));
    ASSERT_TRUE(image.Start(window.get(), 0, 0));
    thread = CopyThreadHandle(image);
    ASSERT_TRUE(thread);
  }
  EXPECT_TRUE(HasEnded(thread));
}

TEST_F(AnimatedImageTest, AFailureOnTheDrawingThreadIsRecordedAndEndsIt) {
  const UniqueWindow window = MakeTargetWindow();
  ASSERT_TRUE(window);
  CAnimatedImage image;
  ASSERT_TRUE(LoadTestImage(image, u"FRAMES_DELAY0"));
  image.SetFrameObserver([](UINT) { throw std::runtime_error("observer"); });
  ASSERT_TRUE(image.Start(window.get(), 0, 0));
  const platform::win32::UniqueHandle thread = CopyThreadHandle(image);
  ASSERT_TRUE(thread);
  EXPECT_EQ(WaitForSingleObject(thread.get(), 2000), WAIT_OBJECT_0);
  EXPECT_TRUE(app_.failed());
  image.Stop();
}

// The program's own splash image (ARCHIVE in splash_test.rc) is
// FRAMES_DELAY0: a red frame round a changing centre.
TEST_F(AnimatedImageTest, TheSplashWindowIsLayeredSizedToTheImageAndCentred) {
  platform::win32::UniqueHandle thread;
  HWND hwnd = nullptr;
  {
    extractor::CSplashDlg splash;
    ASSERT_TRUE(splash.Create());
    EXPECT_TRUE(splash.imageShown());
    hwnd = splash.hwnd();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_TRUE(IsWindowVisible(hwnd));

    EXPECT_NE(GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED, 0);
    COLORREF key = RGB(1, 2, 3);
    BYTE alpha = 0;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(hwnd, &key, &alpha, &flags));
    EXPECT_EQ(key, kBlack);
    EXPECT_NE(flags & LWA_COLORKEY, 0u);

    RECT bounds{};
    ASSERT_TRUE(GetWindowRect(hwnd, &bounds));
    EXPECT_EQ(bounds.right - bounds.left, static_cast<LONG>(kWidth));
    EXPECT_EQ(bounds.bottom - bounds.top, static_cast<LONG>(kHeight));
    // Odd sizes: the halves truncate.
    EXPECT_EQ(bounds.left, (GetSystemMetrics(SM_CXSCREEN) - static_cast<int>(kWidth)) / 2);
    EXPECT_EQ(bounds.top, (GetSystemMetrics(SM_CYSCREEN) - static_cast<int>(kHeight)) / 2);

    // The drawing thread paints the frame within a frame's time or two.
    thread = CopyThreadHandle(splash.image());
    ASSERT_TRUE(thread);
    const ULONGLONG end = GetTickCount64() + 2000;
    while (PixelAt(hwnd, 0, 0) != kRed && GetTickCount64() < end) Sleep(10);
    EXPECT_EQ(PixelAt(hwnd, 0, 0), kRed);

    splash.Close();
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_TRUE(HasEnded(thread));
    EXPECT_FALSE(splash.imageShown());
    splash.Close();
    // A second splash after the first; the destructor closes it.
    ASSERT_TRUE(splash.Create());
    hwnd = splash.hwnd();
    thread = CopyThreadHandle(splash.image());
  }
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_TRUE(HasEnded(thread));
  EXPECT_FALSE(app_.failed());
}

}  // namespace
