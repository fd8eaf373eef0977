#include "extractor/ui/extractor_dlg.h"

#include <shlobj.h>

#include <cstdlib>
#include <string>

#include "extractor/app/exit_codes.h"
#include "extractor/app/extract_only.h"
#include "extractor/services/system_services.h"
#include "extractor/ui/splash_dlg.h"
#include "extractor/ui/unpack_progress_dlg.h"
#include "framework/win_app.h"
#include "package/entry_names.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/program.h"
#include "platform/win32/unique_any.h"
#include "platform/win32/wide.h"
#include "resources/extractor/resource_ids.h"

namespace extractor {

namespace {

using platform::win32::FromWide;
using platform::win32::Wide;

framework::CWinApp& App() { return *framework::CWinApp::Get(); }

std::u16string Text(UINT id) { return App().LoadText(id); }

std::u16string Format(UINT id, std::u16string_view argument) {
  return framework::FormatMessageText(Text(id), argument);
}

// The folder that the package unpacks below by default and that receives
// the read-me: the variable TMP in its long form; without TMP, the system's
// folder for temporary files.
std::u16string TemporaryFolder() {
  if (const wchar_t* tmp = _wgetenv(L"TMP"); tmp != nullptr && *tmp != L'\0') {
    return services::LongPathName(FromWide(tmp));
  }
  wchar_t path[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, path);
  if (length == 0 || length > MAX_PATH) return {};
  std::u16string folder = FromWide(path, length);
  if (folder.size() > 3 && folder.back() == u'\\') folder.pop_back();
  return services::LongPathName(folder);
}

bool IsChecked(const framework::CButton& box) {
  return SendMessageW(box.hwnd(), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

const std::u16string kReadMeValue = std::u16string(services::kRunOnceKey) + u"\\DeleteReadMe";

std::u16string Decimal(int number) {
  const std::string digits = std::to_string(number);
  return std::u16string(digits.begin(), digits.end());
}

STARTUPINFOW NormalWindow() {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  return startup;
}

}  // namespace

CExtractorDlg::CExtractorDlg() : CDialog(IDD_EXTRACTOR) {
  icon = static_cast<HICON>(
      LoadImageW(framework::ProgramInstance(), MAKEINTRESOURCEW(IDI_EXTRACTOR), IMAGE_ICON,
                 GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_SHARED));
  smallIcon = static_cast<HICON>(
      LoadImageW(framework::ProgramInstance(), MAKEINTRESOURCEW(IDI_EXTRACTOR), IMAGE_ICON,
                 GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
}

void CExtractorDlg::DoDataExchange(framework::DataExchange& exchange) {
  CDialog::DoDataExchange(exchange);
  exchange.Control(IDC_EXTRACTOR_PICTURE, picture);
  exchange.Control(IDC_WELCOME, welcome);
  exchange.Control(IDC_INTRODUCTION, introduction);
  exchange.Control(IDC_FOLDER_LABEL, folderLabel);
  exchange.Control(IDC_FOLDER, folder);
  exchange.Control(IDC_BROWSE, browse);
  exchange.Control(IDC_REQUIRED_LABEL, requiredLabel);
  exchange.Control(IDC_FREE_LABEL, freeLabel);
  exchange.Control(IDC_REQUIRED_SPACE, requiredSpace);
  exchange.Control(IDC_FREE_SPACE, freeSpace);
  exchange.Control(IDC_DELETE_AFTER, deleteAfter);
  exchange.Control(IDC_SHOW_README, showReadMe);
  exchange.Control(IDCANCEL, cancel);
  exchange.Control(IDOK, extract);
}

BOOL CExtractorDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
  pictureBitmap.reset(static_cast<HBITMAP>(
      LoadImageW(framework::ProgramInstance(), MAKEINTRESOURCEW(IDB_EXTRACTOR), IMAGE_BITMAP, 0, 0,
                 LR_LOADTRANSPARENT | LR_LOADMAP3DCOLORS)));
  SendMessageW(picture.hwnd(), STM_SETIMAGE, IMAGE_BITMAP,
               reinterpret_cast<LPARAM>(pictureBitmap.get()));

  appName = builder.ApplicationName();
  const std::u16string defaultName = Text(IDS_DEFAULT_PRODUCT_NAME);
  productName = services::ProductName(appName, defaultName);
  folderName = services::FolderName(appName, defaultName);

  const std::u16string caption = Format(IDS_PACKAGE_TITLE, productName);
  SetText(caption);
  App().messageCaption = caption;

  // The welcome line in the dialog's font, bold.
  LOGFONTW font{};
  const auto dialogFont = reinterpret_cast<HFONT>(SendMessageW(hwnd_, WM_GETFONT, 0, 0));
  if (dialogFont && GetObjectW(dialogFont, sizeof(font), &font) == sizeof(font)) {
    font.lfWeight = FW_BOLD;
    boldFont.reset(CreateFontIndirectW(&font));
    SendMessageW(welcome.hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(boldFont.get()), FALSE);
  }
  welcome.SetText(FitWelcomeText(productName));
  introduction.SetText(Format(IDS_INTRODUCTION, productName));
  folderLabel.SetText(Text(IDS_FOLDER_LABEL));

  const std::u16string temporary = TemporaryFolder();
  folder.SetText(temporary.empty() ? std::u16string() : temporary + u"\\" + folderName);
  browse.SetText(Text(IDS_BROWSE));
  requiredLabel.SetText(Text(IDS_REQUIRED_LABEL));
  freeLabel.SetText(Text(IDS_FREE_LABEL));
  deleteAfter.SetText(Text(IDS_DELETE_AFTER));
  SendMessageW(deleteAfter.hwnd(), BM_SETCHECK, BST_CHECKED, 0);
  showReadMe.SetText(Text(IDS_SHOW_README));
  cancel.SetText(Text(IDS_CANCEL));
  extract.SetText(Text(IDS_EXTRACT));
  requiredSpace.SetText(Format(IDS_REQUIRED_MB, RequiredSpaceText()));
  freeSpace.SetText(Format(IDS_FREE_MB, FreeSpaceText(FolderText())));

  if (!CheckPackage()) {
    App().messageCaption = Format(IDS_PACKAGE_TITLE, defaultName);
    App().ShowMessageBox(Text(IDS_PACKAGE_DAMAGED), MB_OK);
    exitCode_ = static_cast<DWORD>(ExitCode::kPackageDamaged);
    EndDialog(1);
    return TRUE;
  }
  if (!package::HasMark(builder.EntryName(0), package::kReadMeMark)) RunUnattended();
  return TRUE;
}

bool CExtractorDlg::CheckPackage() {
  const HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  const bool withSplash = HasSplashImage();
  CSplashDlg splash;
  if (withSplash) splash.Create();
  const bool sound = PackageIsSound(builder, withSplash);
  splash.Close();
  SetCursor(previous);
  return sound;
}

void CExtractorDlg::RunUnattended() {
  if (!IsWindowEnabled(extract.hwnd())) {
    ShowMessage(IDS_NO_DISK_SPACE, MB_OK, FolderText(), RequiredSpaceText());
    exitCode_ = static_cast<DWORD>(ExitCode::kNoDiskSpace);
    EndDialog(1);
    return;
  }
  if (!CheckFolderAccess()) {
    ShowMessage(IDS_NO_ACCESS, MB_OK, FolderText());
    exitCode_ = static_cast<DWORD>(ExitCode::kNoFolderAccess);
    EndDialog(1);
    return;
  }
  Extract();
}

void CExtractorDlg::OnOK() {
  if (!CheckFolderAccess()) return;
  Extract();
}

void CExtractorDlg::OnCancel() {
  exitCode_ = static_cast<DWORD>(ExitCode::kCancelled);
  CDialog::OnCancel();
}

void CExtractorDlg::Extract() {
  Show(SW_HIDE);
  CUnpackProgressDlg progress;
  progress.builder = &builder;
  progress.destination = FolderText();
  // An existing folder receives a sub-folder named after the application;
  // a new folder is used as it is.
  if (services::DirectoryExists(progress.destination)) {
    progress.destination = package::PackageBuilder::PathBelow(progress.destination, folderName);
  }
  progress.deleteAfter = IsChecked(deleteAfter);
  progress.installerArguments = installerArguments;
  progress.DoModal();
  exitCode_ = ExitCodeOf(progress.outcome());
  EndDialog(IDOK);
}

bool CExtractorDlg::OnCommand(WORD id, WORD code, HWND control) {
  if (id == IDC_FOLDER && code == EN_CHANGE) {
    OnFolderChanged();
    return true;
  }
  return CDialog::OnCommand(id, code, control);
}

void CExtractorDlg::OnButtonClicked(int id) {
  switch (id) {
    case IDC_BROWSE: OnBrowse(); return;
    case IDC_SHOW_README: OnShowReadMe(); return;
  }
  CDialog::OnButtonClicked(id);
}

bool CExtractorDlg::OnMessage(UINT message, WPARAM, LPARAM, INT_PTR& result) {
  switch (message) {
    case WM_PAINT:
      if (!IsMinimized()) return false;
      OnPaint();
      result = TRUE;
      return true;
    case WM_QUERYDRAGICON: result = reinterpret_cast<INT_PTR>(icon); return true;
  }
  return false;
}

void CExtractorDlg::OnPaint() {
  // Minimised: the icon, centred.
  const platform::win32::PaintDc dc(hwnd_);
  SendMessageW(hwnd_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.get()), 0);
  RECT client;
  GetClientRect(hwnd_, &client);
  const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc.get(), x, y, icon);
}

void CExtractorDlg::OnFolderChanged() {
  freeSpace.SetText(Format(IDS_FREE_MB, FreeSpaceText(FolderText())));
}

void CExtractorDlg::OnBrowse() {
  BROWSEINFOW info{};
  info.hwndOwner = hwnd_;
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  const platform::win32::UniqueAny<PIDLIST_ABSOLUTE, &CoTaskMemFree> chosen(
      SHBrowseForFolderW(&info));
  if (!chosen) return;
  wchar_t path[MAX_PATH] = {};
  if (SHGetPathFromIDListW(chosen.get(), path)) folder.SetText(FromWide(path));
}

void CExtractorDlg::OnShowReadMe() {
  const std::u16string readMeFolder = TemporaryFolder();
  builder.ExtractEntry(0, readMeFolder);
  const bool sound = builder.VerifyPackage(false);
  const int count = sound ? builder.GetEntryCount() : 0;
  for (int k = 0; k < count; ++k) {
    if (package::HasMark(builder.GetStoredName(k), package::kHtmlImagesMark))
      builder.ExtractEntry(k, readMeFolder);
  }
  const std::u16string readMe =
      package::PackageBuilder::PathBelow(readMeFolder, builder.EntryName(0));
  platform::File file;
  if (!file.Open(readMe, platform::FileAccess::kRead, platform::FileCreation::kOpenExisting,
                 platform::FileShare::kReadWrite)) {
    return;
  }
  file.Close();

  const services::OpenCommand command = services::FindOpenCommand(readMe);
  services::RunProcess(command.program, command.arguments, u"", NormalWindow(), false);
  services::SetRunOnceValue(HKEY_LOCAL_MACHINE, kReadMeValue, services::DeleteFileCommand(readMe));
  for (int k = 0; k < count; ++k) {
    const std::u16string name = builder.GetStoredName(k);
    if (!package::HasMark(name, package::kHtmlImagesMark)) continue;
    services::SetRunOnceValue(
        HKEY_LOCAL_MACHINE, kReadMeValue + Decimal(k),
        services::DeleteFileCommand(package::PackageBuilder::PathBelow(readMeFolder, name)));
  }
}

bool CExtractorDlg::CheckFolderAccess() {
  const std::u16string text = FolderText();
  if (services::HasFolderShape(text)) {
    if (services::DirectoryExists(text)) return true;
    // Made to find out, and removed again with every folder made for it.
    const std::u16string outermost = services::OutermostNewFolder(text);
    package::PackageBuilder::CreateDirectoryPath(text);
    const bool made = services::DirectoryExists(text);
    if (services::DirectoryExists(outermost) && services::DeleteTree(outermost) == 0) {
      platform::RemoveFolder(outermost);
    }
    if (made) return true;
  }
  ShowMessage(IDS_FOLDER_INVALID, MB_OK | MB_ICONSTOP);
  return false;
}

std::u16string CExtractorDlg::FreeSpaceText(const std::u16string& path) {
  const std::optional<std::u16string> root = services::SpaceRoot(
      path, [](const std::u16string& p) { return services::DirectoryExists(p); });
  const std::optional<std::uint64_t> free = root ? platform::GetFreeDiskSpace(*root) : std::nullopt;
  const bool enough = free && requiredSize > 0 && *free >= static_cast<std::uint64_t>(requiredSize);
  EnableWindow(extract.hwnd(), enough ? TRUE : FALSE);
  return services::MegabytesText(free.value_or(0));
}

std::u16string CExtractorDlg::RequiredSpaceText() {
  requiredSize = RequiredBytes(builder);
  return services::MegabytesText(static_cast<std::uint64_t>(requiredSize));
}

std::u16string CExtractorDlg::FitWelcomeText(const std::u16string& name) {
  const std::u16string text = Format(IDS_WELCOME, name);
  const platform::win32::WindowDc screen(nullptr);
  const auto font = reinterpret_cast<HFONT>(SendMessageW(welcome.hwnd(), WM_GETFONT, 0, 0));
  const platform::win32::ObjectSelection selection(screen.get(), font);
  SIZE extent{};
  GetTextExtentPoint32W(screen.get(), Wide(text), static_cast<int>(text.size()), &extent);
  RECT client{};
  GetClientRect(welcome.hwnd(), &client);
  if (extent.cx <= client.right - 2) return text;
  return services::WelcomeOnTwoLines(Text(IDS_WELCOME), name);
}

int CExtractorDlg::ShowMessage(UINT stringId, UINT type, const std::u16string& second,
                               const std::u16string& third) const {
  return App().ShowMessageBox(
      framework::FormatMessageText(Text(stringId), {productName, second, third}), type);
}

}  // namespace extractor
