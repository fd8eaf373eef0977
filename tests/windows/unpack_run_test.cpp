// The unpacking run on packages that the creator's build run writes, with
// installer_fixture.exe as their installer: unpack, start in the unpacked
// folder with a quoted path, wait, report the exit code, clean up; the
// clean-up that gives up after its time and leaves the RunOnce value; the
// cancel question; a damaged stream. The window and its message boxes are
// driven from a second thread, as a user would.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "extractor/services/service_rules.h"
#include "extractor/services/system_services.h"
#include "extractor/ui/unpack_progress_dlg.h"
#include "framework/win_app.h"
#include "package/package_builder.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"
#include "resources/creator/resource_ids.h"
#include "resources/extractor/resource_ids.h"
#include "tests/support/package_bytes.h"
#include "tests/support/temp_folder.h"
#include "tests/windows/installer_record.h"

namespace {

using extractor::CUnpackProgressDlg;
using extractor::UnpackEnd;
using package::PackageBuilder;
using platform::win32::FromWide;
using platform::win32::Wide;
using testing_support::FilesBelow;
using testing_support::InstallerRecord;
using testing_support::ReadInstallerRecord;
using testing_support::ReadWholeFile;
using testing_support::RemoveRunOnceValue;
using testing_support::RunOnceValue;
using testing_support::TempFolder;
using testing_support::U8;

std::u16string FixturePath() {
  std::u16string self = platform::GetModulePath();
  self.resize(self.rfind(u'\\') + 1);
  return platform::GetFullPath(self + FromWide(INSTALLER_FIXTURE));
}

std::wstring WindowText(HWND window) {
  wchar_t text[2048] = {};
  GetWindowTextW(window, text, 2048);
  return text;
}

// A visible window of this process with the caption `caption` that holds
// a control `controlId` (0xFFFF: a message box's text); nullptr after 30 s.
HWND FindWindowWith(const std::wstring& caption, int controlId) {
  struct Search {
    const std::wstring& caption;
    int controlId;
    HWND found = nullptr;
  } search{caption, controlId};
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!search.found && std::chrono::steady_clock::now() < until) {
    EnumWindows(
        [](HWND window, LPARAM context) {
          auto& s = *reinterpret_cast<Search*>(context);
          DWORD process = 0;
          GetWindowThreadProcessId(window, &process);
          if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
              GetDlgItem(window, s.controlId) != nullptr && WindowText(window) == s.caption) {
            s.found = window;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (!search.found) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return search.found;
}

constexpr int kMessageBoxText = 0xFFFF;
const std::wstring kCaption = L"Unpacking Fabric Tools Installer";

std::wstring MessageBoxText(HWND box) { return WindowText(GetDlgItem(box, kMessageBoxText)); }

void Press(HWND box, int button) {
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
}

// The progress window with its worker held at its first progress point
// until the window's own cancel question closes: what is on screen can be
// read, and a cancel always comes while the archive is being unpacked.
class HeldUnpackDlg : public CUnpackProgressDlg {
 protected:
  BOOL OnInitDialog() override {
    worker.BeginQuestion();
    return CUnpackProgressDlg::OnInitDialog();
  }
};

class UnpackRunTest : public ::testing::Test {
 protected:
  void TearDown() override { RemoveRunOnceValue(u"DeleteUnpacked"); }

  // Writes the package: the fixture as setup.exe (entry 0, or entry 1 behind
  // a read-me), its settings, held.bin, a few data files and the
  // application's name; returns the builder that reads it.
  // With `installer` false, entry 0 is a text file that no system starts.
  std::unique_ptr<PackageBuilder> MakePackage(const std::string& settings, bool readMe = false,
                                              bool installer = true) {
    const std::u16string src = temp.MakeFolder(u"src");
    std::string fixture = ReadWholeFile(FixturePath());
    EXPECT_FALSE(fixture.empty());
    auto writer = std::make_unique<PackageBuilder>();
    const auto add = [&](std::u16string_view name, const std::string& bytes) {
      EXPECT_EQ(writer->AddFile(temp.WriteFile(u"src\\" + std::u16string(name), bytes), src), 1)
          << U8(name);
    };
    if (readMe) add(u"ShowReadMe.htm", "<p>read me</p>");
    if (installer) {
      add(u"setup.exe", fixture);
    } else {
      add(u"setup.txt", "not a program");
    }
    add(u"fixture.txt", settings + "\nrecord=" + U8(recordPath) + "\n");
    add(u"held.bin", "held");
    add(u"data\\a.txt", "alpha");
    add(u"data\\deep\\b.bin", testing_support::RandomBytes(50'000, 3));
    add(u"Fabric Tools.exe.AppNameFile", "");
    EXPECT_EQ(writer->BuildPackage(IDR_EXTRACTOR_IMAGE, packagePath, nullptr, nullptr, u"",
                                   temp.Path(u"no tool")),
              package::Result::kDone);
    auto reader = std::make_unique<PackageBuilder>();
    reader->SetModulePath(packagePath);
    return reader;
  }

  // Runs the dialog modally on this thread while `drive` runs on another.
  void Run(CUnpackProgressDlg& dialog, PackageBuilder& reader, bool deleteAfter,
           const std::function<void()>& drive = nullptr) {
    dialog.builder = &reader;
    dialog.destination = destination;
    dialog.deleteAfter = deleteAfter;
    std::thread driver;
    if (drive) driver = std::thread(drive);
    EXPECT_EQ(dialog.DoModal(), 1);
    if (driver.joinable()) driver.join();
  }

  InstallerRecord Recorded() const { return ReadInstallerRecord(recordPath); }

  // Changes a byte in the middle of entry `name`'s stream: its check value
  // no longer holds. The directory and the trailer are left as they are.
  void DamageStream(PackageBuilder& reader, const std::u16string& name) {
    ASSERT_EQ(reader.OpenPackage(true), package::Result::kDone);
    int index = 0;
    while (reader.GetStoredName(index) != name) ++index;
    platform::File file;
    ASSERT_TRUE(file.Open(packagePath, platform::FileAccess::kReadWrite,
                          platform::FileCreation::kOpenExisting, platform::FileShare::kReadWrite));
    const std::uint32_t at = reader.GetDataOffset(index) + reader.GetPackedSize(index) / 2;
    file.Seek(at, platform::SeekOrigin::kBegin);
    char byte = 0;
    ASSERT_EQ(file.Read(&byte, 1), 1u);
    byte = static_cast<char>(byte ^ 0x55);
    file.Seek(at, platform::SeekOrigin::kBegin);
    file.Write(&byte, 1);
  }

  framework::CWinApp app;
  TempFolder temp;
  const std::u16string packagePath = temp.Path(u"Fabric Tools package.exe");
  const std::u16string recordPath = temp.Path(u"record.txt");
  // A new folder two levels deep: the run removes the outer one.
  const std::u16string outer = temp.Path(u"Vantrel 13");
  const std::u16string destination = outer + u"\\unpacked";
};

const std::vector<std::u16string> kUnpackedFiles = {u"data\\a.txt", u"data\\deep\\b.bin",
                                                    u"fixture.txt", u"held.bin", u"setup.exe"};

TEST_F(UnpackRunTest, UnpacksStartsTheInstallerInItsFolderWaitsAndCleansUp) {
  struct Case {
    const char* what;
    bool readMe;
    bool deleteAfter;
  };
  const Case cases[] = {
      {"installer first, files removed afterwards", false, true},
      {"read-me first, files kept", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto reader = MakePackage("exit=42", c.readMe);
    CUnpackProgressDlg dialog;
    Run(dialog, *reader, c.deleteAfter);

    EXPECT_EQ(dialog.outcome().end, UnpackEnd::kInstallerExited);
    EXPECT_EQ(dialog.outcome().installerExitCode, 42u);
    EXPECT_EQ(dialog.deleteRoot, outer);
    const InstallerRecord record = Recorded();
    EXPECT_EQ(record.currentFolder, destination);
    EXPECT_EQ(record.commandLine, u"\"" + destination + u"\\setup.exe\"");
    EXPECT_EQ(record.files, kUnpackedFiles) << "every file is there when the installer starts";
    EXPECT_EQ(platform::FileExists(outer), !c.deleteAfter);
    EXPECT_FALSE(RunOnceValue(u"DeleteUnpacked").has_value());
    platform::DeleteTree(temp.path());
  }
}

TEST_F(UnpackRunTest, AnInstallerThatCannotStartIsReportedAndTheCleanUpStillRuns) {
  auto reader = MakePackage("exit=0", false, false);
  CUnpackProgressDlg dialog;
  Run(dialog, *reader, true);

  EXPECT_EQ(dialog.outcome().end, UnpackEnd::kInstallerNotStarted);
  EXPECT_FALSE(platform::FileExists(outer));
  EXPECT_FALSE(RunOnceValue(u"DeleteUnpacked").has_value());
}

TEST_F(UnpackRunTest, ACleanUpThatKeepsFailingLeavesTheFolderToTheRunOnceValue) {
  // The installer ends at once, leaving a helper that holds held.bin for
  // longer than the clean-up tries.
  const DWORD hold = CUnpackProgressDlg::kCleanUpMilliseconds + 3000;
  auto reader = MakePackage("exit=0\nhold=" + std::to_string(hold));
  CUnpackProgressDlg dialog;
  Run(dialog, *reader, true);

  EXPECT_EQ(dialog.outcome().end, UnpackEnd::kInstallerExited);
  EXPECT_TRUE(platform::FileExists(destination + u"\\held.bin"));
  EXPECT_EQ(RunOnceValue(u"DeleteUnpacked"),
            L"cmd.exe /C  RD /S /Q \"" + std::wstring(Wide(destination)) + L"\"");

  // Once the helper lets go, the folder can go.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (platform::DeleteTree(outer) != 0 && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  EXPECT_EQ(platform::DeleteTree(outer), 0);
}

TEST_F(UnpackRunTest, CancelAsksAndYesRemovesEverythingAndStartsNothing) {
  struct Case {
    const char* what;
    int answer;
    UnpackEnd end;
    bool unpackedLeft;
  };
  const Case cases[] = {
      {"No goes on", IDNO, UnpackEnd::kInstallerExited, true},
      {"Yes stops", IDYES, UnpackEnd::kCancelled, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto reader = MakePackage("exit=3");
    HeldUnpackDlg dialog;
    std::wstring caption, message, question;
    int barPosition = -1;
    Run(dialog, *reader, false, [&] {
      const HWND window = FindWindowWith(kCaption, IDC_UNPACK_PROGRESS);
      if (!window) return;
      message = WindowText(GetDlgItem(window, IDC_UNPACK_MESSAGE));
      PostMessageW(window, WM_COMMAND, IDCANCEL, 0);  // Escape
      const HWND box = FindWindowWith(kCaption, kMessageBoxText);
      if (!box) return;
      question = MessageBoxText(box);
      barPosition =
          static_cast<int>(SendMessageW(GetDlgItem(window, IDC_UNPACK_PROGRESS), PBM_GETPOS, 0, 0));
      Press(box, c.answer);
    });

    EXPECT_EQ(message,
              L"Please wait while the Fabric Tools Installer is unpacked and Installation Wizard "
              L"starts.\nThis may take several minutes.");
    EXPECT_EQ(question, L"Are you sure you want to stop extracting the installer?");
    EXPECT_EQ(barPosition, 0) << "the unpacking waits while the question is open";
    EXPECT_EQ(dialog.outcome().end, c.end);
    EXPECT_EQ(platform::FileExists(recordPath), c.unpackedLeft) << "the installer ran";
    EXPECT_EQ(platform::FileExists(outer), c.unpackedLeft);
    platform::DeleteTree(temp.path());
  }
}

TEST_F(UnpackRunTest, ADamagedStreamStopsTheRunAndLeavesNothing) {
  auto reader = MakePackage("exit=0");
  DamageStream(*reader, u"data\\deep\\b.bin");
  CUnpackProgressDlg dialog;
  std::wstring shown;
  Run(dialog, *reader, false, [&] {
    const HWND box = FindWindowWith(kCaption, kMessageBoxText);
    if (!box) return;
    shown = MessageBoxText(box);
    Press(box, IDOK);
  });

  EXPECT_EQ(shown,
            L"The installer package is incomplete or damaged. If you downloaded it from the "
            L"Internet, please download it again.");
  EXPECT_EQ(dialog.outcome().end, UnpackEnd::kDamaged);
  EXPECT_FALSE(platform::FileExists(recordPath)) << "the installer must not run";
  EXPECT_FALSE(platform::FileExists(outer));
}

// A folder that was there before the run keeps what it held: the clean-up
// after the installer and after a damaged stream take only what the run
// unpacked, and no RunOnce command would remove the whole folder later.
TEST_F(UnpackRunTest, AFolderThatWasThereKeepsWhatItHeld) {
  struct Case {
    const char* what;
    bool damage;  // entry 0, unpacked last: the others are there by then
    UnpackEnd end;
  };
  for (const Case& c : {Case{"the installer ran", false, UnpackEnd::kInstallerExited},
                        Case{"a damaged stream", true, UnpackEnd::kDamaged}}) {
    SCOPED_TRACE(c.what);
    temp.WriteFile(u"Vantrel 13\\unpacked\\mine.txt", "mine");
    temp.WriteFile(u"Vantrel 13\\unpacked\\data\\mine too.txt", "mine too");
    auto reader = MakePackage("exit=0");
    if (c.damage) DamageStream(*reader, u"setup.exe");
    CUnpackProgressDlg dialog;
    Run(dialog, *reader, true, [&] {
      if (!c.damage) return;
      if (const HWND box = FindWindowWith(kCaption, kMessageBoxText)) Press(box, IDOK);
    });
    EXPECT_EQ(dialog.outcome().end, c.end);
    EXPECT_EQ(FilesBelow(destination),
              (std::vector<std::u16string>{u"data\\mine too.txt", u"mine.txt"}));
    EXPECT_FALSE(platform::FileExists(destination + u"\\data\\deep")) << "made by the run";
    EXPECT_FALSE(RunOnceValue(u"DeleteUnpacked").has_value());
    platform::DeleteTree(temp.path());
  }
}

}  // namespace
