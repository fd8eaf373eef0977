#include "package/package_format.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "package/span_reader.h"
#include "text/ascii.h"

namespace package::format {

std::uint32_t AddToChecksum(std::uint32_t sum, std::span<const unsigned char> bytes) {
  // Adding byte by byte and taking 2,000,000 off whenever the sum exceeds it
  // leaves 0 while only zeros were added, and otherwise the number in
  // 1..2,000,000 that is congruent to the plain sum modulo 2,000,000; so a
  // plain sum of the whole piece gives the same result, much faster.
  constexpr std::size_t kBlock = std::size_t{1} << 24;  // 255 x 2^24 fits 32 bits
  std::uint64_t total = 0;
  for (std::size_t start = 0; start < bytes.size(); start += kBlock) {
    const std::size_t end = std::min(bytes.size(), start + kBlock);
    std::uint32_t blockSum = 0;
    for (std::size_t i = start; i < end; ++i) blockSum += bytes[i];
    total += blockSum;
  }
  if (total == 0) return sum;
  return static_cast<std::uint32_t>((sum + total - 1) % kChecksumModulus + 1);
}

std::u16string RenderDecimal(std::uint64_t value, std::size_t digits) {
  std::u16string out(digits, u'0');
  for (std::size_t i = digits; i > 0 && value != 0; --i, value /= 10) {
    out[i - 1] = static_cast<char16_t>(u'0' + value % 10);
  }
  return out;
}

std::int64_t ParseDecimal(std::u16string_view text) {
  std::size_t i = 0;
  auto blank = [](char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); };
  while (i < text.size() && blank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    const int digit = text[i] - u'0';
    value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
  }
  return negative ? -value : value;
}

void AppendU32(std::string& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) {
    out.push_back(static_cast<char>((value >> shift) & 0xFF));
  }
}

