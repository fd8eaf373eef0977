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
  const int length =
      GetWindowTextW(hwnd_, reinterpret_cast<wchar_t*>(text.data()), static_cast<int>(text.size()));
  text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  return text;
}

void CProgressCtrl::SetRange32(int low, int high) const {
  SendMessageW(hwnd_, PBM_SETRANGE32, static_cast<WPARAM>(low), static_cast<LPARAM>(high));
}

void CProgressCtrl::SetPos(int position) const {
  SendMessageW(hwnd_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

bool CWnd::OnCommand(WORD id, WORD code, HWND) {
  if (code != BN_CLICKED) return false;
  OnButtonClicked(id);
  return true;
}

void CWnd::OnButtonClicked(int) {}

void CWnd::OnTimer(UINT_PTR) {}

void CWnd::OnDestroy() {}

bool CWnd::RouteToHandlers(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
    case WM_TIMER: OnTimer(static_cast<UINT_PTR>(wParam)); return true;
    case WM_DESTROY: OnDestroy(); return false;  // the default handling runs as well
  }
  return false;
}

bool CWnd::AnswerEscapedException() noexcept {
  CWinApp* app = CWinApp::Get();
  try {
    throw;
  } catch (const platform::FileError& error) {
    // A file error that no handler turned into a result: the framework's
    // text for it, with the stop icon.
    try {
      if (app) app->ReportFileError(error);
    } catch (...) {
      if (app) app->RecordFailure();
    }
    try {
      OnCommandFileError();
    } catch (...) {
      if (app) app->RecordFailure();
    }
    return true;
  } catch (...) {
    if (app) app->RecordFailure();
    return false;
  }
}

CDialog::CDialog(UINT templateId, CWnd* parent) : templateId_(templateId), parent_(parent) {}

INT_PTR CDialog::DoModal() {
  return DialogBoxParamW(ProgramInstance(), MAKEINTRESOURCEW(templateId_),
                         parent_ ? parent_->hwnd() : nullptr, &CDialog::DialogProc,
                         reinterpret_cast<LPARAM>(this));
}

void CDialog::EndDialog(int code) { ::EndDialog(hwnd_, code); }

bool CDialog::CreateModeless() {
  if (hwnd_) return false;
  modeless_ = true;
  return CreateDialogParamW(ProgramInstance(), MAKEINTRESOURCEW(templateId_),
                            parent_ ? parent_->hwnd() : nullptr, &CDialog::DialogProc,
                            reinterpret_cast<LPARAM>(this)) != nullptr;
}

void CDialog::DestroyModeless() {
  if (modeless_ && hwnd_) DestroyWindow(hwnd_);
}

void CDialog::DoDataExchange(DataExchange&) {}

BOOL CDialog::OnInitDialog() {
  DataExchange exchange(hwnd_);
  DoDataExchange(exchange);
  return TRUE;
}

void CDialog::OnOK() { EndDialog(IDOK); }

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::OnButtonClicked(int id) {
  switch (id) {
    case IDOK: OnOK(); break;
    case IDCANCEL: OnCancel(); break;
  }
}

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
  INT_PTR result = TRUE;
  try {
    result = dialog->Dispatch(message, wParam, lParam);
  } catch (...) {
    if (!dialog->AnswerEscapedException()) {
      // A modeless dialog has no modal loop to end: it goes at once.
      if (!dialog->modeless_) {
        ::EndDialog(hwnd, -1);
      } else if (message != WM_DESTROY && message != WM_NCDESTROY) {
        DestroyWindow(hwnd);
      }
    }
  }
  if (message == WM_NCDESTROY) {
    // The window is gone; the object may outlive it.
    SetWindowLongPtrW(hwnd, DWLP_USER, 0);
    dialog->hwnd_ = nullptr;
  }
  return result;
}

INT_PTR CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) return OnInitDialog();
  INT_PTR result = 0;
  if (OnMessage(message, wParam, lParam, result)) return result;
  return RouteToHandlers(message, wParam, lParam) ? TRUE : FALSE;
}

CPlainWnd::~CPlainWnd() {
  if (hwnd_) {
    // The object is going: the window's last messages no longer reach it.
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
    hwnd_ = nullptr;
  }
}

bool CPlainWnd::RegisterWindowClass(const std::u16string& className, UINT style, HCURSOR cursor,
                                    HBRUSH background) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = style;
  windowClass.lpfnWndProc = &CPlainWnd::WindowProc;
  windowClass.hInstance = ProgramInstance();
  windowClass.hCursor = cursor;
  windowClass.hbrBackground = background;
  windowClass.lpszClassName = platform::win32::Wide(className);
  return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool CPlainWnd::Create(const std::u16string& className, const std::u16string& title, DWORD style,
                       DWORD exStyle, const RECT& bounds, HWND parent) {
  if (hwnd_) return false;
  return CreateWindowExW(exStyle, platform::win32::Wide(className), platform::win32::Wide(title),
                         style, bounds.left, bounds.top, bounds.right - bounds.left,
                         bounds.bottom - bounds.top, parent, nullptr, ProgramInstance(),
                         this) != nullptr;
}

void CPlainWnd::Destroy() {
  if (hwnd_) DestroyWindow(hwnd_);
}

bool CPlainWnd::OnCreate() { return true; }

bool CPlainWnd::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

LRESULT CALLBACK CPlainWnd::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CPlainWnd* window = nullptr;
  if (message == WM_NCCREATE) {
    window =
        static_cast<CPlainWnd*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
    window->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
  } else {
    window = reinterpret_cast<CPlainWnd*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  // The messages before WM_NCCREATE, and those after the object let go.
  if (!window) return DefWindowProcW(hwnd, message, wParam, lParam);
  LRESULT result = 0;
  try {
    result = window->Dispatch(message, wParam, lParam);
  } catch (...) {
    const bool goesOn = window->AnswerEscapedException();
    // A window that fails while it is made is not made; one that fails
    // later is destroyed, unless it is going already.
    if (message == WM_NCCREATE) {
      result = FALSE;
    } else if (message == WM_CREATE) {
      result = -1;
    } else if (!goesOn && message != WM_DESTROY && message != WM_NCDESTROY) {
      DestroyWindow(hwnd);
    }
  }
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    window->hwnd_ = nullptr;
  }
  return result;
}

LRESULT CPlainWnd::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (OnMessage(message, wParam, lParam, result)) return result;
  if (message == WM_CREATE) return OnCreate() ? 0 : -1;
  if (RouteToHandlers(message, wParam, lParam)) return 0;
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

}  // namespace framework
