#include "creator/description/package_description.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/file_system.h"
#include "tests/support/temp_folder.h"

namespace {

using creator::PackageDescription;
using package::PackageBuilder;
using testing_support::TempFolder;
using testing_support::U16;
using testing_support::U8;

struct Shown {
  int stringId;
  std::u16string argument;
  bool operator==(const Shown&) const = default;
};

class RecordingSink : public creator::MessageSink {
 public:
  void ShowMessage(int stringId, std::u16string_view argument) override {
    shown.push_back({stringId, std::u16string(argument)});
  }
  std::vector<Shown> shown;
};

// Replaces every '$' with `folder` and every '|' with the platform's separator.
std::u16string Expand(std::string_view pattern, const std::u16string& folder) {
  std::u16string out;
  for (char16_t c : U16(pattern)) {
    if (c == u'$') {
      out += folder;
    } else if (c == u'|') {
      out += platform::kPathSeparator;
    } else {
      out += c;
    }
  }
  return out;
}

TEST(Utf8ToWide, CollapsesEscapesAgainAndAgain) {
  struct Case {
    std::string source;
    std::u16string text;
  };
  const Case cases[] = {
      {"", u""},
      {"a &amp; b", u"a & b"},
      {"&amp;amp;", u"&"},
      {"&amp;amp;amp;amp;", u"&"},
      {"&amp;lt;", u"&lt;"},
      {"&&amp;amp;&amp;", u"&&&"},
      {"&am&amp;p;", u"&am&p;"},
      {"&amp", u"&amp"},
      {"&AMP;", u"&AMP;"},
      {"\xC3\xA4&amp;\xE2\x82\xAC", u"\u00e4&\u20ac"},
      {"bad \xFF byte", u"bad \uFFFD byte"},
  };
  for (const Case& c : cases) {
    std::u16string text = u"preset";
    EXPECT_EQ(creator::Utf8ToWide(c.source.c_str(), text), 1);
    EXPECT_EQ(text, c.text) << c.source;
  }
}

TEST(PackageDescription, GetNextLineEndsLinesAtCarriageReturns) {
  struct Case {
    const char* what;
    std::u16string text;
    std::vector<std::u16string> lines;
  };
  const Case cases[] = {
      {"CR LF and CR", u"a\r\nb\rc\r", {u"a", u"b", u"c"}},
      {"text after the last CR is no line", u"a\r\nlast", {u"a"}},
      {"LF-only text has no line", u"a\nb\n", {}},
      {"an LF not after a CR is part of the line", u"a\n\r\nb\r", {u"a\n", u"b"}},
      {"only one LF belongs to the line break", u"a\r\n\nb\r", {u"a", u"\nb"}},
      {"CR CR gives an empty line", u"a\r\rb\r", {u"a", u"", u"b"}},
      {"empty text", u"", {}},
  };
  for (const Case& c : cases) {
    PackageDescription description;
    description.descriptionText = c.text;
    for (const std::u16string& line : c.lines) EXPECT_EQ(description.GetNextLine(), line) << c.what;
    // At the end, and every time after it, the empty string.
    for (int i = 0; i < 3; ++i) EXPECT_EQ(description.GetNextLine(), u"") << c.what;
  }
}

TEST(PackageDescription, RemoveKeyTakesEveryOccurrenceInOnePass) {
  struct Case {
    std::u16string line, key, value;
  };
  const Case cases[] = {
      {u"target=D:\\target=\\pkg.exe", u"target=", u"D:\\\\pkg.exe"},
      {u"target=targtarget=et=x", u"target=", u"target=x"},
      {u"target=target=x", u"target=", u"x"},
      {u"target= spaced ", u"target=", u" spaced "},
      {u"target=", u"target=", u""},
      {u"filepathroot=C:\\filepathroot=", u"filepathroot=", u"C:\\"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(creator::RemoveKey(c.line, c.key), c.value) << U8(c.line);
  }
}

struct ParseCase {
  const char* what;
  // '$' stands for the test's folder, '|' for the platform's separator.
  std::string text;
  std::vector<std::string> storedNames;
  std::string target;
  std::string version = "";
  std::string buildNumber = "";
  std::string fileAndProductVersion = "";
  std::string description = "";
  int unadded = 0;
};

constexpr bool kWindows = platform::kPathSeparator == u'\\';
const std::vector<std::string> kEmptyRootNames =
    kWindows ? std::vector<std::string>{} : std::vector<std::string>{"$|a.txt>1"};
constexpr int kEmptyRootUnadded = kWindows ? 1 : 0;

const ParseCase kParseCases[] = {
    {"every key",
     "filepath=$|a.txt\r\nfilepathroot=$\r\n"
     "folderpath=$|dir\r\nfolderpathroot=$\r\n"
     "target=$|out|pkg.exe\r\nversion=13\r\nbuildnumber=3271\r\n"
     "fileandproductversion=13.0 Beta\r\ndescription=Tool & more\r\n",
     {"a.txt", "dir|inner.txt"},
     "$|out|pkg.exe",
     "13",
     "3271",
     "13.0 Beta",
     "Tool & more"},
    {"LF-only line ends give no line at all",
     "filepath=$|a.txt\nfilepathroot=$\ntarget=x\n",
     {},
     ""},
    {"a last line without CR is ignored", "target=x\r\nversion=2", {}, "x"},
    // An empty root leads every path; a POSIX path goes on with a separator,
    // which the cut takes away, a Windows one with its drive letter.
    {"a path line that is the last line gets an empty root", "filepath=$|a.txt\r\n",
     kEmptyRootNames, "", "", "", "", "", kEmptyRootUnadded},
    {"an empty line ends the description", "target=x\r\n\r\nversion=3\r\n", {}, "x"},
    {"an empty line right after a path line is its root", "filepath=$|a.txt\r\n\r\ntarget=y\r\n",
     kEmptyRootNames, "y", "", "", "", "", kEmptyRootUnadded},
    {"two path lines in a row: the second is the root of the first, which does not lead it",
     "filepath=$|a.txt\r\nfilepath=$|b.txt\r\ntarget=z\r\n",
     {},
     "z",
     "",
     "",
     "",
     "",
     1},
    {"a root that ends with a separator is cut with it",
     "filepath=$|a.txt\r\nfilepathroot=$|\r\n",
     {"a.txt"},
     ""},
    {"a target inside a packed folder is left out of it, even when named last",
     "folderpath=$|prev\r\nfolderpathroot=$\r\ntarget=$|prev|pkg.exe\r\n",
     {"prev|x.txt"},
     "$|prev|pkg.exe"},
    {"a root line not after its path line is ignored", "filepathroot=$\r\ntarget=t\r\n", {}, "t"},
    {"keys are lower case and start the line",
     "Target=a\r\n target=b\r\nVERSION=1\r\nversion=2\r\nversion=5\r\n",
     {},
     "",
     "5"},
    {"a byte-order mark hides the first key", "\xEF\xBB\xBFtarget=a\r\nversion=4\r\n", {}, "", "4"},
    {"a zero byte ends the text", std::string("version=1\r\n\0target=a\r\n", 22), {}, "", "1"},
    {"a missing file is dropped without a word, but counted",
     "filepath=$|missing.txt\r\nfilepathroot=$\r\nfilepath=$|b.txt\r\nfilepathroot=$\r\n",
     {"b.txt"},
     "",
     "",
     "",
     "",
     "",
     1},
    {"escapes collapse before parsing", "target=a&amp;amp;b\r\n", {}, "a&b"},
};

class ParseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    temp.WriteFile(u"a.txt", "a");
    temp.WriteFile(u"b.txt", "bb");
    temp.WriteFile(u"dir/inner.txt", "inner");
    temp.WriteFile(u"prev/x.txt", "x");
    temp.WriteFile(u"prev/pkg.exe", "the previous package");
  }

