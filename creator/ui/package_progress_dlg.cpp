#include "creator/ui/package_progress_dlg.h"

#include <commctrl.h>

#include "creator/app/package_creator_app.h"
#include "creator/app/startup_paths.h"
#include "framework/win_app.h"
#include "package/result_codes.h"
#include "platform/win32/wide.h"

namespace creator {

CPackageProgressDlg::CPackageProgressDlg() : CDialog(kDialogTemplateId) {
  icon = LoadIconW(TheApp().instance(), MAKEINTRESOURCEW(kIconId));
}

void CPackageProgressDlg::DoDataExchange(framework::DataExchange& exchange) {
  CDialog::DoDataExchange(exchange);
  exchange.Control(kStartButtonId, startButton);
  exchange.Control(kProgressBarId, progressBar);
  exchange.Control(kMessageTextId, messageText);
}

BOOL CPackageProgressDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  startPending = 1;
  SetText(TheApp().LoadText(framework::kAppTitleStringId));
  messageText.SetText(TheApp().LoadText(kStringWaitMessage));
  progressBar.SetRange32(0, 100);
  progressBar.SetPos(0);

  if (!description.Load(TheApp().descriptionPath, *this, builder, targetPath)) {
    Finish(kExitDescriptionUnreadable);
    EndDialog(2);
    return TRUE;
  }
  running = 0;
  cancelQuestionOpen = 0;
  return TRUE;
}

void CPackageProgressDlg::ShowMessage(int stringId, std::u16string_view argument) {
  if (stringId != kStringMissingFile) descriptionReported = true;
  const std::u16string text =
      framework::FormatMessageText(TheApp().LoadText(static_cast<UINT>(stringId)), argument);
  TheApp().ShowMessageBox(text, MB_OK);
}

bool CPackageProgressDlg::OnMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR& result) {
  switch (message) {
    case WM_PAINT:
      OnPaint();
      result = TRUE;
      return true;
    case WM_QUERYDRAGICON:
      result = reinterpret_cast<INT_PTR>(OnQueryDragIcon());
      return true;
    case WM_COMMAND:
      if (LOWORD(wParam) == kStartButtonId && HIWORD(wParam) == BN_CLICKED) {
        OnStart();
        result = TRUE;
        return true;
      }
      return false;
  }
  return false;
}

void CPackageProgressDlg::OnPaint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(hwnd_, &paint);
  if (IsMinimized()) {
    SendMessageW(hwnd_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const int iconWidth = GetSystemMetrics(SM_CXICON);
    const int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(hwnd_, &client);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    DrawIcon(dc, x, y, icon);
    EndPaint(hwnd_, &paint);
    return;
  }
  EndPaint(hwnd_, &paint);
  // The first normal paint starts the build, synchronously; the flag is
  // cleared first, so the paints during the build never start another.
  if (startPending == 1) {
    startPending = 0;
    SendMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(kStartButtonId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(startButton.hwnd()));
  }
}

void CPackageProgressDlg::OnStart() {
  // The build pumps messages: a Start command that arrives meanwhile (it
  // can only come from outside) must not start a second build inside it.
  if (running || buildReturned) return;
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  const int total = builder.MeasureTotal();
  progressBar.SetRange32(0, total);
  progressBar.SetPos(0);

  const std::size_t cut = targetPath.rfind(u'\\');
  package::PackageBuilder::CreateDirectoryTree(cut == std::u16string::npos ? std::u16string()
                                                                           : targetPath.substr(0, cut));
  running = 1;

  std::u16string splash = TheApp().exeDirectory + u"\\TempSplashImage.gif";
  if (!FileExists(splash)) splash.clear();

  // A file error leaves here early; OnCommandFileError ends the dialog.
  Finish(kExitNoPackage);
  const int result = builder.BuildPackage(kExtractorImageId, targetPath, &ProgressCallback, this,
                                          splash, TheApp().exeDirectory);
  buildReturned = true;
  if (builder.cancelRequested) {
    Finish(kExitCancelled);
  } else if (result == package::kResultEmpty) {
    Finish(kExitNothingToPack);
  } else if (result == package::kResultDone) {
    Finish(description.unaddedFiles > 0 ? kExitPackageIncomplete : kExitPackageWritten);
  }
  EndDialog(1);
}

int CPackageProgressDlg::ProgressCallback(int eventCode, const void* eventData, void* context) {
  auto* dialog = static_cast<CPackageProgressDlg*>(context);
  // Every pending message, for any window, without the dialog's keyboard
  // handling: Enter, Esc and Tab do nothing, closing and painting work.
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));  // for the loop that owns it
      break;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  if (eventCode == package::kEventSourceBytesDone) {
    dialog->progressBar.SetPos(*static_cast<const std::int32_t*>(eventData));
  }
  return 0;
}

void CPackageProgressDlg::OnCancel() {
  if (buildReturned) return;
  if (running == 0) {
    Finish(kExitCancelled);
    CDialog::OnCancel();
    return;
  }
  // A second close while the question is open (a posted command reaches
  // the disabled dialog too) asks nothing more.
  if (cancelQuestionOpen) return;
  cancelQuestionOpen = 1;
  const int answer =
      TheApp().ShowMessageBox(TheApp().LoadText(kStringCancelQuestion), MB_YESNO | MB_ICONQUESTION);
  if (answer == IDNO) {
    cancelQuestionOpen = 0;
    return;
  }
  Show(SW_HIDE);
  cancelQuestionOpen = 0;
  builder.cancelRequested = 1;
}

void CPackageProgressDlg::OnCommandFileError() {
  buildReturned = true;
  Finish(kExitNoPackage);
  EndDialog(1);
}

void CPackageProgressDlg::Finish(ExitCode code) {
  TheApp().exitCode = descriptionReported ? kExitDescriptionUnreadable : code;
}

}  // namespace creator
