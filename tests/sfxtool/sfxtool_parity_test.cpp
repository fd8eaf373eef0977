// `sfxtool pack` against the package creator: one description, given to
// PackageCreator.exe under wine with Windows paths and to sfxtool with Linux
// paths, must give two packages with the same image resources (splash
// image, version information) and the same archive, entry for entry and
// byte for byte. The Windows programs come from the windows preset's build
// (TOOLKIT_WINDOWS_BUILD); without it the tests are skipped, unless
// TOOLKIT_REQUIRE_WINDOWS_BUILD=1 makes that a failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "package/package_builder.h"
#include "package/pe_resources.h"
#include "package/result_codes.h"
#include "package/version_block.h"
#include "tests/sfxtool/tool_test_support.h"
#include "tests/support/package_bytes.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
namespace pe = package::pe;
using testing_support::RandomBytes;
using testing_support::TempFolder;
using testing_support::TextLike;
using testing_support::U8;
using tool_test::ImageResources;
using tool_test::ReadBytes;
using tool_test::RunProgram;
using tool_test::RunResult;
using tool_test::RunTool;
using tool_test::Utf8;
using tool_test::WriteBytes;

const fs::path kWindowsBuild = TOOLKIT_WINDOWS_BUILD;
const fs::path kCreator = kWindowsBuild / "bin" / "PackageCreator.exe";
const fs::path kExtractor = kWindowsBuild / "bin" / "Extractor.exe";
const fs::path kStampel = kWindowsBuild / "bin" / "Stampel" / "StampelLib.exe";
const fs::path kInstallerFixture = kWindowsBuild / "tests" / "windows" / "installer_fixture.exe";
const fs::path kExamples = EXAMPLES_DIR;

// Runs a Windows program under wine, in the parity tests' own prefix.
RunResult RunUnderWine(const fs::path& program) {
  return RunProgram({WINE_RUN_SCRIPT, "--prefix", PARITY_WINE_PREFIX, Utf8(program)});
}

// `path` as a program under wine sees it: drive Z: is the Linux root.
std::string WindowsPath(const fs::path& path) {
  std::string text = "Z:" + Utf8(path);
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
    text.replace(at, from.size(), to);
  }
  return text;
}

bool IsPathLine(const std::string& line) {
  for (const char* key :
       {"filepath=", "filepathroot=", "folderpath=", "folderpathroot=", "target="}) {
    if (line.starts_with(key)) return true;
  }
  return false;
}

// A description whose paths start with @DIR@ and are separated by '\', for
// the creator: @DIR@ becomes `dir` as wine sees it.
std::string CreatorDescription(const std::string& text, const fs::path& dir) {
  return ReplaceAll(text, "@DIR@", WindowsPath(dir));
}

// The same description for sfxtool: @DIR@ becomes `dir`, the separators of
// its paths become '/', and the package goes to `target`.
std::string ToolDescription(const std::string& text, const fs::path& dir, const fs::path& target) {
  std::istringstream lines(ReplaceAll(text, "@DIR@", Utf8(dir)));
  std::string out;
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("target=")) {
      line = "target=" + Utf8(target) + "\r";
    } else if (IsPathLine(line)) {
      std::replace(line.begin(), line.end(), '\\', '/');
    }
    out += line + "\n";
  }
  return out;
}

// Lays out `dir` as a release engineer does for the creator: the program,
// its Stampel folder, its description and its splash image.
void LayOutCreator(const fs::path& dir, const std::string& description) {
  fs::create_directories(dir / "Stampel");
  fs::copy_file(kCreator, dir / "PackageCreator.exe");
  fs::copy_file(kStampel, dir / "Stampel" / "StampelLib.exe");
  fs::copy_file(kExamples / "TempSplashImage.gif", dir / "TempSplashImage.gif");
  WriteBytes(dir / "PackageCreator.txt", description);
}

// Writes the description for sfxtool with the splash image beside it.
fs::path LayOutTool(const fs::path& dir, const std::string& description) {
  WriteBytes(dir / "package.txt", description);
  fs::copy_file(kExamples / "TempSplashImage.gif", dir / "TempSplashImage.gif");
  return dir / "package.txt";
}

void RunCreator(const fs::path& dir) {
  const RunResult run = RunUnderWine(dir / "PackageCreator.exe");
  EXPECT_EQ(run.exitCode, 0) << "the creator under wine: " << run.out << run.err;
}

void RunPack(const fs::path& description) {
  const RunResult run = RunTool({"pack", "--stub", Utf8(kExtractor), Utf8(description)});
  EXPECT_EQ(run.exitCode, 0) << "sfxtool pack: " << run.err;
}

// One entry as the reader finds it, with its stream's bytes.
struct ArchiveEntry {
  std::string storedName;
  std::uint32_t size = 0;
  std::uint32_t packedSize = 0;
  std::string stream;
};

