#include "framework/worker_thread.h"

#include <exception>
#include <utility>

#include "framework/win_app.h"

namespace framework {

CWorkerThread::~CWorkerThread() {
  RequestCancel();
  Join();
}

bool CWorkerThread::Start(HWND owner, UINT progressMessage, UINT endedMessage, Task task) {
  if (thread_.joinable() || ended_ || !task) return false;
  owner_ = owner;
  progressMessage_ = progressMessage;
  endedMessage_ = endedMessage;
  task_ = std::move(task);
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::exception&) {
    task_ = nullptr;
    return false;
  }
  return true;
}

void CWorkerThread::RequestCancel() {
  {
    // Set under the lock, so that a task about to wait cannot miss it.
    const std::lock_guard<std::mutex> lock(mutex_);
    cancel_ = true;
  }
  resume_.notify_all();
}

void CWorkerThread::BeginQuestion() {
  const std::lock_guard<std::mutex> lock(mutex_);
  questionOpen_ = true;
}

void CWorkerThread::EndQuestion() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    questionOpen_ = false;
  }
  resume_.notify_all();
}

void CWorkerThread::Join() {
  if (thread_.joinable()) thread_.join();
}

bool CWorkerThread::Checkpoint() {
  std::unique_lock<std::mutex> lock(mutex_);
  resume_.wait(lock, [this] { return !questionOpen_ || cancel_; });
  return !cancel_;
}

bool CWorkerThread::Progress(WPARAM wParam, LPARAM lParam) {
  if (!Checkpoint()) return false;
  PostMessageW(owner_, progressMessage_, wParam, lParam);
  return true;
}

void CWorkerThread::Run() noexcept {
  int result = 0;
  bool threw = false;
  try {
    result = task_(*this);
  } catch (...) {
    threw = true;
    if (CWinApp* app = CWinApp::Get()) app->RecordFailure();
  }
  ended_ = true;
  PostMessageW(owner_, endedMessage_, static_cast<WPARAM>(result), threw ? TRUE : FALSE);
}

}  // namespace framework
