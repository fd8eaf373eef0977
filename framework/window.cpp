#include "framework/window.h"

#include <commctrl.h>

#include <exception>

#include "framework/win_app.h"
#include "platform/file_error.h"
#include "platform/win32/wide.h"

namespace framework {

void CWnd::SetText(const std::u16string& text) const {
  SetWindowTextW(hwnd_, platform::win32::Wide(text));
}

std::u16string CWnd::GetText() const {
  std::u16string text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd_)) + 1, u'\0');
  const int length = GetWindowTextW(hwnd_, reinterpret_cast<wchar_t*>(text.data()),
                                    static_cast<int>(text.size()));
  text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  return text;
}

void CProgressCtrl::SetRange32(int low, int high) const {
  SendMessageW(hwnd_, PBM_SETRANGE32, static_cast<WPARAM>(low), static_cast<LPARAM>(high));
}

void CProgressCtrl::SetPos(int position) const {
  SendMessageW(hwnd_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

CDialog::CDialog(UINT templateId, CWnd* parent) : templateId_(templateId), parent_(parent) {}

INT_PTR CDialog::DoModal() {
  CWinApp* app = CWinApp::Get();
  return DialogBoxParamW(app ? app->instance() : nullptr, MAKEINTRESOURCEW(templateId_),
                         parent_ ? parent_->hwnd() : nullptr, &CDialog::DialogProc,
                         reinterpret_cast<LPARAM>(this));
}

void CDialog::EndDialog(int code) { ::EndDialog(hwnd_, code); }

void CDialog::DoDataExchange(DataExchange&) {}

BOOL CDialog::OnInitDialog() {
  DataExchange exchange(hwnd_);
  DoDataExchange(exchange);
  return TRUE;
}

void CDialog::OnOK() { EndDialog(IDOK); }

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

bool CDialog::OnMessage(UINT, WPARAM, LPARAM, INT_PTR&) { return false; }

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CDialog* dialog = nullptr;
  if (message == WM_INITDIALOG) {
    dialog = reinterpret_cast<CDialog*>(lParam);
    dialog->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
  } else {
    dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  }
  if (!dialog) return FALSE;
  try {
    return dialog->Dispatch(message, wParam, lParam);
  } catch (const platform::FileError& error) {
    // A file error that no handler turned into a result: the framework's
    // text for it, with the stop icon.
    if (CWinApp* app = CWinApp::Get()) app->ReportFileError(error);
    try {
      dialog->OnCommandFileError();
    } catch (...) {
      if (CWinApp* app = CWinApp::Get()) app->RecordFailure();
    }
    return TRUE;
  } catch (...) {
    if (CWinApp* app = CWinApp::Get()) app->RecordFailure();
    ::EndDialog(hwnd, -1);
    return TRUE;
  }
}

INT_PTR CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) return OnInitDialog();
  INT_PTR result = 0;
  if (OnMessage(message, wParam, lParam, result)) return result;
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    switch (LOWORD(wParam)) {
      case IDOK:
        OnOK();
        return TRUE;
      case IDCANCEL:
        OnCancel();
        return TRUE;
    }
  }
  return FALSE;
}

}  // namespace framework
