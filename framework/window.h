// Windows, dialogs and controls of our thin dialog framework.
//
// A dialog is built from a template, a plain window from a window class of
// the program's own; each kind has one static procedure, which stores the
// object (at WM_INITDIALOG, at WM_NCCREATE) and calls handlers named after
// the messages:
//
//   WM_COMMAND  OnCommand(id, code, control), decoded once; its default
//               calls OnButtonClicked(id) for BN_CLICKED
//   WM_TIMER    OnTimer(id)
//   WM_DESTROY  OnDestroy(), then the default handling
//
// A derived class sees every message first through its OnMessage.
//
// Every handler runs behind one barrier: a file error that escapes it is
// shown with the framework's text for it (then OnCommandFileError runs);
// any other exception is recorded with CWinApp::RecordFailure and ends the
// window (a dialog with -1). No exception ever reaches Windows.
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
  // The handlers of a dialog or plain window; controls never see them.
  //
  // A command; true when it was handled. The default hands BN_CLICKED (a
  // button, also a menu item or the dialog manager's Enter and Esc) to
  // OnButtonClicked and leaves every other notification.
  virtual bool OnCommand(WORD id, WORD code, HWND control);
  virtual void OnButtonClicked(int id);
  virtual void OnTimer(UINT_PTR id);
  // The window is being destroyed; its children still exist.
  virtual void OnDestroy();
  // Called after a file error that escaped a handler was shown.
  virtual void OnCommandFileError() {}

  // Calls the shared handlers above for their messages. True when the
  // message was handled and needs no default handling.
  bool RouteToHandlers(UINT message, WPARAM wParam, LPARAM lParam);

  // The barrier's answer to the exception being handled; called only from
  // a catch block. A file error is shown and passed to OnCommandFileError,
  // and the window goes on (true); anything else is recorded as the
  // program's failure, and the caller ends the window (false).
  bool AnswerEscapedException() noexcept;

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
  // when the dialog could not be created or a handler failed.
  INT_PTR DoModal();
  void EndDialog(int code);

 protected:
  // Binds controls; called by OnInitDialog.
  virtual void DoDataExchange(DataExchange& exchange);
  virtual BOOL OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();

  // Calls OnOK for IDOK and OnCancel for IDCANCEL.
  void OnButtonClicked(int id) override;

  // A modeless dialog: CreateModeless makes the window and returns; false
  // when it could not be made or OnInitDialog failed. The window stays until
  // DestroyModeless; a handler that fails destroys it instead of ending it.
  bool CreateModeless();
  void DestroyModeless();

  // The routing of a derived dialog's own messages, before the shared
  // handlers. Return true when the message was handled, with `result` the
  // dialog procedure's answer.
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

  UINT templateId_;
  CWnd* parent_;
  bool modeless_ = false;
};

// A window of a window class that the program registers itself, such as a
// layered splash pop-up or a message-only window. What no handler takes
// goes to DefWindowProcW.
//
// A window belongs to the thread that created it: create it, destroy it and
// destroy the object on that thread. Destroy the window before the object;
// the destructor destroys a window that is still there, without the derived
// class's handlers.
class CPlainWnd : public CWnd {
 public:
  CPlainWnd() = default;
  CPlainWnd(const CPlainWnd&) = delete;
  CPlainWnd& operator=(const CPlainWnd&) = delete;
  ~CPlainWnd() override;

  // Registers the window class `className` of the program with the
  // framework's window procedure. A class that is already registered
  // counts as success.
  static bool RegisterWindowClass(const std::u16string& className, UINT style = 0,
                                  HCURSOR cursor = nullptr, HBRUSH background = nullptr);

  // Creates the window; `parent` HWND_MESSAGE makes a message-only window.
  // False when it could not be created (also when a handler failed during
  // the creation).
  bool Create(const std::u16string& className, const std::u16string& title, DWORD style,
              DWORD exStyle, const RECT& bounds, HWND parent = nullptr);

  // Destroys the window, if there is one.
  void Destroy();

 protected:
  // WM_CREATE; false makes the creation fail.
  virtual bool OnCreate();

  // The routing of a derived window's own messages, before the shared
  // handlers. Return true when the message was handled, with `result` the
  // window procedure's answer.
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
};

}  // namespace framework
