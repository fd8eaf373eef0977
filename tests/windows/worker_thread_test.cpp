// The worker thread of the framework (framework/worker_thread.h), with a
// message-only window of this thread as its owner: progress arrives in
// order and the end comes last, also after a throw; a question holds the
// task until it closes; the destructor cancels and joins.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "framework/win_app.h"
#include "framework/window.h"
#include "framework/worker_thread.h"

namespace {

using framework::CWorkerThread;
using std::chrono::milliseconds;

constexpr UINT kProgress = WM_APP + 1;
constexpr UINT kEnded = WM_APP + 2;

struct Ended {
  int result;
  bool threw;
  std::size_t progressBefore;  // progress messages that came before it
};

class OwnerWindow : public framework::CPlainWnd {
 public:
  std::vector<WPARAM> progress;
  std::optional<Ended> ended;

 protected:
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    if (message == kProgress) {
      progress.push_back(wParam);
    } else if (message == kEnded) {
      ended = Ended{static_cast<int>(wParam), lParam != 0, progress.size()};
    } else {
      return false;
    }
    result = 0;
    return true;
  }
};

// Dispatches the messages that are there now.
void PumpPending() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

// Dispatches this thread's messages until `done` holds; false after 20 s.
bool PumpUntil(const std::function<bool()>& done) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    PumpPending();
  }
  return true;
}

// Waits (without dispatching) until `done` holds; false after 20 s.
bool WaitUntil(const std::function<bool()>& done) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(milliseconds(1));
  }
  return true;
}

class WorkerThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(framework::CPlainWnd::RegisterWindowClass(u"ToolkitWorkerOwner"));
    ASSERT_TRUE(owner.Create(u"ToolkitWorkerOwner", u"", 0, 0, RECT{}, HWND_MESSAGE));
  }

  bool Start(CWorkerThread& worker, CWorkerThread::Task task) {
    return worker.Start(owner.hwnd(), kProgress, kEnded, std::move(task));
  }

  framework::CWinApp app;
  OwnerWindow owner;
};

TEST_F(WorkerThreadTest, ProgressArrivesInOrderAndTheEndComesLast) {
  CWorkerThread worker;
  ASSERT_TRUE(Start(worker, [](CWorkerThread& w) {
    for (WPARAM i = 1; i <= 500; ++i) {
      if (!w.Progress(i)) return -1;
    }
    return 42;
  }));
  EXPECT_FALSE(Start(worker, [](CWorkerThread&) { return 0; })) << "a worker runs one task";
  ASSERT_TRUE(PumpUntil([&] { return owner.ended.has_value(); }));
  std::vector<WPARAM> expected;
  for (WPARAM i = 1; i <= 500; ++i) expected.push_back(i);
  EXPECT_EQ(owner.progress, expected);
  EXPECT_EQ(owner.ended->result, 42);
  EXPECT_FALSE(owner.ended->threw);
  EXPECT_EQ(owner.ended->progressBefore, 500u);
  EXPECT_TRUE(worker.ended());
  EXPECT_FALSE(app.failed());
}

TEST_F(WorkerThreadTest, ATaskThatThrowsStillEndsAndTheFailureIsRecorded) {
  CWorkerThread worker;
  ASSERT_TRUE(Start(worker, [](CWorkerThread& w) -> int {
    w.Progress(1);
    w.Progress(2);
    throw std::runtime_error("the task fails");
  }));
  ASSERT_TRUE(PumpUntil([&] { return owner.ended.has_value(); }));
  EXPECT_EQ(owner.progress, (std::vector<WPARAM>{1, 2}));
  EXPECT_TRUE(owner.ended->threw);
  EXPECT_EQ(owner.ended->progressBefore, 2u);
  EXPECT_TRUE(app.failed());
}

TEST_F(WorkerThreadTest, AQuestionHoldsTheTaskAtItsNextProgressPoint) {
  for (const bool cancelled : {false, true}) {
    SCOPED_TRACE(cancelled ? "the question cancels" : "the question lets it go on");
    owner.progress.clear();
    owner.ended.reset();
    std::atomic<int> reached = 0, passed = 0;
    CWorkerThread worker;
    {
      const CWorkerThread::QuestionPause question(worker);
      ASSERT_TRUE(Start(worker, [&](CWorkerThread& w) {
        for (int i = 1; i <= 3; ++i) {
          reached = i;
          if (!w.Progress(static_cast<WPARAM>(i))) return -1;
          passed = i;
        }
        return 0;
      }));
      ASSERT_TRUE(WaitUntil([&] { return reached.load() == 1; }));
      // Held: nothing passes, nothing is posted, however long it waits.
      std::this_thread::sleep_for(milliseconds(200));
      PumpPending();
      EXPECT_EQ(passed.load(), 0);
      EXPECT_TRUE(owner.progress.empty());
      EXPECT_FALSE(worker.ended());
      if (cancelled) worker.RequestCancel();
    }
    ASSERT_TRUE(PumpUntil([&] { return owner.ended.has_value(); }));
    const std::vector<WPARAM> expected =
        cancelled ? std::vector<WPARAM>{} : std::vector<WPARAM>{1, 2, 3};
    EXPECT_EQ(owner.progress, expected);
    EXPECT_EQ(owner.ended->result, cancelled ? -1 : 0);
    EXPECT_EQ(passed.load(), cancelled ? 0 : 3);
  }
}

TEST_F(WorkerThreadTest, TheDestructorCancelsAndJoinsARunningTask) {
  for (const bool questionOpen : {false, true}) {
    SCOPED_TRACE(questionOpen ? "with a question open" : "running");
    std::atomic<bool> started = false, finished = false;
    {
      CWorkerThread worker;
      ASSERT_TRUE(Start(worker, [&](CWorkerThread& w) {
        started = true;
        while (w.Progress(0)) std::this_thread::sleep_for(milliseconds(1));
        // Still busy a while after it saw the cancel: only a join waits.
        std::this_thread::sleep_for(milliseconds(100));
        finished = true;
        return 0;
      }));
      ASSERT_TRUE(WaitUntil([&] { return started.load(); }));
      if (questionOpen) worker.BeginQuestion();
    }
    EXPECT_TRUE(finished.load());
  }
}

}  // namespace
