#include "extractor/ui/unpack_progress_dlg.h"

#include <algorithm>
#include <climits>
#include <optional>

#include "extractor/services/system_services.h"
#include "framework/win_app.h"
#include "platform/file_error.h"
#include "platform/file_system.h"
#include "platform/win32/wide.h"
#include "resources/extractor/resource_ids.h"

namespace extractor {

namespace {

// The worker's messages to the window: one message, its lParam saying what
// it carries.
constexpr UINT kWorkerMessage = WM_APP + 1;
constexpr UINT kRunEndedMessage = WM_APP + 2;
enum WorkerNews : LPARAM {
  kNewsRange,     // wParam: the bar's upper end
  kNewsPosition,  // wParam: the bar's position
  kNewsHide,      // unpacking is over; the installer is about to start
};

// The bar moves in at most this many steps; more messages would only queue.
constexpr int kBarSteps = 500;

// Pause between the attempts of the clean-up after the installer.
constexpr DWORD kCleanUpRetryMilliseconds = 200;

// A folder that is itself, not a link to one.
bool IsPlainFolder(const std::u16string& path) {
  const std::optional<std::uint32_t> attributes = platform::GetAttributes(path);
  return attributes && (*attributes & platform::kAttributeDirectory) != 0 &&
         (*attributes & platform::kAttributeReparsePoint) == 0;
}

// Results of ExtractAll that mean the package is not what it was when it
// was checked: damaged, changed or gone. Files that could not be written
// (kFileError) are not among them.
bool PackageFailed(package::Result result) {
  return result != package::Result::kDone && result != package::Result::kFileError;
}

framework::CWinApp& App() { return *framework::CWinApp::Get(); }

}  // namespace

CUnpackProgressDlg::CUnpackProgressDlg() : CDialog(IDD_UNPACK_PROGRESS) {}

std::u16string CUnpackProgressDlg::RunOnceValuePath() {
  return std::u16string(services::kRunOnceKey) + u"\\DeleteUnpacked";
}

void CUnpackProgressDlg::DoDataExchange(framework::DataExchange& exchange) {
  CDialog::DoDataExchange(exchange);
  exchange.Control(IDC_UNPACK_PICTURE, picture);
  exchange.Control(IDC_UNPACK_MESSAGE, messageText);
  exchange.Control(IDC_UNPACK_PROGRESS, progressBar);
  exchange.Control(IDC_UNPACK_START, startButton);
  exchange.Control(IDCANCEL, cancelButton);
}

BOOL CUnpackProgressDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  productName =
      services::ProductName(builder->ApplicationName(), App().LoadText(IDS_DEFAULT_PRODUCT_NAME));
  caption = framework::FormatMessageText(App().LoadText(IDS_APP_TITLE), productName);
  SetText(caption);
  messageText.SetText(
      framework::FormatMessageText(App().LoadText(IDS_UNPACKING_WAIT), productName));
  progressBar.SetRange32(0, 100);
  progressBar.SetPos(0);
  confirmOpen = false;
  deleteRoot = services::OutermostNewFolder(destination);
  destinationExisted = services::DirectoryExists(destination);

  // Unpacking counts from here, so that a close that comes before the
  // worker's first step already asks.
  unpacking = true;
  if (!worker.Start(hwnd_, kWorkerMessage, kRunEndedMessage,
                    [this](framework::CWorkerThread& self) { return Unpack(self); })) {
    unpacking = false;
    EndDialog(1);
  }
  return TRUE;
}

bool CUnpackProgressDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
  if (message == kWorkerMessage) {
    switch (lParam) {
      case kNewsRange:
        progressBar.SetRange32(0, static_cast<int>(wParam));
        progressBar.SetPos(0);
        break;
      case kNewsPosition: progressBar.SetPos(static_cast<int>(wParam)); break;
      case kNewsHide: Show(SW_HIDE); break;
    }
  } else if (message == kRunEndedMessage) {
    OnRunEnded(lParam != FALSE);
  } else {
    return false;
  }
  result = TRUE;
  return true;
}

void CUnpackProgressDlg::OnButtonClicked(int id) {
  // The hidden Start button has no task; Enter (IDOK) does not end the run.
  if (id == IDC_UNPACK_START || id == IDOK) return;
  CDialog::OnButtonClicked(id);
}

void CUnpackProgressDlg::OnCancel() {
  // A second close while the question is open asks nothing more.
  if (confirmOpen.exchange(true)) return;
  // The question is opened before `unpacking` is looked at: either the
  // worker sees it at the pause that follows its unpacking, or the close
  // sees that unpacking is over. Once it is over, the window is hidden and
  // the run cannot be stopped.
  framework::CWorkerThread::QuestionPause pause(worker);
  if (unpacking && ShowMessage(IDS_CONFIRM_STOP_EXTRACTING, MB_YESNO | MB_ICONQUESTION) == IDYES) {
    Show(SW_HIDE);
    builder->cancelRequested = 1;
    worker.RequestCancel();
  }
  confirmOpen = false;
}

void CUnpackProgressDlg::OnDestroy() {
  // Only a failed handler ends the window before the worker: stop it and
  // wait for it, so that it never outlives the window and the builder.
  if (!worker.ended()) {
    builder->cancelRequested = 1;
    worker.RequestCancel();
  }
  worker.Join();
  CDialog::OnDestroy();
}

void CUnpackProgressDlg::OnRunEnded(bool threw) {
  worker.Join();
  Show(SW_HIDE);
  if (!threw && outcome_.end == UnpackEnd::kDamaged) {
    ShowMessage(IDS_PACKAGE_DAMAGED, MB_OK | MB_ICONSTOP);
  }
  EndDialog(1);
}

