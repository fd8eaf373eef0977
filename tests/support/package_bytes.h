// Bytes for tests and fuzzing: seeded random and text-like data, zlib
// streams, and packages put together by hand (tampered, hostile or forged
// ones that the writer would never make), each sealed with the checksum
// and size field that the reader expects. Nothing here needs GoogleTest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace testing_support {

// `n` bytes that do not compress, the same for the same seed.
std::string RandomBytes(std::size_t n, unsigned seed);

// `n` bytes of words and line breaks that compress well, the same for the
// same seed.
std::string TextLike(std::size_t n, unsigned seed);

// `data` as one zlib stream at level 6, as the writer makes it.
std::string Deflate(const std::string& data);

// One directory record as it is to be written.
struct RawRecord {
  std::uint32_t dataOffset = 0, size = 0, packedSize = 0;
  std::u16string name;
  std::optional<std::uint32_t> nameLength = std::nullopt;  // the length field, when it lies
};

// `head` (stub and streams), the records, the entry count `count` and a
// trailer sealed for whatever that holds.
std::string RawPackage(const std::string& head, const std::vector<RawRecord>& records,
                       std::uint32_t count);

// One file to append with AppendArchive.
struct RawEntry {
  std::u16string name;
  std::string data;
};

// Appends what the writer appends behind the extractor image: one zlib
// stream per entry, the directory, and the sealed trailer.
void AppendArchive(std::string& file, const std::vector<RawEntry>& entries);

// Rewrites the checksum and size fields behind the marker nearest the end
// of `package` (as the reader finds it, before a certificate table that
// ends a PE image) so that the reader accepts them. False, with nothing
// changed, when there is no marker with room for the fields behind it.
bool Reseal(std::span<unsigned char> package);
bool Reseal(std::string& package);

}  // namespace testing_support
