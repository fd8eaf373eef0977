// The dialog framework (framework/): the messages a dialog and a plain
// window get reach the handlers with the right ids, an exception in a
// handler ends the window and is recorded instead of reaching Windows, and
// the application runs BeforeInitInstance first.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "framework/win_app.h"
#include "framework/window.h"
#include "tests/windows/framework_test_ids.h"

namespace {

// Records each handler's call as a line ("click 1001") and throws in the
// handler whose line starts with `throwIn`.
template <typename Window>
class Recorder : public Window {
 public:
  using Window::Window;

  std::vector<std::string> events;
  std::string throwIn;

 protected:
  void Record(const std::string& event) {
    events.push_back(event);
    if (!throwIn.empty() && event.rfind(throwIn, 0) == 0) throw std::runtime_error(event);
  }

  bool OnCommand(WORD id, WORD code, HWND control) override {
    const bool fromControl = control && control == GetDlgItem(this->hwnd_, id);
    Record("command " + std::to_string(id) + " " + std::to_string(code) +
           (fromControl ? " from its control" : ""));
    return Window::OnCommand(id, code, control);
  }
  void OnButtonClicked(int id) override {
    Record("click " + std::to_string(id));
    Window::OnButtonClicked(id);
  }
  void OnTimer(UINT_PTR id) override { Record("timer " + std::to_string(id)); }
  void OnDestroy() override { Record("destroy"); }
};

constexpr UINT_PTR kTimerId = 7;

// Once shown, it is sent a button click, a notification that is no click
// and a timer, and then OK.
class RoutedDialog : public Recorder<framework::CDialog> {
 public:
  RoutedDialog() : Recorder(IDD_TEST_DIALOG) {}

 protected:
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    Record("init");
    const HWND button = GetDlgItem(hwnd_, IDC_TEST_BUTTON);
    const HWND label = GetDlgItem(hwnd_, IDC_TEST_LABEL);
    PostMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(IDC_TEST_BUTTON, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
    PostMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(IDC_TEST_LABEL, STN_DBLCLK),
                 reinterpret_cast<LPARAM>(label));
    // A timer message comes once the queue is empty: after both commands.
    SetTimer(hwnd_, kTimerId, 10, nullptr);
    return TRUE;
  }
  void OnTimer(UINT_PTR id) override {
    KillTimer(hwnd_, id);
    Recorder::OnTimer(id);
    PostMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(hwnd_, IDOK)));
  }
  void OnOK() override {
    Record("ok");
    CDialog::OnOK();
  }
};

TEST(Dialog, CommandsTimersAndDestructionReachTheirHandlers) {
  framework::CWinApp app;
  RoutedDialog dialog;
  EXPECT_EQ(dialog.DoModal(), IDOK);
  const std::vector<std::string> expected = {
      "init",
      "command 1001 0 from its control",
      "click 1001",
      "command 1002 1 from its control",  // STN_DBLCLK: no click
      "timer 7",
      "command 1 0 from its control",
      "click 1",
      "ok",
      "destroy",
  };
  EXPECT_EQ(dialog.events, expected);
  EXPECT_EQ(dialog.hwnd(), nullptr);
  EXPECT_FALSE(app.failed());
}

TEST(Dialog, AnExceptionInAHandlerEndsTheDialogWithMinusOneAndIsRecorded) {
  for (const char* where : {"init", "click 1001", "timer"}) {
    framework::CWinApp app;
    RoutedDialog dialog;
    dialog.throwIn = where;
    EXPECT_EQ(dialog.DoModal(), -1) << where;
    EXPECT_TRUE(app.failed()) << where;
    EXPECT_EQ(dialog.events.back(), "destroy") << where;
  }
}

constexpr char16_t kWindowClass[] = u"ToolkitFrameworkTestWindow";

class RoutedWindow : public Recorder<framework::CPlainWnd> {
 public:
  bool createFails = false;

 protected:
  bool OnCreate() override {
    Record("create");
    return !createFails;
  }
};

bool CreateMessageWindow(framework::CPlainWnd& window) {
  return framework::CPlainWnd::RegisterWindowClass(kWindowClass) &&
         window.Create(kWindowClass, u"title", 0, 0, RECT{0, 0, 0, 0}, HWND_MESSAGE);
}

