// Packages end to end, as a user starts them: the creator (or its build
// run) writes a package around installer_fixture.exe; the package is
// started with TMP pointing into a fresh folder; its windows are found,
// read and answered; and what it unpacked, started, returned and left
// behind is checked.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "extractor/services/service_rules.h"
#include "package/package_builder.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"
#include "resources/creator/resource_ids.h"
#include "resources/extractor/resource_ids.h"
#include "tests/e2e/program_driver.h"
#include "tests/support/package_bytes.h"
#include "tests/support/temp_folder.h"
#include "tests/windows/installer_record.h"

namespace {

namespace fs = std::filesystem;
using e2e::BinDirectory;
using e2e::MessageBoxText;
using e2e::Press;
using e2e::RunningProgram;
using e2e::ScopedEnvironment;
using e2e::WindowText;
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
using testing_support::U16;
using testing_support::U8;

// The exit codes that the extractor documents.
constexpr int kCancelled = 1223;
constexpr int kPackageDamaged = 1392;

constexpr wchar_t kDamagedText[] =
    L"The installer package is incomplete or damaged. If you downloaded it from the Internet, "
    L"please download it again.";

// A GIF of one white pixel.
const std::string kTinyGif(
    "GIF89a\x01\x00\x01\x00\x80\x00\x00\xFF\xFF\xFF\x00\x00\x00\x21\xF9\x04\x01\x00\x00\x00\x00"
    "\x2C\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00\x3B",
    43);

std::u16string FixturePath() {
  std::u16string self = platform::GetModulePath();
  self.resize(self.rfind(u'\\') + 1);
  return platform::GetFullPath(self + FromWide(INSTALLER_FIXTURE));
}

class ExtractorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    temp.MakeFolder(u"tmp");
    fixture = ReadWholeFile(FixturePath());
    ASSERT_FALSE(fixture.empty());
  }

  void TearDown() override {
    for (const char16_t* name : {u"DeleteUnpacked", u"DeleteReadMe", u"DeleteReadMe4"}) {
      RemoveRunOnceValue(name);
    }
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\.vrmtest");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\VantrelTestReadMe");
  }

  // The files of a package: the installer fixture (behind a read-me when
  // `readMe`), its settings, a data folder and the application's name.
  void WriteSources(bool readMe, const std::string& settings = "exit=42") {
    if (readMe) {
      temp.WriteFile(u"src\\Read Me ShowReadMe.vrmtest", "read me");
      temp.WriteFile(u"src\\HTML Images\\logo.png", "png");
    }
    temp.WriteFile(u"src\\setup.exe", fixture);
    temp.WriteFile(u"src\\fixture.txt", settings + "\nrecord=" + U8(recordPath) + "\n");
    temp.WriteFile(u"src\\held.bin", "held");
    temp.WriteFile(u"src\\Data\\big.bin", testing_support::RandomBytes(2'500'000, 7));
    temp.WriteFile(u"src\\Fabric Tools.exe.AppNameFile", "");
  }

  // The package, written by the build run of the creator (its extractor
  // image is this program's resource) from the sources in the given order.
  void Build(const std::vector<std::u16string>& names, const std::u16string& splash = {}) {
    PackageBuilder writer;
    for (const std::u16string& name : names) {
      ASSERT_EQ(writer.AddFile(temp.Path(u"src\\" + name), temp.Path(u"src")), 1) << U8(name);
    }
    ASSERT_EQ(writer.BuildPackage(IDR_EXTRACTOR_IMAGE, packagePath, nullptr, nullptr, splash,
                                  temp.Path(u"no tool")),
              package::Result::kDone);
  }

  const std::vector<std::u16string> kPlainNames = {
      u"setup.exe", u"fixture.txt", u"held.bin", u"Data\\big.bin", u"Fabric Tools.exe.AppNameFile"};
  const std::vector<std::u16string> kReadMeNames = {u"Read Me ShowReadMe.vrmtest",
                                                    u"setup.exe",
                                                    u"fixture.txt",
                                                    u"held.bin",
                                                    u"HTML Images\\logo.png",
                                                    u"Data\\big.bin",
                                                    u"Fabric Tools.exe.AppNameFile"};

  // Changes one byte in the middle of entry `name`'s stream.
  void DamageStream(const std::u16string& name) {
    PackageBuilder reader;
    reader.SetModulePath(packagePath);
    ASSERT_EQ(reader.OpenPackage(true), package::Result::kDone);
    int index = 0;
    while (index < reader.GetEntryCount() && reader.GetStoredName(index) != name) ++index;
    ASSERT_LT(index, reader.GetEntryCount());
    platform::File file;
    ASSERT_TRUE(file.Open(packagePath, platform::FileAccess::kReadWrite,
                          platform::FileCreation::kOpenExisting, platform::FileShare::kReadWrite));
    const std::uint32_t at = reader.GetDataOffset(index) + reader.GetPackedSize(index) / 2;
    file.Seek(at, platform::SeekOrigin::kBegin);
    char byte = 0;
    ASSERT_EQ(file.Read(&byte, 1), 1u);
    byte = static_cast<char>(byte ^ 0x5A);
    file.Seek(at, platform::SeekOrigin::kBegin);
    file.Write(&byte, 1);
  }

  // Starts the package as a user would, with TMP pointing at tmp\, or as a
  // deployment does, with `arguments`.
  std::unique_ptr<RunningProgram> Start(const std::u16string& arguments = {}) {
    const ScopedEnvironment tmp(L"TMP", Wide(temp.Path(u"tmp")));
    return std::make_unique<RunningProgram>(packagePath, temp.path(), arguments);
  }

  InstallerRecord Recorded() const { return ReadInstallerRecord(recordPath); }

  TempFolder temp;
  std::string fixture;
  const std::u16string packagePath = temp.Path(u"Fabric Tools Setup.exe");
  const std::u16string recordPath = temp.Path(u"record.txt");
  const std::u16string tmp = temp.Path(u"tmp");
  const std::u16string defaultFolder = tmp + u"\\Fabric Tools.exe";
};

