// Fuzzes the package reader with whole package files: the trailer search,
// the checksum, the directory walk, the restore of every entry (ExtractAll)
// and of the first one alone (ExtractEntry).
//
// Each input is written to <area>/in.pkg and extracted into <area>/out,
// which is made fresh for the input, with three links in it that a careless
// reader would write through: dirlink (to the folder <scratch>/outside),
// filelink (to the file outside/victim.txt) and dangling (to a missing
// outside/created.txt). The area lies two folders below the scratch folder.
// After the extraction the whole scratch tree must hold nothing new but
// plain files and folders below out/, outside/ must be as it was, and the
// bytes below out/ must not exceed the package's promised total. Then the
// first entry is restored into the package's own folder, and the package
// must be byte for byte what it was.
//
// The mutator repairs the size field and the checksum behind a marker in
// three of four mutations, so that mutated packages get past the trailer
// checks and reach the directory and the streams.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "package/package_builder.h"
#include "package/result_codes.h"
#include "tests/support/package_bytes.h"
#include "text/utf8.h"

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

namespace {

// Keeps the query results alive, so that the calls are not optimised away.
volatile std::size_t gSink = 0;

struct Paths {
  std::string scratch;  // holds only outside/ and level/
  std::string outside;  // what the links in out/ point at
  std::string area;     // scratch/level/below/area: holds only in.pkg and, per input, out/
  std::string package;
  std::string out;
};

const Paths& GetPaths() {
  // Never destroyed: the clean-up at exit still needs it.
  static const Paths& paths = *[] {
    auto* made = new Paths;
    Paths& p = *made;
    p.scratch = fuzz::MakeScratchFolder("package-reader-fuzz");
    p.outside = p.scratch + "/outside";
    p.area = p.scratch + "/level/below/area";
    p.package = p.area + "/in.pkg";
    p.out = p.area + "/out";
    std::filesystem::create_directories(p.area);
    std::filesystem::create_directory(p.outside);
    fuzz::WriteWholeFile(p.outside + "/victim.txt", "victim");
    std::atexit([] { fuzz::RemoveTree(GetPaths().scratch); });
    return made;
  }();
  return paths;
}

// Everything below `root`, '/' between folders, with its kind; links are
// listed, not followed.
std::map<std::string, std::filesystem::file_type> Tree(const std::string& root) {
  namespace fs = std::filesystem;
  std::map<std::string, fs::file_type> tree;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    tree[it->path().lexically_relative(root).generic_string()] = it->symlink_status().type();
  }
  return tree;
}

// Checks the scratch tree after an extraction into out/, and returns the
// bytes written below out/.
std::uint64_t CheckTree(const Paths& paths) {
  namespace fs = std::filesystem;
  const std::map<std::string, fs::file_type> expectedAround = {
      {"level", fs::file_type::directory},
      {"level/below", fs::file_type::directory},
      {"level/below/area", fs::file_type::directory},
      {"level/below/area/in.pkg", fs::file_type::regular},
      {"level/below/area/out", fs::file_type::directory},
      {"level/below/area/out/dangling", fs::file_type::symlink},
      {"level/below/area/out/dirlink", fs::file_type::symlink},
      {"level/below/area/out/filelink", fs::file_type::symlink},
      {"outside", fs::file_type::directory},
      {"outside/victim.txt", fs::file_type::regular},
  };
  std::uint64_t written = 0;
  for (const auto& [name, type] : Tree(paths.scratch)) {
    const auto expected = expectedAround.find(name);
    if (expected != expectedAround.end()) {
      if (expected->second != type) fuzz::Fail(name + " changed its kind");
    } else if (!name.starts_with("level/below/area/out/")) {
      fuzz::Fail("an entry was written outside the destination folder: " + name);
    } else if (type == fs::file_type::regular) {
      written += fs::file_size(paths.scratch + "/" + name);
    } else if (type != fs::file_type::directory) {
      fuzz::Fail("an extraction made something that is no file or folder: " + name);
    }
  }
  for (const auto& [name, type] : expectedAround) {
    if (!fs::exists(fs::symlink_status(paths.scratch + "/" + name))) fuzz::Fail(name + " is gone");
  }
  if (fs::file_size(paths.outside + "/victim.txt") != 6) fuzz::Fail("the victim was written to");
  return written;
}

