#include "extractor/services/service_rules.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace {

using namespace extractor::services;
using testing_support::U16;
using testing_support::U8;

// A disk of folders whose names are in their short form; the lookup gives
// the long name of an existing entry whatever the case or form it is asked
// in, as a directory search does.
struct FakeDisk {
  // short (upper case) path -> long name of its last component
  std::vector<std::pair<std::u16string, std::u16string>> entries;
  std::vector<std::u16string> asked;

  std::optional<std::u16string> Lookup(const std::u16string& pattern) {
    asked.push_back(pattern);
    std::u16string upper = pattern;
    for (char16_t& c : upper) {
      if (c >= u'a' && c <= u'z') c -= u'a' - u'A';
    }
    for (const auto& [path, name] : entries) {
      if (path == upper) return name;
    }
    return std::nullopt;
  }
};

TEST(LongPathNameTest, ReplacesEveryComponentAfterTheFirst) {
  struct Case {
    const char* path;
    const char* expected;
  };
  const Case cases[] = {
      {"C:\\PROGRA~1\\MYPROD~1\\SETUP~1.EXE", "C:\\Program Files\\My Product\\setup file.exe"},
      {"C:\\progra~1\\myprod~1", "C:\\Program Files\\My Product"},
      {"C:\\PROGRA~1\\MYPROD~1\\", "C:\\Program Files\\My Product\\"},  // trailing separator kept
      {"C:\\", "C:\\"},
      {"c:\\PROGRA~1", "c:\\Program Files"},  // the first component stays as it is
      {"C:\\PROGRA~1\\MISSING\\SETUP~1.EXE", "C:\\PROGRA~1\\MISSING\\SETUP~1.EXE"},
      {"C:\\PROGRA~1\\MYPROD~1\\MISSING", "C:\\PROGRA~1\\MYPROD~1\\MISSING"},
      {"C:\\PROGRA~1\\\\MYPROD~1", "C:\\PROGRA~1\\\\MYPROD~1"},  // doubled separator
      {"C:\\PROGRA*\\MYPROD~1", "C:\\PROGRA*\\MYPROD~1"},        // a wildcard is no name
      {"C:\\PROGRA~1\\MYPROD~?", "C:\\PROGRA~1\\MYPROD~?"},
      {"no-separator", "no-separator"},
      {"", ""},
      {"\\\\server\\share\\PROGRA~1", "\\\\server\\share\\PROGRA~1"},  // empty second component
  };
  for (const Case& c : cases) {
    FakeDisk disk{{{u"C:\\PROGRA~1", u"Program Files"},
                   {u"C:\\PROGRAM FILES\\MYPROD~1", u"My Product"},
                   {u"C:\\PROGRAM FILES\\MY PRODUCT\\SETUP~1.EXE", u"setup file.exe"}},
                  {}};
    EXPECT_EQ(
        U8(LongPathName(U16(c.path), [&](const std::u16string& p) { return disk.Lookup(p); })),
        c.expected)
        << c.path;
  }
}

// Each component is searched in the path built so far, that is with the
// long names found before it.
TEST(LongPathNameTest, SearchesInTheLongPathBuiltSoFar) {
  FakeDisk disk{{{u"D:\\A~1", u"Alpha"}, {u"D:\\ALPHA\\B~1", u"Beta"}}, {}};
  EXPECT_EQ(LongPathName(u"D:\\A~1\\B~1", [&](const std::u16string& p) { return disk.Lookup(p); }),
            u"D:\\Alpha\\Beta");
  EXPECT_EQ(disk.asked, (std::vector<std::u16string>{u"D:\\A~1", u"D:\\Alpha\\B~1"}));
}

