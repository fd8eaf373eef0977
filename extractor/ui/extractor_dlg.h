// The extractor's main dialog: checks the package it runs from (behind the
// splash image when the package has one), then either shows itself so that
// the user confirms or changes the unpack folder (a package with a read-me)
// or goes straight to the unpacking run (unattended). It holds the package
// object through which every package access goes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "framework/window.h"
#include "package/package_builder.h"
#include "platform/win32/unique_gdi.h"

namespace extractor {

class CExtractorDlg : public framework::CDialog {
 public:
  CExtractorDlg();

  // The program's exit code once the dialog has ended (see exit_codes.h).
  DWORD exitCode() const { return exitCode_; }

  // What follows the installer's quoted path on its command line: the
  // package's own arguments, as they were given.
  std::u16string installerArguments;

 protected:
  void DoDataExchange(framework::DataExchange& exchange) override;
  BOOL OnInitDialog() override;
  // Extract.
  void OnOK() override;
  void OnCancel() override;
  bool OnCommand(WORD id, WORD code, HWND control) override;
  void OnButtonClicked(int id) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

 private:
  void OnPaint();
  void OnFolderChanged();
  void OnBrowse();
  void OnShowReadMe();

  // The package check, behind the splash window when the program carries a
  // splash image. True when the package is sound.
  bool CheckPackage();
  // Unattended: the checks of the default folder, then Extract.
  void RunUnattended();
  // Hides the dialog, runs the unpacking run and ends the dialog.
  void Extract();

  // Whether the folder text names a folder that exists or can be made;
  // shows message 15 when not. What it makes to find out, it removes.
  bool CheckFolderAccess();
  // The free space at `folder` as shown, and Extract enabled exactly when
  // it holds the required size.
  std::u16string FreeSpaceText(const std::u16string& folder);
  // The required size as shown; sets requiredSize.
  std::u16string RequiredSpaceText();
  // String 2 with the product's name, on two lines when one is too wide for
  // the label.
  std::u16string FitWelcomeText(const std::u16string& name);

  // Message `stringId` with "%1", "%2", "%3" replaced; returns the button.
  int ShowMessage(UINT stringId, UINT type, const std::u16string& second = {},
                  const std::u16string& third = {}) const;
  std::u16string FolderText() const { return folder.GetText(); }

  package::PackageBuilder builder;
  // The bytes unpacking writes: the sizes of the entries it restores.
  std::int64_t requiredSize = 0;
  HICON icon = nullptr;
  HICON smallIcon = nullptr;
  platform::win32::UniqueGdiObject<HBITMAP> pictureBitmap;
  platform::win32::UniqueGdiObject<HFONT> boldFont;

  framework::CStatic picture;
  framework::CStatic welcome;
  framework::CStatic introduction;
  framework::CStatic folderLabel;
  framework::CWnd folder;
  framework::CButton browse;
  framework::CStatic requiredLabel;
  framework::CStatic freeLabel;
  framework::CStatic requiredSpace;
  framework::CStatic freeSpace;
  framework::CButton deleteAfter;
  framework::CButton showReadMe;
  framework::CButton cancel;
  framework::CButton extract;

  std::u16string appName;
  std::u16string productName;
  std::u16string folderName;
  DWORD exitCode_ = 0;
};

}  // namespace extractor
