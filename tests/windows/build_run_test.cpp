// The build run under Windows: the extractor image from this program's own
// resources, the splash and version resources, then the archive.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "package/package_builder.h"
#include "package/result_codes.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/program.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"
#include "resources/creator/resource_ids.h"
#include "resources/extractor/resource_ids.h"
#include "tests/support/temp_folder.h"

namespace {

using package::PackageBuilder;
using platform::win32::Wide;
using testing_support::ReadWholeFile;
using testing_support::TempFolder;

// The bytes of resource type/name/language of the file at `path`; empty
// when it has none.
std::string FileResource(const std::u16string& path, const wchar_t* type, const wchar_t* name,
                         WORD language) {
  const platform::win32::UniqueModule module(LoadLibraryExW(
      Wide(path), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  if (!module) return {};
  HRSRC info = FindResourceExW(module.get(), type, name, language);
  if (!info) return {};
  const void* bytes = LockResource(LoadResource(module.get(), info));
  return std::string(static_cast<const char*>(bytes), SizeofResource(module.get(), info));
}

// The splash image that the build added to the package at `path`.
std::string SplashResource(const std::u16string& path) {
  return FileResource(path, L"" SPLASH_RESOURCE_TYPE, L"" SPLASH_RESOURCE_NAME,
                      SPLASH_RESOURCE_LANGUAGE);
}

struct Version {
  std::wstring file, product;  // as "a.b.c.d"
};

std::wstring Dotted(DWORD ms, DWORD ls) {
  return std::to_wstring(HIWORD(ms)) + L"." + std::to_wstring(LOWORD(ms)) + L"." +
         std::to_wstring(HIWORD(ls)) + L"." + std::to_wstring(LOWORD(ls));
}

Version ReadVersion(const std::u16string& path) {
  auto block = platform::ReadFileVersionInfo(path);
  if (!block) return {};
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block->data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) return {};
  return {Dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS),
          Dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS)};
}

std::wstring ReadVersionString(const std::u16string& path, const wchar_t* key) {
  auto block = platform::ReadFileVersionInfo(path);
  if (!block) return L"<none>";
  wchar_t* value = nullptr;
  UINT length = 0;
  const std::wstring query = std::wstring(L"\\StringFileInfo\\040904b0\\") + key;
  if (!VerQueryValueW(block->data(), query.c_str(), reinterpret_cast<void**>(&value), &length)) {
    return L"<missing>";
  }
  return value;
}

std::u16string BinDirectory() {
  std::u16string self = platform::GetModulePath();
  self.resize(self.rfind(u'\\') + 1);
  return platform::GetFullPath(self + platform::win32::FromWide(TEST_BIN_DIR_RELATIVE));
}

std::span<const unsigned char> ExtractorImage() {
  return *platform::FindProgramResource(platform::ResourceId::Named(u"SFX_EXE"),
                                        platform::ResourceId::Number(IDR_EXTRACTOR_IMAGE));
}

struct Canceller {
  PackageBuilder* builder;
  static int Callback(package::Event code, const void*, void* context) {
    if (code == package::Event::kEntryPercent) {
      static_cast<Canceller*>(context)->builder->cancelRequested = 1;
    }
    return 0;
  }
};

class BuildRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    builder = std::make_unique<PackageBuilder>();
    ASSERT_EQ(builder->AddFile(temp.WriteFile(u"src/setup.exe", std::string(70000, 'x')),
                               temp.Path(u"src")),
              1);
    ASSERT_EQ(builder->AddFile(temp.WriteFile(u"src/data.bin", "data"), temp.Path(u"src")), 1);
  }

  std::unique_ptr<PackageBuilder> ReaderOf(const std::u16string& path) {
    auto reader = std::make_unique<PackageBuilder>();
    reader->SetModulePath(path);
    return reader;
  }

  TempFolder temp;
  std::unique_ptr<PackageBuilder> builder;
  const std::u16string target = temp.Path(u"out\\pkg.exe");
  const std::u16string noTool = temp.Path(u"no-tool-here");
};

