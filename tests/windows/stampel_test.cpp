// StampelLib.exe run the way the package creator runs it: the tool's short
// path, then -u "FILE" KEY "VALUE", once per string, on a copy of
// stampel_fixture.exe in a fresh folder.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "package/version_block.h"
#include "platform/file_system.h"
#include "platform/program.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"
#include "tests/support/temp_folder.h"
#include "tools/stampel/stamp.h"

namespace {

using platform::win32::FromWide;
using platform::win32::Wide;
using stampel::ExitCode;
using testing_support::TempFolder;
using testing_support::U16;
using testing_support::U8;

std::optional<std::uint32_t> Code(ExitCode code) { return static_cast<std::uint32_t>(code); }

// STAMPEL_EXE and the fixtures are given relative to this program's folder.
std::u16string BesideTest(const wchar_t* relative) {
  std::u16string folder = platform::GetModulePath();
  folder.resize(folder.rfind(u'\\') + 1);
  return platform::GetFullPath(folder + FromWide(relative));
}

// Runs the tool on `file`, with the value in quotes or, when `value` is
// nothing, without one. Its exit code; nothing when it did not start.
std::optional<std::uint32_t> RunTool(const std::u16string& file, std::u16string_view key,
                                     std::optional<std::u16string_view> value) {
  const std::u16string tool = platform::GetShortPath(BesideTest(STAMPEL_EXE));
  if (tool.empty()) {
    ADD_FAILURE() << "no short path for " << U8(BesideTest(STAMPEL_EXE));
    return std::nullopt;
  }
  std::u16string line = tool + u" -u \"" + file + u"\" " + std::u16string(key);
  if (value) line += u" \"" + std::u16string(*value) + u"\"";
  return platform::RunAndWait(tool, line);
}

// The string at `path` in what GetFileVersionInfoW gives, or "(missing)".
std::string QueryString(std::vector<unsigned char>& info, const wchar_t* path) {
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(info.data(), path, &value, &length) || !value) return "(missing)";
  return U8(FromWide(static_cast<const wchar_t*>(value)));
}

using platform::win32::UniqueFileHandle;
using platform::win32::UniqueModule;

// The version block of `language`, read from the file's resources.
std::optional<package::VersionNode> VersionBlockIn(const std::u16string& path, WORD language) {
  const UniqueModule module(LoadLibraryExW(
      Wide(path), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  if (!module) return std::nullopt;
  const HRSRC found = FindResourceExW(module.get(), RT_VERSION, MAKEINTRESOURCEW(1), language);
  const HGLOBAL loaded = found ? LoadResource(module.get(), found) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) return std::nullopt;
  return package::ParseVersionBlock(
      {static_cast<const unsigned char*>(bytes), SizeofResource(module.get(), found)});
}

std::string StringIn(const package::VersionNode& root, std::u16string_view table,
                     std::u16string_view key) {
  const package::VersionNode* info = package::FindChild(root, u"StringFileInfo");
  const package::VersionNode* t = info ? package::FindChild(*info, table) : nullptr;
  const package::VersionNode* s = t ? package::FindChild(*t, key) : nullptr;
  return s ? U8(package::TextValue(*s)) : "(missing)";
}

const char kCompany[] = "Ärger & Söhne Werkzeug";

TEST(Stampel, SetsTheStringsInEveryLanguageAndKeepsTheRest) {
  TempFolder temp;
  const std::u16string file = temp.MakeFolder(u"Out Dir") + u"\\pkg.exe";
  ASSERT_TRUE(CopyFileW(Wide(BesideTest(STAMPEL_FIXTURE)), Wide(file), TRUE));

  EXPECT_EQ(RunTool(file, u"FileVersion", u""), Code(ExitCode::kStamped));
  EXPECT_EQ(RunTool(file, u"ProductVersion", u"13.0 Build 3271"), Code(ExitCode::kStamped));
  EXPECT_EQ(RunTool(file, u"FileDescription", u"Setup files in C:\\Data\\"),
            Code(ExitCode::kStamped));

  auto info = platform::ReadFileVersionInfo(file);
  ASSERT_TRUE(info);
  const struct {
    const wchar_t* path;
    std::string text;
  } strings[] = {
      {L"\\StringFileInfo\\040904b0\\FileVersion", ""},
      {L"\\StringFileInfo\\040904b0\\ProductVersion", "13.0 Build 3271"},
      {L"\\StringFileInfo\\040904b0\\FileDescription", "Setup files in C:\\Data\\"},
      {L"\\StringFileInfo\\040904b0\\CompanyName", kCompany},
      {L"\\StringFileInfo\\040904b0\\InternalName", "fixture"},
  };
  for (const auto& s : strings) {
    EXPECT_EQ(QueryString(*info, s.path), s.text) << U8(FromWide(s.path));
  }

  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info->data(), L"\\", &value, &length));
  ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x0001'0002u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x0003'0004u);

  const auto german = VersionBlockIn(file, MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN));
  ASSERT_TRUE(german);
  EXPECT_EQ(StringIn(*german, u"040704B0", u"FileVersion"), "");
  EXPECT_EQ(StringIn(*german, u"040704B0", u"ProductVersion"), "13.0 Build 3271");
  EXPECT_EQ(StringIn(*german, u"040704B0", u"FileDescription"), "Setup files in C:\\Data\\");
  EXPECT_EQ(StringIn(*german, u"040704B0", u"CompanyName"), kCompany);

  // Still a program that starts.
  EXPECT_EQ(platform::RunAndWait(file, u"\"" + file + u"\""), std::optional<std::uint32_t>(42));
}

