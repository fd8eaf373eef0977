// Windows, dialogs and controls of our thin dialog framework.
//
// A dialog is built from a template and has one static dialog procedure,
// which stores the object at WM_INITDIALOG and calls handlers named after
// the messages. Every handler runs behind a barrier: a file error that
// escapes a command handler is shown with the framework's text for it, and
// no exception ever reaches Windows.
#pragma once

#include <windows.h>

#include <string>

namespace framework {

class CWnd {
 public:
  virtual ~CWnd() = default;

  HWND hwnd() const { return hwnd_; }
  void Attach(HWND hwnd) { hwnd_ = hwnd; }

  void SetText(const std::u16string& text) const;
  std::u16string GetText() const;
  void Show(int command) const { ShowWindow(hwnd_, command); }
  bool IsMinimized() const { return IsIconic(hwnd_) != 0; }

 protected:
  HWND hwnd_ = nullptr;
};

class CStatic : public CWnd {};
class CButton : public CWnd {};

class CProgressCtrl : public CWnd {
 public:
  void SetRange32(int low, int high) const;
  void SetPos(int position) const;
};

// Binds the controls of a dialog to their objects.
class DataExchange {
 public:
  explicit DataExchange(HWND dialog) : dialog_(dialog) {}
  void Control(int id, CWnd& control) const { control.Attach(GetDlgItem(dialog_, id)); }

 private:
  HWND dialog_;
};

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT templateId, CWnd* parent = nullptr);

  // Runs the dialog modally; returns the code given to EndDialog, or -1
  // when the dialog could not be created.
  INT_PTR DoModal();
  void EndDialog(int code);

 protected:
  // Binds controls; called by OnInitDialog.
  virtual void DoDataExchange(DataExchange& exchange);
  virtual BOOL OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();

  // The routing of a derived dialog's own messages. Return true when the
  // message was handled, with `result` the dialog procedure's answer.
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);

  // Called after a file error that escaped a command handler was shown.
  virtual void OnCommandFileError() {}

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

  UINT templateId_;
  CWnd* parent_;
};

}  // namespace framework