TEST_F(BuildRunTest, PlainBuildIsTheImageFollowedByTheArchive) {
  ASSERT_EQ(PackageBuilder::CreateDirectoryTree(temp.Path(u"out")), 1);
  ASSERT_EQ(builder->BuildPackage(IDR_EXTRACTOR_IMAGE, target, nullptr, nullptr, u"", noTool),
            package::Result::kDone);
  const std::string bytes = ReadWholeFile(target);
  const auto image = ExtractorImage();
  ASSERT_GT(image.size(), 1000u);
  EXPECT_EQ(bytes.substr(0, image.size()),
            std::string(reinterpret_cast<const char*>(image.data()), image.size()));
  EXPECT_EQ(builder->GetDataOffset(0), image.size());

  auto reader = ReaderOf(target);
  ASSERT_EQ(reader->OpenPackage(true), package::Result::kDone);
  const std::u16string out = temp.Path(u"unpacked");
  ASSERT_EQ(reader->ExtractAll(out, nullptr, nullptr), package::Result::kDone);
  EXPECT_EQ(ReadWholeFile(out + u"\\setup.exe"), std::string(70000, 'x'));
  EXPECT_EQ(ReadWholeFile(out + u"\\data.bin"), "data");

  // A splash path that names nothing, and strings without a version, change nothing.
  builder->fileAndProductVersion = u"9.9";
  builder->description = u"ignored";
  const std::u16string second = temp.Path(u"out\\second.exe");
  ASSERT_EQ(builder->BuildPackage(IDR_EXTRACTOR_IMAGE, second, nullptr, nullptr,
                                  temp.Path(u"missing.gif"), BinDirectory()),
            package::Result::kDone);
  EXPECT_EQ(ReadWholeFile(second), bytes);
}

