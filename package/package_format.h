// The package format: the one definition that the writer and the reader
// share. Every integer is an unsigned 32-bit little-endian value; every text
// is UTF-16 little-endian code units without a terminating zero.
//
//   offset 0
//   +-------------------------------+
//   | extractor image               |  the extractor program with its resources
//   +-------------------------------+  <- dataOffset of entry 0
//   | stream of entry 0             |  one zlib stream per entry, level 6,
//   | stream of entry 1             |  nothing between the streams
//   | ...                           |
//   +-------------------------------+
//   | directory record of entry 0   |  dataOffset, size, packedSize (u32 each),
//   | directory record of entry 1   |  name (2 x L bytes), L (u32)
//   | ...                           |
//   +-------------------------------+  <- trailer: 78 bytes
//   | entry count          u32      |  78 bytes before the end
//   | format version "1.10"  8 bytes|  74
//   | marker "!QERN_SFX!"   20 bytes|  66
//   | checksum, 13 digits   26 bytes|  46
//   | size field, 10 digits 20 bytes|  20: the number of bytes before it
//   +-------------------------------+  end of file
//
// The checksum is the sum of the bytes from offset 768 up to and including
// the marker's last byte, reduced by 2,000,000 whenever it exceeds
// 2,000,000, so it lies in 0..2,000,000. The decimal fields hold their value
// as digits, left-filled with the digit zero. The name length stands after
// the name because the reader walks the directory backwards from the count.
//
// Everything here is pure: encoding into and decoding from byte spans, no I/O.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace package::format {

inline constexpr std::u16string_view kMarker = u"!QERN_SFX!";
inline constexpr std::u16string_view kVersion = u"1.10";

inline constexpr std::size_t kCountBytes = 4;
inline constexpr std::size_t kVersionBytes = 8;
inline constexpr std::size_t kMarkerBytes = 20;
inline constexpr std::size_t kChecksumDigits = 13;
inline constexpr std::size_t kSizeDigits = 10;
inline constexpr std::size_t kChecksumBytes = 2 * kChecksumDigits;  // 26
inline constexpr std::size_t kSizeBytes = 2 * kSizeDigits;          // 20

// From the marker's first byte to the end of the size field.
inline constexpr std::size_t kMarkerToEnd = kMarkerBytes + kChecksumBytes + kSizeBytes;   // 66
inline constexpr std::size_t kTrailerBytes = kCountBytes + kVersionBytes + kMarkerToEnd;  // 78

// The fixed part of a directory record: three u32 before the name, one after.
inline constexpr std::size_t kRecordFixedBytes = 16;

// The checksum covers the file from this offset on.
inline constexpr std::uint64_t kChecksumStart = 768;
inline constexpr std::uint32_t kChecksumModulus = 2'000'000;

// The marker is looked for at 20 up to 9,999 bytes before the end of the
// file, so up to 9,933 bytes of other data may follow a package's trailer.
inline constexpr std::size_t kMarkerSearchLimit = 10'000;

inline constexpr int kMaxEntries = 512;
inline constexpr std::size_t kMaxNameLength = 1000;  // UTF-16 code units

// The most bytes a directory can take: 512 records with the longest names.
inline constexpr std::size_t kMaxDirectoryBytes =
    kMaxEntries * (kRecordFixedBytes + 2 * kMaxNameLength);

// Offsets and sizes are below 2^31: the package stays below 2 GiB.
inline constexpr std::uint64_t kMaxPackageBytes = 0x7FFF'FFFF;