const std::vector<std::u16string> kInstallerSees = {u"Data\\big.bin", u"fixture.txt", u"held.bin",
                                                    u"setup.exe"};

TEST_F(ExtractorTest, APackageFromTheCreatorUnpacksRunsItsInstallerAndCleansUp) {
  // The creator itself, with its description beside it.
  const fs::path bin(BinDirectory());
  const fs::path tool = fs::path(temp.path()) / "creator";
  fs::create_directories(tool / "Stampel");
  fs::copy_file(bin / "PackageCreator.exe", tool / "PackageCreator.exe");
  fs::copy_file(bin / "Stampel" / "StampelLib.exe", tool / "Stampel" / "StampelLib.exe");
  WriteSources(false);
  std::string description;
  for (const std::u16string& name : kPlainNames) {
    description += "filepath=" + U8(temp.Path(u"src\\" + name)) +
                   "\r\nfilepathroot=" + U8(temp.Path(u"src")) + "\r\n";
  }
  description += "target=" + U8(packagePath) + "\r\nversion=13\r\nbuildnumber=7\r\n\r\n";
  temp.WriteFile(u"creator\\PackageCreator.txt", description);
  {
    RunningProgram creator(FromWide(tool.c_str()) + u"\\PackageCreator.exe",
                           FromWide(tool.c_str()));
    ASSERT_EQ(creator.Wait(), 0);
  }

  struct Case {
    const char* what;
    bool folderThere;  // the default folder exists: the package takes a sub-folder
  };
  for (const Case& c : {Case{"a new folder", false}, Case{"an existing folder", true}}) {
    SCOPED_TRACE(c.what);
    std::u16string destination = defaultFolder;
    if (c.folderThere) {
      temp.WriteFile(u"tmp\\Fabric Tools.exe\\mine.txt", "the user's");
      destination += u"\\Fabric Tools.exe";
    }
    EXPECT_EQ(Start()->Wait(), 42) << "the installer's exit code";
    const InstallerRecord record = Recorded();
    EXPECT_EQ(record.currentFolder, destination);
    EXPECT_EQ(record.commandLine, u"\"" + destination + u"\\setup.exe\"");
    EXPECT_EQ(record.files, kInstallerSees);
    EXPECT_FALSE(platform::FileExists(destination)) << "removed after the installer";
    EXPECT_EQ(FilesBelow(tmp), c.folderThere
                                   ? std::vector<std::u16string>{u"Fabric Tools.exe\\mine.txt"}
                                   : std::vector<std::u16string>{});
    EXPECT_FALSE(RunOnceValue(u"DeleteUnpacked").has_value());
    platform::RemoveFile(recordPath);
  }
}

