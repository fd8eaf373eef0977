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
inline constexpr std::size_t kMarkerToEnd = kMarkerBytes + kChecksumBytes + kSizeBytes;  // 66
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

// Offsets and sizes are below 2^31: the package stays below 2 GiB.
inline constexpr std::uint64_t kMaxPackageBytes = 0x7FFF'FFFF;

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

// A bounded little-endian cursor over bytes: each read answers nothing
// when the bytes run out, and never reads past the end.
class SpanReader {
 public:
  explicit SpanReader(std::span<const unsigned char> bytes) : bytes_(bytes) {}

  std::optional<std::uint32_t> ReadU32();
  std::optional<std::u16string> ReadText(std::size_t codeUnits);
  std::size_t remaining() const { return bytes_.size(); }

 private:
  std::span<const unsigned char> bytes_;
};

// The encoded form of one directory record.
std::string EncodeRecord(std::uint32_t dataOffset, std::uint32_t size, std::uint32_t packedSize,
                         std::u16string_view name);

// The trailer behind the last record, without the checksum and size fields.
std::string EncodeTrailerHead(std::uint32_t entryCount);

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
