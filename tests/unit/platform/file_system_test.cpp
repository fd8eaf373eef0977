#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/file.h"
#include "tests/support/temp_folder.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using platform::File;
using platform::FileAccess;
using platform::FileCreation;
using platform::FileErrorCause;
using platform::FileErrorInfo;
using platform::FileShare;
using platform::FoundFile;
using platform::kPathSeparator;
using testing_support::MakeSymbolicLink;
using testing_support::TempFolder;
using testing_support::U16;
using testing_support::U8;

const std::u16string kSep(1, kPathSeparator);

// Puts the current folder back when the test ends. Declare it after the
// TempFolder: Windows removes no folder that is some process's current one.
class CurrentFolderGuard {
 public:
  CurrentFolderGuard() : saved_(platform::GetCurrentFolder()) {}
  ~CurrentFolderGuard() { EXPECT_TRUE(platform::SetCurrentFolder(saved_)); }

 private:
  std::u16string saved_;
};

// Whether two paths name one folder; a trailing separator is allowed (the
// Windows C runtime cannot stat a path that ends in one).
bool SameFolder(std::u16string a, std::u16string b) {
  for (std::u16string* path : {&a, &b}) {
    if (path->size() > 1 && path->back() == kPathSeparator) path->pop_back();
  }
  std::error_code error;
  return std::filesystem::equivalent(std::filesystem::path(a), std::filesystem::path(b), error);
}

