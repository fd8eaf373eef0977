#include "framework/worker_thread.h"

#include <utility>

#include "framework/win_app.h"

namespace framework {

namespace {

// Holds an exclusive SRW lock for a scope.
class ExclusiveLock {
 public:
  explicit ExclusiveLock(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
  ~ExclusiveLock() { ReleaseSRWLockExclusive(&lock_); }
  ExclusiveLock(const ExclusiveLock&) = delete;
  ExclusiveLock& operator=(const ExclusiveLock&) = delete;

 private:
  SRWLOCK& lock_;
};

}  // namespace

CWorkerThread::~CWorkerThread() {
  RequestCancel();
  Join();
}

bool CWorkerThread::Start(HWND owner, UINT progressMessage, UINT endedMessage, Task task) {
  if (thread_ || ended_ || !task) return false;
  owner_ = owner;
  progressMessage_ = progressMessage;
  endedMessage_ = endedMessage;
  task_ = std::move(task);
  thread_.reset(CreateThread(nullptr, 0, &ThreadEntry, this, 0, nullptr));
  if (!thread_) {
    task_ = nullptr;
    return false;
  }
  return true;
}

DWORD WINAPI CWorkerThread::ThreadEntry(void* self) {
  static_cast<CWorkerThread*>(self)->Run();
  return 0;
}

void CWorkerThread::RequestCancel() {
  {
    // Set under the lock, so that a task about to wait cannot miss it.
    const ExclusiveLock lock(lock_);
    cancel_ = true;
  }
  WakeAllConditionVariable(&resume_);
}

void CWorkerThread::BeginQuestion() {
  const ExclusiveLock lock(lock_);
  questionOpen_ = true;
}

void CWorkerThread::EndQuestion() {
  {
    const ExclusiveLock lock(lock_);
    questionOpen_ = false;
  }
  WakeAllConditionVariable(&resume_);
}

void CWorkerThread::Join() {
  if (!thread_) return;
  WaitForSingleObject(thread_.get(), INFINITE);
  thread_.reset();
}

bool CWorkerThread::Checkpoint() {
  const ExclusiveLock lock(lock_);
  while (questionOpen_ && !cancel_) SleepConditionVariableSRW(&resume_, &lock_, INFINITE, 0);
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
