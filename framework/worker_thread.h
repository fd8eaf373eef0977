// A task on a worker thread beside a window that shows its progress: the
// pattern of a progress dialog with a background task.
//
// The task never calls window or dialog code, which belongs to the window's
// thread. It tells the owner window what it does only by posting messages
// to it (Progress, and the one ended message) and through atomics; the
// owner answers through RequestCancel and the question pause below.
//
//   owner thread                          worker thread
//   Start(owner, kProgress, kEnded, task) task(worker):
//                                           while (worker.Progress(done)) ...
//   kProgress (wParam, lParam)      <----   posted at each progress point
//   { QuestionPause pause(worker);          waits at its next progress point
//     MessageBox(...);                      while the question is open
//     if (yes) worker.RequestCancel(); }    Progress() is false: it returns
//   kEnded (code, threw)            <----   posted on every way out
//
// Lifetime: the destructor asks the task to cancel, releases a pause and
// joins the thread, so the task has ended when the destructor returns. The
// owner has the task ended before its window goes: it waits for the ended
// message, or cancels and joins in its OnDestroy; a worker that is a member
// of the owner's object is joined by its destructor at the latest. Cancel,
// join and destroy it on the owner's thread, which the task never waits
// for. An ended message still queued when the worker was destroyed must not
// reach for the worker.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>

#include "platform/win32/unique_handle.h"

namespace framework {

class CWorkerThread {
 public:
  // The task; what it returns is the ended message's wParam.
  using Task = std::function<int(CWorkerThread& worker)>;

  CWorkerThread() = default;
  CWorkerThread(const CWorkerThread&) = delete;
  CWorkerThread& operator=(const CWorkerThread&) = delete;
  // Cancels, releases a pause and joins (see above).
  ~CWorkerThread();

  // Starts `task` on a new thread; its progress messages and its one ended
  // message go to `owner`. The ended message carries the task's result as
  // wParam (0 after an exception) and, as lParam, TRUE when the task ended
  // with an exception; the failure is then recorded with
  // CWinApp::RecordFailure. False, and no
  // message ever, when a task was started before (a worker runs one task)
  // or the thread cannot be started.
  bool Start(HWND owner, UINT progressMessage, UINT endedMessage, Task task);

  // For the owner's thread.
  // Asks the task to stop; it sees so at its next progress point, or
  // through cancelRequested(). A paused task is released to see it.
  void RequestCancel();
  // While a question is open the task waits at its next progress point,
  // without using the processor.
  void BeginQuestion();
  void EndQuestion();
  // Waits until the task has ended; at once when none was started.
  void Join();
  // True once the task has ended (returned or thrown).
  bool ended() const { return ended_; }

  // A question for the time of a scope; a cancel asked for inside the scope
  // is seen when the task goes on.
  class QuestionPause {
   public:
    explicit QuestionPause(CWorkerThread& worker) : worker_(worker) { worker_.BeginQuestion(); }
    ~QuestionPause() { worker_.EndQuestion(); }
    QuestionPause(const QuestionPause&) = delete;
    QuestionPause& operator=(const QuestionPause&) = delete;

   private:
    CWorkerThread& worker_;
  };

  // For the task.
  // A progress point: waits while a question is open; then, unless a cancel
  // was asked for, posts the progress message with `wParam` and `lParam` to
  // the owner and returns true. False when the task is to stop.
  bool Progress(WPARAM wParam, LPARAM lParam = 0);
  // The same point without a message, for a task that reports less often
  // than it can pause.
  bool Checkpoint();
  bool cancelRequested() const { return cancel_; }

 private:
  static DWORD WINAPI ThreadEntry(void* self);
  void Run() noexcept;

  HWND owner_ = nullptr;
  UINT progressMessage_ = 0;
  UINT endedMessage_ = 0;
  Task task_;
  std::atomic<bool> cancel_ = false;
  std::atomic<bool> ended_ = false;
  // The system's own lock and condition variable and a thread of its own:
  // the extractor carries this class, and the standard library's threads
  // would bring a threading runtime of their own into every package.
  SRWLOCK lock_ = SRWLOCK_INIT;
  CONDITION_VARIABLE resume_ = CONDITION_VARIABLE_INIT;
  bool questionOpen_ = false;  // guarded by lock_
  platform::win32::UniqueHandle thread_;
};

}  // namespace framework