TEST(PlainWindow, RoutesAsADialogDoesAndLeavesTheRestToDefWindowProc) {
  framework::CWinApp app;
  // A second registration of the class is no failure.
  ASSERT_TRUE(framework::CPlainWnd::RegisterWindowClass(kWindowClass));
  RoutedWindow window;
  ASSERT_TRUE(CreateMessageWindow(window));
  const HWND hwnd = window.hwnd();
  EXPECT_EQ(SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(5, BN_CLICKED), 0), 0);
  SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(6, EN_CHANGE), 0);
  SendMessageW(hwnd, WM_TIMER, 9, 0);
  // The title went through DefWindowProcW at WM_NCCREATE, and comes back
  // through it.
  EXPECT_EQ(window.GetText(), u"title");
  window.Destroy();
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(window.hwnd(), nullptr);
  const std::vector<std::string> expected = {
      "create", "command 5 0", "click 5", "command 6 768", "timer 9", "destroy",
  };
  EXPECT_EQ(window.events, expected);
  EXPECT_FALSE(app.failed());
}

TEST(PlainWindow, AFailureInAHandlerDestroysTheWindowOrPreventsIt) {
  {
    framework::CWinApp app;
    RoutedWindow window;
    window.throwIn = "timer";
    ASSERT_TRUE(CreateMessageWindow(window));
    const HWND hwnd = window.hwnd();
    SendMessageW(hwnd, WM_TIMER, 1, 0);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(window.events.back(), "destroy");
    EXPECT_TRUE(app.failed());
  }
  for (const bool throws : {false, true}) {
    framework::CWinApp app;
    RoutedWindow window;
    window.createFails = !throws;
    if (throws) window.throwIn = "create";
    EXPECT_FALSE(CreateMessageWindow(window)) << "throws " << throws;
    EXPECT_EQ(window.hwnd(), nullptr) << "throws " << throws;
    EXPECT_EQ(app.failed(), throws);
  }
}

class OrderedApp : public framework::CWinApp {
 public:
  std::vector<std::string> calls;
  bool throwBefore = false;

  void BeforeInitInstance() override {
    calls.push_back("before");
    if (throwBefore) throw std::runtime_error("before");
  }
  bool InitInstance() override {
    calls.push_back("init");
    return false;
  }
  int ExitInstance() override {
    calls.push_back("exit");
    return 5;
  }
};

TEST(Application, BeforeInitInstanceRunsFirstAndItsFailureEndsTheRun) {
  {
    OrderedApp app;
    EXPECT_EQ(app.Run(GetModuleHandleW(nullptr)), 5);
    EXPECT_EQ(app.calls, (std::vector<std::string>{"before", "init", "exit"}));
  }
  {
    OrderedApp app;
    app.throwBefore = true;
    EXPECT_EQ(app.Run(GetModuleHandleW(nullptr)), framework::CWinApp::kInternalErrorCode);
    EXPECT_EQ(app.calls, std::vector<std::string>{"before"});
    EXPECT_TRUE(app.failed());
  }
}

TEST(Application, MessageTextsTakeTheirArgumentsInOnePass) {
  struct Case {
    const char16_t* text;
    std::initializer_list<std::u16string_view> arguments;
    const char16_t* expected;
  };
  const Case cases[] = {
      {u"%1 MB", {u"12.0"}, u"12.0 MB"},
      {u"%1 in \"%2\": %3 MB", {u"Tool", u"C:\\Apps", u"4.0"}, u"Tool in \"C:\\Apps\": 4.0 MB"},
      {u"%2 before %1, %1 again", {u"one", u"two"}, u"two before one, one again"},
      {u"%1", {u"%2 stays"}, u"%2 stays"},  // an argument is not read again
      {u"%3 has no argument", {u"a"}, u"%3 has no argument"},
      {u"100% sure, %", {u"a"}, u"100% sure, %"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(framework::FormatMessageText(c.text, c.arguments), c.expected);
  }
  EXPECT_EQ(framework::FormatMessageText(u"Welcome to %1", u"%1"), u"Welcome to %1");
}

}  // namespace
