// sfxtool as its users run it: the built binary, started with a command
// line, judged by its exit code, its output and the files it leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "package/package_builder.h"
#include "package/package_format.h"
#include "package/result_codes.h"
#include "tests/sfxtool/tool_test_support.h"
#include "tests/support/package_bytes.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
namespace format = package::format;
using testing_support::AppendArchive;
using testing_support::RandomBytes;
using testing_support::Reseal;
using testing_support::TempFolder;
using tool_test::Contains;
using tool_test::ImageOf;
using tool_test::ImageResources;
using tool_test::ReadBytes;
using tool_test::RunResult;
using tool_test::RunTool;
using tool_test::Utf8;
using tool_test::WriteBytes;

// A description line: the key and value, ended by CR LF.
std::string Line(std::string_view key, const std::string& value) {
  return std::string(key) + "=" + value + "\r\n";
}

// The list output's row for `name`: the four numbers in front of it
// (#, size, packed size, offset); empty when no row ends with the name.
std::vector<std::string> ListedRow(const std::string& listing, const std::string& name) {
  std::istringstream lines(listing);
  for (std::string line; std::getline(lines, line);) {
    if (line.size() <= name.size() + 2 || !line.ends_with("  " + name)) continue;
    std::istringstream numbers(line.substr(0, line.size() - name.size()));
    std::vector<std::string> row;
    for (std::string number; numbers >> number;) row.push_back(number);
    return row;
  }
  return {};
}

// Every file below `folder`, by its path relative to it, with its bytes.
std::map<std::string, std::string> FilesBelow(const fs::path& folder) {
  std::map<std::string, std::string> files;
  if (!fs::exists(folder)) return files;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    if (item.is_regular_file()) {
      files[Utf8(item.path().lexically_relative(folder))] = ReadBytes(item.path());
    }
  }
  return files;
}

