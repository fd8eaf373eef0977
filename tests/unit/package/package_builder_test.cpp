#include "package/package_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <vector>

#include "platform/file.h"
#include "platform/file_system.h"
#include "tests/support/temp_folder.h"

namespace {

using package::PackageBuilder;
using package::PackageEntry;
using platform::kPathSeparator;
using testing_support::TempFolder;
using testing_support::U8;

// The builder holds 512 rows and two buffers; keep it off the test's stack.
std::unique_ptr<PackageBuilder> NewBuilder() { return std::make_unique<PackageBuilder>(); }

std::vector<std::u16string> StoredNames(const PackageBuilder& builder) {
  std::vector<std::u16string> names;
  for (int i = 0; i < builder.GetEntryCount(); ++i) names.push_back(builder.GetStoredName(i));
  return names;
}

std::u16string Joined(std::initializer_list<std::u16string_view> parts) {
  std::u16string out;
  for (std::u16string_view part : parts) {
    if (!out.empty()) out += kPathSeparator;
    out += part;
  }
  return out;
}

TEST(PackageBuilder, StartsEmptyWithTheProgramsOwnPath) {
  auto builder = NewBuilder();
  EXPECT_EQ(builder->GetEntryCount(), 0);
  EXPECT_EQ(builder->GetTrailerSize(), 0);
  EXPECT_EQ(builder->cancelRequested.load(), 0);
  EXPECT_TRUE(builder->version.empty() && builder->buildNumber.empty() &&
              builder->fileAndProductVersion.empty() && builder->description.empty());
  EXPECT_EQ(builder->GetModulePath(), platform::GetModulePath());
  EXPECT_FALSE(builder->GetModulePath().empty());
}

TEST(PackageEntry, StoredNameIsCutByTheRootsLengthAlone) {
  TempFolder temp;
  const std::u16string path = temp.WriteFile(u"Out/Data/setup.ini", "12345");
  const std::u16string out = temp.Path(u"Out");
  struct Case {
    const char* what;
    std::u16string root;
    std::u16string storedName;
  };
  const Case cases[] = {
      {"root and separator cut", out, Joined({u"Data", u"setup.ini"})},
      {"a root that is not a prefix cuts just the same", std::u16string(out.size(), u'X'),
       Joined({u"Data", u"setup.ini"})},
      {"empty root drops the first character", u"", path.substr(1)},
      {"root one shorter than the path leaves nothing", path.substr(0, path.size() - 1), u""},
      {"root as long as the path", path, u""},
      {"root longer than the path", path + u"xyz", u""},
  };
  for (const Case& c : cases) {
    PackageEntry entry;
    entry.storedName = u"preset";
    ASSERT_EQ(entry.LoadFromFile(path, c.root), 1) << c.what;
    EXPECT_EQ(entry.storedName, c.storedName) << c.what;
    EXPECT_EQ(entry.sourcePath, path) << c.what;
    EXPECT_EQ(entry.size, 5u) << c.what;
  }
}

TEST(PackageEntry, MissingFileLeavesTheRowUnchangedAndResetKeepsTheStreamFields) {
  TempFolder temp;
  PackageEntry entry;
  entry.storedName = u"name";
  entry.sourcePath = u"source";
  entry.size = 7;
  entry.packedSize = 8;
  entry.dataOffset = 9;
  EXPECT_EQ(entry.LoadFromFile(temp.Path(u"missing.bin"), temp.path()), 0);
  EXPECT_EQ(entry.storedName, u"name");
  EXPECT_EQ(entry.sourcePath, u"source");
  EXPECT_EQ(entry.size, 7u);

  entry.Reset();
  EXPECT_TRUE(entry.storedName.empty() && entry.sourcePath.empty());
  EXPECT_EQ(entry.size, 0u);
  EXPECT_EQ(entry.packedSize, 8u);
  EXPECT_EQ(entry.dataOffset, 9u);
}

TEST(PackageBuilder, AddFileKeepsOrderAndTakesOnlyAsciiLettersAsEqual) {
  TempFolder temp;
  auto builder = NewBuilder();
  const std::u16string a = temp.WriteFile(u"data/a.txt", "aaa");
  const std::u16string empty = temp.WriteFile(u"data/empty.bin", "");
  const std::u16string umlaut = temp.WriteFile(u"data/\u00e4.txt", "u");

  EXPECT_EQ(builder->AddFile(a, temp.path()), 1);
  EXPECT_EQ(builder->AddFile(empty, temp.path()), 1);
  // Same path with other ASCII case: no new row, and the file is not even
  // opened (this spelling need not exist on a case-sensitive disk).
  std::u16string upper = a;
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; });
  EXPECT_EQ(builder->AddFile(upper, temp.path()), 1);
  EXPECT_EQ(builder->GetEntryCount(), 2);

  // Other letters are compared exactly: a-umlaut and A-umlaut are two rows
  // (on a case-insensitive disk both spellings name one file).
  EXPECT_EQ(builder->AddFile(umlaut, temp.path()), 1);
  const std::u16string capitalUmlaut = temp.WriteFile(u"data/\u00c4.txt", "u");
  EXPECT_EQ(builder->AddFile(capitalUmlaut, temp.path()), 1);
  EXPECT_EQ(builder->GetEntryCount(), 4);

  EXPECT_EQ(builder->AddFile(temp.Path(u"data/missing.txt"), temp.path()), 0);
  EXPECT_EQ(builder->GetEntryCount(), 4);

  EXPECT_EQ(StoredNames(*builder),
            (std::vector<std::u16string>{Joined({u"data", u"a.txt"}), Joined({u"data", u"empty.bin"}),
                                         Joined({u"data", u"\u00e4.txt"}),
                                         Joined({u"data", u"\u00c4.txt"})}));
  EXPECT_EQ(builder->GetSize(0), 3u);
  EXPECT_EQ(builder->GetSize(1), 0u);
}