struct PackageView {
  fs::path path;
  std::vector<ArchiveEntry> entries;
};

PackageView ReadPackage(const fs::path& path) {
  PackageView view{path, {}};
  auto reader = std::make_unique<package::PackageBuilder>();
  reader->SetModulePath(path.u16string());
  const package::Result opened = reader->OpenPackage(true);
  EXPECT_EQ(opened, package::Result::kDone) << path << " does not open";
  if (opened != package::Result::kDone) return view;
  const std::string bytes = ReadBytes(path);
  for (int i = 0; i < reader->GetEntryCount(); ++i) {
    const package::PackageEntry& entry = reader->GetEntry(i);
    view.entries.push_back({U8(entry.storedName), entry.size, entry.packedSize,
                            bytes.substr(entry.dataOffset, entry.packedSize)});
  }
  return view;
}

std::string IdText(const pe::ResourceId& id) {
  return id.IsNamed() ? U8(id.name) : "#" + std::to_string(id.number);
}

// The resources of the package's image as "type/name/language" and their
// bytes (the code pages are left out: the two ways of writing them need
// not agree there).
std::map<std::string, std::string> ResourcesOf(const fs::path& package) {
  std::map<std::string, std::string> resources;
  for (const pe::Resource& r : ImageResources(package)) {
    resources[IdText(r.type) + "/" + IdText(r.name) + "/" + std::to_string(r.language)] =
        std::string(r.data.begin(), r.data.end());
  }
  return resources;
}

// The keys of `map` that `other` lacks, one per line.
std::string KeysMissingFrom(const std::map<std::string, std::string>& map,
                            const std::map<std::string, std::string>& other) {
  std::string keys;
  for (const auto& [key, value] : map) {
    if (!other.contains(key)) keys += "\n  " + key;
  }
  return keys;
}

void ExpectSameResources(const PackageView& creator, const PackageView& tool) {
  const auto expected = ResourcesOf(creator.path);
  const auto actual = ResourcesOf(tool.path);
  const std::string onlyCreator = KeysMissingFrom(expected, actual);
  const std::string onlyTool = KeysMissingFrom(actual, expected);
  EXPECT_TRUE(onlyCreator.empty() && onlyTool.empty())
      << "resources (type/name/language) only in the creator's package:" << onlyCreator
      << "\nonly in sfxtool's:" << onlyTool;
  for (const auto& [key, bytes] : expected) {
    const auto other = actual.find(key);
    if (other == actual.end()) continue;
    EXPECT_TRUE(other->second == bytes)
        << "resource " << key << ": sfxtool's " << other->second.size()
        << " bytes differ from the creator's " << bytes.size();
  }
}

std::vector<std::string> Names(const PackageView& view) {
  std::vector<std::string> names;
  for (const ArchiveEntry& entry : view.entries) names.push_back(entry.storedName);
  return names;
}

void ExpectSameArchive(const PackageView& creator, const PackageView& tool) {
  ASSERT_EQ(Names(tool), Names(creator)) << "the stored names, in order";
  for (std::size_t i = 0; i < creator.entries.size(); ++i) {
    const ArchiveEntry& want = creator.entries[i];
    const ArchiveEntry& got = tool.entries[i];
    EXPECT_EQ(got.size, want.size) << want.storedName;
    EXPECT_EQ(got.packedSize, want.packedSize) << want.storedName;
    EXPECT_TRUE(got.stream == want.stream) << want.storedName << ": the streams differ";
  }
}

void ExpectSamePackages(const fs::path& creatorPackage, const fs::path& toolPackage) {
  ASSERT_TRUE(fs::exists(creatorPackage)) << creatorPackage;
  ASSERT_TRUE(fs::exists(toolPackage)) << toolPackage;
  const PackageView creator = ReadPackage(creatorPackage);
  const PackageView tool = ReadPackage(toolPackage);
  ASSERT_FALSE(creator.entries.empty());
  {
    SCOPED_TRACE("the archives");
    ExpectSameArchive(creator, tool);
  }
  {
    SCOPED_TRACE("the image resources");
    ExpectSameResources(creator, tool);
  }
}