TEST_F(BuildRunTest, SplashAndVersionAreStampedBeforeTheArchive) {
  // Larger than any padding of the image's resource section: the stamped
  // image grows, and the archive must come after it.
  const std::string gif = "GIF89a" + std::string(70'000, '\x7f');
  const std::u16string splash = temp.WriteFile(u"TempSplashImage.gif", gif);
  builder->version = u"13";
  builder->buildNumber = u"3271";
  builder->fileAndProductVersion = u"13.0 Build 3271";
  builder->description = u"";
  ASSERT_EQ(PackageBuilder::CreateDirectoryTree(temp.Path(u"out")), 1);
  ASSERT_EQ(
      builder->BuildPackage(IDR_EXTRACTOR_IMAGE, target, nullptr, nullptr, splash, BinDirectory()),
      package::Result::kDone);

  EXPECT_EQ(SplashResource(target), gif);
  const Version v = ReadVersion(target);
  EXPECT_EQ(v.file, L"13.0.0.3271");
  EXPECT_EQ(v.product, L"13.0.0.3271");
  EXPECT_EQ(ReadVersionString(target, L"FileVersion"), L"13.0 Build 3271");
  EXPECT_EQ(ReadVersionString(target, L"ProductVersion"), L"13.0 Build 3271");
  EXPECT_EQ(ReadVersionString(target, L"FileDescription"), L"");
  EXPECT_EQ(ReadVersionString(target, L"CompanyName"), L"Vantrel");

  // The archive comes after every resource change.
  auto reader = ReaderOf(target);
  ASSERT_EQ(reader->OpenPackage(true), package::Result::kDone);
  EXPECT_GT(reader->GetDataOffset(0), ExtractorImage().size());
}

TEST_F(BuildRunTest, BuildNumbersCarryIntoTheThirdPartAndWorkWithoutTheTool) {
  builder->version = u"13";
  builder->buildNumber = u"65537";
  builder->fileAndProductVersion = u"x";
  const std::u16string splash = temp.WriteFile(u"s.gif", "GIF89a");
  ASSERT_EQ(PackageBuilder::CreateDirectoryTree(temp.Path(u"out")), 1);
  ASSERT_EQ(builder->BuildPackage(IDR_EXTRACTOR_IMAGE, target, nullptr, nullptr, splash, noTool),
            package::Result::kDone);
  EXPECT_EQ(ReadVersion(target).file, L"13.0.1.1");
  EXPECT_EQ(ReadVersionString(target, L"FileVersion"), L"1.0.0.0");  // no tool, no strings
  EXPECT_EQ(SplashResource(target), "GIF89a");
  EXPECT_EQ(ReaderOf(target)->OpenPackage(true), package::Result::kDone);
}

TEST_F(BuildRunTest, EarlyResultsLeaveNoFile) {
  struct Case {
    const char* what;
    bool emptyTable;
    int resourceId;
    std::u16string target;
    package::Result result;
  };
  const Case cases[] = {
      {"empty table", true, IDR_EXTRACTOR_IMAGE, temp.Path(u"a.exe"), package::Result::kEmpty},
      {"no such extractor image", false, 999, temp.Path(u"b.exe"),
       package::Result::kNoExtractorImage},
      {"empty target", false, IDR_EXTRACTOR_IMAGE, u"", package::Result::kFileError},
      {"target folder missing", false, IDR_EXTRACTOR_IMAGE, temp.Path(u"missing\\c.exe"),
       package::Result::kFileError},
  };
  for (const Case& c : cases) {
    PackageBuilder empty;
    PackageBuilder& b = c.emptyTable ? empty : *builder;
    EXPECT_EQ(b.BuildPackage(c.resourceId, c.target, nullptr, nullptr, u"", noTool), c.result)
        << c.what;
    if (!c.target.empty()) {
      EXPECT_FALSE(platform::GetAttributes(c.target).has_value()) << c.what;
    }
  }
}

TEST_F(BuildRunTest, AFailedOrCancelledRunLeavesWhatWasThere) {
  ASSERT_EQ(PackageBuilder::CreateDirectoryTree(temp.Path(u"out")), 1);
  for (const bool previous : {false, true}) {
    SCOPED_TRACE(previous ? "over a previous package" : "no previous package");
    if (previous) temp.WriteFile(u"out\\pkg.exe", "the previous package");
    // A source that went since it was added: the run fails when it comes
    // to it (the writer reads sources ahead, so it goes before the run).
    platform::RemoveFile(builder->GetSourcePath(1));
    EXPECT_EQ(builder->BuildPackage(IDR_EXTRACTOR_IMAGE, target, nullptr, nullptr, u"", noTool),
              package::Result::kCannotOpenFile);
    auto left = [&]() {
      return previous ? ReadWholeFile(target) == "the previous package"
                      : !platform::GetAttributes(target).has_value();
    };
    EXPECT_TRUE(left());

    temp.WriteFile(u"src\\data.bin", "data");
    Canceller canceller{builder.get()};
    EXPECT_EQ(builder->BuildPackage(IDR_EXTRACTOR_IMAGE, target, &Canceller::Callback, &canceller,
                                    u"", noTool),
              package::Result::kDone);
    EXPECT_TRUE(left());
    builder->cancelRequested = 0;
    // No temporary file is left beside the target.
    std::vector<std::u16string> names;
    platform::DirectorySearch search(temp.Path(u"out\\*"));
    for (platform::FoundFile found; search.Next(found);) {
      if (found.name != u"." && found.name != u"..") names.push_back(found.name);
    }
    EXPECT_EQ(names,
              previous ? std::vector<std::u16string>{u"pkg.exe"} : std::vector<std::u16string>{});
  }
}

TEST_F(BuildRunTest, ATargetThatIsASourceIsLeftAlone) {
  const std::u16string source = builder->GetSourcePath(0);
  // The same file by another spelling.
  const std::u16string spelled = temp.Path(u"src\\.\\SETUP.EXE");
  EXPECT_EQ(builder->BuildPackage(IDR_EXTRACTOR_IMAGE, spelled, nullptr, nullptr, u"", noTool),
            package::Result::kFileError);
  EXPECT_EQ(ReadWholeFile(source), std::string(70000, 'x'));
}

TEST(CreateDirectoryTree, CreatesTheChainAndStopsAtDrivesAndTheRoot) {
  TempFolder temp;
  const std::u16string before = platform::GetCurrentFolder();
  EXPECT_NE(PackageBuilder::CreateDirectoryTree(temp.Path(u"A\\B\\C")), 0);
  EXPECT_TRUE(platform::GetAttributes(temp.Path(u"A\\B\\C")).has_value());
  EXPECT_EQ(PackageBuilder::CreateDirectoryTree(temp.Path(u"A\\B")), 1);
  EXPECT_EQ(PackageBuilder::CreateDirectoryTree(u"Q:\\no\\such\\drive"), 0);
  EXPECT_EQ(PackageBuilder::CreateDirectoryTree(u""), 0);
  EXPECT_EQ(PackageBuilder::CreateDirectoryTree(u"\\\\server"), 0);
  EXPECT_EQ(platform::GetCurrentFolder(), before);
}

}  // namespace