TEST(PackageBuilder, AddsAFileThatAnotherHandleIsWritingWithSharing) {
  TempFolder temp;
  const std::u16string path = temp.WriteFile(u"log.txt", "abc");
  platform::File writer;
  ASSERT_TRUE(writer.Open(path, platform::FileAccess::kWrite, platform::FileCreation::kOpenExisting,
                          platform::FileShare::kReadWrite));
  auto builder = NewBuilder();
  EXPECT_EQ(builder->AddFile(path, temp.path()), 1);
  EXPECT_EQ(builder->GetEntryCount(), 1);
}

TEST(PackageBuilder, FullTableRefusesEveryPathEvenOneAlreadyInIt) {
  TempFolder temp;
  auto builder = NewBuilder();
  std::vector<std::u16string> paths;
  for (int i = 0; i <= package::kTableCapacity; ++i) {
    paths.push_back(temp.WriteFile(u"f" + testing_support::U16(std::to_string(i)), ""));
  }
  for (int i = 0; i < package::kTableCapacity; ++i) {
    ASSERT_EQ(builder->AddFile(paths[i], temp.path()), 1) << i;
  }
  EXPECT_EQ(builder->GetEntryCount(), package::kTableCapacity);
  EXPECT_EQ(builder->AddFile(paths[package::kTableCapacity], temp.path()), 0);
  EXPECT_EQ(builder->AddFile(paths[0], temp.path()), 0);
  EXPECT_EQ(builder->GetEntryCount(), package::kTableCapacity);
}

TEST(PackageBuilder, AddFolderGoesDepthFirstAndSkipsDotFolders) {
  TempFolder temp;
  temp.WriteFile(u"F/.svn/x.txt", "svn");
  temp.WriteFile(u"F/sub/c.txt", "cc");
  temp.WriteFile(u"F/sub/deeper/d.txt", "d");
  temp.MakeFolder(u"F/sub/empty");
  temp.WriteFile(u"F/a.txt", "a");
  temp.WriteFile(u"F/.hidden", "h");
  temp.WriteFile(u"F/SKIP.ME", "skipped");
  const std::u16string folder = temp.Path(u"F");

  auto builder = NewBuilder();
  builder->AddFolder(folder, folder, u"skip.me");

  const std::vector<std::u16string> names = StoredNames(*builder);
  ASSERT_EQ(names.size(), 4u);
  // A folder's sub-folders come before its own files, at every level.
  EXPECT_EQ(names[0], Joined({u"sub", u"deeper", u"d.txt"}));
  EXPECT_EQ(names[1], Joined({u"sub", u"c.txt"}));
  // The folder's own files follow in search order.
  EXPECT_EQ(std::set<std::u16string>(names.begin() + 2, names.end()),
            (std::set<std::u16string>{u"a.txt", u".hidden"}));
  for (int i = 0; i < builder->GetEntryCount(); ++i) {
    EXPECT_EQ(builder->GetSourcePath(i), folder + kPathSeparator + builder->GetStoredName(i));
  }
  EXPECT_EQ(builder->GetSize(1), 2u);
}

TEST(PackageBuilder, AddFolderOfARelativeFolderGivesAbsolutePaths) {
  TempFolder temp;
  temp.WriteFile(u"rel/one.txt", "1");
  const std::u16string original = platform::GetCurrentFolder();
  ASSERT_TRUE(platform::SetCurrentFolder(temp.path()));
  auto builder = NewBuilder();
  builder->AddFolder(u"rel", temp.path(), u"");
  platform::SetCurrentFolder(original);

  ASSERT_EQ(builder->GetEntryCount(), 1);
  EXPECT_EQ(builder->GetSourcePath(0), temp.Path(u"rel/one.txt"));
  EXPECT_EQ(builder->GetStoredName(0), Joined({u"rel", u"one.txt"}));
}

