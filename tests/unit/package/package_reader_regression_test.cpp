// Inputs that the package reader's fuzz target (fuzz/package_reader_fuzzer)
// found faults with, minimized, each with what the reader must do with it.
// The faults were undefined behaviour that only a sanitizer shows, so these
// cases fail under clang's UndefinedBehaviorSanitizer (the fuzz build) and
// may pass elsewhere.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "package/package_builder.h"
#include "package/result_codes.h"
#include "tests/support/package_bytes.h"
#include "tests/support/temp_folder.h"

namespace {

using package::PackageBuilder;
using testing_support::TempFolder;

// A package without stub: a stream of `streamBytes` and one record naming
// `name`, sealed.
std::string OneEntryPackage(const std::string& streamBytes, std::uint32_t size,
                            std::u16string_view name) {
  return testing_support::RawPackage(
      streamBytes,
      {{0, size, static_cast<std::uint32_t>(streamBytes.size()), std::u16string(name)}}, 1);
}

// zlib's stream of no bytes at level 6.
const std::string kEmptyStream("\x78\x9c\x03\x00\x00\x00\x00\x01", 8);

TEST(PackageReaderRegression, ShortFilesAndEmptyNamesAreReadWithinBounds) {
  struct Case {
    const char* what;
    std::string bytes;
    package::Result opened;
  };
  const Case cases[] = {
      // The marker search copied zero bytes from an empty window (a null
      // pointer) for a file with no bytes to search.
      {"an empty file", "", package::Result::kDamaged},
      // The same zero-byte copy for a directory record with an empty name
      // (a name that is refused since).
      {"an entry with an empty name", OneEntryPackage(kEmptyStream, 0, u""),
       package::Result::kDamaged},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder temp;
    auto reader = std::make_unique<PackageBuilder>();
    reader->SetModulePath(temp.WriteFile(u"package.exe", c.bytes));
    EXPECT_EQ(reader->OpenPackage(true), c.opened);
    EXPECT_EQ(reader->OpenPackage(false), c.opened);
    EXPECT_EQ(reader->EntryName(0), u"");
    EXPECT_EQ(reader->PackedTotal(), c.opened == package::Result::kDone ? kEmptyStream.size() : 0u);
  }
}

}  // namespace