TEST(Stampel, LeavesTheFileAsItWasWhenItCannotStamp) {
  TempFolder temp;
  const std::u16string notAProgram = temp.WriteFile(u"notes.txt", "not a program\r\n");
  const std::u16string withVersion = BesideTest(STAMPEL_FIXTURE);
  const struct {
    const char* what;
    std::u16string source;  // copied to the stamped file; empty: no file
    bool heldOpen;          // by this test, for reading, sharing only reading
    bool valueGiven;
    ExitCode expected;
  } cases[] = {
      {"a missing file", u"", false, true, ExitCode::kFileNotLoaded},
      {"a file that is not a program", notAProgram, false, true, ExitCode::kFileNotLoaded},
      {"a program without version resource", BesideTest(STAMPEL_PLAIN_FIXTURE), false, true,
       ExitCode::kNoVersionResource},
      {"a program held open", withVersion, true, true, ExitCode::kUpdateRefused},
      {"a command line without value", withVersion, false, false, ExitCode::kBadCommandLine},
  };
  for (const auto& c : cases) {
    const std::u16string file = temp.MakeFolder(U16(c.what)) + u"\\pkg.exe";
    std::string before;
    if (!c.source.empty()) {
      ASSERT_TRUE(CopyFileW(Wide(c.source), Wide(file), TRUE)) << c.what;
      before = testing_support::ReadWholeFile(file);
    }
    const UniqueFileHandle holder(c.heldOpen ? CreateFileW(Wide(file), GENERIC_READ,
                                                           FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                           FILE_ATTRIBUTE_NORMAL, nullptr)
                                             : INVALID_HANDLE_VALUE);
    if (c.heldOpen) {
      ASSERT_TRUE(holder) << c.what;
    }

    const auto code =
        RunTool(file, u"FileVersion",
                c.valueGiven ? std::optional<std::u16string_view>(u"9.9") : std::nullopt);
    EXPECT_EQ(code, Code(c.expected))
        << c.what << ", expected " << stampel::ExitCodeName(c.expected);

    if (c.source.empty()) {
      EXPECT_FALSE(platform::GetAttributes(file)) << c.what;
    } else {
      EXPECT_TRUE(testing_support::ReadWholeFile(file) == before) << c.what;
    }
  }
}

}  // namespace