TEST_F(ExtractorTest, APackageWithAReadMeAsksFirst) {
  WriteSources(true);
  Build(kReadMeNames);
  // The read-me opens with the program registered for its extension: here
  // one that copies it to opened.txt.
  const std::u16string opened = temp.Path(u"opened.txt");
  RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\.vrmtest", nullptr, REG_SZ,
                  L"VantrelTestReadMe", sizeof(L"VantrelTestReadMe"));
  const std::wstring command = L"cmd.exe /c copy \"%1\" \"" + std::wstring(Wide(opened)) + L"\"";
  RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\VantrelTestReadMe\\shell\\open\\command",
                  nullptr, REG_SZ, command.c_str(),
                  static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
  std::uint64_t unpacked = 0;
  for (const std::u16string& name : kInstallerSees) {
    unpacked += ReadWholeFile(temp.Path(u"src\\" + name)).size();
  }
  const std::wstring required = std::to_wstring(unpacked / 1'048'576) + L".0 MB";
  const std::wstring caption = L"Fabric Tools Installation Package";

  {
    SCOPED_TRACE("Cancel unpacks nothing");
    auto package = Start();
    const HWND dialog = package->FindDialog(caption);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_WELCOME)),
              L"Welcome to Fabric Tools Installation Package");
    EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_FOLDER)), std::wstring(Wide(defaultFolder)));
    EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_REQUIRED_SPACE)), required);
    EXPECT_EQ(WindowText(GetDlgItem(dialog, IDOK)), L"Extract");
    EXPECT_EQ(SendMessageW(GetDlgItem(dialog, IDC_DELETE_AFTER), BM_GETCHECK, 0, 0), BST_CHECKED);
    Press(dialog, IDCANCEL);
    EXPECT_EQ(package->Wait(), kCancelled);
    EXPECT_EQ(FilesBelow(tmp), std::vector<std::u16string>{});
    EXPECT_FALSE(platform::FileExists(recordPath));
  }
  {
    SCOPED_TRACE("Show Read Me, then Extract with the clean-up box cleared");
    auto package = Start();
    const HWND dialog = package->FindDialog(caption);
    ASSERT_NE(dialog, nullptr);
    Press(dialog, IDC_SHOW_README);
    SendMessageW(GetDlgItem(dialog, IDC_DELETE_AFTER), BM_SETCHECK, BST_UNCHECKED, 0);
    Press(dialog, IDOK);
    EXPECT_EQ(package->Wait(), 42);
    const InstallerRecord record = Recorded();
    EXPECT_EQ(record.currentFolder, defaultFolder);
    EXPECT_EQ(record.commandLine, u"\"" + defaultFolder + u"\\setup.exe\"") << "entry 1";
    EXPECT_EQ(record.files, kInstallerSees);
    // The read-me and its images lie in TMP itself, and RunOnce removes
    // them at the next log-on; the unpacked files were kept.
    EXPECT_EQ(FilesBelow(tmp),
              (std::vector<std::u16string>{
                  u"Fabric Tools.exe\\Data\\big.bin", u"Fabric Tools.exe\\fixture.txt",
                  u"Fabric Tools.exe\\held.bin", u"Fabric Tools.exe\\setup.exe",
                  u"HTML Images\\logo.png", u"Read Me ShowReadMe.vrmtest"}));
    EXPECT_EQ(RunOnceValue(u"DeleteReadMe"),
              L"cmd.exe /C del \"" + std::wstring(Wide(tmp)) + L"\\Read Me ShowReadMe.vrmtest\"");
    EXPECT_EQ(RunOnceValue(u"DeleteReadMe4"),
              L"cmd.exe /C del \"" + std::wstring(Wide(tmp)) + L"\\HTML Images\\logo.png\"");
    for (int i = 0; i < 100 && !platform::FileExists(opened); ++i) Sleep(100);
    EXPECT_EQ(ReadWholeFile(opened), "read me");
  }
}