// The lines of a UTF-16 file that installer_fixture.exe wrote.
std::vector<std::string> RecordLines(const fs::path& path) {
  const std::string bytes = ReadBytes(path);
  std::u16string text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                  static_cast<unsigned char>(bytes[i + 1]) << 8);
  }
  std::vector<std::string> lines;
  std::istringstream in(U8(text));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::uint32_t U32At(const std::vector<unsigned char>& bytes, std::size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
         static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

class SfxToolParity : public testing::Test {
 protected:
  void SetUp() override {
    std::string missing;
    for (const fs::path& program : {kCreator, kExtractor, kStampel, kInstallerFixture}) {
      if (!fs::exists(program)) missing += "\n  " + Utf8(program);
    }
    if (missing.empty()) return;
    const std::string message =
        "the windows build lacks:" + missing +
        "\nbuild the windows preset first (cmake --preset windows && cmake --build --preset "
        "windows), or point TOOLKIT_WINDOWS_BUILD at a windows build";
    const char* required = std::getenv("TOOLKIT_REQUIRE_WINDOWS_BUILD");
    if (required != nullptr && std::string(required) == "1") FAIL() << message;
    GTEST_SKIP() << message;
  }

  TempFolder temp;
  const fs::path dir{temp.path()};
};

TEST_F(SfxToolParity, BundledExampleGivesTheCreatorsPackage) {
  const std::string example = ReadBytes(kExamples / "PackageCreator.txt");
  fs::copy(kExamples / "product", dir / "product", fs::copy_options::recursive);
  LayOutCreator(dir, CreatorDescription(example, dir));
  const fs::path toolPackage = dir / "native" / "ExampleProduct.exe";
  const fs::path description =
      LayOutTool(dir / "native", ToolDescription(example, dir, toolPackage));

  RunCreator(dir);
  RunPack(description);
  ExpectSamePackages(dir / "out" / "ExampleProduct.exe", toolPackage);
}

// Nested folders, a file of several compression blocks, a splash image and
// version strings; entry 0 is no read-me, so the package runs unattended
// and starts its installer, the fixture, which records what it finds.
TEST_F(SfxToolParity, FoldersSplashAndVersionGiveTheCreatorsPackageThatRunsItsInstaller) {
  const fs::path src = dir / "src";
  fs::create_directories(src);
  fs::copy_file(kInstallerFixture, src / "setup.exe");
  const fs::path record = dir / "record.txt";  // outside the unpack folder
  WriteBytes(src / "fixture.txt", "record=" + WindowsPath(record) + "\r\nexit=5\r\n");
  WriteBytes(src / "Data" / "readme.txt", TextLike(5'000, 1));
  WriteBytes(src / "Data" / "Media" / "big.bin", RandomBytes(600'000, 2) + TextLike(40'000, 3));
  WriteBytes(src / "Data" / "Media" / "Deeper" / "empty.dat", "");
  WriteBytes(src / "Data" / "Media" / "Deeper" / "notes.txt", TextLike(70'000, 4));
  const std::string text =
      "filepath=@DIR@\\src\\setup.exe\r\nfilepathroot=@DIR@\\src\r\n"
      "filepath=@DIR@\\src\\fixture.txt\r\nfilepathroot=@DIR@\\src\r\n"
      "folderpath=@DIR@\\src\\Data\r\nfolderpathroot=@DIR@\\src\r\n"
      "target=@DIR@\\out\\Parity.exe\r\n"
      "version=7\r\nbuildnumber=70000\r\nfileandproductversion=7.1.70000\r\n"
      "description=Parity Product Setup\r\n\r\n";
  LayOutCreator(dir, CreatorDescription(text, dir));
  const fs::path toolPackage = dir / "native" / "Parity.exe";
  const fs::path description = LayOutTool(dir / "native", ToolDescription(text, dir, toolPackage));

  RunCreator(dir);
  RunPack(description);
  ExpectSamePackages(dir / "out" / "Parity.exe", toolPackage);

  // The fixed part of the version: 7.0 and 70000 = 1 * 65536 + 4464.
  {
    SCOPED_TRACE("sfxtool's version information");
    const auto resources = ResourcesOf(toolPackage);
    const auto version = std::find_if(resources.begin(), resources.end(),
                                      [](const auto& r) { return r.first.starts_with("#16/"); });
    ASSERT_NE(version, resources.end()) << "no version resource";
    const std::vector<unsigned char> data(version->second.begin(), version->second.end());
    const auto root = package::ParseVersionBlock(data);
    ASSERT_TRUE(root.has_value() && root->value.size() >= 24) << "no fixed part";
    for (std::size_t at : {8, 16}) {  // the file's version, then the product's
      EXPECT_EQ(U32At(root->value, at), 0x0007'0000u) << "at " << at;
      EXPECT_EQ(U32At(root->value, at + 4), 0x0001'1170u) << "at " << at + 4;
    }
  }

  // The package under wine: the installer's exit code, and the installer
  // saw every file of the package beside itself.
  const RunResult run = RunUnderWine(toolPackage);
  EXPECT_EQ(run.exitCode, 5) << run.out << run.err;
  ASSERT_TRUE(fs::exists(record)) << "the installer left no record";
  std::vector<std::string> seen = RecordLines(record);
  ASSERT_GE(seen.size(), 2u);
  seen.erase(seen.begin(), seen.begin() + 2);  // its current folder and command line
  std::vector<std::string> packed = Names(ReadPackage(toolPackage));
  std::sort(seen.begin(), seen.end());
  std::sort(packed.begin(), packed.end());
  EXPECT_EQ(seen, packed);
}

}  // namespace