// Wine run by root opens a read-only file for writing and cuts it, where
// Windows refuses; wine leaves that refusal to the Unix permissions, which
// root passes. (Run by anyone else, wine refuses as Windows does.)
bool UnderWine() {
#ifdef _WIN32
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

// Everything a search finds, by name, without "." and ".."; a name found
// twice fails the test. Also checks that an ended search stays ended.
std::map<std::u16string, FoundFile> SearchAll(const std::u16string& pattern) {
  std::map<std::u16string, FoundFile> found;
  platform::DirectorySearch search(pattern);
  FoundFile file;
  while (search.Next(file)) {
    if (file.name == u"." || file.name == u"..") continue;
    EXPECT_TRUE(found.emplace(file.name, file).second) << "twice: " << U8(file.name);
  }
  EXPECT_FALSE(search.Next(file));
  return found;
}

std::set<std::u16string> Names(const std::map<std::u16string, FoundFile>& found) {
  std::set<std::u16string> names;
  for (const auto& [name, file] : found) names.insert(name);
  return names;
}

TEST(AttributesTest, OfFileFolderAndNothing) {
  TempFolder temp;
  const std::u16string file = temp.WriteFile(u"file.txt", "x");
  const std::u16string folder = temp.MakeFolder(u"folder");

  const auto fileAttributes = platform::GetAttributes(file);
  ASSERT_TRUE(fileAttributes.has_value());
  EXPECT_FALSE(*fileAttributes & platform::kAttributeDirectory);
  EXPECT_FALSE(*fileAttributes & platform::kAttributeReadOnly);

  const auto folderAttributes = platform::GetAttributes(folder);
  ASSERT_TRUE(folderAttributes.has_value());
  EXPECT_TRUE(*folderAttributes & platform::kAttributeDirectory);

  EXPECT_FALSE(platform::GetAttributes(temp.Path(u"missing")).has_value());
  EXPECT_FALSE(platform::GetAttributes(temp.Path(u"missing/file.txt")).has_value());
  EXPECT_FALSE(platform::SetAttributes(temp.Path(u"missing"), platform::kAttributeReadOnly));
}

// A read-only file can be read but neither written, cut nor deleted, also
// by a privileged user, until the attribute is taken away again.
TEST(AttributesTest, ReadOnlyFileRefusesChangesUntilCleared) {
  TempFolder temp;
  const std::u16string path = temp.WriteFile(u"locked.txt", "contents");
  ASSERT_TRUE(platform::SetAttributes(path, platform::kAttributeReadOnly));
  const auto attributes = platform::GetAttributes(path);
  ASSERT_TRUE(attributes.has_value());
  EXPECT_TRUE(*attributes & platform::kAttributeReadOnly);

  struct Case {
    FileAccess access;
    FileCreation creation;
  };
  const Case refused[] = {
      {FileAccess::kWrite, FileCreation::kOpenExisting},
      {FileAccess::kReadWrite, FileCreation::kOpenAlways},
      {FileAccess::kRead, FileCreation::kCreateAlways},
  };
  const bool checkOpens = !UnderWine();
  if (!checkOpens) std::printf("note: under wine, opening a read-only file is not checked\n");
  for (const Case& c : refused) {
    if (!checkOpens) break;
    SCOPED_TRACE(testing::Message() << "access " << static_cast<int>(c.access) << ", creation "
                                    << static_cast<int>(c.creation));
    File file;
    FileErrorInfo error;
    EXPECT_FALSE(file.Open(path, c.access, c.creation, FileShare::kReadWrite, &error));
    EXPECT_EQ(error.cause, FileErrorCause::kAccessDenied);
  }
  EXPECT_FALSE(platform::RemoveFile(path));
  EXPECT_EQ(testing_support::ReadWholeFile(path), "contents");

  ASSERT_TRUE(platform::SetAttributes(path, platform::kAttributeNormal));
  const auto cleared = platform::GetAttributes(path);
  ASSERT_TRUE(cleared.has_value());
  EXPECT_FALSE(*cleared & platform::kAttributeReadOnly);
  File file;
  EXPECT_TRUE(file.Open(path, FileAccess::kWrite, FileCreation::kOpenExisting, FileShare::kNone));
  file.Close();
  EXPECT_TRUE(platform::RemoveFile(path));
}

TEST(FileExistsTest, IsTrueForFilesAndFoldersAndFalseForNothing) {
  TempFolder temp;
  const std::u16string file = temp.WriteFile(u"a.txt", "x");
  EXPECT_TRUE(platform::FileExists(file));
  EXPECT_TRUE(platform::FileExists(temp.path()));
  EXPECT_FALSE(platform::FileExists(temp.Path(u"missing.txt")));
  EXPECT_FALSE(platform::FileExists(u""));

  // Held open without sharing, the file still exists.
  platform::File held;
  ASSERT_TRUE(held.Open(file, platform::FileAccess::kReadWrite,
                        platform::FileCreation::kOpenExisting, platform::FileShare::kNone));
  EXPECT_TRUE(platform::FileExists(file));
}

TEST(FoldersTest, CreateAndRemove) {
  TempFolder temp;
  const std::u16string folder = temp.Path(u"new");
  EXPECT_TRUE(platform::CreateFolder(folder));
  const auto attributes = platform::GetAttributes(folder);
  ASSERT_TRUE(attributes.has_value());
  EXPECT_TRUE(*attributes & platform::kAttributeDirectory);
  EXPECT_FALSE(platform::CreateFolder(folder));
  EXPECT_FALSE(platform::CreateFolder(temp.Path(u"missing/child")));
  EXPECT_FALSE(platform::GetAttributes(temp.Path(u"missing")).has_value());

  const std::u16string inside = temp.WriteFile(u"new/inside.txt", "x");
  EXPECT_FALSE(platform::RemoveFolder(folder));
  EXPECT_FALSE(platform::RemoveFile(folder));
  EXPECT_TRUE(platform::GetAttributes(folder).has_value());

  EXPECT_TRUE(platform::RemoveFile(inside));
  EXPECT_FALSE(platform::GetAttributes(inside).has_value());
  EXPECT_FALSE(platform::RemoveFile(inside));

  EXPECT_TRUE(platform::RemoveFolder(folder));
  EXPECT_FALSE(platform::GetAttributes(folder).has_value());
  EXPECT_FALSE(platform::RemoveFolder(folder));
}

TEST(CurrentFolderTest, SetAndGetRoundTrip) {
  TempFolder temp;
  const std::u16string file = temp.WriteFile(u"marker.txt", "x");
  CurrentFolderGuard guard;

  ASSERT_TRUE(platform::SetCurrentFolder(temp.path()));
  const std::u16string current = platform::GetCurrentFolder();
  EXPECT_TRUE(SameFolder(current, temp.path())) << U8(current);
  EXPECT_TRUE(platform::GetAttributes(u"marker.txt").has_value());

  EXPECT_FALSE(platform::SetCurrentFolder(temp.Path(u"missing")));
  EXPECT_FALSE(platform::SetCurrentFolder(file));
  EXPECT_EQ(platform::GetCurrentFolder(), current);
}

TEST(FullPathTest, ResolvesByTheTextAlone) {
  TempFolder temp;
  CurrentFolderGuard guard;
  ASSERT_TRUE(platform::SetCurrentFolder(temp.path()));
  const std::u16string cwd = platform::GetCurrentFolder();
  ASSERT_FALSE(cwd.empty());
  const std::u16string root = cwd.substr(0, cwd.find(kPathSeparator) + 1);
  const std::u16string& s = kSep;

  struct Case {
    std::u16string path;
    std::u16string full;
  };
  const Case cases[] = {
      {u"name", cwd + s + u"name"},
      {u".", cwd},
      {u"a" + s + u"." + s + u"b", cwd + s + u"a" + s + u"b"},
      {u"a" + s + u".." + s + u"b", cwd + s + u"b"},
      {u"a" + s + s + u"b", cwd + s + u"a" + s + u"b"},
      {u"a" + s, cwd + s + u"a" + s},
      {u"a" + s + u"b" + s + u".." + s, cwd + s + u"a" + s},
      {cwd + s + u"x" + s + s + u"y", cwd + s + u"x" + s + u"y"},
      {cwd + s + u"x" + s + u"..", cwd},
      {cwd + s + u"x" + s + u"." + s, cwd + s + u"x" + s},
      {root + u".." + s + u".." + s + u"y", root + u"y"},
      {u"missing" + s + u"*.*", cwd + s + u"missing" + s + u"*.*"},
      {u"", u""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(U8(platform::GetFullPath(c.path)), U8(c.full)) << "for " << U8(c.path);
  }
}

TEST(ModulePathTest, NamesTheRunningProgram) {
  const std::u16string path = platform::GetModulePath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(platform::GetFullPath(path), path);
  EXPECT_NE(path.find(u"platform_test"), std::u16string::npos) << U8(path);
  const auto attributes = platform::GetAttributes(path);
  ASSERT_TRUE(attributes.has_value());
  EXPECT_FALSE(*attributes & platform::kAttributeDirectory);
}

TEST(FreeDiskSpaceTest, TempFolderHasRoom) {
  TempFolder temp;
  const auto space = platform::GetFreeDiskSpace(temp.path());
  ASSERT_TRUE(space.has_value());
  EXPECT_GT(*space, 0u);
}

// a.txt (5 bytes), noext (3), .hidden (1), b.txt.bak (2), a non-ASCII name
// (4) and the folder sub.
class DirectorySearchTest : public testing::Test {
 protected:
  const std::u16string kUnicodeName = U16("\xC3\xBCn\xC3\xAF \xE2\x82\xAC \xF0\x9F\x98\x80.txt");

  void SetUp() override {
    temp_.WriteFile(u"a.txt", "hello");
    temp_.WriteFile(u"noext", "abc");
    temp_.WriteFile(u".hidden", "x");
    temp_.WriteFile(u"b.txt.bak", "12");
    temp_.WriteFile(kUnicodeName, "four");
    temp_.MakeFolder(u"sub");
  }

  TempFolder temp_;
};

TEST_F(DirectorySearchTest, WildcardsSelectNames) {
  const std::set<std::u16string> all = {u"a.txt",     u"noext",     u".hidden",
                                        u"b.txt.bak", kUnicodeName, u"sub"};
  struct Case {
    std::u16string name;
    std::set<std::u16string> expected;
  };
  const Case cases[] = {
      {u"*.*", all},          {u"*", all},          {u"*.txt", {u"a.txt", kUnicodeName}},
      {u"?oext", {u"noext"}}, {u"a.*", {u"a.txt"}}, {u"*.bak", {u"b.txt.bak"}},
      {u".*", {u".hidden"}},  {u"*.none", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(U8(c.name));
    EXPECT_EQ(Names(SearchAll(temp_.path() + kSep + c.name)), c.expected);
  }
}

TEST_F(DirectorySearchTest, EntriesCarryPathSizeAndKind) {
  const std::map<std::u16string, std::uint64_t> sizes = {
      {u"a.txt", 5}, {u"noext", 3}, {u".hidden", 1}, {u"b.txt.bak", 2}, {kUnicodeName, 4}};
  const auto found = SearchAll(temp_.path() + kSep + u"*.*");
  for (const auto& [name, file] : found) {
    SCOPED_TRACE(U8(name));
    EXPECT_EQ(file.fullPath, temp_.path() + kSep + name);
    if (name == u"sub") {
      EXPECT_TRUE(file.IsDirectory());
    } else {
      EXPECT_FALSE(file.IsDirectory());
      ASSERT_EQ(sizes.count(name), 1u);
      EXPECT_EQ(file.size, sizes.at(name));
    }
  }
  EXPECT_EQ(found.size(), sizes.size() + 1);
}

TEST_F(DirectorySearchTest, RelativePatternGivesAbsolutePaths) {
  const std::size_t cut = temp_.path().rfind(kPathSeparator);
  const std::u16string parent = temp_.path().substr(0, cut);
  const std::u16string folderName = temp_.path().substr(cut + 1);
  struct Case {
    std::u16string enter;
    std::u16string folder;  // the pattern's folder part, relative to `enter`
    std::function<std::u16string(const std::u16string& cwd)> prefix;
  };
  const Case cases[] = {
      {parent, folderName + kSep,
       [&](const std::u16string& cwd) { return cwd + kSep + folderName + kSep; }},
      {temp_.path(), u"", [](const std::u16string& cwd) { return cwd + kSep; }},
      {temp_.Path(u"sub"), u".." + kSep,
       [](const std::u16string& cwd) { return cwd.substr(0, cwd.rfind(kPathSeparator) + 1); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(U8(c.enter) + " with " + U8(c.folder));
    CurrentFolderGuard guard;
    ASSERT_TRUE(platform::SetCurrentFolder(c.enter));
    const std::u16string prefix = c.prefix(platform::GetCurrentFolder());
    const auto found = SearchAll(c.folder + u"a.*");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found.begin()->second.fullPath, prefix + u"a.txt");
    EXPECT_TRUE(SameFolder(prefix, temp_.path()));
  }
}

TEST_F(DirectorySearchTest, NameWithoutWildcardsFindsJustThatEntry) {
  struct Case {
    std::u16string name;
    bool directory;
    std::uint64_t size;
  };
  const Case cases[] = {
      {u"a.txt", false, 5},
      {u"noext", false, 3},
      {kUnicodeName, false, 4},
      {u"sub", true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(U8(c.name));
    const auto found = SearchAll(temp_.Path(c.name));
    ASSERT_EQ(found.size(), 1u);
    const FoundFile& file = found.begin()->second;
    EXPECT_EQ(file.name, c.name);
    EXPECT_EQ(file.fullPath, temp_.Path(c.name));
    EXPECT_EQ(file.IsDirectory(), c.directory);
    if (!c.directory) {
      EXPECT_EQ(file.size, c.size);
    }
  }
  EXPECT_TRUE(SearchAll(temp_.Path(u"missing.txt")).empty());
}

TEST_F(DirectorySearchTest, FailsOnlyWhenTheFolderCannotBeListed) {
  struct Case {
    std::u16string pattern;
    bool failed;
  };
  const Case cases[] = {
      {temp_.Path(u"missing") + kSep + u"*.*", true},
      {temp_.Path(u"missing/a.txt"), true},
      {temp_.Path(u"a.txt") + kSep + u"*.*", true},
      {temp_.Path(u"a.txt/noext"), true},
      {temp_.Path(u"*.none"), false},
      {temp_.Path(u"missing.txt"), false},
      {temp_.Path(u"sub") + kSep + u"*.*", false},  // an empty folder
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(U8(c.pattern));
    platform::DirectorySearch search(c.pattern);
    FoundFile file;
    while (search.Next(file)) {
      EXPECT_TRUE(file.name == u"." || file.name == u"..") << U8(file.name);
    }
    EXPECT_EQ(search.failed(), c.failed);
  }
}

// Every kind of link is a reparse point, beside what it points to, in a
// search and in its attributes alike; none is a plain file.
TEST(DirectorySearchKindsTest, LinksAreReparsePoints) {
  TempFolder temp;
  temp.WriteFile(u"target.txt", "hello");
  temp.MakeFolder(u"folder");
  struct Case {
    std::u16string name;
    std::u16string target;
    bool folder;
  };
  const Case cases[] = {
      {u"to-file", temp.Path(u"target.txt"), false},
      {u"to-folder", temp.Path(u"folder"), true},
      {u"dangling", temp.Path(u"missing.txt"), false},
  };
  for (const Case& c : cases) {
    const bool made = MakeSymbolicLink(temp.Path(c.name), c.target, c.folder);
#ifdef _WIN32
    if (!made) GTEST_SKIP() << "this system makes no symbolic links (wine reports one made)";
#endif
    ASSERT_TRUE(made) << U8(c.name);
  }
  const auto found = SearchAll(temp.path() + kSep + u"*");
  for (const Case& c : cases) {
    SCOPED_TRACE(U8(c.name));
    ASSERT_EQ(found.count(c.name), 1u);
    const FoundFile& file = found.at(c.name);
    EXPECT_TRUE(file.IsLink());
    EXPECT_FALSE(file.IsPlainFile());
    EXPECT_EQ(file.IsDirectory(), c.folder);
    EXPECT_EQ(platform::GetAttributes(file.fullPath), file.attributes);
#ifndef _WIN32
    // Windows gives a link's own attributes; here they are its target's.
    if (c.name == u"dangling") {
      EXPECT_EQ(file.attributes, platform::kAttributeReparsePoint);
    }
    if (c.name == u"to-file") {
      EXPECT_EQ(file.size, 5u);
    }
#endif
  }
  EXPECT_TRUE(found.at(u"target.txt").IsPlainFile());
  EXPECT_FALSE(found.at(u"folder").IsLink());
}

#ifndef _WIN32
TEST(DirectorySearchKindsTest, FifoIsADeviceAndABadNameIsUnreadable) {
  TempFolder temp;
  ASSERT_EQ(::mkfifo(U8(temp.Path(u"pipe")).c_str(), 0666), 0);
  const std::string badName = "bad\xFF\xFEname";
  const int fd = ::open((U8(temp.path()) + "/" + badName).c_str(), O_WRONLY | O_CREAT, 0666);
  ASSERT_GE(fd, 0);
  ::close(fd);
  temp.WriteFile(u"good", "x");

  const auto found = SearchAll(temp.path() + kSep + u"*");
  ASSERT_EQ(found.size(), 3u);
  const FoundFile& pipe = found.at(u"pipe");
  EXPECT_EQ(pipe.attributes & platform::kAttributeDevice, platform::kAttributeDevice);
  EXPECT_FALSE(pipe.IsPlainFile());
  EXPECT_EQ(platform::GetAttributes(pipe.fullPath), pipe.attributes);
  EXPECT_TRUE(found.at(u"good").IsPlainFile());
  EXPECT_TRUE(found.at(u"good").nameReadable);

  const FoundFile& bad = found.at(U16(badName));
  EXPECT_FALSE(bad.nameReadable);
  EXPECT_EQ(bad.name, u"bad\uFFFD\uFFFDname");
}
#endif

// DeleteTree empties a tree of files, read-only files and nested folders,
// and removes the links inside it as links: what a link points to, outside
// the tree, is left as it was.
TEST(DeleteTreeTest, EmptiesTheFolderAndNeverFollowsALink) {
  struct Case {
    const char* what;
    std::function<std::shared_ptr<void>(const TempFolder&)> make;  // what it holds stays held
    int expected;
    std::set<std::u16string> left;  // the tree's children afterwards
  };
  const auto link = [](const TempFolder& t, std::u16string_view name, std::u16string_view target,
                       bool folder) {
    if (!MakeSymbolicLink(t.Path(u"tree/" + std::u16string(name)), t.Path(target), folder)) {
      throw std::runtime_error("no links");
    }
  };
  const Case cases[] = {
      {"empty", [](const TempFolder&) { return nullptr; }, 0, {}},
      {"files, read-only files and nested folders",
       [](const TempFolder& t) {
         t.WriteFile(u"tree/a.txt", "a");
         t.MakeFolder(u"tree/empty");
         platform::SetAttributes(t.WriteFile(u"tree/ro.txt", "r"), platform::kAttributeReadOnly);
         platform::SetAttributes(t.WriteFile(u"tree/x/y/z/deep.txt", "d"),
                                 platform::kAttributeReadOnly);
         t.WriteFile(u"tree/x/y/other.bin", std::string(5000, 'o'));
         return nullptr;
       },
       0,
       {}},
      {"link to a folder outside",
       [&](const TempFolder& t) {
         link(t, u"to-folder", u"outside", true);
         return nullptr;
       },
       0,
       {}},
      {"link to a read-only file outside, in a nested folder",
       [&](const TempFolder& t) {
         t.MakeFolder(u"tree/sub");
         link(t, u"sub/to-file", u"outside/keep.txt", false);
         return nullptr;
       },
       0,
       {}},
      {"dangling link",
       [&](const TempFolder& t) {
         link(t, u"dangling", u"missing", false);
         return nullptr;
       },
       0,
       {}},
#ifdef _WIN32
      // Windows deletes no file that another handle holds open without
      // sharing its deletion; POSIX deletes it.
      {"a file held open",
       [](const TempFolder& t) {
         auto file = std::make_shared<File>();
         EXPECT_TRUE(file->Open(t.WriteFile(u"tree/held.txt", "h"), FileAccess::kRead,
                                FileCreation::kOpenExisting, FileShare::kReadWrite));
         return std::shared_ptr<void>(file);
       },
       -1,
       {u"held.txt"}},
#endif
  };
  bool linksSkipped = false;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder temp;
    const std::u16string tree = temp.MakeFolder(u"tree");
    temp.WriteFile(u"outside/keep.txt", "kept");
    platform::SetAttributes(temp.Path(u"outside/keep.txt"), platform::kAttributeReadOnly);
    std::shared_ptr<void> held;
    try {
      held = c.make(temp);
    } catch (const std::runtime_error&) {
      ASSERT_TRUE(UnderWine()) << "this system makes no symbolic links";
      linksSkipped = true;
      continue;
    }
    EXPECT_EQ(platform::DeleteTree(tree), c.expected);
    held.reset();
    EXPECT_TRUE(platform::FileExists(tree)) << "the folder itself stays";
    EXPECT_EQ(Names(SearchAll(tree + kSep + u"*")), c.left);
    EXPECT_EQ(testing_support::ReadWholeFile(temp.Path(u"outside/keep.txt")), "kept");
    EXPECT_EQ(platform::GetAttributes(temp.Path(u"outside/keep.txt")).value_or(0) &
                  platform::kAttributeReadOnly,
              platform::kAttributeReadOnly)
        << "a link's target keeps its attributes";
  }
  if (linksSkipped) {
    GTEST_SKIP() << "the rows with links did not run: wine's CreateSymbolicLinkW reports "
                    "success and makes nothing";
  }
}

// A folder that is missing, is a file or is itself a link is not entered.
TEST(DeleteTreeTest, RefusesWhatIsNoFolder) {
  TempFolder temp;
  temp.WriteFile(u"outside/keep.txt", "kept");
  EXPECT_EQ(platform::DeleteTree(temp.Path(u"missing")), -1);
  EXPECT_EQ(platform::DeleteTree(temp.WriteFile(u"file.txt", "f")), -1);
  if (!MakeSymbolicLink(temp.Path(u"link"), temp.Path(u"outside"), true)) {
    if (UnderWine()) GTEST_SKIP() << "wine makes no symbolic links (it reports one made)";
    FAIL() << "this system makes no symbolic links";
  }
  EXPECT_EQ(platform::DeleteTree(temp.Path(u"link")), -1);
  EXPECT_EQ(testing_support::ReadWholeFile(temp.Path(u"outside/keep.txt")), "kept");
}

}  // namespace