int CUnpackProgressDlg::ShowMessage(UINT stringId, UINT type) const {
  const std::u16string text = framework::FormatMessageText(App().LoadText(stringId), productName);
  return MessageBoxW(hwnd_, platform::win32::Wide(text), platform::win32::Wide(caption), type);
}

// --- The worker ---

int CUnpackProgressDlg::Unpack(framework::CWorkerThread& self) {
  bool damaged = false;
  try {
    totalPacked = builder->PackedTotal();
    barShift = totalPacked > static_cast<std::uint32_t>(INT_MAX) ? 1 : 0;
    self.Progress(static_cast<WPARAM>(totalPacked >> barShift), kNewsRange);
    damaged = PackageFailed(builder->ExtractAll(destination, &ProgressCallback, this,
                                                package::PackageBuilder::OnDamagedStream::kStop));
  } catch (const platform::FileError&) {
    damaged = true;  // the package can no longer be read
  }
  unpacking = false;
  // A cancel question opened just before this waits for its answer here.
  self.Checkpoint();

  if (builder->cancelRequested || damaged) {
    RemoveUnpacked();
    outcome_.end = builder->cancelRequested ? UnpackEnd::kCancelled : UnpackEnd::kDamaged;
    return 0;
  }
  PostPosition(totalPacked);
  self.Progress(0, kNewsHide);
  RunInstaller();
  return 0;
}

void CUnpackProgressDlg::RunInstaller() {
  const std::u16string name = builder->EntryName(services::InstallerEntry(builder->EntryName(0)));
  const std::u16string program = package::PackageBuilder::PathBelow(destination, name);
  // The command removes the whole folder: only one that this run made.
  if (deleteAfter && !destinationExisted) {
    services::SetRunOnceValue(HKEY_LOCAL_MACHINE, RunOnceValuePath(),
                              services::DeleteFolderCommand(destination));
  }

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  const std::optional<DWORD> exitCode =
      name.empty() ? std::nullopt
                   : services::RunProcess(program, installerArguments, destination, startup, true);
  outcome_ = exitCode ? UnpackOutcome{UnpackEnd::kInstallerExited, *exitCode, 0}
                      : UnpackOutcome{UnpackEnd::kInstallerNotStarted, 0,
                                      name.empty() ? DWORD{0} : GetLastError()};
  if (!deleteAfter) return;

  // The installer may leave a helper behind that still holds a file for a
  // while; after kCleanUpMilliseconds the RunOnce value takes over.
  const DWORD start = GetTickCount();
  for (;;) {
    if (RemoveUnpacked()) {
      if (!destinationExisted) services::DeleteRunOnceValue(HKEY_LOCAL_MACHINE, RunOnceValuePath());
      return;
    }
    if (GetTickCount() - start >= kCleanUpMilliseconds) return;
    Sleep(kCleanUpRetryMilliseconds);
  }
}

bool CUnpackProgressDlg::RemoveUnpacked() const {
  if (!destinationExisted) {
    return !deleteRoot.empty() && services::DeleteTree(deleteRoot) == 0 &&
           platform::RemoveFolder(deleteRoot);
  }
  // A folder that was there before keeps what it held: only the files this
  // run unpacked go, and then the folders below it that are left empty. A
  // file is reached only through plain folders: a link that the installer
  // put in a folder's place is never followed.
  bool removed = true;
  for (const std::u16string& name : unpackedNames) {
    const std::vector<std::u16string> folders = FoldersOnTheWay(name);
    // A folder gone or put in the way: the file is not there to remove.
    if (!std::all_of(folders.begin(), folders.end(), IsPlainFolder)) continue;
    const std::u16string path = package::PackageBuilder::PathBelow(destination, name);
    if (platform::FileExists(path) && !platform::RemoveFile(path)) removed = false;
    for (const std::u16string& folder : folders) {
      platform::RemoveFolder(folder);  // fails, as it should, while it holds anything
    }
  }
  return removed;
}

std::vector<std::u16string> CUnpackProgressDlg::FoldersOnTheWay(
    const std::u16string& storedName) const {
  // Deepest first: the order in which emptied folders can go.
  std::vector<std::u16string> folders;
  std::u16string_view rest = storedName;
  for (std::size_t cut = rest.rfind(u'\\'); cut != std::u16string_view::npos && cut > 0;
       cut = rest.rfind(u'\\')) {
    rest = rest.substr(0, cut);
    folders.push_back(package::PackageBuilder::PathBelow(destination, rest));
  }
  return folders;
}

int CUnpackProgressDlg::ProgressCallback(package::Event eventCode, const void* eventData,
                                         void* context) {
  auto* dialog = static_cast<CUnpackProgressDlg*>(context);
  if (eventCode == package::Event::kEntryDone) {
    dialog->unpackedNames.push_back(
        static_cast<const package::PackageEntry*>(eventData)->storedName);
  }
  // Every event is a point where the unpacking pauses while the cancel
  // question is open; a confirmed cancel reaches the reader through the
  // builder's flag.
  if (!dialog->worker.Checkpoint()) return 0;
  if (eventCode == package::Event::kPackedBytesDone) {
    dialog->PostPosition(static_cast<std::uint32_t>(*static_cast<const std::int32_t*>(eventData)));
  }
  return 0;
}

void CUnpackProgressDlg::PostPosition(std::uint32_t packedBytes) {
  const int end = static_cast<int>(totalPacked >> barShift);
  const int position = std::min(static_cast<int>(packedBytes >> barShift), end);
  const int step = std::max(1, end / kBarSteps);
  if (position == lastPosted ||
      (position < end && lastPosted >= 0 && position - lastPosted < step)) {
    return;
  }
  lastPosted = position;
  worker.Progress(static_cast<WPARAM>(position), kNewsPosition);
}

}  // namespace extractor