TEST_F(ExtractorTest, ADamagedPackageSaysSoAndLeavesNothing) {
  WriteSources(false);
  struct Case {
    const char* what;
    std::u16string splash;
    std::u16string switchName;  // a checksum switch entry, when not empty
    std::wstring messageCaption;
  };
  const Case cases[] = {
      // Without a splash image, the check reads the directory only; the
      // damaged stream stops the unpacking.
      {"no splash", u"", u"", L"Unpacking Fabric Tools Installer"},
      // With one, the checksum refuses the package before anything happens.
      {"splash", u"splash.gif", u"", L"Vantrel 13 Installation Package"},
      // A "setup.GW" entry, in any case, switches the checksum off.
      {"splash and switch", u"splash.gif", u"SETUP.gw", L"Unpacking Fabric Tools Installer"},
  };
  temp.WriteFile(u"splash.gif", kTinyGif);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::u16string> names = kPlainNames;
    if (!c.switchName.empty()) {
      temp.WriteFile(u"src\\" + c.switchName, "");
      names.push_back(c.switchName);
    }
    Build(names, c.splash.empty() ? u"" : temp.Path(c.splash));
    DamageStream(u"Data\\big.bin");
    auto package = Start();
    const HWND box = package->FindMessageBox(c.messageCaption);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), kDamagedText);
    Press(box, IDOK);
    EXPECT_EQ(package->Wait(), kPackageDamaged);
    EXPECT_EQ(FilesBelow(tmp), std::vector<std::u16string>{});
    EXPECT_FALSE(platform::FileExists(recordPath)) << "the installer must not run";
  }

  // A package cut short has no trailer: refused at once.
  Build(kPlainNames);
  const std::string whole = ReadWholeFile(packagePath);
  temp.WriteFile(u"Fabric Tools Setup.exe", whole.substr(0, whole.size() - 100));
  auto package = Start();
  const HWND box = package->FindMessageBox(L"Vantrel 13 Installation Package");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(MessageBoxText(box), kDamagedText);
  Press(box, IDOK);
  EXPECT_EQ(package->Wait(), kPackageDamaged);
  EXPECT_EQ(FilesBelow(tmp), std::vector<std::u16string>{});
}

// A deployment starts a package with its installer's own switches; they
// reach the installer after its quoted path exactly as they were given.
TEST_F(ExtractorTest, ThePackagesArgumentsReachTheInstallerAsGiven) {
  WriteSources(false);
  Build(kPlainNames);
  const std::u16string arguments = u"/S /D=C:\\Apps \"a quoted argument\" \"\" last";
  EXPECT_EQ(Start(arguments)->Wait(), 42);
  EXPECT_EQ(Recorded().commandLine, u"\"" + defaultFolder + u"\\setup.exe\" " + arguments);
  EXPECT_FALSE(platform::FileExists(defaultFolder));
}