  TempFolder temp;
};

// An expected stored name "path>n" means: the path without its first n
// characters (the cut of an empty or odd root).
std::u16string ExpectedStoredName(const std::string& pattern, const std::u16string& folder) {
  const std::size_t mark = pattern.find('>');
  if (mark == std::string::npos) return Expand(pattern, folder);
  return Expand(pattern.substr(0, mark), folder).substr(std::stoul(pattern.substr(mark + 1)));
}

TEST_F(ParseTest, TurnsLinesIntoRowsAndSettings) {
  for (const ParseCase& c : kParseCases) {
    auto builder = std::make_unique<PackageBuilder>();
    builder->version = builder->buildNumber = u"preset";
    builder->fileAndProductVersion = builder->description = u"preset";
    std::u16string target = u"preset";

    PackageDescription description;
    std::u16string text;
    creator::Utf8ToWide(c.text.c_str(), text);
    description.descriptionText = Expand(U8(text), temp.path());
    description.Parse(*builder, target);

    std::vector<std::u16string> names, expected;
    for (int i = 0; i < builder->GetEntryCount(); ++i) names.push_back(builder->GetStoredName(i));
    for (const std::string& name : c.storedNames) {
      expected.push_back(ExpectedStoredName(name, temp.path()));
    }
    EXPECT_EQ(names, expected) << c.what;
    EXPECT_EQ(target, Expand(c.target, temp.path())) << c.what;
    EXPECT_EQ(builder->version, U16(c.version)) << c.what;
    EXPECT_EQ(builder->buildNumber, U16(c.buildNumber)) << c.what;
    EXPECT_EQ(builder->fileAndProductVersion, U16(c.fileAndProductVersion)) << c.what;
    EXPECT_EQ(builder->description, U16(c.description)) << c.what;
    EXPECT_EQ(description.unaddedFiles, c.unadded) << c.what;
  }
}

