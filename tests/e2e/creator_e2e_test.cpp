// The package creator end to end, as a release engineer runs it: a
// description beside PackageCreator.exe, the program started, its windows
// found, read and answered with window messages, and the package read back.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "creator/app/exit_codes.h"
#include "package/package_builder.h"
#include "package/result_codes.h"
#include "platform/file_system.h"
#include "platform/program.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"
#include "resources/creator/resource_ids.h"
#include "tests/e2e/program_driver.h"
#include "tests/support/package_bytes.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using creator::ExitCode;
using platform::win32::FromWide;
using platform::win32::Wide;
using testing_support::ReadWholeFile;
using testing_support::TempFolder;
using testing_support::U16;
using testing_support::U8;

constexpr wchar_t kTitle[] = L"Installation Package Creation";

using e2e::BinDirectory;
using e2e::MessageBoxText;
using e2e::Press;

// `code` as the creator's process reports it.
int Code(ExitCode code) { return static_cast<int>(code); }

// A started creator: PackageCreator.exe in `folder`.
class Creator : public e2e::RunningProgram {
 public:
  explicit Creator(const std::u16string& folder)
      : RunningProgram(folder + u"\\PackageCreator.exe", folder) {}
  HWND FindDialog(HWND except = nullptr) const {
    return RunningProgram::FindDialog(kTitle, except);
  }
};

// Waits until the dialog's build is running: its bar's range is the total
// size (100 before the build), and the dialog answers only once the writer
// pumps messages, after the image and the resource steps.
bool WaitUntilBuilding(HWND dialog, int seconds = 60) {
  HWND bar = GetDlgItem(dialog, IDC_PROGRESS_BAR);
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < until) {
    DWORD_PTR high = 0;
    if (SendMessageTimeoutW(bar, PBM_GETRANGE, FALSE, 0, SMTO_ABORTIFHUNG, 100, &high) &&
        high != 100) {
      return true;
    }
    if (!IsWindow(dialog)) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

std::string Crlf(std::initializer_list<std::u16string> lines) {
  std::string text;
  for (const std::u16string& line : lines) text += U8(line) + "\r\n";
  return text + "\r\n";
}

class CreatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path bin(BinDirectory());
    fs::copy_file(bin / "PackageCreator.exe", fs::path(temp.path()) / "PackageCreator.exe");
    fs::create_directory(fs::path(temp.path()) / "Stampel");
    fs::copy_file(bin / "Stampel" / "StampelLib.exe",
                  fs::path(temp.path()) / "Stampel" / "StampelLib.exe");
    temp.WriteFile(u"src/setup.exe", "MZ setup");
    temp.WriteFile(u"src/Data/readme.txt", "read me");
    temp.WriteFile(u"src/Data/images/logo.bin", testing_support::RandomBytes(50000, 1));
  }

  void Describe(const std::string& text) { temp.WriteFile(u"PackageCreator.txt", text); }

  std::u16string FullDescription() {
    return U16(
        Crlf({u"filepath=" + temp.Path(u"src\\setup.exe"), u"filepathroot=" + temp.Path(u"src"),
              u"folderpath=" + temp.Path(u"src\\Data"), u"folderpathroot=" + temp.Path(u"src"),
              u"target=" + target, u"version=13", u"buildnumber=3271",
              u"fileandproductversion=13.0.3271", u"description=End-to-end Setup"}));
  }

  std::unique_ptr<package::PackageBuilder> Reader() {
    auto reader = std::make_unique<package::PackageBuilder>();
    reader->SetModulePath(target);
    return reader;
  }

  TempFolder temp;
  const std::u16string target = temp.Path(u"out\\Product.exe");
};

TEST_F(CreatorTest, ADescriptionBesideTheProgramBecomesAPackage) {
  Describe(U8(FullDescription()));
  temp.WriteFile(u"TempSplashImage.gif", "GIF89a splash");
  Creator creator(temp.path());
  EXPECT_EQ(creator.Wait(), Code(ExitCode::kPackageWritten));

  auto reader = Reader();
  ASSERT_EQ(reader->OpenPackage(true), package::Result::kDone);
  EXPECT_EQ(reader->GetEntryCount(), 3);
  const std::u16string out = temp.Path(u"unpacked");
  ASSERT_EQ(reader->ExtractAll(out, nullptr, nullptr), package::Result::kDone);
  EXPECT_EQ(ReadWholeFile(out + u"\\setup.exe"), "MZ setup");
  EXPECT_EQ(ReadWholeFile(out + u"\\Data\\readme.txt"), "read me");
  EXPECT_EQ(ReadWholeFile(out + u"\\Data\\images\\logo.bin"),
            testing_support::RandomBytes(50000, 1));

  auto block = platform::ReadFileVersionInfo(target);
  ASSERT_TRUE(block.has_value());
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block->data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 13u << 16);
  EXPECT_EQ(fixed->dwFileVersionLS, 3271u);
  EXPECT_EQ(fixed->dwProductVersionMS, 13u << 16);
  EXPECT_EQ(fixed->dwProductVersionLS, 3271u);
  for (const auto& [key, value] :
       {std::pair{L"FileVersion", L"13.0.3271"}, std::pair{L"ProductVersion", L"13.0.3271"},
        std::pair{L"FileDescription", L"End-to-end Setup"}}) {
    wchar_t* text = nullptr;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904b0\\") + key;
    ASSERT_TRUE(
        VerQueryValueW(block->data(), query.c_str(), reinterpret_cast<void**>(&text), &length))
        << key;
    EXPECT_EQ(std::wstring(text), value);
  }
}