// "/extract:FOLDER" unpacks and nothing else: no window, no installer, no
// clean-up, and an exit code for the script.
TEST_F(ExtractorTest, ExtractOnlyUnpacksIntoTheFolderAndStartsNothing) {
  WriteSources(false);
  const std::vector<std::u16string> unpacked = {u"Data\\big.bin", u"fixture.txt", u"held.bin",
                                                u"setup.exe"};
  temp.WriteFile(u"existing\\mine.txt", "the user's");
  temp.WriteFile(u"a file", "");
  struct Case {
    const char* what;
    std::u16string argument;
    std::u16string folder;
    bool damage;
    int exitCode;
    std::vector<std::u16string> files;  // in `folder` afterwards
  };
  std::vector<std::u16string> withMine = unpacked;
  withMine.insert(withMine.begin() + 3, u"mine.txt");
  const std::u16string fresh = temp.Path(u"out\\new folder\\deep");
  const Case cases[] = {
      {"a new folder, quoted", u"/extract:\"" + fresh + u"\"", fresh, false, 0, unpacked},
      {"an existing folder", u"/EXTRACT:" + temp.Path(u"existing") + u" /S", temp.Path(u"existing"),
       false, 0, withMine},
      {"below a file",
       u"/extract:\"" + temp.Path(u"a file\\sub") + u"\"",
       temp.Path(u"a file\\sub"),
       false,
       5,
       {}},
      {"a damaged package", u"/extract:\"" + fresh + u"\"", fresh, true, kPackageDamaged, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Build(kPlainNames);
    if (c.damage) DamageStream(u"Data\\big.bin");
    auto package = Start(c.argument);
    EXPECT_EQ(package->Wait(60), c.exitCode) << "ends by itself, without a window";
    EXPECT_EQ(FilesBelow(c.folder), c.files);
    EXPECT_FALSE(platform::FileExists(recordPath)) << "the installer must not run";
    EXPECT_EQ(FilesBelow(tmp), std::vector<std::u16string>{});
    EXPECT_FALSE(RunOnceValue(u"DeleteUnpacked").has_value());
    if (c.files.empty()) {
      EXPECT_FALSE(platform::FileExists(temp.Path(u"out")));
    }
    platform::DeleteTree(temp.Path(u"out"));
    platform::RemoveFolder(temp.Path(u"out"));
  }
}

// The path of `path` on the Unix side of wine; nothing elsewhere.
std::optional<std::string> UnixPath(const std::u16string& path) {
  using Function = char*(CDECL*)(const wchar_t*);
  const auto toUnix = reinterpret_cast<Function>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!toUnix) return std::nullopt;
  char* unix = toUnix(Wide(path));
  if (!unix) return std::nullopt;
  std::string text(unix);
  HeapFree(GetProcessHeap(), 0, unix);
  return text;
}

// Runs a Linux program from wine (wine starts Unix programs as it starts
// Windows ones, but gives no process to wait for) and waits until the file
// `output` that it writes has stopped growing; false when it does not come
// within 60 s.
bool RunUnixProgram(const std::u16string& program, const std::u16string& arguments,
                    const std::u16string& folder, const std::u16string& output) {
  std::u16string line = u"\"" + program + u"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, Wide(line.data()), nullptr, nullptr, FALSE, 0, nullptr, Wide(folder),
                      &startup, &info)) {
    return false;
  }
  const platform::win32::UniqueHandle process(info.hProcess), thread(info.hThread);
  std::int64_t last = -1;
  for (int i = 0; i < 200; ++i) {
    Sleep(300);
    const std::int64_t size =
        platform::FileExists(output) ? static_cast<std::int64_t>(ReadWholeFile(output).size()) : -1;
    if (size > 0 && size == last) return true;
    last = size;
  }
  return false;
}

