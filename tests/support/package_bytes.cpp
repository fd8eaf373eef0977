#include "tests/support/package_bytes.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "package/package_format.h"

namespace testing_support {

namespace format = package::format;

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::string out(n, '\0');
  for (char& c : out) c = static_cast<char>(random());
  return out;
}

std::string TextLike(std::size_t n, unsigned seed) {
  static const char* const kWords[] = {"package ",  "entry ",   "stream ", "folder ",
                                       "setup\r\n", "version ", "12345 ",  "trailer "};
  std::mt19937 random(seed);
  std::string out;
  while (out.size() < n) out += kWords[random() % 8];
  out.resize(n);
  return out;
}

std::string Deflate(const std::string& data) {
  uLongf length = compressBound(static_cast<uLong>(data.size()));
  std::string out(length, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &length,
            reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()), 6);
  out.resize(length);
  return out;
}

namespace {

std::span<const unsigned char> Bytes(const std::string& text) {
  return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

// Appends the trailer head for `count` entries and seals it.
void Close(std::string& bytes, std::uint32_t count) {
  bytes += format::EncodeTrailerHead(count);
  bytes += format::SealTrailer(format::ChecksumOf(Bytes(bytes)), bytes.size());
}

}  // namespace

std::string RawPackage(const std::string& head, const std::vector<RawRecord>& records,
                       std::uint32_t count) {
  std::string bytes = head;
  for (const RawRecord& r : records) {
    std::string record = format::EncodeRecord(r.dataOffset, r.size, r.packedSize, r.name);
    if (r.nameLength) {
      record.resize(record.size() - 4);
      format::AppendU32(record, *r.nameLength);
    }
    bytes += record;
  }
  Close(bytes, count);
  return bytes;
}

void AppendArchive(std::string& file, const std::vector<RawEntry>& entries) {
  std::string directory;
  for (const RawEntry& entry : entries) {
    const std::string stream = Deflate(entry.data);
    directory += format::EncodeRecord(static_cast<std::uint32_t>(file.size()),
                                      static_cast<std::uint32_t>(entry.data.size()),
                                      static_cast<std::uint32_t>(stream.size()), entry.name);
    file += stream;
  }
  file += directory;
  Close(file, static_cast<std::uint32_t>(entries.size()));
}

bool Reseal(std::span<unsigned char> package) {
  const std::uint64_t end =
      format::CertificateTableStart(package.first(std::min(package.size(), format::kPeHeadBytes)),
                                    package.size())
          .value_or(package.size());
  const auto marker = format::FindMarker(package.first(static_cast<std::size_t>(end)));
  if (!marker || *marker < format::kMarkerToEnd) return false;
  const std::size_t afterMarker = static_cast<std::size_t>(end) - *marker + format::kMarkerBytes;
  const std::string seal =
      format::SealTrailer(format::ChecksumOf(package.first(afterMarker)), afterMarker);
  std::memcpy(package.data() + afterMarker, seal.data(), seal.size());
  return true;
}

bool Reseal(std::string& package) {
  return Reseal(std::span(reinterpret_cast<unsigned char*>(package.data()), package.size()));
}

}  // namespace testing_support