TEST_F(CreatorTest, AMissingDescriptionIsReportedWithItsPath) {
  Creator creator(temp.path());
  HWND box = creator.FindDialog();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(MessageBoxText(box),
            L"Missing file: \"" + std::wstring(Wide(temp.Path(u"PackageCreator.txt"))) + L"\"!");
  Press(box, IDOK);
  EXPECT_EQ(creator.Wait(), Code(ExitCode::kDescriptionUnreadable));
  EXPECT_FALSE(fs::exists(fs::path(temp.path()) / "out"));
}

TEST_F(CreatorTest, CloseDuringTheRunAsksFirst) {
  // The close is acted on at the writer's first progress call, after the
  // extractor image and the resource steps; the question then holds the run.
  temp.WriteFile(u"src/Data/big.bin", testing_support::RandomBytes(20'000'000, 2));
  Describe(U8(FullDescription()));
  struct Case {
    const char* what;
    int answer;
    ExitCode exitCode;
    bool packageLeft;
  };
  const Case cases[] = {
      {"No goes on", IDNO, ExitCode::kPackageWritten, true},
      {"Yes stops and removes the package", IDYES, ExitCode::kCancelled, false},
  };
  for (const Case& c : cases) {
    fs::remove(fs::path(target));
    Creator creator(temp.path());
    HWND dialog = creator.FindDialog();
    ASSERT_NE(dialog, nullptr) << c.what;
    // Closed before the build starts, the dialog would end without a
    // question: wait until it runs.
    ASSERT_TRUE(WaitUntilBuilding(dialog)) << c.what;
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    HWND question = creator.FindDialog(dialog);
    ASSERT_NE(question, nullptr) << c.what;
    EXPECT_EQ(MessageBoxText(question), L"Are you sure you want to stop creating the installer?");
    Press(question, c.answer);
    EXPECT_EQ(creator.Wait(), Code(c.exitCode))
        << c.what << ": " << creator::ExitCodeName(c.exitCode);
    EXPECT_EQ(fs::exists(fs::path(target)), c.packageLeft) << c.what;
    if (c.packageLeft) {
      auto reader = Reader();
      ASSERT_EQ(reader->OpenPackage(true), package::Result::kDone) << c.what;
      EXPECT_EQ(reader->GetEntryCount(), 4) << c.what;
    }
  }
}

TEST_F(CreatorTest, QuietEndsAndTheirExitCodes) {
  struct Case {
    const char* what;
    std::u16string description;
    ExitCode exitCode;
    bool packageLeft;
  };
  const Case cases[] = {
      {"an empty table", U16(Crlf({u"target=" + target})), ExitCode::kNothingToPack, false},
      {"no target line",
       U16(Crlf(
           {u"filepath=" + temp.Path(u"src\\setup.exe"), u"filepathroot=" + temp.Path(u"src")})),
       ExitCode::kNoPackage, false},
      {"a described file that is missing",
       U16(Crlf({u"filepath=" + temp.Path(u"src\\missing.exe"),
                 u"filepathroot=" + temp.Path(u"src"), u"filepath=" + temp.Path(u"src\\setup.exe"),
                 u"filepathroot=" + temp.Path(u"src"), u"target=" + target})),
       ExitCode::kPackageIncomplete, true},
  };
  for (const Case& c : cases) {
    fs::remove(fs::path(target));
    Describe(U8(c.description));
    Creator creator(temp.path());
    EXPECT_EQ(creator.Wait(), Code(c.exitCode))
        << c.what << ": " << creator::ExitCodeName(c.exitCode);
    EXPECT_EQ(fs::exists(fs::path(target)), c.packageLeft) << c.what;
  }
}

}  // namespace
