#include "creator/ui/package_progress_dlg.h"

#include <commctrl.h>

#include "creator/app/package_creator_app.h"
#include "framework/win_app.h"
#include "package/result_codes.h"
#include "platform/file_system.h"
#include "platform/win32/unique_gdi.h"
#include "platform/win32/wide.h"
#include "resources/creator/resource_ids.h"

namespace creator {

CPackageProgressDlg::CPackageProgressDlg() : CDialog(IDD_PROGRESS) {
  icon = LoadIconW(TheApp().instance(), MAKEINTRESOURCEW(IDI_CREATOR));
}

void CPackageProgressDlg::DoDataExchange(framework::DataExchange& exchange) {
  CDialog::DoDataExchange(exchange);
  exchange.Control(IDC_START, startButton);
  exchange.Control(IDC_PROGRESS_BAR, progressBar);
  exchange.Control(IDC_MESSAGE, messageText);
}

BOOL CPackageProgressDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  startPending = 1;
  SetText(TheApp().LoadText(framework::kAppTitleStringId));
  messageText.SetText(TheApp().LoadText(IDS_CREATING_WAIT));
  progressBar.SetRange32(0, 100);
  progressBar.SetPos(0);

  if (!description.Load(TheApp().descriptionPath, *this, builder, targetPath)) {
    Finish(ExitCode::kDescriptionUnreadable);
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

bool CPackageProgressDlg::OnMessage(UINT message, WPARAM, LPARAM, INT_PTR& result) {
  switch (message) {
    case WM_PAINT:
      OnPaint();
      result = TRUE;
      return true;
    case WM_QUERYDRAGICON: result = reinterpret_cast<INT_PTR>(OnQueryDragIcon()); return true;
  }
  return false;
}

void CPackageProgressDlg::OnButtonClicked(int id) {
  if (id == IDC_START) {
    OnStart();
    return;
  }
  CDialog::OnButtonClicked(id);
}

void CPackageProgressDlg::OnPaint() {
  {
    const platform::win32::PaintDc dc(hwnd_);
    if (IsMinimized()) {
      SendMessageW(hwnd_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.get()), 0);
      const int iconWidth = GetSystemMetrics(SM_CXICON);
      const int iconHeight = GetSystemMetrics(SM_CYICON);
      RECT client;
      GetClientRect(hwnd_, &client);
      const int x = (client.right - client.left - iconWidth + 1) / 2;
      const int y = (client.bottom - client.top - iconHeight + 1) / 2;
      DrawIcon(dc.get(), x, y, icon);
      return;
    }
  }
  // The first normal paint starts the build, synchronously, once its
  // painting has ended; the flag is cleared first, so the paints during the
  // build never start another.
  if (startPending == 1) {
    startPending = 0;
    SendMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED),
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
  package::PackageBuilder::CreateDirectoryTree(
      cut == std::u16string::npos ? std::u16string() : targetPath.substr(0, cut));
  running = 1;

  std::u16string splash = TheApp().exeDirectory + u"\\TempSplashImage.gif";
  if (!platform::FileExists(splash)) splash.clear();

  // A file error leaves here early; OnCommandFileError ends the dialog.
  Finish(ExitCode::kNoPackage);
  const package::Result result = builder.BuildPackage(
      IDR_EXTRACTOR_IMAGE, targetPath, &ProgressCallback, this, splash, TheApp().exeDirectory);
  buildReturned = true;
  if (builder.cancelRequested) {
    Finish(ExitCode::kCancelled);
  } else if (result == package::Result::kEmpty) {
    Finish(ExitCode::kNothingToPack);
  } else if (result == package::Result::kDone) {
    Finish(description.unaddedFiles > 0 ? ExitCode::kPackageIncomplete : ExitCode::kPackageWritten);
  }
  EndDialog(1);
}

int CPackageProgressDlg::ProgressCallback(package::Event eventCode, const void* eventData,
                                          void* context) {
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
  if (eventCode == package::Event::kSourceBytesDone) {
    dialog->progressBar.SetPos(*static_cast<const std::int32_t*>(eventData));
  }
  return 0;
}

void CPackageProgressDlg::OnCancel() {
  if (buildReturned) return;
  if (running == 0) {
    Finish(ExitCode::kCancelled);
    CDialog::OnCancel();
    return;
  }
  // A second close while the question is open (a posted command reaches
  // the disabled dialog too) asks nothing more.
  if (cancelQuestionOpen) return;
  cancelQuestionOpen = 1;
  const int answer =
      TheApp().ShowMessageBox(TheApp().LoadText(IDS_CONFIRM_STOP), MB_YESNO | MB_ICONQUESTION);
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
  Finish(ExitCode::kNoPackage);
  EndDialog(1);
}

void CPackageProgressDlg::Finish(ExitCode code) {
  TheApp().exitCode = descriptionReported ? ExitCode::kDescriptionUnreadable : code;
}

}  // namespace creator
