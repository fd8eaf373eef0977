// The creator's only window: loads the package description while it
// initialises, starts the build on its first normal paint, moves its bar
// while the archive is written, and stops the run after a confirmed close.
//
// Everything runs on the one user-interface thread: the build runs inside
// the paint handling and stays responsive through ProgressCallback, which
// dispatches every pending window message.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "creator/app/exit_codes.h"
#include "creator/description/package_description.h"
#include "framework/window.h"
#include "package/package_builder.h"

namespace creator {

class CPackageProgressDlg : public framework::CDialog, private MessageSink {
 public:
  CPackageProgressDlg();

 protected:
  void DoDataExchange(framework::DataExchange& exchange) override;
  BOOL OnInitDialog() override;
  void OnCancel() override;
  void OnButtonClicked(int id) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
  void OnCommandFileError() override;

 private:
  void OnPaint();
  HICON OnQueryDragIcon() const { return icon; }
  void OnStart();

  // The description reader's messages, in message boxes with an OK button.
  void ShowMessage(int stringId, std::u16string_view argument) override;

  // Dispatches every pending message and, on the writer's bytes-done event,
  // moves the bar. The context is the dialog.
  static int ProgressCallback(package::Event eventCode, const void* eventData, void* context);

  void Finish(ExitCode code);

  int startPending = 0;
  package::PackageBuilder builder;
  int cancelQuestionOpen = 0;
  framework::CButton startButton;
  framework::CProgressCtrl progressBar;
  framework::CStatic messageText;
  std::u16string targetPath;
  PackageDescription description;  // holds the decoded description text
  HICON icon = nullptr;
  int running = 0;
  bool descriptionReported = false;  // a read error of the description was shown
  bool buildReturned = false;        // a close after this is not acted on
};

}  // namespace creator