// A source tree with a nested folder, a non-ASCII name, an empty file and
// the two entries that the extractor leaves packed; its description packs
// it into pkg.exe, a target relative to the folder that pack runs in.
class SfxToolTest : public testing::Test {
 protected:
  void SetUp() override {
    root = fs::path(temp.path());
    src = root / "src";
    files = {
        {"setup.exe", "MZ setup " + RandomBytes(3000, 1)},
        {"Data/Sub/deep.bin", RandomBytes(70'000, 2)},  // more than one read piece
        {"Data/Ünïcødé файл.txt", "текст, texte, テキスト"},
        {"Product.AppNameFile", ""},
        {"ShowReadMe.rtf", "{\\rtf1 read me}"},
    };
    for (const auto& [name, bytes] : files) WriteBytes(src / name, bytes);
    stub = root / "stub.bin";
    WriteBytes(stub, std::string(1500, 'S'));
    pkg = root / "pkg.exe";
    description = root / "package.txt";
    WriteBytes(
        description,
        Line("filepath", Utf8(src / "setup.exe")) + Line("filepathroot", Utf8(src)) +
            Line("folderpath", Utf8(src / "Data")) + Line("folderpathroot", Utf8(src)) +
            Line("filepath", Utf8(src / "Product.AppNameFile")) + Line("filepathroot", Utf8(src)) +
            Line("filepath", Utf8(src / "ShowReadMe.rtf")) + Line("filepathroot", Utf8(src)) +
            Line("target", "pkg.exe") + "\r\n");
  }

  RunResult Pack() {
    return RunTool({"pack", "--stub", Utf8(stub), Utf8(description)}, {.cwd = root});
  }

  void PackOrFail() {
    const RunResult packed = Pack();
    ASSERT_EQ(packed.exitCode, 0) << packed.err;
  }

  // The package's entries as the reader sees them.
  std::vector<package::PackageEntry> Entries() {
    auto reader = std::make_unique<package::PackageBuilder>();
    reader->SetModulePath(pkg.u16string());
    EXPECT_EQ(reader->OpenPackage(true), package::Result::kDone);
    std::vector<package::PackageEntry> entries;
    for (int i = 0; i < reader->GetEntryCount(); ++i) entries.push_back(reader->GetEntry(i));
    return entries;
  }

  TempFolder temp;
  fs::path root, src, stub, pkg, description;
  std::map<std::string, std::string> files;  // relative path -> bytes
};

TEST_F(SfxToolTest, PackedPackageListsVerifiesAndExtractsToTheSameBytes) {
  const RunResult packed = Pack();
  ASSERT_EQ(packed.exitCode, 0) << packed.err;
  EXPECT_EQ(packed.err, "") << "nothing on stderr when it is no terminal";
  EXPECT_EQ(ReadBytes(pkg).substr(0, 1500), std::string(1500, 'S'));

  const RunResult list = RunTool({"list", Utf8(pkg)});
  ASSERT_EQ(list.exitCode, 0) << list.err;
  for (const auto& [path, bytes] : files) {
    std::string stored = path;
    std::replace(stored.begin(), stored.end(), '/', '\\');
    const std::vector<std::string> row = ListedRow(list.out, stored);
    ASSERT_EQ(row.size(), 4u) << stored << " in\n" << list.out;
    EXPECT_EQ(row[1], std::to_string(bytes.size())) << stored;
  }
  EXPECT_TRUE(Contains(list.out, "total: 5 entries"));
  EXPECT_TRUE(Contains(list.out, "Application name: Product"));

  const RunResult verify = RunTool({"verify", Utf8(pkg)});
  EXPECT_EQ(verify.exitCode, 0) << verify.err;

  std::map<std::string, std::string> ordinary = files;
  ordinary.erase("Product.AppNameFile");
  ordinary.erase("ShowReadMe.rtf");
  const RunResult extract = RunTool({"extract", Utf8(pkg), Utf8(root / "out")});
  EXPECT_EQ(extract.exitCode, 0) << extract.err;
  EXPECT_EQ(FilesBelow(root / "out"), ordinary);

  const RunResult all = RunTool({"extract", "--all", Utf8(pkg), Utf8(root / "all")});
  EXPECT_EQ(all.exitCode, 0) << all.err;
  EXPECT_EQ(FilesBelow(root / "all"), files);
}

TEST_F(SfxToolTest, VerifyNamesTheFirstProblem) {
  PackOrFail();
  const std::string good = ReadBytes(pkg);
  const std::vector<package::PackageEntry> entries = Entries();
  ASSERT_EQ(entries.size(), 5u);
  // Entry 2 is the large one: the folder's sub-folder comes first.
  const package::PackageEntry& deep = entries[1];
  ASSERT_EQ(deep.storedName, u"Data\\Sub\\deep.bin");
  const std::size_t deepRecord =
      good.find(format::EncodeRecord(deep.dataOffset, deep.size, deep.packedSize, deep.storedName));
  ASSERT_NE(deepRecord, std::string::npos);
  auto setU32 = [](std::string& bytes, std::size_t at, std::uint32_t value) {
    std::string encoded;
    format::AppendU32(encoded, value);
    bytes.replace(at, 4, encoded);
  };
  const std::string deepLabel = "entry 2 (Data\\Sub\\deep.bin): ";

  struct Case {
    const char* what;
    std::function<void(std::string&)> tamper;
    std::string message;
  };
  const Case cases[] = {
      {"a byte after offset 768 flipped", [](std::string& b) { b[800] ^= 1; }, "checksum differs"},
      {"a stream byte changed",
       [&](std::string& b) { b[deep.dataOffset + deep.packedSize / 2] ^= 0x5A; },
       "checksum differs"},
      {"a stream byte changed and the checksum made to fit",
       [&](std::string& b) {
         b[deep.dataOffset + deep.packedSize / 2] ^= 0x5A;
         Reseal(b);
       },
       deepLabel + "stream damaged"},
      {"the directory states a byte more",
       [&](std::string& b) {
         setU32(b, deepRecord + 4, deep.size + 1);
         Reseal(b);
       },
       deepLabel + "70000 bytes inflated, directory says 70001"},
      {"the directory states a byte less",
       [&](std::string& b) {
         setU32(b, deepRecord + 4, deep.size - 1);
         Reseal(b);
       },
       deepLabel + "stream inflates past the directory's size of 69999 bytes"},
      {"the packed size is too small",
       [&](std::string& b) {
         setU32(b, deepRecord + 8, deep.packedSize - 10);
         Reseal(b);
       },
       deepLabel + "stream cut short"},
      {"the packed size reaches into the next stream",
       [&](std::string& b) {
         setU32(b, deepRecord + 8, deep.packedSize + 10);
         Reseal(b);
       },
       "damaged"},
      {"the size field changed", [](std::string& b) { b[b.size() - 2] ^= 1; },
       "size field does not match"},
      {"the trailer cut off", [](std::string& b) { b.resize(b.size() - 30); }, "damaged"},
  };
  for (const Case& c : cases) {
    std::string bytes = good;
    c.tamper(bytes);
    const fs::path tampered = root / "tampered.exe";
    WriteBytes(tampered, bytes);
    const RunResult verify = RunTool({"verify", Utf8(tampered)});
    EXPECT_EQ(verify.exitCode, 1) << c.what << "\n" << verify.err;
    EXPECT_TRUE(Contains(verify.err, "sfxtool: " + Utf8(tampered) + ": " + c.message)) << c.what;
  }
}

TEST_F(SfxToolTest, ExtractReportsEachFailedEntryAndRestoresTheRest) {
  PackOrFail();
  const std::vector<package::PackageEntry> entries = Entries();
  const package::PackageEntry& deep = entries[1];
  struct Case {
    const char* what;
    std::function<void(std::string& bytes, const fs::path& out)> prepare;
    std::string failed;  // the file that is missing afterwards
    std::string message;
  };
  const Case cases[] = {
      {"the output file cannot be created",
       [](std::string&, const fs::path& out) { fs::create_directories(out / "setup.exe"); },
       "setup.exe", "entry 1 (setup.exe): cannot create"},
      {"a damaged stream (extract does not look at the checksum)",
       [&](std::string& bytes, const fs::path&) {
         bytes[deep.dataOffset + deep.packedSize / 2] ^= 0x5A;
       },
       "Data/Sub/deep.bin", "entry 2 (Data\\Sub\\deep.bin): stream damaged"},
  };
  for (const Case& c : cases) {
    const fs::path out = root / "out";
    fs::remove_all(out);
    std::string bytes = ReadBytes(pkg);
    c.prepare(bytes, out);
    const fs::path changed = root / "changed.exe";
    WriteBytes(changed, bytes);
    const RunResult extract = RunTool({"extract", Utf8(changed), Utf8(out)});
    EXPECT_EQ(extract.exitCode, 1) << c.what;
    EXPECT_TRUE(Contains(extract.err, c.message)) << c.what;
    std::map<std::string, std::string> expected = files;
    for (const char* name : {"Product.AppNameFile", "ShowReadMe.rtf"}) expected.erase(name);
    expected.erase(c.failed);
    EXPECT_EQ(FilesBelow(out), expected) << c.what;
  }
}

TEST_F(SfxToolTest, ExtractRefusesNamesThatLeaveTheFolderAndWritesNothing) {
  for (const char16_t* hostile : {u"..\\evil.txt", u"Data\\..\\..\\evil.txt", u"\\evil.txt",
                                  u"C:\\evil.txt", u"good.txt:evil.txt", u"Data\\NUL.txt"}) {
    std::string bytes(1000, 'S');
    AppendArchive(bytes, {{u"good.txt", "good"}, {hostile, "evil"}});
    const fs::path hostilePackage = root / "hostile.exe";
    WriteBytes(hostilePackage, bytes);
    const fs::path out = root / "a" / "b" / "out";
    const RunResult extract = RunTool({"extract", Utf8(hostilePackage), Utf8(out)});
    EXPECT_EQ(extract.exitCode, 1) << testing_support::U8(hostile);
    EXPECT_TRUE(Contains(extract.err, "damaged"));
    EXPECT_FALSE(fs::exists(root / "a")) << "not even the folder is made";
    for (const auto& item : fs::recursive_directory_iterator(root)) {
      EXPECT_NE(item.path().filename(), "evil.txt") << item.path();
    }
  }
}

TEST_F(SfxToolTest, FailedPackExitsWithAMessageAndLeavesNoPackage) {
  // A stored name beyond the format's 1,000 characters cannot be added, and
  // a package without all described files is not written.
  fs::path longPath = src;
  for (int i = 0; i < 5; ++i) longPath /= std::string(220, 'a' + i);
  WriteBytes(longPath / "file.txt", "x");
  const std::string packageLine = Line("target", Utf8(pkg));
  struct Case {
    const char* what;
    std::string description;  // nothing: no description file
    fs::path stub;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"no description file", "", stub, "sfxtool: Missing file: \"" + Utf8(description) + "\"!"},
      {"no file that can be read",
       Line("filepath", Utf8(src / "missing.exe")) + Line("filepathroot", Utf8(src)) + packageLine +
           "\r\n",
       stub, "1 described file(s) could not be added"},
      {"no target",
       Line("filepath", Utf8(src / "setup.exe")) + Line("filepathroot", Utf8(src)) + "\r\n", stub,
       "no target= line"},
      {"no stub",
       Line("filepath", Utf8(src / "setup.exe")) + Line("filepathroot", Utf8(src)) + packageLine +
           "\r\n",
       root / "missing-stub.bin", "missing-stub.bin: cannot be opened"},
      {"a target below a file",
       Line("filepath", Utf8(src / "setup.exe")) + Line("filepathroot", Utf8(src)) +
           Line("target", Utf8(stub / "nowhere" / "pkg.exe")) + "\r\n",
       stub, "cannot create the package"},
      {"a stored name too long",
       Line("folderpath", Utf8(src)) + Line("folderpathroot", Utf8(src)) + packageLine + "\r\n",
       stub, "1 described file(s) could not be added"},
  };
  for (const Case& c : cases) {
    fs::remove(description);
    if (!c.description.empty()) WriteBytes(description, c.description);
    const RunResult packed = RunTool({"pack", "--stub", Utf8(c.stub), Utf8(description)});
    EXPECT_EQ(packed.exitCode, 3) << c.what;
    EXPECT_TRUE(Contains(packed.err, c.message)) << c.what;
    EXPECT_FALSE(fs::exists(pkg)) << c.what;
    EXPECT_FALSE(fs::exists(root / "nowhere")) << c.what;
  }
}

TEST_F(SfxToolTest, PackNeverWritesOverItsOwnInputs) {
  PackOrFail();
  const std::string previous = ReadBytes(pkg);
  const std::string setup = ReadBytes(src / "setup.exe");
  const std::string stubBytes = ReadBytes(stub);
  const std::string sources =
      Line("filepath", Utf8(src / "setup.exe")) + Line("filepathroot", Utf8(src));
  struct Case {
    const char* what;
    fs::path target;
    std::string message;
  };
  const Case cases[] = {
      {"a described file", src / "setup.exe", "the target is the described file"},
      {"the same file by another spelling", src / "." / "setup.exe",
       "the target is the described file"},
      {"the stub", stub, "the target is the stub"},
      {"the description", description, "the target is the description"},
      {"a folder", src / "Data", "the target is a link, a folder or a device"},
  };
  for (const Case& c : cases) {
    const std::string text = sources + Line("target", Utf8(c.target)) + "\r\n";
    WriteBytes(description, text);
    const RunResult packed = Pack();
    EXPECT_EQ(packed.exitCode, 3) << c.what;
    EXPECT_TRUE(Contains(packed.err, c.message)) << c.what;
    EXPECT_EQ(ReadBytes(src / "setup.exe"), setup) << c.what;
    EXPECT_EQ(ReadBytes(stub), stubBytes) << c.what;
    EXPECT_EQ(ReadBytes(description), text) << c.what;
  }

  // A run that fails leaves the package that was there.
  WriteBytes(description, sources + Line("target", "pkg.exe") + "\r\n");
  const std::map<std::string, std::string> before = FilesBelow(root);
  const RunResult failed =
      RunTool({"pack", "--stub", Utf8(root / "missing-stub"), Utf8(description)}, {.cwd = root});
  EXPECT_EQ(failed.exitCode, 3);
  EXPECT_EQ(ReadBytes(pkg), previous);
  EXPECT_EQ(FilesBelow(root), before) << "no temporary file is left";
}

TEST_F(SfxToolTest, PackLeavesThePreviousPackageOutOfAPackedFolderAndMakesMissingFolders) {
  const fs::path target = src / "Data" / "out" / "pkg.exe";
  WriteBytes(description, Line("folderpath", Utf8(src / "Data")) +
                              Line("folderpathroot", Utf8(src)) + Line("target", Utf8(target)) +
                              "\r\n");
  for (int run = 0; run < 2; ++run) {
    const RunResult packed = Pack();
    ASSERT_EQ(packed.exitCode, 0) << "run " << run << ": " << packed.err;
    auto reader = std::make_unique<package::PackageBuilder>();
    reader->SetModulePath(target.u16string());
    ASSERT_EQ(reader->OpenPackage(true), package::Result::kDone);
    EXPECT_EQ(reader->GetEntryCount(), 2) << "run " << run;
  }
}

TEST_F(SfxToolTest, ExtractNeverReplacesThePackageItself) {
  std::string bytes(1000, 'S');
  AppendArchive(bytes, {{u"good.txt", "good"}, {u"hostile.exe", "evil"}});
  const fs::path hostile = root / "hostile.exe";
  WriteBytes(hostile, bytes);
  const RunResult extract = RunTool({"extract", Utf8(hostile), Utf8(root)});
  EXPECT_EQ(extract.exitCode, 1);
  EXPECT_TRUE(Contains(extract.err, "entry 2 (hostile.exe): cannot create"));
  EXPECT_EQ(ReadBytes(hostile), bytes);
  EXPECT_EQ(ReadBytes(root / "good.txt"), "good");
}

// Pack compresses on as many threads as it is told; the package is the
// same bytes for every number.
TEST_F(SfxToolTest, PackGivesTheSameBytesOnAnyNumberOfThreads) {
  WriteBytes(src / "Data" / "large.bin", testing_support::TextLike(1'500'000, 9));
  std::string first;
  for (const char* jobs : {"1", "3"}) {
    const RunResult packed =
        RunTool({"pack", "--stub", Utf8(stub), "--jobs", jobs, Utf8(description)}, {.cwd = root});
    ASSERT_EQ(packed.exitCode, 0) << packed.err;
    if (first.empty()) {
      first = ReadBytes(pkg);
    } else {
      EXPECT_TRUE(ReadBytes(pkg) == first) << jobs << " threads";
    }
  }
  EXPECT_EQ(RunTool({"verify", Utf8(pkg)}).exitCode, 0);
}

TEST_F(SfxToolTest, CommandLine) {
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::vector<std::string> out;  // each must appear on stdout
    std::string err;               // must appear on stderr; empty: stderr must be empty
  };
  const Case cases[] = {
      {{"--help"},
       0,
       {"list PKG", "verify PKG", "extract [--all] PKG DIR",
        "pack [--stub STUB] [--splash IMAGE] [--jobs N]",
        "exit codes", "  0  ", "  1  ", "  2  ", "  3  "},
       ""},
      {{"--version"}, 0, {"sfxtool " TOOLKIT_VERSION "\n"}, ""},
      {{}, 2, {}, "sfxtool: no command given"},
      {{"unpack", "x.exe"}, 2, {}, "sfxtool: unknown command \"unpack\""},
      {{"list"}, 2, {}, "usage: sfxtool list PKG"},
      {{"verify", "a.exe", "b.exe"}, 2, {}, "usage: sfxtool verify PKG"},
      {{"pack"}, 2, {}, "usage: sfxtool pack [--stub STUB] [--splash IMAGE] [--jobs N] DESCRIPTION"},
      {{"pack", "--splash"}, 2, {}, "--splash needs a file"},
      {{"verify", "--splash", "s.gif", "a.exe"}, 2, {}, "--splash belongs to pack"},
      {{"pack", "--stub", "s", "--jobs", "0", "d"}, 2, {}, "--jobs needs a number from 1 to 256"},
      {{"pack", "--stub", "s", "--jobs=x", "d"}, 2, {}, "--jobs needs a number from 1 to 256"},
      {{"list", "--jobs", "2", "a.exe"}, 2, {}, "--jobs belongs to pack"},
      {{"list", "--all", "a.exe"}, 2, {}, "--all belongs to extract"},
      {{"extract", "--force", "a.exe", "out"}, 2, {}, "unknown option --force"},
      {{"list", Utf8(root / "missing.exe")}, 3, {}, "cannot open the package (file not found)"},
  };
  for (const Case& c : cases) {
    const RunResult run = RunTool(c.args);
    const std::string command = c.args.empty() ? "(nothing)" : c.args[0];
    EXPECT_EQ(run.exitCode, c.exitCode) << command << "\n" << run.err;
    for (const std::string& text : c.out) EXPECT_TRUE(Contains(run.out, text)) << command;
    if (c.err.empty()) {
      EXPECT_EQ(run.err, "") << command;
    } else {
      EXPECT_TRUE(Contains(run.err, c.err)) << command;
    }
  }
}

