// Fuzzes the package description: the UTF-8 decoding with its "&amp;"
// collapse, the file reader and the line parser that fills a builder.
//
// Paths in a description are taken relative to the current folder, so the
// parse runs with the current folder set to a small tree of files made at
// start-up (<scratch>/tree). A description whose file or folder lines point
// outside that tree is not parsed: a folder line naming "/" would walk the
// whole machine. Crash files are written to the current folder unless
// -artifact_prefix names another place (scripts/run-fuzzers.sh sets it), and
// a crash in the parse happens in the tree, so its file would land there.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "creator/description/package_description.h"
#include "fuzz/fuzz_support.h"
#include "package/package_builder.h"
#include "platform/file_system.h"
#include "text/utf8.h"

namespace {

volatile std::size_t gSink = 0;

struct Paths {
  std::string start;  // the current folder the fuzzer was started in
  std::string scratch;
  std::string tree;  // the current folder while a description is parsed
  std::u16string tree16;
  std::string description;  // the file that ReadDescriptionFile reads
};

const Paths& GetPaths() {
  // Never destroyed: the clean-up at exit still needs it.
  static const Paths& paths = *[] {
    auto* made = new Paths;
    Paths& p = *made;
    p.start = std::filesystem::current_path().string();
    p.scratch = fuzz::MakeScratchFolder("description-fuzz");
    p.tree = p.scratch + "/tree";
    p.tree16 = text::Utf8ToUtf16(p.tree);
    p.description = p.scratch + "/description.txt";
    for (const char* folder : {"", "/app", "/app/Data", "/app/Data/sub", "/app/.git"}) {
      std::filesystem::create_directory(p.tree + folder);
    }
    for (const char* file : {"/app/setup.exe", "/app/Data/readme.txt", "/app/Data/.keep",
                             "/app/Data/sub/b.bin", "/app/.git/config", "/top.txt"}) {
      fuzz::WriteWholeFile(p.tree + file, file);
    }
    std::atexit([] { fuzz::RemoveTree(GetPaths().scratch); });
    return made;
  }();
  return paths;
}

class RecordingSink : public creator::MessageSink {
 public:
  void ShowMessage(int stringId, std::u16string_view argument) override {
    shown.emplace_back(stringId, std::u16string(argument));
  }
  std::vector<std::pair<int, std::u16string>> shown;
};

// True when `path` (the current folder being the tree) names the tree or
// something below it.
bool InsideTree(const std::u16string& path, const std::u16string& tree) {
  // A zero code unit ends the path on its way to the system, which could
  // turn "..\0x" into "..".
  if (path.find(u'\0') != std::u16string::npos) return false;
  const std::u16string full = platform::GetFullPath(path);
  return full == tree || full.starts_with(tree + u'/');
}

// Walks the lines the way PackageDescription::Parse does (a file or folder
// line takes the next line as its root) and checks every file path and
// every folder that a folder line searches.
bool StaysInTree(const std::u16string& text, const std::u16string& tree) {
  creator::PackageDescription scan;
  scan.descriptionText = text;
  for (std::u16string line = scan.GetNextLine(); !line.empty(); line = scan.GetNextLine()) {
    if (line.starts_with(u"filepath=")) {
      const std::u16string path = creator::RemoveKey(line, u"filepath=");
      if (!path.empty() && !InsideTree(path, tree)) return false;
      scan.GetNextLine();
    } else if (line.starts_with(u"folderpath=")) {
      // What AddFolder searches: an empty path is the root folder.
      const std::u16string path = creator::RemoveKey(line, u"folderpath=");
      if (!InsideTree(path + platform::kPathSeparator + u"x", tree)) return false;
      scan.GetNextLine();
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Paths& paths = GetPaths();
  const std::string bytes(reinterpret_cast<const char*>(data), size);  // zero-terminated

  std::u16string decoded;
  if (creator::Utf8ToWide(bytes.c_str(), decoded) != 1) fuzz::Fail("Utf8ToWide did not give 1");
  if (decoded.find(u"&amp;") != std::u16string::npos) fuzz::Fail("an \"&amp;\" is left");

  fuzz::WriteWholeFile(paths.description, bytes);
  RecordingSink sink;
  const std::u16string read =
      creator::ReadDescriptionFile(text::Utf8ToUtf16(paths.description), sink);
  if (!sink.shown.empty()) fuzz::Fail("reading a readable description showed a message");
  if (read != decoded) fuzz::Fail("the file reader decodes differently from Utf8ToWide");

  if (::chdir(paths.tree.c_str()) != 0) fuzz::Fail("cannot enter " + paths.tree);
  struct Return {
    const std::string& start;
    ~Return() {
      if (::chdir(start.c_str()) != 0) fuzz::Fail("cannot go back to " + start);
    }
  } back{paths.start};
  if (!StaysInTree(decoded, paths.tree16)) return -1;  // not kept in the corpus
  auto builder = std::make_unique<package::PackageBuilder>();
  creator::PackageDescription description;
  description.descriptionText = decoded;
  std::u16string target = u"preset";
  description.Parse(*builder, target);
  if (builder->GetEntryCount() < 0 || builder->GetEntryCount() > package::kTableCapacity) {
    fuzz::Fail("entry count out of range");
  }
  std::size_t total = target.size() + builder->version.size() + builder->buildNumber.size() +
                      builder->fileAndProductVersion.size() + builder->description.size();
  for (int i = 0; i < builder->GetEntryCount(); ++i) total += builder->GetStoredName(i).size();
  gSink = total;
  return 0;
}
