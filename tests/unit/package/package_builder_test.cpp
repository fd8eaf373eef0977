#include "package/package_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "platform/file.h"
#include "platform/file_system.h"
#include "tests/support/temp_folder.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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

TEST(PackageEntry, StoredNameIsThePathWithoutItsRoot) {
  TempFolder temp;
  const std::u16string path = temp.WriteFile(u"Out/Data/setup.ini", "12345");
  const std::u16string out = temp.Path(u"Out");
  std::u16string otherCase = out;
  for (char16_t& c : otherCase) c = c >= u'a' && c <= u'z' ? char16_t(c - 32) : c;
  constexpr bool kWindows = kPathSeparator == u'\\';
  struct Case {
    const char* what;
    std::u16string root;
    std::optional<std::u16string> storedName;  // nothing: the file cannot be added
  };
  const Case cases[] = {
      {"root and separator cut", out, Joined({u"Data", u"setup.ini"})},
      {"a root that ends with a separator is cut with it", out + kPathSeparator,
       Joined({u"Data", u"setup.ini"})},
      {"a root in another letter case leads the path on Windows only", otherCase,
       kWindows ? std::optional<std::u16string>(Joined({u"Data", u"setup.ini"})) : std::nullopt},
      {"a root that is not the leading part", std::u16string(out.size(), u'X'), std::nullopt},
      {"a root that stops inside a folder's name", out.substr(0, out.size() - 1), std::nullopt},
      {"a root one shorter than the path", path.substr(0, path.size() - 1), std::nullopt},
      {"a root as long as the path", path, std::nullopt},
      {"a root longer than the path", path + u"xyz", std::nullopt},
      {"the empty root cuts a leading separator only", u"",
       kWindows ? std::nullopt : std::optional<std::u16string>(path.substr(1))},
  };
  for (const Case& c : cases) {
    PackageEntry entry;
    entry.storedName = u"preset";
    EXPECT_EQ(entry.LoadFromFile(path, c.root), c.storedName ? 1 : 0) << c.what;
    EXPECT_EQ(entry.storedName, c.storedName.value_or(u"preset")) << c.what;
    if (c.storedName) {
      EXPECT_EQ(entry.size, 5u) << c.what;
    }
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
            (std::vector<std::u16string>{
                Joined({u"data", u"a.txt"}), Joined({u"data", u"empty.bin"}),
                Joined({u"data", u"\u00e4.txt"}), Joined({u"data", u"\u00c4.txt"})}));
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

TEST(PackageBuilder, AddFolderOfNothingAddsNothingAndAMissingFolderCountsOne) {
  TempFolder temp;
  temp.MakeFolder(u"tree/a/b");
  temp.WriteFile(u"file", "");
  auto builder = NewBuilder();
  EXPECT_EQ(builder->AddFolder(temp.Path(u"tree"), temp.path(), u""), 0);
  EXPECT_EQ(builder->AddFolder(temp.Path(u"missing"), temp.path(), u""), 1);
  EXPECT_EQ(builder->AddFolder(temp.Path(u"file"), temp.path(), u""), 1);
  EXPECT_EQ(builder->GetEntryCount(), 0);
}

TEST(PackageBuilder, TwoFilesUnderOneStoredNameAreNeverBothAdded) {
  TempFolder temp;
  const std::u16string r1 = temp.WriteFile(u"r1/x.txt", "one");
  const std::u16string r2 = temp.WriteFile(u"r2/x.txt", "two");
  const std::u16string upper = temp.WriteFile(u"r2/X.TXT", "three");
  auto builder = NewBuilder();
  EXPECT_EQ(builder->AddFile(r1, temp.Path(u"r1")), 1);
  EXPECT_EQ(builder->AddFile(r2, temp.Path(u"r2")), 0);
  EXPECT_EQ(builder->AddFile(upper, temp.Path(u"r2")), 0);
  // The same file by another path, under the same name, is there already.
  EXPECT_EQ(builder->AddFile(temp.Path(u"r1/./x.txt"), temp.Path(u"r1/.")), 1);
  EXPECT_EQ(builder->GetEntryCount(), 1);
  EXPECT_EQ(builder->GetSourcePath(0), r1);

  // Within one folder walk, and across two walks with their own roots.
  temp.WriteFile(u"w1/sub/a.txt", "a");
  temp.WriteFile(u"w2/sub/A.txt", "A");
  EXPECT_EQ(builder->AddFolder(temp.Path(u"w1"), temp.Path(u"w1"), u""), 0);
  EXPECT_EQ(builder->AddFolder(temp.Path(u"w2"), temp.Path(u"w2"), u""), 1);
  EXPECT_EQ(builder->GetEntryCount(), 2);
}

TEST(PackageBuilder, AddFolderTakesARelativeRootFromTheCurrentFolder) {
  TempFolder temp;
  temp.WriteFile(u"rel/sub/one.txt", "1");
  const std::u16string original = platform::GetCurrentFolder();
  ASSERT_TRUE(platform::SetCurrentFolder(temp.path()));
  auto builder = NewBuilder();
  const int notAdded = builder->AddFolder(u"rel", u"rel", u"");
  platform::SetCurrentFolder(original);
  EXPECT_EQ(notAdded, 0);
  EXPECT_EQ(StoredNames(*builder), (std::vector<std::u16string>{Joined({u"sub", u"one.txt"})}));
}

TEST(PackageBuilder, ThePackageBeingWrittenIsNoSourceOfItself) {
  TempFolder temp;
  temp.WriteFile(u"F/a.txt", "a");
  const std::u16string target = temp.WriteFile(u"F/Product.exe", "the previous package");
  auto builder = NewBuilder();
  builder->LeaveOutOfFolders(target);
  EXPECT_EQ(builder->AddFolder(temp.Path(u"F"), temp.Path(u"F"), u""), 0);
  EXPECT_EQ(StoredNames(*builder), std::vector<std::u16string>{u"a.txt"});
  EXPECT_EQ(builder->FindSource(target), -1);

  // Named on its own, it is a source, and FindSource finds it by identity
  // whatever the spelling.
  EXPECT_EQ(builder->AddFile(target, temp.Path(u"F")), 1);
  EXPECT_EQ(builder->FindSource(temp.Path(u"F/./Product.exe")), 1);
  EXPECT_EQ(builder->FindSource(temp.Path(u"F/missing.exe")), -1);
}

TEST(PackageBuilder, SourcesOfTwoGibibytesAreRefused) {
  TempFolder temp;
  auto builder = NewBuilder();
  struct Case {
    const char16_t* name;
    std::uint64_t length;
    int added;
  };
  for (const Case& c :
       {Case{u"largest.bin", 0x7FFFFFFFu, 1}, Case{u"too-large.bin", 0x80000000u, 0}}) {
    platform::File file;
    ASSERT_TRUE(file.Open(temp.Path(c.name), platform::FileAccess::kWrite,
                          platform::FileCreation::kCreateAlways, platform::FileShare::kReadWrite));
    file.Seek(static_cast<std::int64_t>(c.length - 1), platform::SeekOrigin::kBegin);  // sparse
    file.Write("x", 1);
    file.Close();
    EXPECT_EQ(builder->AddFile(temp.Path(c.name), temp.path()), c.added) << U8(c.name);
  }
  EXPECT_EQ(builder->GetSize(0), 0x7FFFFFFFu);
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
    ASSERT_EQ(
        builder->AddFile(temp.WriteFile(u"fill/" + testing_support::U16(std::to_string(i)), ""),
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

#ifndef _WIN32
namespace {

// What only a POSIX file system can hold: pipes, names that are not UTF-8,
// links to files.
TEST(PackageBuilder, OnlyPlainFilesWithReadableNamesArePacked) {
  TempFolder temp;
  const std::string folder = U8(temp.MakeFolder(u"F"));
  temp.WriteFile(u"F/plain.txt", "plain");
  temp.WriteFile(u"outside.txt", "outside");
  ASSERT_EQ(::mkfifo((folder + "/pipe").c_str(), 0600), 0);
  ASSERT_EQ(::symlink(U8(temp.Path(u"outside.txt")).c_str(), (folder + "/filelink").c_str()), 0);
  ASSERT_EQ(::symlink((folder + "/gone").c_str(), (folder + "/dangling").c_str()), 0);
  const int bad = ::open((folder + "/bad\xFFname").c_str(), O_WRONLY | O_CREAT, 0600);
  ASSERT_GE(bad, 0);
  ::close(bad);
  // A file named U+FFFD, which the bad name would turn into.
  temp.WriteFile(u"F/bad\uFFFDname", "another file");
  ASSERT_EQ(::mkdir((folder + "/bad\xFE"
                              "folder")
                        .c_str(),
                    0700),
            0);

  auto builder = NewBuilder();
  // pipe, filelink, dangling, the bad file name and the bad folder name.
  EXPECT_EQ(builder->AddFolder(temp.Path(u"F"), temp.Path(u"F"), u""), 5);
  std::vector<std::u16string> names = StoredNames(*builder);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::u16string>{u"bad\uFFFDname", u"plain.txt"}));

  // Named on its own, a pipe is refused at once instead of waiting for a writer.
  EXPECT_EQ(builder->AddFile(temp.Path(u"F/pipe"), temp.path()), 0);
}

TEST(PackageBuilder, AnUnreadableFolderCountsOne) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every folder";
  TempFolder temp;
  temp.WriteFile(u"F/locked/a.txt", "a");
  temp.WriteFile(u"F/b.txt", "b");
  ASSERT_EQ(::chmod(U8(temp.Path(u"F/locked")).c_str(), 0), 0);
  auto builder = NewBuilder();
  EXPECT_EQ(builder->AddFolder(temp.Path(u"F"), temp.Path(u"F"), u""), 1);
  ::chmod(U8(temp.Path(u"F/locked")).c_str(), 0700);
  EXPECT_EQ(StoredNames(*builder), std::vector<std::u16string>{u"b.txt"});
}

}  // namespace
#endif