TEST(PackageBuilder, AddFolderOfNothingAddsNothing) {
  TempFolder temp;
  temp.MakeFolder(u"tree/a/b");
  auto builder = NewBuilder();
  builder->AddFolder(temp.Path(u"tree"), temp.path(), u"");
  builder->AddFolder(temp.Path(u"missing"), temp.path(), u"");
  EXPECT_EQ(builder->GetEntryCount(), 0);
}

TEST(PackageBuilder, MeasureTotalRefreshesSizesAndKeepsThoseOfVanishedFiles) {
  TempFolder temp;
  auto builder = NewBuilder();
  EXPECT_EQ(builder->MeasureTotal(), 0);

  const std::u16string grows = temp.WriteFile(u"grows.bin", "12");
  const std::u16string vanishes = temp.WriteFile(u"vanishes.bin", "1234");
  ASSERT_EQ(builder->AddFile(grows, temp.path()), 1);
  ASSERT_EQ(builder->AddFile(vanishes, temp.path()), 1);
  EXPECT_EQ(builder->MeasureTotal(), 6);

  temp.WriteFile(u"grows.bin", std::string(100000, 'x'));
  ASSERT_TRUE(platform::RemoveFile(vanishes));
  EXPECT_EQ(builder->MeasureTotal(), 100000);
  EXPECT_EQ(builder->GetSize(0), 100000u);
  EXPECT_EQ(builder->GetSize(1), 4u);
}

TEST(PackageBuilder, ClearTableEmptiesEveryRow) {
  TempFolder temp;
  auto builder = NewBuilder();
  ASSERT_EQ(builder->AddFile(temp.WriteFile(u"a", "abc"), temp.path()), 1);
  builder->SetPackedSize(0, 11);
  builder->ClearTable();
  EXPECT_EQ(builder->GetEntryCount(), 0);
  EXPECT_EQ(builder->GetTrailerSize(), 0);
  EXPECT_TRUE(builder->GetSourcePath(0).empty());
  EXPECT_TRUE(builder->GetStoredName(0).empty());
  EXPECT_EQ(builder->GetSize(0), 0u);
}

}  // namespace

namespace {

TEST(PackageBuilder, NamesTheReaderWouldRefuseAreNotAdded) {
  TempFolder temp;
  temp.WriteFile(u"a.txt", "a");
  temp.MakeFolder(u"sub");
  std::u16string deep = u"d";
  while (deep.size() < 1100) deep += u"/" + std::u16string(200, u'n');
  const std::u16string deepFile = temp.WriteFile(deep + u"/f.txt", "f");

  auto builder = NewBuilder();
  EXPECT_EQ(builder->AddFile(temp.Path(u"sub/../a.txt"), temp.path()), 0);
  EXPECT_EQ(builder->AddFile(deepFile, temp.path()), 0);
  EXPECT_EQ(builder->GetEntryCount(), 0);
  EXPECT_TRUE(builder->GetSourcePath(0).empty());
  EXPECT_EQ(builder->AddFile(temp.Path(u"a.txt"), temp.path()), 1);
}

TEST(PackageBuilder, AddFolderCountsTheFilesItCouldNotAdd) {
  TempFolder temp;
  auto builder = NewBuilder();
  for (int i = 0; builder->GetEntryCount() < package::kTableCapacity - 1; ++i) {
    ASSERT_EQ(builder->AddFile(temp.WriteFile(u"fill/" + testing_support::U16(std::to_string(i)), ""),
                               temp.path()),
              1);
  }
  temp.WriteFile(u"F/a", "");
  temp.WriteFile(u"F/b", "");
  temp.WriteFile(u"F/c", "");
  EXPECT_EQ(builder->AddFolder(temp.Path(u"F"), temp.path(), u""), 2);
  EXPECT_EQ(builder->GetEntryCount(), package::kTableCapacity);
}

}  // namespace

namespace {

TEST(PackageBuilder, AddFolderFollowsNoFolderLinksAndNoEmptyPath) {
  TempFolder temp;
  temp.WriteFile(u"F/d/f.txt", "f");
  std::error_code error;
  std::filesystem::create_directory_symlink(std::filesystem::path(temp.Path(u"F")),
                                            std::filesystem::path(temp.Path(u"F/d/up")), error);
  if (error) GTEST_SKIP() << "folder links cannot be made here: " << error.message();

  auto builder = NewBuilder();
  EXPECT_EQ(builder->AddFolder(temp.Path(u"F"), temp.Path(u"F"), u""), 0);
  EXPECT_EQ(StoredNames(*builder), (std::vector<std::u16string>{Joined({u"d", u"f.txt"})}));

  const std::u16string original = platform::GetCurrentFolder();
  ASSERT_TRUE(platform::SetCurrentFolder(temp.Path(u"F")));
  EXPECT_EQ(builder->AddFolder(u"", u"", u""), 0);
  platform::SetCurrentFolder(original);
  EXPECT_EQ(builder->GetEntryCount(), 1);
}

}  // namespace
