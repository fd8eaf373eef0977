#include "package/version_stamp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

namespace stamping = package::stamping;

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
    EXPECT_EQ(stamping::ReadVersionNumber(c.text), c.value) << std::string(c.text.begin(), c.text.end());
  }
}

// The head of a version block with key `key`, followed by a fixed part of
// 52 bytes of 0xEE.
std::vector<unsigned char> Block(std::u16string_view key) {
  std::vector<unsigned char> block(6, 0);
  for (char16_t c : key) {
    block.push_back(static_cast<unsigned char>(c));
    block.push_back(static_cast<unsigned char>(c >> 8));
  }
  block.push_back(0);
  block.push_back(0);
  while (block.size() % 4) block.push_back(0);
  block.insert(block.end(), 52, 0xEE);
  return block;
}

TEST(VersionStamp, FixedPartFollowsTheKeyAtTheNextFourByteBoundary) {
  // VS_VERSION_INFO has 15 characters: 6 + 30 + 2 = 38, rounded up to 40.
  EXPECT_EQ(stamping::FixedInfoOffset(Block(u"VS_VERSION_INFO")), 40u);
  EXPECT_EQ(stamping::FixedInfoOffset(Block(u"ab")), 12u);   // 6 + 4 + 2 = 12
  EXPECT_EQ(stamping::FixedInfoOffset(Block(u"abc")), 16u);  // 14 -> 16
  std::vector<unsigned char> cut = Block(u"VS_VERSION_INFO");
  cut.resize(cut.size() - 1);
  EXPECT_EQ(stamping::FixedInfoOffset(cut), std::nullopt);
  std::vector<unsigned char> endless(40, 'x');
  EXPECT_EQ(stamping::FixedInfoOffset(endless), std::nullopt);
}

TEST(VersionStamp, NumbersGoIntoFileAndProductVersion) {
  std::vector<unsigned char> block = Block(u"VS_VERSION_INFO");
  ASSERT_TRUE(stamping::SetVersionNumbers(block, 13, 65537));
  auto u32 = [&](std::size_t at) {
    return block[at] | block[at + 1] << 8 | block[at + 2] << 16 | std::uint32_t{block[at + 3]} << 24;
  };
  EXPECT_EQ(u32(40), 0xEEEEEEEEu);  // the signature stays
  EXPECT_EQ(u32(48), 13u << 16);    // file version MS: 13.0
  EXPECT_EQ(u32(52), 65537u);       // file version LS: 1.1
  EXPECT_EQ(u32(56), 13u << 16);
  EXPECT_EQ(u32(60), 65537u);
  EXPECT_EQ(u32(64), 0xEEEEEEEEu);  // nothing after the product version changes
  ASSERT_TRUE(stamping::SetVersionNumbers(block, 0x12345, 0));
  EXPECT_EQ(u32(48), 0x23450000u);  // version * 65536 kept to 32 bits
}

TEST(VersionStamp, ToolCommandLineQuotesTargetAndValueOnly) {
  EXPECT_EQ(stamping::ToolCommandLine(u"C:\\TOOLS~1\\Stampel\\STAMPE~1.EXE", u"C:\\Out Dir\\pkg.exe",
                                      u"FileVersion", u"13.0 Build 3271"),
            u"C:\\TOOLS~1\\Stampel\\STAMPE~1.EXE -u \"C:\\Out Dir\\pkg.exe\" FileVersion \"13.0 Build 3271\"");
  EXPECT_EQ(stamping::ToolCommandLine(u"T.EXE", u"p.exe", u"FileDescription", u""),
            u"T.EXE -u \"p.exe\" FileDescription \"\"");
}

}  // namespace