// Looks at what each event hands over, so that the sanitizers see a stale
// or foreign PackageEntry.
int Progress(package::Event eventCode, const void* eventData, void* context) {
  auto& events = *static_cast<std::size_t*>(context);
  ++events;
  switch (eventCode) {
    case package::Event::kEntryStarted:
    case package::Event::kEntryDone: {
      const auto& entry = *static_cast<const package::PackageEntry*>(eventData);
      events += entry.storedName.size() + entry.size;
      break;
    }
    case package::Event::kEntryPercent:
    case package::Event::kPackedBytesDone:
      events += static_cast<std::size_t>(*static_cast<const std::int32_t*>(eventData) & 1);
      break;
    default: fuzz::Fail("unknown event " + std::to_string(static_cast<int>(eventCode)));
  }
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace fs = std::filesystem;
  const Paths& paths = GetPaths();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  fuzz::WriteWholeFile(paths.package, bytes);
  if (!fs::create_directory(paths.out)) fuzz::Fail("out/ was left behind");
  fs::create_directory_symlink(paths.outside, paths.out + "/dirlink");
  fs::create_symlink(paths.outside + "/victim.txt", paths.out + "/filelink");
  fs::create_symlink(paths.outside + "/created.txt", paths.out + "/dangling");

  auto builder = std::make_unique<package::PackageBuilder>();
  builder->SetModulePath(text::Utf8ToUtf16(paths.package));
  const package::Result checked = builder->OpenPackage(true);
  const package::Result opened = builder->OpenPackage(false);
  if (checked == package::Result::kDone && opened != package::Result::kDone) {
    fuzz::Fail("the package opens with its checksum checked but not without");
  }
  const int entries = opened == package::Result::kDone ? builder->GetEntryCount() : 0;
  const std::uint64_t promised = builder->UnpackedTotal();
  std::size_t sink = builder->PackedTotal() + promised;
  sink += builder->ApplicationName().size();
  for (int index : {-1, 0, entries - 1, entries, package::kTableCapacity}) {
    sink += builder->EntryName(index).size();
  }

  std::size_t events = 0;
  const package::Result extracted =
      builder->ExtractAll(text::Utf8ToUtf16(paths.out), Progress, &events);
  if (opened == package::Result::kDone && extracted != package::Result::kDone &&
      extracted != package::Result::kFileError) {
    fuzz::Fail(std::string("ExtractAll gave \"") + package::ResultName(extracted) +
               "\" for a package that opened");
  }
  const std::uint64_t written = CheckTree(paths);
  if (written > promised) {
    fuzz::Fail(std::to_string(written) + " bytes written for a package that promised " +
               std::to_string(promised));
  }
  // The first entry once more, whatever its name, over what is there.
  sink += static_cast<std::size_t>(builder->ExtractEntry(0, text::Utf8ToUtf16(paths.out)) ==
                                   package::Result::kDone);
  CheckTree(paths);
  fuzz::RemoveTree(paths.out);

  // And into the package's own folder, where it may be named like the
  // package: the package stays as it was.
  sink += static_cast<std::size_t>(builder->ExtractEntry(0, text::Utf8ToUtf16(paths.area)) ==
                                   package::Result::kDone);
  if (fuzz::ReadWholeFile(paths.package) != bytes) fuzz::Fail("the package was written to");
  for (const std::string& name : fuzz::ListFolder(paths.area)) {
    if (name != "in.pkg") fuzz::RemoveTree(paths.area + "/" + name);
  }
  gSink = sink + events;
  return 0;
}

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size,
                                               std::size_t maxSize, unsigned int seed) {
  size = LLVMFuzzerMutate(data, size, maxSize);
  if (seed % 4 != 0) testing_support::Reseal(std::span<unsigned char>(data, size));
  return size;
}
