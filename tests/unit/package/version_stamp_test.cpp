#include "package/version_stamp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

namespace stamping = package::stamping;

std::string U8(std::u16string_view text) { return std::string(text.begin(), text.end()); }

TEST(VersionStamp, VersionTextsReadLikeASignedLongFromNineteenCharacters) {
  struct Case {
    std::u16string text;
    std::uint32_t value;
  };
  const Case cases[] = {
      {u"13", 13},
      {u"  3271 beta", 3271},
      {u"+65537", 65537},
      {u"v13", 0},
      {u"", 0},
      {u"-1", 0xFFFFFFFFu},
      {u"4294967296", 0},  // kept to 32 bits
      {u"0000000000000000001", 1},
      {u"00000000000000000012", 1},  // the 20th character is not read
  };
  for (const Case& c : cases) {
    EXPECT_EQ(stamping::ReadVersionNumber(c.text), c.value)
        << std::string(c.text.begin(), c.text.end());
  }
}

// A version block whose root has key `key` and, as its value, a fixed part
// of 52 bytes of 0xEE; `after` bytes of 0xAB follow the block (Windows
// hands out a version block with room behind it).
std::vector<unsigned char> Block(std::u16string_view key, std::size_t after = 0) {
  std::vector<unsigned char> block = {0, 0, 52, 0, 0, 0};  // wLength (below), wValueLength, binary
  for (char16_t c : key) {
    block.push_back(static_cast<unsigned char>(c));
    block.push_back(static_cast<unsigned char>(c >> 8));
  }
  block.push_back(0);
  block.push_back(0);
  while (block.size() % 4) block.push_back(0);
  block.insert(block.end(), 52, 0xEE);
  block[0] = static_cast<unsigned char>(block.size());
  block.insert(block.end(), after, 0xAB);
  return block;
}

std::uint32_t U32(const std::vector<unsigned char>& block, std::size_t at) {
  return block[at] | block[at + 1] << 8 | block[at + 2] << 16 | std::uint32_t{block[at + 3]} << 24;
}

TEST(VersionStamp, NumbersGoIntoFileAndProductVersionAndNothingElseChanges) {
  // The fixed part follows the key at the next four-byte boundary:
  // VS_VERSION_INFO has 15 characters, 6 + 30 + 2 = 38, rounded up to 40.
  struct Case {
    std::u16string key;
    std::size_t fixedPart;
  };
  for (const Case& c : {Case{u"VS_VERSION_INFO", 40}, Case{u"ab", 12}, Case{u"abc", 16}}) {
    const std::vector<unsigned char> before = Block(c.key, 8);
    std::vector<unsigned char> block = before;
    ASSERT_TRUE(stamping::SetVersionNumbers(block, 13, 65537)) << U8(c.key);
    const std::size_t f = c.fixedPart;
    EXPECT_EQ(U32(block, f + 8), 13u << 16);   // file version MS: 13.0
    EXPECT_EQ(U32(block, f + 12), 65537u);     // file version LS: 1.1
    EXPECT_EQ(U32(block, f + 16), 13u << 16);  // product version likewise
    EXPECT_EQ(U32(block, f + 20), 65537u);
    for (std::size_t at = f + 8; at < f + 24; ++at) block[at] = before[at];
    EXPECT_EQ(block, before) << "only the four numbers change: " << U8(c.key);
  }
  std::vector<unsigned char> block = Block(u"VS_VERSION_INFO");
  ASSERT_TRUE(stamping::SetVersionNumbers(block, 0x12345, 0));
  EXPECT_EQ(U32(block, 48), 0x23450000u);  // version * 65536 kept to 32 bits
}

TEST(VersionStamp, ABlockWithoutAFixedPartIsLeftAlone) {
  std::vector<unsigned char> cut = Block(u"VS_VERSION_INFO");
  cut.resize(cut.size() - 1);  // wLength reaches past the end
  std::vector<unsigned char> shortValue = Block(u"ab");
  shortValue[2] = 40;  // a value of 40 bytes: no fixed part
  shortValue[0] = static_cast<unsigned char>(12 + 40);
  shortValue.resize(12 + 40);
  for (std::vector<unsigned char> block :
       {cut, shortValue, std::vector<unsigned char>(40, 'x'), std::vector<unsigned char>{}}) {
    const std::vector<unsigned char> before = block;
    EXPECT_FALSE(stamping::SetVersionNumbers(block, 13, 1));
    EXPECT_EQ(block, before);
  }
}

TEST(VersionStamp, ToolCommandLineQuotesTargetAndValueOnly) {
  EXPECT_EQ(stamping::ToolCommandLine(u"C:\\TOOLS~1\\Stampel\\STAMPE~1.EXE",
                                      u"C:\\Out Dir\\pkg.exe", u"FileVersion", u"13.0 Build 3271"),
            u"C:\\TOOLS~1\\Stampel\\STAMPE~1.EXE -u \"C:\\Out Dir\\pkg.exe\" FileVersion \"13.0 "
            u"Build 3271\"");
  EXPECT_EQ(stamping::ToolCommandLine(u"T.EXE", u"p.exe", u"FileDescription", u""),
            u"T.EXE -u \"p.exe\" FileDescription \"\"");
}

}  // namespace
