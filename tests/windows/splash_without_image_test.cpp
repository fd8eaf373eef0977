// The splash window of a program without a splash image (this test program
// carries the extractor's resources and no "GIF"/"ARCHIVE"): nothing is
// shown, and nothing of it is left.
#include <windows.h>

#include <gtest/gtest.h>

#include "extractor/ui/splash_dlg.h"
#include "framework/win_app.h"
#include "platform/win32/gdiplus_session.h"

namespace {

BOOL CALLBACK CountVisible(HWND window, LPARAM count) {
  if (IsWindowVisible(window)) ++*reinterpret_cast<int*>(count);
  return TRUE;
}

TEST(SplashWindow, AProgramWithoutASplashImageShowsNoWindow) {
  framework::CWinApp app;
  const platform::win32::GdiplusSession session;
  ASSERT_TRUE(session);
  extractor::CSplashDlg splash;
  EXPECT_FALSE(splash.Create());
  EXPECT_FALSE(splash.imageShown());
  EXPECT_EQ(splash.hwnd(), nullptr);
  EXPECT_EQ(splash.image().thread(), nullptr);
  int visible = 0;
  EnumThreadWindows(GetCurrentThreadId(), &CountVisible, reinterpret_cast<LPARAM>(&visible));
  EXPECT_EQ(visible, 0);
  splash.Close();
  EXPECT_FALSE(app.failed());
}

}  // namespace
