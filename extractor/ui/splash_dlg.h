// The splash window: a borderless layered pop-up (template IDD_SPLASH) that
// shows the program's splash image, its resource SPLASH_RESOURCE_TYPE /
// SPLASH_RESOURCE_NAME, while the package is checked. Black is its
// transparent colour: the desktop shows through the image's black pixels.
// An animated image plays on the image's drawing thread.
//
// Made, closed and destroyed on the user-interface thread; GDI+ must be
// running while it is open.
#pragma once

#include <windows.h>

#include "extractor/ui/animated_image.h"
#include "framework/window.h"

namespace extractor {

class CSplashDlg : public framework::CDialog {
 public:
  CSplashDlg();
  CSplashDlg(const CSplashDlg&) = delete;
  CSplashDlg& operator=(const CSplashDlg&) = delete;
  // Closes.
  ~CSplashDlg() override;

  // Makes the window and, when the program carries a splash image that
  // loads, shows it centred on the primary screen, sized to the image. True
  // when the image is on the screen; false, with nothing visible, when the
  // program has none, it is no image, or the window cannot be made.
  bool Create();
  // Stops the animation and destroys the window; safe to call when there is
  // none.
  void Close();
  bool imageShown() const { return imageShown_; }

  // The image component, for looking at its state.
  const CAnimatedImage& image() const { return image_; }

 protected:
  BOOL OnInitDialog() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
  void OnDestroy() override;

 private:
  CAnimatedImage image_;
  bool imageShown_ = false;
};

}  // namespace extractor