TEST_F(SfxToolTest, PackGivesARealImageTheSplashAndVersion) {
  // tiny.exe (a small linked program) stands for the extractor; it lies
  // beside a copy of sfxtool, where a release lays Extractor.exe, and the
  // splash lies beside the description, as in the creator's folder.
  const fs::path release = root / "release";
  fs::create_directories(release);
  fs::copy_file(SFXTOOL_BINARY_PATH, release / "sfxtool");
  fs::copy_file(fs::path(PE_FIXTURES) / "tiny.exe", release / "Extractor.exe");
  const std::string splash = "GIF89a" + RandomBytes(30'000, 3);
  WriteBytes(root / "TempSplashImage.gif", splash);
  const std::string sources =
      Line("filepath", Utf8(src / "setup.exe")) + Line("filepathroot", Utf8(src)) +
      Line("target", "pkg.exe") + Line("version", "13") + Line("buildnumber", "70001") +
      Line("fileandproductversion", "13.0.70001") + Line("description", "Example Setup") + "\r\n";
  WriteBytes(description, sources);
  const RunResult packed = tool_test::RunProgram(
      {Utf8(release / "sfxtool"), "pack", Utf8(description)}, {.cwd = root});
  ASSERT_EQ(packed.exitCode, 0) << packed.err;
  EXPECT_EQ(packed.err, "");

  const auto resources = ImageResources(pkg);
  const auto gif = std::find_if(resources.begin(), resources.end(), [](const auto& r) {
    return r.type.name == u"GIF" && r.name.name == u"ARCHIVE" && r.language == 1024;
  });
  ASSERT_NE(gif, resources.end());
  EXPECT_EQ(std::string(gif->data.begin(), gif->data.end()), splash);
  EXPECT_EQ(RunTool({"verify", Utf8(pkg)}).exitCode, 0);

  // The mingw-w64 resource compiler reads the same resources out of the
  // image: the stamped strings in the version block, the splash as GIF.
  WriteBytes(root / "image.exe", ImageOf(pkg));
  const RunResult dumped = tool_test::RunProgram(
      {"x86_64-w64-mingw32-windres", "-i", Utf8(root / "image.exe"), "-O", "rc"});
  ASSERT_EQ(dumped.exitCode, 0) << "x86_64-w64-mingw32-windres (scripts/install-deps.sh installs it): "
                                << dumped.err;
  for (const char* text : {"FILEVERSION 13, 0, 1, 4465", "PRODUCTVERSION 13, 0, 1, 4465",
                           "\"FileDescription\", \"Example Setup\"", "\"ProductVersion\", \"13.0.70001\"",
                           "\"ARCHIVE\" \"GIF\"", "\"FIRST\" \"BLOB\""}) {
    EXPECT_TRUE(Contains(dumped.out, text));
  }

  // What cannot be stamped is refused before anything is written.
  fs::remove(pkg);
  WriteBytes(root / "not-a-program.exe", std::string(4000, 'S'));
  WriteBytes(root / "huge.gif", "GIF89a");
  fs::resize_file(root / "huge.gif", 0x8000'0000);  // sparse: nothing is stored
  struct Case {
    const char* what;
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {"a stub that is no program", {"--stub", Utf8(root / "not-a-program.exe")},
       "cannot take the splash and version: not a Windows program image; nothing was written"},
      {"a missing splash", {"--splash", Utf8(root / "missing.gif")}, "missing.gif: cannot be opened"},
      {"a splash no package can hold", {"--splash", Utf8(root / "huge.gif")},
       "huge.gif: is 2 GiB or larger"},
      {"the splash as the target", {"--splash", Utf8(root / "pkg.exe")}, "the target is the splash image"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {Utf8(release / "sfxtool"), "pack"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.push_back(Utf8(description));
    if (std::string(c.what) == "the splash as the target") WriteBytes(pkg, "an old package");
    const RunResult run = tool_test::RunProgram(args, {.cwd = root});
    EXPECT_EQ(run.exitCode, 3) << c.what;
    EXPECT_TRUE(Contains(run.err, c.message)) << c.what;
  }
  EXPECT_EQ(ReadBytes(pkg), "an old package");

  // Without Extractor.exe beside it, sfxtool says how to give one.
  fs::remove(release / "Extractor.exe");
  const RunResult missing = tool_test::RunProgram(
      {Utf8(release / "sfxtool"), "pack", Utf8(description)}, {.cwd = root});
  EXPECT_EQ(missing.exitCode, 3);
  EXPECT_TRUE(Contains(missing.err, "give the extractor image with --stub"));
}

TEST_F(SfxToolTest, ProgressBarsOnlyOnATerminal) {
  const RunResult packed = RunTool({"pack", "--stub", Utf8(stub), Utf8(description)},
                                   {.cwd = root, .stderrOnTerminal = true});
  ASSERT_EQ(packed.exitCode, 0) << packed.err;
  EXPECT_TRUE(Contains(packed.err, "packing"));
  EXPECT_TRUE(Contains(packed.err, "100%"));
  const RunResult extract =
      RunTool({"extract", Utf8(pkg), Utf8(root / "out")}, {.cwd = root, .stderrOnTerminal = true});
  ASSERT_EQ(extract.exitCode, 0) << extract.err;
  EXPECT_TRUE(Contains(extract.err, "extracting"));
  EXPECT_TRUE(Contains(extract.err, "100%"));
}

}  // namespace
