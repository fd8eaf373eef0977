// The unpacking run: the progress window that the Extract action runs
// modally, and its worker thread, which unpacks every ordinary entry of the
// package into the destination, starts the package's installer there, waits
// for it and removes the unpacked files when the user asked for that.
//
// The user-interface thread owns the window, the cancel question and the
// message boxes. The worker does all reading, unpacking, starting, waiting
// and removing; it reaches the window only by posting messages to it
// (framework/worker_thread.h), and the flags both threads see are atomics.
// The worker has ended before the window goes, on every path.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "framework/window.h"
#include "framework/worker_thread.h"
#include "package/package_builder.h"

namespace extractor {

// How an unpacking run ended: what the program's exit code tells.
enum class UnpackEnd {
  kNotRun,               // the run did not get as far as unpacking
  kInstallerExited,      // the installer ran; its exit code is kept
  kInstallerNotStarted,  // unpacked, but the installer could not be started
  kCancelled,            // the user stopped the unpacking; nothing is left
  kDamaged,              // the package is damaged; nothing is left, nothing started
};

struct UnpackOutcome {
  UnpackEnd end = UnpackEnd::kNotRun;
  DWORD installerExitCode = 0;  // with kInstallerExited
  DWORD startError = 0;         // with kInstallerNotStarted: the system's error, when known
};

class CUnpackProgressDlg : public framework::CDialog {
 public:
  CUnpackProgressDlg();

  // deleteAfter, destination, builder and installerArguments are set by the
  // caller before DoModal, which always returns 1.
  bool deleteAfter = false;       // remove the unpacked files after the installer
  std::u16string deleteRoot;      // the outermost folder that the unpacking creates
  std::uint32_t totalPacked = 0;  // the packed bytes that unpacking reads
  std::u16string destination;     // the folder that receives the files
  package::PackageBuilder* builder = nullptr;
  std::u16string installerArguments;  // after the installer's quoted path

  // How the run ended; read it after DoModal.
  const UnpackOutcome& outcome() const { return outcome_; }

  // The value that removes an unpacked folder at the next log-on, below
  // HKEY_LOCAL_MACHINE; and how long the clean-up after the installer keeps
  // trying before it leaves the removal to that value.
  static std::u16string RunOnceValuePath();
  static constexpr DWORD kCleanUpMilliseconds = 10'000;

 protected:
  void DoDataExchange(framework::DataExchange& exchange) override;
  BOOL OnInitDialog() override;
  void OnCancel() override;
  void OnButtonClicked(int id) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
  void OnDestroy() override;

  // The worker. A derived dialog may open a question on it before calling
  // OnInitDialog, which holds the unpacking at its first progress point.
  framework::CWorkerThread worker;

 private:
  // The worker's task and its steps.
  int Unpack(framework::CWorkerThread& self);
  void RunInstaller();
  // Removes what the run unpacked: the folder it made with everything in
  // it, or, in a folder that was there before, the files it unpacked. True
  // when all of that is gone.
  bool RemoveUnpacked() const;
  // The folders below the destination on the way to the entry `storedName`,
  // deepest first.
  std::vector<std::u16string> FoldersOnTheWay(const std::u16string& storedName) const;
  // Called by the reader on the worker thread for each of its events.
  static int ProgressCallback(package::Event eventCode, const void* eventData, void* context);
  void PostPosition(std::uint32_t packedBytes);

  void OnRunEnded(bool threw);
  int ShowMessage(UINT stringId, UINT type) const;

  framework::CStatic picture;
  framework::CStatic messageText;
  framework::CProgressCtrl progressBar;
  framework::CButton startButton;
  framework::CButton cancelButton;
  std::atomic<bool> confirmOpen = false;  // the cancel question is on screen
  std::atomic<bool> unpacking = false;    // the archive is being unpacked

  std::u16string productName;
  std::u16string caption;                     // of the window and its message boxes
  int barShift = 0;                           // packed bytes >> barShift fit the bar's int range
  int lastPosted = -1;                        // worker: the bar position posted last
  UnpackOutcome outcome_;                     // written by the worker, read after it ended
  bool destinationExisted = false;            // the folder was there before the run
  std::vector<std::u16string> unpackedNames;  // worker: the entries restored
};

}  // namespace extractor
