// The library functions that the extractor defines in place of the
// libraries' own (extractor/app/lean_runtime.cpp), linked into this program
// as into the extractor: zlib's crc32 gives the standard results, and the
// C++ library's range and length failures still arrive as exceptions that a
// barrier catches.
#include <zlib.h>

#include <gtest/gtest.h>

#include <exception>
#include <string>
#include <vector>

namespace {

TEST(LeanRuntime, Crc32GivesTheStandardResults) {
  struct Case {
    std::string bytes;
    uLong crc;
  };
  const Case cases[] = {
      {"", 0},
      {"a", 0xE8B7BE43},
      {"123456789", 0xCBF43926},
      {std::string(1000, '\xFF'), 0xE0533230},
  };
  for (const Case& c : cases) {
    const auto* bytes = reinterpret_cast<const Bytef*>(c.bytes.data());
    EXPECT_EQ(crc32(0, bytes, static_cast<uInt>(c.bytes.size())), c.crc) << c.bytes.size();
    // In two pieces, as a caller that goes on from an earlier value.
    const uInt half = static_cast<uInt>(c.bytes.size() / 2);
    EXPECT_EQ(crc32(crc32(0, bytes, half), bytes + half, static_cast<uInt>(c.bytes.size()) - half),
              c.crc);
  }
  EXPECT_EQ(crc32(12345, nullptr, 0), 0u) << "the initial value";
}

TEST(LeanRuntime, LibraryFailuresAreStillExceptions) {
  const std::string text = "abc";
  const std::vector<int> numbers(3);
  EXPECT_THROW(static_cast<void>(text.substr(4)), std::exception);
  EXPECT_THROW(static_cast<void>(text.at(3)), std::exception);
  EXPECT_THROW(static_cast<void>(numbers.at(3)), std::exception);
  EXPECT_THROW(std::string().reserve(std::string().max_size() + 1), std::exception);
}

}  // namespace
