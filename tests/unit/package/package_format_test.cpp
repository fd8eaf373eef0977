#include "package/package_format.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "package/span_reader.h"

namespace {

namespace format = package::format;

TEST(PackageFormat, TheTrailerHeadIsCountVersionAndMarker) {
  EXPECT_EQ(format::EncodeTrailerHead(3).size(),
            format::kTrailerBytes - format::kMarkerToEnd + format::kMarkerBytes);
}

TEST(PackageFormat, DecimalFieldsRenderAndParse) {
  struct Case {
    std::uint64_t value;
    std::size_t digits;
    std::u16string text;
  };
  const Case cases[] = {
      {0, 13, u"0000000000000"},         {42, 13, u"0000000000042"},
      {2'000'000, 13, u"0000002000000"}, {4'294'967'295u, 10, u"4294967295"},
      {1'234'567, 10, u"0001234567"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(format::RenderDecimal(c.value, c.digits), c.text) << c.value;
    EXPECT_EQ(format::ParseDecimal(c.text), static_cast<std::int64_t>(c.value)) << c.value;
  }
}

TEST(PackageFormat, ParseDecimalReadsLikeASignedLong) {
  struct Case {
    std::u16string text;
    std::int64_t value;
  };
  const Case cases[] = {
      {u"  42", 42},  {u"+7", 7},     {u"-0000000003", -3},
      {u"12ab", 12},  {u"abc", 0},    {u"", 0},
      {u"- 5", 0},    {u"\t\n 9", 9}, {u"99999999999999999999999", INT64_MAX},
      {u"\uFF11", 0},  // a full-width digit is no digit
  };
  for (const Case& c : cases) {
    std::string narrow(c.text.begin(), c.text.end());
    EXPECT_EQ(format::ParseDecimal(c.text), c.value) << narrow;
  }
}

// The checksum as the format defines it: byte by byte.
std::uint32_t ChecksumByteByByte(std::uint32_t sum, const std::vector<unsigned char>& bytes) {
  for (unsigned char b : bytes) {
    sum += b;
    if (sum > 2'000'000) sum -= 2'000'000;
  }
  return sum;
}

TEST(PackageFormat, ChecksumOfPiecesEqualsTheByteByByteSum) {
  std::mt19937 random(1234);
  std::vector<unsigned char> data(300'000);
  for (auto& b : data) b = static_cast<unsigned char>(random());
  // Runs of zeros and of 255 around the reduction edge.
  std::fill(data.begin() + 1000, data.begin() + 9000, 0);
  std::fill(data.begin() + 20000, data.begin() + 40000, 255);

  const std::uint32_t expected = ChecksumByteByByte(0, data);
  for (std::size_t piece : {1u, 7u, 4096u, 65536u, 300000u}) {
    std::uint32_t sum = 0;
    for (std::size_t at = 0; at < data.size(); at += piece) {
      const std::size_t n = std::min(piece, data.size() - at);
      sum = format::AddToChecksum(sum, {data.data() + at, n});
    }
    EXPECT_EQ(sum, expected) << "pieces of " << piece;
  }
}

TEST(PackageFormat, ChecksumEdgesAroundTwoMillion) {
  std::vector<unsigned char> exact(2'000'000 / 250, 250);  // sums to 2,000,000
  EXPECT_EQ(format::AddToChecksum(0, exact), 2'000'000u);
  EXPECT_EQ(format::AddToChecksum(format::AddToChecksum(0, exact), std::vector<unsigned char>{1}),
            1u);
  EXPECT_EQ(format::AddToChecksum(2'000'000, std::vector<unsigned char>(100, 0)), 2'000'000u);
  EXPECT_EQ(format::AddToChecksum(0, std::vector<unsigned char>(100, 0)), 0u);
}

TEST(PackageFormat, StoredNamesThatWindowsCannotHoldSafelyAreRefused) {
  struct Case {
    std::u16string name;
    bool safe;
  };
  const Case cases[] = {
      // Ordinary names, odd but harmless ones among them.
      {u"setup.exe", true},
      {u"Data\\a.txt", true},
      {u"Data/sub/a.txt", true},
      {u"..a\\b", true},
      {u"...x", true},
      {u".hidden", true},
      {u"HTML Images\\logo.gif", true},
      {u"Tool 5 INT.AppNameFile", true},
      {u"CONSOLE.txt", true},
      {u"COM10", true},
      {u"LPT", true},
      {u"xNUL", true},
      {u"\u00e9t\u00e9\\\U0001F600.txt", true},
      // Steps to the parent, also as Windows strips trailing dots and blanks.
      {u"..", false},
      {u"..\\evil.exe", false},
      {u"a\\..\\..\\b", false},
      {u"a/../b", false},
      {u"...\\b", false},
      {u".. \\b", false},
      {u"a\\.. .", false},
      {u"a\\..", false},
      // Empty components, a leading separator, a drive, trailing dots and blanks.
      {u"", false},
      {u"\\a.txt", false},
      {u"/a.txt", false},
      {u"a\\\\b", false},
      {u"a\\", false},
      {u".\\a", false},
      {u". .\\a", false},
      {u"C:\\a.txt", false},
      {u"a.", false},
      {u"a..\\b", false},
      {u"a \\b", false},
      // Alternate data streams, wildcards and characters Windows refuses.
      {u"a.txt:stream", false},
      {u"a<b", false},
      {u"a>b", false},
      {u"a\"b", false},
      {u"a|b", false},
      {u"a?b", false},
      {u"a*b", false},
      {u"a\tb", false},
      {std::u16string(u"a\0b", 3), false},
      {u"a\x1F", false},
      // Device names, with or without an extension, in any letter case.
      {u"CON", false},
      {u"con.txt", false},
      {u"Data\\nul", false},
      {u"aux .log", false},
      {u"COM1", false},
      {u"com9.txt", false},
      {u"LPT0\\a", false},
      {u"prn.tar.gz", false},
      {u"COM\u00B9", false},
      {u"lpt\u00B3.txt", false},
      {u"CONIN$", false},
      {u"conout$.x", false},
  };
  for (const Case& c : cases) {
    std::string narrow(c.name.begin(), c.name.end());
    EXPECT_EQ(format::IsSafeStoredName(c.name), c.safe) << narrow;
  }
}

// A minimal PE head: MZ, the offset of the PE header, the header, and the
// optional header's data directories up to the certificate table's entry.
std::vector<unsigned char> PeHead(std::uint16_t magic, std::uint32_t directories,
                                  std::uint32_t certStart, std::uint32_t certSize) {
  const std::size_t peOffset = 0x80;
  const std::size_t optional = peOffset + 4 + 20;
  const std::size_t countField = optional + (magic == 0x20B ? 108 : 92);
  const std::size_t optionalSize = countField + 4 + 16 * 8 - optional;
  std::vector<unsigned char> head(optional + optionalSize, 0);
  auto put16 = [&](std::size_t at, std::uint32_t v) {
    head[at] = v & 0xFF;
    head[at + 1] = (v >> 8) & 0xFF;
  };
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    put16(at, v & 0xFFFF);
    put16(at + 2, v >> 16);
  };
  head[0] = 'M';
  head[1] = 'Z';
  put32(0x3C, peOffset);
  put32(peOffset, 0x00004550);
  put16(peOffset + 4 + 16, static_cast<std::uint32_t>(optionalSize));
  put16(optional, magic);
  put32(countField, directories);
  put32(countField + 4 + 4 * 8, certStart);
  put32(countField + 4 + 4 * 8 + 4, certSize);
  return head;
}

TEST(PackageFormat, CertificateTableAtTheEndIsFound) {
  struct Case {
    const char* what;
    std::vector<unsigned char> head;
    std::uint64_t fileLength;
    std::optional<std::uint64_t> start;
  };
  std::vector<unsigned char> notMz = PeHead(0x20B, 16, 5000, 1000);
  notMz[0] = 'X';
  std::vector<unsigned char> cut = PeHead(0x20B, 16, 5000, 1000);
  cut.resize(0x90);
  const Case cases[] = {
      {"PE32+ signed", PeHead(0x20B, 16, 5000, 1000), 6000, 5000},
      {"PE32 signed", PeHead(0x10B, 16, 5000, 1000), 6000, 5000},
      {"table not at the end (data after the signature)", PeHead(0x20B, 16, 5000, 1000), 6001,
       std::nullopt},
      {"no certificate table", PeHead(0x20B, 16, 0, 0), 6000, std::nullopt},
      {"too few directories", PeHead(0x20B, 4, 5000, 1000), 6000, std::nullopt},
      {"unknown magic", PeHead(0x107, 16, 5000, 1000), 6000, std::nullopt},
      {"not an MZ image", notMz, 6000, std::nullopt},
      {"header cut short", cut, 6000, std::nullopt},
      {"sizes that overflow 32 bits", PeHead(0x20B, 16, 0xFFFFFF00u, 0x200), 0x100000100ull,
       0xFFFFFF00u},
      {"empty file", {}, 0, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(format::CertificateTableStart(c.head, c.fileLength), c.start) << c.what;
  }
}

TEST(SpanReader, AnswersNothingPastItsEndAndMovesNowhereThen) {
  const unsigned char bytes[] = {0x78, 0x56, 0x34, 0x12, 0x41, 0x00, 0x42, 0xFF, 0xEE};
  package::SpanReader reader(bytes, 0, 7);  // the last two bytes lie beyond its end
  EXPECT_EQ(reader.ReadU32LittleEndian(), 0x12345678u);
  EXPECT_EQ(reader.ReadUtf16LittleEndian(2), std::nullopt);  // 3 bytes left: not two code units
  EXPECT_EQ(reader.ReadUtf16LittleEndian(1), std::u16string(u"A"));
  EXPECT_EQ(reader.ReadU32LittleEndian(), std::nullopt);
  EXPECT_EQ(reader.ReadU16LittleEndian(), std::nullopt);
  EXPECT_EQ(reader.remaining(), 1u);
  EXPECT_FALSE(reader.AlignTo(4));  // 8 lies beyond the end
  EXPECT_EQ(reader.position(), 6u);

  package::SpanReader aligned(bytes);
  aligned.MoveTo(5);
  EXPECT_TRUE(aligned.AlignTo(4));
  EXPECT_EQ(aligned.position(), 8u);
  EXPECT_EQ(aligned.ReadU16LittleEndian(), std::nullopt);
  EXPECT_EQ(aligned.ReadBytes(1)->front(), 0xEE);
  EXPECT_EQ(aligned.ReadBytes(1), std::nullopt);
}

TEST(PackageFormat, TheSealHoldsTheChecksumAndItsOwnPosition) {
  // The size field holds the number of bytes in front of it: the marker's
  // end plus the 26 bytes of the checksum field.
  std::string expected;
  format::AppendText(expected,
                     u"0000000000042"
                     u"0000001026");
  EXPECT_EQ(format::SealTrailer(42, 1000), expected);
}

TEST(PackageFormat, RecordsAreLittleEndianWithTheLengthAfterTheName) {
  const std::string record = format::EncodeRecord(0x01020304, 5, 6, u"a\U0001F600");
  const std::string expected(
      "\x04\x03\x02\x01"
      "\x05\0\0\0"
      "\x06\0\0\0"
      "a\0\x3D\xD8\x00\xDE"
      "\x03\0\0\0",
      22);
  EXPECT_EQ(record, expected);
}

}  // namespace
