#include "extractor/ui/splash_dlg.h"

#include "framework/win_app.h"
#include "platform/win32/unique_gdi.h"
#include "resources/extractor/resource_ids.h"

namespace extractor {

CSplashDlg::CSplashDlg() : CDialog(IDD_SPLASH) {}

CSplashDlg::~CSplashDlg() { Close(); }

bool CSplashDlg::Create() {
  if (hwnd_) return imageShown_;
  imageShown_ = false;
  if (!CreateModeless()) return false;
  if (!imageShown_) Close();
  return imageShown_;
}

void CSplashDlg::Close() {
  // The drawing thread ends before the window it draws into.
  image_.Stop();
  DestroyModeless();
  imageShown_ = false;
}

BOOL CSplashDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, GetWindowLongPtrW(hwnd_, GWL_EXSTYLE) | WS_EX_LAYERED);
  SetLayeredWindowAttributes(hwnd_, RGB(0, 0, 0), 0, LWA_COLORKEY);

  if (!image_.LoadFromResource(framework::ProgramInstance(), u"" SPLASH_RESOURCE_TYPE,
                               u"" SPLASH_RESOURCE_NAME)) {
    Show(SW_HIDE);
    return TRUE;
  }
  const int width = static_cast<int>(image_.width());
  const int height = static_cast<int>(image_.height());
  const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  SetWindowPos(hwnd_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  image_.Start(hwnd_, 0, 0);
  Show(SW_SHOW);
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  imageShown_ = true;
  return TRUE;
}

bool CSplashDlg::OnMessage(UINT message, WPARAM, LPARAM, INT_PTR& result) {
  switch (message) {
    case WM_CTLCOLORDLG:
      // The background is the transparent colour: where the image leaves it
      // uncovered, the desktop shows.
      result = reinterpret_cast<INT_PTR>(GetStockObject(BLACK_BRUSH));
      return true;
    case WM_PAINT: {
      const platform::win32::PaintDc paint(hwnd_);
      // An animated image is drawn by its thread alone.
      if (paint) image_.Draw(paint.get());
      result = TRUE;
      return true;
    }
  }
  return false;
}

void CSplashDlg::OnDestroy() {
  // Also when the window goes without Close (a failed handler).
  image_.Stop();
  CDialog::OnDestroy();
}

}  // namespace extractor