void AppendText(std::string& out, std::u16string_view text) {
  for (char16_t c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
}

std::string EncodeRecord(std::uint32_t dataOffset, std::uint32_t size, std::uint32_t packedSize,
                         std::u16string_view name) {
  std::string out;
  out.reserve(kRecordFixedBytes + 2 * name.size());
  AppendU32(out, dataOffset);
  AppendU32(out, size);
  AppendU32(out, packedSize);
  AppendText(out, name);
  AppendU32(out, static_cast<std::uint32_t>(name.size()));
  return out;
}

std::string EncodeTrailerHead(std::uint32_t entryCount) {
  std::string out;
  AppendU32(out, entryCount);
  AppendText(out, kVersion);
  AppendText(out, kMarker);
  return out;
}

namespace {

// Windows opens a device, not a file, for these names, whatever extension
// follows them and in any letter case; "COM" and "LPT" take the digits 0
// to 9 and the superscripts one, two and three.
bool IsDeviceName(std::u16string_view component) {
  std::u16string_view base = component.substr(0, component.find(u'.'));
  while (!base.empty() && base.back() == u' ') base.remove_suffix(1);
  for (std::u16string_view device : {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"}) {
    if (text::EqualIgnoringAsciiCase(base, device)) return true;
  }
  if (base.size() == 4 && (text::EqualIgnoringAsciiCase(base.substr(0, 3), u"COM") ||
                           text::EqualIgnoringAsciiCase(base.substr(0, 3), u"LPT"))) {
    const char16_t n = base[3];
    return (n >= u'0' && n <= u'9') || n == u'\u00B9' || n == u'\u00B2' || n == u'\u00B3';
  }
  return false;
}

bool IsSafeComponent(std::u16string_view component) {
  if (component.empty() || component.back() == u'.' || component.back() == u' ') return false;
  for (char16_t c : component) {
    if (c < 0x20 || std::u16string_view(u":<>\"|?*").find(c) != std::u16string_view::npos) {
      return false;
    }
  }
  return !IsDeviceName(component);
}

}  // namespace

std::string SealTrailer(std::uint32_t checksum, std::uint64_t afterMarker) {
  std::string out;
  AppendText(out, RenderDecimal(checksum, kChecksumDigits));
  AppendText(out, RenderDecimal(afterMarker + kChecksumBytes, kSizeDigits));
  return out;
}

std::uint32_t ChecksumOf(std::span<const unsigned char> bytes) {
  return bytes.size() > kChecksumStart ? AddToChecksum(0, bytes.subspan(kChecksumStart)) : 0;
}

std::optional<std::size_t> FindMarker(std::span<const unsigned char> tail) {
  std::string marker;
  AppendText(marker, kMarker);
  const std::size_t span = std::min(tail.size(), kMarkerSearchLimit - 1);
  for (std::size_t i = kMarkerBytes; i <= span; ++i) {
    if (std::memcmp(tail.data() + (tail.size() - i), marker.data(), marker.size()) == 0) return i;
  }
  return std::nullopt;
}

std::optional<Trailer> DecodeTrailer(std::span<const unsigned char> tail,
                                     std::size_t markerDistance) {
  if (markerDistance < kMarkerToEnd || markerDistance > tail.size()) return std::nullopt;
  const std::size_t marker = tail.size() - markerDistance;
  SpanReader fields(tail, marker + kMarkerBytes, tail.size());
  Trailer trailer;
  trailer.checksumDigits = *fields.ReadUtf16LittleEndian(kChecksumDigits);
  trailer.sizeDigits = *fields.ReadUtf16LittleEndian(kSizeDigits);
  if (marker >= kVersionBytes + kCountBytes) {
    SpanReader head(tail, marker - kVersionBytes - kCountBytes, marker);
    trailer.entryCount = head.ReadU32LittleEndian();
    trailer.version = head.ReadUtf16LittleEndian(kVersion.size());
  }
  return trailer;
}

DirectoryStatus DecodeDirectory(std::span<const unsigned char> before, std::uint64_t beforeStart,
                                std::uint32_t count, std::vector<DirectoryRecord>& records,
                                std::size_t& directoryBytes) {
  records.clear();
  if (count > static_cast<std::uint32_t>(kMaxEntries)) return DirectoryStatus::kDamaged;
  records.resize(count);
  // Running out of bytes is damage only when the bytes reach back to the
  // file's start.
  const DirectoryStatus outOfBytes =
      beforeStart == 0 ? DirectoryStatus::kDamaged : DirectoryStatus::kShort;
  std::size_t end = before.size();  // the end of the record being read
  for (std::size_t k = count; k-- > 0;) {
    DirectoryRecord& record = records[k];
    if (end < 4) return outOfBytes;
    const std::uint32_t length = *SpanReader(before, end - 4, end).ReadU32LittleEndian();
    if (length > kMaxNameLength) return DirectoryStatus::kDamaged;
    const std::size_t recordBytes = kRecordFixedBytes + 2 * std::size_t{length};
    if (end < recordBytes) return outOfBytes;
    SpanReader in(before, end - recordBytes, end - 4);
    record.dataOffset = *in.ReadU32LittleEndian();
    record.size = *in.ReadU32LittleEndian();
    record.packedSize = *in.ReadU32LittleEndian();
    record.name = *in.ReadUtf16LittleEndian(length);
    if (!IsSafeStoredName(record.name)) return DirectoryStatus::kDamaged;
    end -= recordBytes;
  }
  directoryBytes = before.size() - end;

  // Every stream lies before the directory, and no two share a byte: each
  // entry reads only its own packed bytes, so the package's length bounds
  // what it can make an extraction read.
  const std::uint64_t directoryStart = beforeStart + end;
  std::vector<const DirectoryRecord*> byOffset;
  byOffset.reserve(records.size());
  for (const DirectoryRecord& record : records) byOffset.push_back(&record);
  std::sort(byOffset.begin(), byOffset.end(),
            [](const DirectoryRecord* x, const DirectoryRecord* y) {
              return x->dataOffset != y->dataOffset ? x->dataOffset < y->dataOffset
                                                    : x->packedSize < y->packedSize;
            });
  std::uint64_t free = 0;  // the first byte not yet taken by a stream
  for (const DirectoryRecord* record : byOffset) {
    const std::uint64_t streamEnd = std::uint64_t{record->dataOffset} + record->packedSize;
    if (record->dataOffset < free || streamEnd > directoryStart ||
        record->size > kMaxPackageBytes) {
      return DirectoryStatus::kDamaged;
    }
    free = streamEnd;
  }
  return DirectoryStatus::kSound;
}

bool IsSafeStoredName(std::u16string_view name) {
  for (std::size_t start = 0;;) {
    const std::size_t end = name.find_first_of(u"\\/", start);
    const bool last = end == std::u16string_view::npos;
    if (!IsSafeComponent(name.substr(start, last ? end : end - start))) return false;
    if (last) return true;
    start = end + 1;
  }
}


std::optional<std::uint64_t> CertificateTableStart(std::span<const unsigned char> head,
                                                   std::uint64_t fileLength) {
  constexpr std::uint64_t kNewHeaderOffsetField = 0x3C;
  constexpr std::uint64_t kCoffHeaderBytes = 20;
  constexpr std::uint16_t kPe32 = 0x10B, kPe32Plus = 0x20B;
  constexpr std::uint32_t kSecurityDirectory = 4;

  if (head.size() < 2 || head[0] != 'M' || head[1] != 'Z') return std::nullopt;
  const auto peOffset = U32LittleEndianAt(head, kNewHeaderOffsetField);
  if (!peOffset) return std::nullopt;
  const auto signature = U32LittleEndianAt(head, *peOffset);
  if (!signature || *signature != 0x00004550) return std::nullopt;  // "PE\0\0"
  const std::uint64_t coff = std::uint64_t{*peOffset} + 4;
  const auto optionalSize = U16LittleEndianAt(head, coff + 16);
  const std::uint64_t optional = coff + kCoffHeaderBytes;
  const auto magic = U16LittleEndianAt(head, optional);
  if (!optionalSize || !magic) return std::nullopt;

  std::uint64_t countField = 0;
  if (*magic == kPe32) {
    countField = optional + 92;
  } else if (*magic == kPe32Plus) {
    countField = optional + 108;
  } else {
    return std::nullopt;
  }
  const std::uint64_t directories = countField + 4;
  const std::uint64_t entry = directories + 8 * kSecurityDirectory;
  const auto count = U32LittleEndianAt(head, countField);
  // The security entry must be among the directories and inside the
  // optional header that the COFF header declares.
  if (!count || *count <= kSecurityDirectory || entry + 8 > optional + *optionalSize) {
    return std::nullopt;
  }
  const auto start = U32LittleEndianAt(head, entry);
  const auto size = U32LittleEndianAt(head, entry + 4);
  if (!start || !size || *start == 0 || *size == 0) return std::nullopt;
  if (std::uint64_t{*start} + *size != fileLength) return std::nullopt;
  return *start;
}

}  // namespace package::format