TEST(OutermostNewFolderTest, IsTheHighestMissingFolder) {
  struct Case {
    const char* path;
    std::set<std::u16string> existing;
    const char* expected;
  };
  const Case cases[] = {
      {"C:\\A\\B\\C", {u"C:", u"C:\\", u"C:\\A"}, "C:\\A\\B"},
      {"C:\\A\\B\\C", {u"C:\\", u"C:\\A", u"C:\\A\\B", u"C:\\A\\B\\C"}, "C:\\A\\B\\C"},
      {"C:\\A\\B\\C", {u"C:\\"}, "C:\\A"},
      {"C:\\A\\B\\C", {}, "C:\\A"},  // even without the drive: never the drive itself
      {"C:\\A", {}, "C:\\A"},
      {"C:\\A\\B\\C", {u"C:\\A\\B"}, "C:\\A\\B\\C"},
      {"C:", {}, "C:"},
      {"\\\\server\\share\\A\\B", {u"\\\\server\\share"}, "\\\\server\\share\\A"},
      // Never a share's server, nor the share itself cut apart.
      {"\\\\server\\share\\A\\B", {}, "\\\\server\\share"},
      {"\\\\server\\share", {}, "\\\\server\\share"},
      {"\\\\server", {}, "\\\\server"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(U8(OutermostNewFolder(
                  U16(c.path), [&](const std::u16string& p) { return c.existing.count(p) > 0; })),
              c.expected)
        << c.path;
  }
}

TEST(SplitOpenCommandTest, SplitsProgramAndArguments) {
  const std::u16string doc = u"C:\\My Docs\\read me.txt";
  struct Case {
    const char* what;
    const char16_t* command;
    const char16_t* program;  // nullptr: no command
    const char16_t* arguments;
  };
  const Case cases[] = {
      {"quoted program, quoted %1", u"\"C:\\Program Files\\Viewer\\view.exe\" \"%1\"",
       u"C:\\Program Files\\Viewer\\view.exe", u"\"C:\\My Docs\\read me.txt\""},
      {"quoted program, bare %1", u"\"C:\\Program Files\\Viewer\\view.exe\" %1",
       u"C:\\Program Files\\Viewer\\view.exe", u"\"C:\\My Docs\\read me.txt\""},
      {"quoted program, no blank before the arguments", u"\"C:\\v.exe\"/p \"%1\"", u"C:\\v.exe",
       u"/p \"C:\\My Docs\\read me.txt\""},
      {"%1 inside a quoted option", u"\"C:\\v.exe\" \"/open=%1\" /x", u"C:\\v.exe",
       u"\"/open=C:\\My Docs\\read me.txt\" /x"},
      {"bare %1 between options", u"C:\\v.exe /a %1 /b", u"C:\\v.exe",
       u"/a \"C:\\My Docs\\read me.txt\" /b"},
      {"no %1: the document follows", u"C:\\Tools\\v.EXE /p", u"C:\\Tools\\v.EXE",
       u"/p \"C:\\My Docs\\read me.txt\""},
      {"no arguments at all", u"\"C:\\v.exe\"", u"C:\\v.exe", u"\"C:\\My Docs\\read me.txt\""},
      {"first .exe, any case, ends the program", u"C:\\Program Files\\A.ExE\\b.exe %1",
       u"C:\\Program Files\\A.ExE", u"\\b.exe \"C:\\My Docs\\read me.txt\""},
      {"only the first %1 is replaced", u"C:\\v.exe \"%1\" %1", u"C:\\v.exe",
       u"\"C:\\My Docs\\read me.txt\" %1"},
      {"%SystemRoot% in any case", u"%systemroot%\\system32\\notepad.exe %1",
       u"C:\\Windows\\system32\\notepad.exe", u"\"C:\\My Docs\\read me.txt\""},
      {"quoted %SystemRoot%", u"\"%SystemRoot%\\notepad.exe\" \"%1\"", u"C:\\Windows\\notepad.exe",
       u"\"C:\\My Docs\\read me.txt\""},
      {"no .exe: up to the first blank", u"viewer %1", u"viewer", u"\"C:\\My Docs\\read me.txt\""},
      {"unclosed quote", u"\"C:\\v.exe %1", u"C:\\v.exe %1", u"\"C:\\My Docs\\read me.txt\""},
      {"empty", u"", nullptr, nullptr},
      {"empty quoted program", u"\"\" %1", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    const auto split = SplitOpenCommand(c.command, doc, std::u16string_view(u"C:\\Windows"));
    if (c.program == nullptr) {
      EXPECT_FALSE(split.has_value()) << c.what;
      continue;
    }
    ASSERT_TRUE(split.has_value()) << c.what;
    EXPECT_EQ(U8(split->program), U8(c.program)) << c.what;
    EXPECT_EQ(U8(split->arguments), U8(c.arguments)) << c.what;
  }
  // Without the variable the command cannot be used.
  EXPECT_FALSE(SplitOpenCommand(u"%SystemRoot%\\notepad.exe %1", doc, std::nullopt));
  EXPECT_TRUE(SplitOpenCommand(u"C:\\notepad.exe %1", doc, std::nullopt));
}

TEST(SplitOpenCommandTest, WhichFilesRunByThemselves) {
  struct Case {
    const char16_t* file;
    const char16_t* extension;
    bool itself;
  };
  const Case cases[] = {
      {u"C:\\a\\readme.txt", u".txt", false}, {u"C:\\a\\setup.EXE", u".EXE", true},
      {u"C:\\a\\run.Bat", u".Bat", true},     {u"C:\\a\\x.com", u".com", true},
      {u"C:\\a\\README", u"", true},          {u"C:\\my.dir\\README", u"", true},
      {u"C:\\a\\b.tar.gz", u".gz", false},    {u"C:\\a\\x.exe.txt", u".txt", false},
      {u"C:\\a\\trailing.", u".", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExtensionOf(c.file), c.extension) << U8(c.file);
    EXPECT_EQ(RunsByItself(c.file), c.itself) << U8(c.file);
  }
}

TEST(CommandTextsTest, CommandLinesAndCleanUpCommands) {
  EXPECT_EQ(CommandLine(u"C:\\Temp Dir\\setup.exe", u""), u"\"C:\\Temp Dir\\setup.exe\"");
  EXPECT_EQ(CommandLine(u"C:\\v.exe", u"\"C:\\a b.txt\""), u"\"C:\\v.exe\" \"C:\\a b.txt\"");
  EXPECT_EQ(CommandLine(u"\"C:\\v.exe\"", u"/x"), u"\"C:\\v.exe\" /x");

  EXPECT_EQ(DeleteFileCommand(u"C:\\Temp Dir\\readme.htm"),
            u"cmd.exe /C del \"C:\\Temp Dir\\readme.htm\"");
  EXPECT_EQ(DeleteFolderCommand(u"C:\\Temp Dir\\Product"),
            u"cmd.exe /C  RD /S /Q \"C:\\Temp Dir\\Product\"");

  struct Split {
    const char16_t* path;
    KeyAndValue expected;
  };
  const Split splits[] = {
      {u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\DeleteUnpacked",
       {u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce", u"DeleteUnpacked"}},
      {u"Key\\", {u"Key", u""}},
      {u"ValueOfRoot", {u"", u"ValueOfRoot"}},
  };
  for (const Split& s : splits) EXPECT_EQ(SplitKeyPathAndName(s.path), s.expected) << U8(s.path);
}

TEST(PackageNamesTest, ProductFolderAndInstaller) {
  struct Case {
    const char16_t* appName;
    const char16_t* product;
    const char16_t* folder;
  };
  const Case cases[] = {
      {u"", u"Default 1", u"Default 1"},
      {u"Fabric Tools.exe", u"Fabric Tools", u"Fabric Tools.exe"},
      {u"A.exe", u"A", u"A.exe"},
      {u".exe", u"Default 1", u".exe"},  // nothing is left for a name
      {u"ab", u"Default 1", u"ab"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProductName(c.appName, u"Default 1"), c.product) << U8(c.appName);
    EXPECT_EQ(FolderName(c.appName, u"Default 1"), c.folder) << U8(c.appName);
  }

  EXPECT_EQ(InstallerEntry(u"ShowReadMe.htm"), 1);
  EXPECT_EQ(InstallerEntry(u"docs\\ShowReadMe"), 1);
  EXPECT_EQ(InstallerEntry(u"setup.exe"), 0);
  EXPECT_EQ(InstallerEntry(u"showreadme.htm"), 0);  // the names are compared with case
}

TEST(FolderTextTest, ShapeSpaceRootAndMegabytes) {
  const std::set<std::u16string> existing = {u"\\\\srv\\share", u"\\\\srv\\share\\a"};
  const FolderTest exists = [&](const std::u16string& path) { return existing.contains(path); };
  struct Case {
    const char16_t* folder;
    bool shape;
    std::optional<std::u16string> root;
  };
  const Case cases[] = {
      {u"C:\\Temp\\Product", true, u"C:\\"},
      {u"z:\\", true, u"z:\\"},
      {u"C:", true, std::nullopt},         // two characters
      {u"C:Temp", true, std::nullopt},     // no '\' after the drive
      {u"1:\\Temp", false, std::nullopt},  // a digit for a drive
      {u"\u00C4:\\Temp", false, std::nullopt},
      {u"Temp\\Product", false, std::nullopt},
      {u"", false, std::nullopt},
      {u"\\\\srv\\share\\a\\new\\deeper", true, u"\\\\srv\\share\\a"},  // the longest that exists
      {u"\\\\srv\\share", true, u"\\\\srv\\share"},
      {u"\\\\other\\share\\x", true, u"\\\\other\\share\\x"},  // none exists: the whole text
      {u"\\\\", true, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HasFolderShape(c.folder), c.shape) << U8(c.folder);
    EXPECT_EQ(SpaceRoot(c.folder, exists), c.root) << U8(c.folder);
  }

  EXPECT_EQ(MegabytesText(0), u"0.0");
  EXPECT_EQ(MegabytesText(1'048'575), u"0.0");
  EXPECT_EQ(MegabytesText(3 * 1'048'576 + 5), u"3.0");
  EXPECT_EQ(MegabytesText(std::uint64_t{5} << 40), u"5242880.0");
}

TEST(FolderTextTest, WelcomeTextMovesTheNameToASecondLine) {
  EXPECT_EQ(WelcomeOnTwoLines(u"Welcome to %1 Installation Package", u"Fabric Tools"),
            u"Welcome to\nFabric Tools Installation Package");
  EXPECT_EQ(WelcomeOnTwoLines(u"%1 \u3078\u3088\u3046\u3053\u305D", u"X"),
            u"\nX \u3078\u3088\u3046\u3053\u305D");
  EXPECT_EQ(WelcomeOnTwoLines(u"No name here", u"X"), u"No name here");
}

TEST(ExtractOnlyTest, TheSwitchAndItsFolder) {
  struct Case {
    const char16_t* arguments;
    std::optional<std::u16string> folder;
  };
  const Case cases[] = {
      {u"/extract:C:\\Out", u"C:\\Out"},
      {u"/EXTRACT:C:\\Out /S", u"C:\\Out"},
      {u"/extract:\"C:\\With Blanks\\Out\" /S", u"C:\\With Blanks\\Out"},
      {u"/extract:\"C:\\Unclosed", u"C:\\Unclosed"},
      {u"/extract:", u""},
      {u"/extract:\"\"", u""},
      {u"/extract", std::nullopt},
      {u"/S /extract:C:\\Out", std::nullopt},  // only as the first argument
      {u"", std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ExtractOnlyFolder(c.arguments), c.folder) << U8(c.arguments);
}

TEST(SystemVersionTest, ComparesNumbersNotTexts) {
  struct Case {
    const char16_t* text;
    bool expected;
  };
  const Case cases[] = {
      {u"6.0", true},  {u"6.1", true},  {u"6.3", true}, {u"10.0", true},  {u"6", true},
      {u"5.1", false}, {u"5.2", false}, {u"", false},   {u"x6.0", false}, {u"06.0", true},
  };
  for (const Case& c : cases) EXPECT_EQ(IsVersion6OrLater(c.text), c.expected) << U8(c.text);
}

}  // namespace