TEST_F(ParseTest, LoadReportsAMissingFileAndBuildsNothing) {
  auto builder = std::make_unique<PackageBuilder>();
  RecordingSink sink;
  std::u16string target;
  PackageDescription description;
  const std::u16string path = temp.Path(u"pack.txt");
  EXPECT_FALSE(description.Load(path, sink, *builder, target));
  EXPECT_EQ(sink.shown, (std::vector<Shown>{{creator::kStringMissingFile, path}}));
  EXPECT_EQ(builder->GetEntryCount(), 0);
}

TEST_F(ParseTest, LoadReadsAndParsesTheWholeFile) {
  // Non-ASCII text in both the names and the values, and a description far
  // beyond 100,000 code units: it is held whole.
  temp.WriteFile(u"\u00fcber.txt", "x");
  std::string text =
      "filepath=$|\xC3\xBC"
      "ber.txt\r\nfilepathroot=$\r\n";
  text += "description=" + std::string(150000, 'd') + "\r\n";
  text += "target=\xE2\x82\xAC.exe\r\n";
  const std::u16string path = temp.WriteFile(u"pack.txt", U8(Expand(text, temp.path())));

  auto builder = std::make_unique<PackageBuilder>();
  RecordingSink sink;
  std::u16string target;
  PackageDescription description;
  EXPECT_TRUE(description.Load(path, sink, *builder, target));
  EXPECT_TRUE(sink.shown.empty());
  ASSERT_EQ(builder->GetEntryCount(), 1);
  EXPECT_EQ(builder->GetStoredName(0), u"\u00fcber.txt");
  EXPECT_EQ(builder->description.size(), 150000u);
  EXPECT_EQ(target, u"\u20ac.exe");
}

TEST_F(ParseTest, ReadDescriptionFileReportsWhatItCannotRead) {
  RecordingSink sink;
  EXPECT_EQ(creator::ReadDescriptionFile(temp.Path(u"missing.txt"), sink), u"");
  EXPECT_EQ(sink.shown,
            (std::vector<Shown>{{creator::kStringReadError, temp.Path(u"missing.txt")}}));

  // Another handle has the file open: the open without sharing fails.
  sink.shown.clear();
  const std::u16string path = temp.WriteFile(u"held.txt", "target=x\r\n");
  {
    platform::File other;
    ASSERT_TRUE(other.Open(path, platform::FileAccess::kRead, platform::FileCreation::kOpenExisting,
                           platform::FileShare::kReadWrite));
    EXPECT_EQ(creator::ReadDescriptionFile(path, sink), u"");
    EXPECT_EQ(sink.shown, (std::vector<Shown>{{creator::kStringReadError, path}}));
  }
  sink.shown.clear();
  EXPECT_EQ(creator::ReadDescriptionFile(path, sink), u"target=x\r\n");
  EXPECT_TRUE(sink.shown.empty());

  // An empty file and one that starts with a zero byte are empty without a word.
  EXPECT_EQ(creator::ReadDescriptionFile(temp.WriteFile(u"empty.txt", ""), sink), u"");
  EXPECT_EQ(
      creator::ReadDescriptionFile(temp.WriteFile(u"zero.txt", std::string("\0x\r\n", 4)), sink),
      u"");
  EXPECT_TRUE(sink.shown.empty());
}

}  // namespace
