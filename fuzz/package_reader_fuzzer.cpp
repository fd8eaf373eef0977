// Fuzzes the package reader with whole package files: the trailer search,
// the checksum, the directory walk, the restore of every entry (ExtractAll)
// and of the first one alone (ExtractEntry).
//
// Each input is written to <area>/in.pkg and extracted into <area>/out,
// which is made fresh for the input and removed afterwards. An entry
// written anywhere but below out/ shows up as a new name in <area> or in
// the scratch folder above it, and that is reported as a crash.
//
// The mutator repairs the size field and the checksum behind a marker in
// three of four mutations, so that mutated packages get past the trailer
// checks and reach the directory and the streams.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "package/package_builder.h"
#include "package/result_codes.h"
#include "text/utf8.h"

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

namespace {

// Keeps the query results alive, so that the calls are not optimised away.
volatile std::size_t gSink = 0;

struct Paths {
  std::string scratch;  // holds only area/
  std::string area;     // holds only in.pkg and, while an input runs, out/
  std::string package;
  std::string out;
};

const Paths& GetPaths() {
  // Never destroyed: the clean-up at exit still needs it.
  static const Paths& paths = *[] {
    auto* made = new Paths;
    Paths& p = *made;
    p.scratch = fuzz::MakeScratchFolder("package-reader-fuzz");
    p.area = p.scratch + "/area";
    p.package = p.area + "/in.pkg";
    p.out = p.area + "/out";
    std::filesystem::create_directory(p.area);
    std::atexit([] { fuzz::RemoveTree(GetPaths().scratch); });
    return made;
  }();
  return paths;
}

// Looks at what each event hands over, so that the sanitizers see a stale
// or foreign PackageEntry.
int Progress(int eventCode, const void* eventData, void* context) {
  auto& events = *static_cast<std::size_t*>(context);
  ++events;
  switch (eventCode) {
    case package::kEventEntryStarted:
    case package::kEventEntryDone: {
      const auto& entry = *static_cast<const package::PackageEntry*>(eventData);
      events += entry.storedName.size() + entry.size;
      break;
    }
    case package::kEventEntryPercent:
    case package::kEventPackedBytesDone:
      events += static_cast<std::size_t>(*static_cast<const std::int32_t*>(eventData) & 1);
      break;
    default:
      fuzz::Fail("unknown event " + std::to_string(eventCode));
  }
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Paths& paths = GetPaths();
  fuzz::WriteWholeFile(paths.package,
                       std::string_view(reinterpret_cast<const char*>(data), size));
  if (!std::filesystem::create_directory(paths.out)) fuzz::Fail("out/ was left behind");

  auto builder = std::make_unique<package::PackageBuilder>();
  builder->SetModulePath(text::Utf8ToUtf16(paths.package));
  const int checked = builder->OpenPackage(true);
  const int opened = builder->OpenPackage(false);
  if (checked == package::kResultDone && opened != package::kResultDone) {
    fuzz::Fail("the package opens with its checksum checked but not without");
  }
  const int entries = opened == package::kResultDone ? builder->GetEntryCount() : 0;
  std::size_t sink = builder->PackedTotal() + builder->UnpackedTotal();
  sink += builder->ApplicationName().size();
  for (int index : {-1, 0, entries - 1, entries, package::kTableCapacity}) {
    sink += builder->EntryName(index).size();
  }

  std::size_t events = 0;
  const int extracted =
      builder->ExtractAll(text::Utf8ToUtf16(paths.out), Progress, &events);
  if (opened == package::kResultDone && extracted != package::kResultDone &&
      extracted != package::kResultFileError) {
    fuzz::Fail("ExtractAll gave " + std::to_string(extracted) + " for a package that opened");
  }
  // The first entry once more, whatever its name, over what is there.
  sink += static_cast<std::size_t>(builder->ExtractEntry(0, text::Utf8ToUtf16(paths.out)));

  const std::set<std::string> expectedArea{"in.pkg", "out"};
  if (fuzz::ListFolder(paths.area) != expectedArea ||
      fuzz::ListFolder(paths.scratch) != std::set<std::string>{"area"}) {
    fuzz::Fail("an entry was written outside the destination folder");
  }
  fuzz::RemoveTree(paths.out);
  gSink = sink + events;
  return 0;
}

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size,
                                               std::size_t maxSize, unsigned int seed) {
  size = LLVMFuzzerMutate(data, size, maxSize);
  if (seed % 4 != 0) fuzz::RepairTrailer(data, size);
  return size;
}