// A package signed with osslsigncode (a certificate table behind the
// archive, a new PE checksum) runs as the unsigned one does, with and
// without a splash image, whose check reads the checksum.
TEST_F(ExtractorTest, ASignedPackageRunsTheSame) {
  if (!UnixPath(temp.path())) GTEST_SKIP() << "signs with osslsigncode under wine only";
  WriteSources(false);
  temp.WriteFile(u"splash.gif", kTinyGif);
  const auto unix = [&](std::u16string_view name) {
    return U16("\"" + *UnixPath(temp.Path(name)) + "\"");
  };
  ASSERT_TRUE(RunUnixProgram(u"Z:\\usr\\bin\\openssl",
                             u"req -x509 -newkey rsa:2048 -nodes -subj /CN=test -days 2 -keyout " +
                                 unix(u"key.pem") + u" -out " + unix(u"cert.pem"),
                             temp.path(), temp.Path(u"cert.pem")));
  for (const std::u16string splash : {u"", u"splash.gif"}) {
    SCOPED_TRACE(splash.empty() ? "without splash" : "with splash");
    Build(kPlainNames, splash.empty() ? u"" : temp.Path(splash));
    platform::RemoveFile(temp.Path(u"signed.exe"));
    ASSERT_TRUE(RunUnixProgram(u"Z:\\usr\\bin\\osslsigncode",
                               u"sign -certs " + unix(u"cert.pem") + u" -key " + unix(u"key.pem") +
                                   u" -in " + unix(u"Fabric Tools Setup.exe") + u" -out " +
                                   unix(u"signed.exe"),
                               temp.path(), temp.Path(u"signed.exe")));
    ASSERT_TRUE(
        MoveFileExW(Wide(temp.Path(u"signed.exe")), Wide(packagePath), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(Start()->Wait(), 42);
    EXPECT_EQ(Recorded().files, kInstallerSees);
    EXPECT_FALSE(platform::FileExists(defaultFolder));
    platform::RemoveFile(recordPath);
  }
}

// The DLLs that the extractor loads by name, or that the system loads for
// it once it runs, taken from beside the package if the program let them:
// a hostile page can drop them into the download folder. Wine is told to
// prefer such a "native" copy over its own. (DLLs that the system's own
// DLLs import, such as version.dll, wine looks for beside the program
// before the program runs; Windows takes them from the system folder.)
TEST_F(ExtractorTest, DllsBesideThePackageAreNeverLoaded) {
  WriteSources(false);
  Build(kPlainNames);
  const std::u16string planted = BinDirectory() + u"\\planted_dll.dll";
  const std::vector<std::wstring> names = {L"gdiplus", L"comctl32",  L"uxtheme",
                                           L"dwmapi",  L"cryptbase", L"propsys"};
  const wchar_t kOverrides[] = L"Software\\Wine\\DllOverrides";
  for (const std::wstring& name : names) {
    ASSERT_TRUE(CopyFileW(
        Wide(planted), (std::wstring(Wide(temp.path())) + L"\\" + name + L".dll").c_str(), FALSE));
    RegSetKeyValueW(HKEY_CURRENT_USER, kOverrides, name.c_str(), REG_SZ, L"native,builtin",
                    sizeof(L"native,builtin"));
  }
  const int exitCode = Start()->Wait();
  for (const std::wstring& name : names) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kOverrides, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      RegDeleteValueW(key, name.c_str());
      RegCloseKey(key);
    }
  }
  EXPECT_EQ(exitCode, 42);
  for (const std::wstring& name : names) {
    EXPECT_FALSE(platform::FileExists(temp.Path(FromWide(name.c_str()) + u".dll.loaded")))
        << U8(FromWide(name.c_str()));
  }
}

// The DLLs that Windows loads for the extractor before its own code runs:
// only those that it always takes from the system folder.
TEST(ExtractorImage, ImportsOnlyDllsThatAlwaysComeFromTheSystemFolder) {
  const std::string image = ReadWholeFile(BinDirectory() + u"\\Extractor.exe");
  ASSERT_GT(image.size(), 0x200u);
  const auto u16 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(image.at(at)) |
                                      static_cast<unsigned char>(image.at(at + 1)) << 8);
  };
  const auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
  const std::size_t header = u32(0x3C);
  const std::size_t optional = header + 24;
  ASSERT_EQ(u16(optional), 0x20Bu) << "a PE32+ image";
  const std::uint32_t importRva = u32(optional + 112 + 8);
  const std::size_t sections = optional + u16(header + 20);
  const auto fileOffset = [&](std::uint32_t rva) -> std::size_t {
    for (std::size_t i = 0; i < u16(header + 6); ++i) {
      const std::size_t s = sections + i * 40;
      const std::uint32_t start = u32(s + 12), size = u32(s + 8), raw = u32(s + 20);
      if (rva >= start && rva < start + size) return raw + (rva - start);
    }
    ADD_FAILURE() << "an address outside every section";
    return 0;
  };
  std::set<std::string> imported;
  for (std::size_t at = fileOffset(importRva); u32(at + 12) != 0; at += 20) {
    std::string name(image.c_str() + fileOffset(u32(at + 12)));
    std::transform(name.begin(), name.end(), name.begin(), ::tolower);
    imported.insert(name);
  }
  const std::set<std::string> known = {
      "advapi32.dll", "gdi32.dll",  "kernel32.dll", "msvcrt.dll",  "ole32.dll",    "oleaut32.dll",
      "shell32.dll",  "user32.dll", "comdlg32.dll", "shlwapi.dll", "imagehlp.dll", "ws2_32.dll"};
  for (const std::string& name : imported) EXPECT_TRUE(known.contains(name)) << name;
  EXPECT_TRUE(imported.contains("kernel32.dll"));
}

}  // namespace