// The layout that the diagram above shows, and that packages in the world
// hold: these never change.
static_assert(kMarker.size() * 2 == kMarkerBytes && kVersion.size() * 2 == kVersionBytes);
static_assert(kMarkerToEnd == 66 && kTrailerBytes == 78);
static_assert(kMaxDirectoryBytes == 1'032'192);
static_assert(kMarkerSearchLimit - 1 - kMarkerToEnd == 9'933, "bytes that may follow a trailer");

// Adds `bytes` to the running checksum `sum`.
std::uint32_t AddToChecksum(std::uint32_t sum, std::span<const unsigned char> bytes);

// `value` as `digits` UTF-16 decimal digits, left-filled with '0'. The value
// must fit; the 13- and 10-digit fields always hold a 32-bit number.
std::u16string RenderDecimal(std::uint64_t value, std::size_t digits);

// Reads a decimal field the way a signed long is read from text: leading
// blanks, an optional sign, then digits up to the first other character;
// no digits give 0. Values beyond the range of a 64-bit long saturate.
std::int64_t ParseDecimal(std::u16string_view text);

// Little-endian encoding into a byte string.
void AppendU32(std::string& out, std::uint32_t value);
void AppendText(std::string& out, std::u16string_view text);

// The encoded form of one directory record.
std::string EncodeRecord(std::uint32_t dataOffset, std::uint32_t size, std::uint32_t packedSize,
                         std::u16string_view name);

// The trailer behind the last record, without the checksum and size fields.
std::string EncodeTrailerHead(std::uint32_t entryCount);

// The checksum and size fields that close a package whose marker ends at
// file offset `afterMarker`, given the checksum of its bytes from offset
// 768 up to there. Every writer of packages seals through this.
std::string SealTrailer(std::uint32_t checksum, std::uint64_t afterMarker);

// The checksum of a whole package held in memory, from offset 768 to the
// end of `bytes` (which ends just after the marker).
std::uint32_t ChecksumOf(std::span<const unsigned char> bytes);

// Where the marker starts, counted back from the end of `tail`, the last
// bytes of a package: 20 to 9,999 bytes before the end, the occurrence
// nearest the end winning. Nothing when there is none.
std::optional<std::size_t> FindMarker(std::span<const unsigned char> tail);

// The fields around a marker that starts `markerDistance` bytes before the
// end of `tail`.
struct Trailer {
  std::u16string checksumDigits;  // the 13 code units behind the marker
  std::u16string sizeDigits;      // the 10 code units behind those
  // The 4 code units and the u32 in front of the marker; nothing when the
  // tail begins after them.
  std::optional<std::u16string> version;
  std::optional<std::uint32_t> entryCount;
};

// Nothing when the checksum and size fields do not follow the marker
// inside `tail`.
std::optional<Trailer> DecodeTrailer(std::span<const unsigned char> tail,
                                     std::size_t markerDistance);

// One directory record, as stored.
struct DirectoryRecord {
  std::uint32_t dataOffset = 0;
  std::uint32_t size = 0;
  std::uint32_t packedSize = 0;
  std::u16string name;
};

enum class DirectoryStatus {
  kSound,
  kShort,    // the bytes given end before the directory's first record does
  kDamaged,  // the directory does not fit the package or names an unsafe place
};

// Decodes and checks the `count` records of the directory that ends where
// `before` ends: the bytes just in front of the entry count, starting at
// file offset `beforeStart`. The records are walked backwards, each one's
// name length standing last. Sound means: at most 512 records, names of at
// most 1,000 code units that IsSafeStoredName accepts, sizes below 2 GiB,
// and streams that lie before the directory without sharing a byte. On
// kSound `records` holds entry 0 first and `directoryBytes` the
// directory's length; on kShort a longer `before` may still be sound (none
// is when `beforeStart` is 0).
DirectoryStatus DecodeDirectory(std::span<const unsigned char> before, std::uint64_t beforeStart,
                                std::uint32_t count, std::vector<DirectoryRecord>& records,
                                std::size_t& directoryBytes);

// True when `name` can be restored below a destination folder on every
// platform as the file it says, and nowhere else. Split at '\\' and '/',
// every component must be non-empty, must not end with '.' or a blank
// (Windows strips those, so ".." and ".. ." would step up to the parent
// and "a." would be "a"), must hold no control character below 0x20 and
// none of : < > " | ? * (':' opens an alternate data stream, the others
// are wildcards or refused by Windows), and must not be a device name
// (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9 and LPT0-9, with or without
// an extension, in any letter case). So an empty name, a leading separator
// and a drive prefix are refused too. A package written on Windows never
// holds any other name.
bool IsSafeStoredName(std::u16string_view name);

// The start of the certificate table (the signature) when `head`, the first
// bytes of a file of `fileLength` bytes, is a PE image (PE32 or PE32+) whose
// certificate table lies at the very end of the file; nothing otherwise.
std::optional<std::uint64_t> CertificateTableStart(std::span<const unsigned char> head,
                                                   std::uint64_t fileLength);

// How many bytes of a file's start CertificateTableStart needs to see.
inline constexpr std::size_t kPeHeadBytes = 4096;

}  // namespace package::format
