// Version blocks as windres makes them: the .res files in
// VERSION_BLOCK_FIXTURES were compiled from version_block_fixtures/*.rc by
// scripts/make-version-block-fixtures.sh, and each holds one RT_VERSION
// resource.
#include "package/version_block.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace {

using package::FindChild;
using package::ParseVersionBlock;
using package::SerializeVersionBlock;
using package::SetVersionString;
using package::TextValue;
using package::VersionNode;
using testing_support::U16;
using testing_support::U8;
using Bytes = std::vector<unsigned char>;

constexpr std::uint16_t kResourceTypeVersion = 16;

// Little-endian words and zero-terminated keys, for blocks made by hand.
struct ByteWriter {
  Bytes bytes;

  ByteWriter& Word(std::uint16_t value) {
    bytes.push_back(static_cast<unsigned char>(value & 0xFF));
    bytes.push_back(static_cast<unsigned char>(value >> 8));
    return *this;
  }
  ByteWriter& Key(std::u16string_view key) {
    for (const char16_t c : key) Word(c);
    return Word(0);
  }
  ByteWriter& Zeros(std::size_t count) {
    bytes.insert(bytes.end(), count, 0);
    return *this;
  }
};

std::uint16_t WordAt(const Bytes& bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

std::uint32_t LongAt(const Bytes& bytes, std::size_t offset) {
  return WordAt(bytes, offset) | (std::uint32_t{WordAt(bytes, offset + 2)} << 16);
}

// The data of the one RT_VERSION record of a .res file. Each record: DataSize
// and HeaderSize (u32), the type and the name (0xFFFF and a u16 id, or a
// zero-terminated UTF-16 name), padding to 32 bits, DataVersion (u32),
// MemoryFlags and LanguageId (u16), Version and Characteristics (u32), then
// the data, padded to 32 bits.
Bytes VersionBlockOf(const char* fixture) {
  const std::string file = testing_support::ReadWholeFile(
      U16(std::string(VERSION_BLOCK_FIXTURES) + "/" + fixture + ".res"));
  const Bytes res(file.begin(), file.end());
  std::vector<Bytes> found;
  std::size_t record = 0;
  while (record + 8 <= res.size()) {
    const std::uint32_t dataSize = LongAt(res, record);
    const std::uint32_t headerSize = LongAt(res, record + 4);
    if (headerSize < 12 || record + headerSize + dataSize > res.size()) {
      ADD_FAILURE() << fixture << ": damaged record at " << record;
      return {};
    }
    const bool numberedType = WordAt(res, record + 8) == 0xFFFF;
    if (numberedType && WordAt(res, record + 10) == kResourceTypeVersion) {
      const auto data = res.begin() + static_cast<std::ptrdiff_t>(record + headerSize);
      found.emplace_back(data, data + dataSize);
    }
    record = (record + headerSize + dataSize + 3) & ~std::size_t{3};
  }
  if (found.size() != 1) {
    ADD_FAILURE() << fixture << ": " << found.size() << " version resources";
    return {};
  }
  return found.front();
}

VersionNode ParsedFixture(const char* fixture) {
  auto root = ParseVersionBlock(VersionBlockOf(fixture));
  if (!root) {
    ADD_FAILURE() << fixture << " does not parse";
    return {};
  }
  return *root;
}

const VersionNode* Table(const VersionNode& root, std::u16string_view table) {
  const VersionNode* info = FindChild(root, u"StringFileInfo");
  return info ? FindChild(*info, table) : nullptr;
}

// The text of `key` in `table`, or "(missing)".
std::string StringIn(const VersionNode& root, std::u16string_view table, std::u16string_view key) {
  const VersionNode* t = Table(root, table);
  const VersionNode* s = t ? FindChild(*t, key) : nullptr;
  return s ? U8(TextValue(*s)) : "(missing)";
}

const char* const kFixtures[] = {"one_table", "one_table_stamped", "two_tables",
                                 "two_tables_stamped"};

TEST(VersionBlock, SerialisingAnUnchangedBlockGivesBackItsBytes) {
  for (const char* fixture : kFixtures) {
    const Bytes block = VersionBlockOf(fixture);
    ASSERT_FALSE(block.empty()) << fixture;
    const auto root = ParseVersionBlock(block);
    ASSERT_TRUE(root) << fixture;
    EXPECT_EQ(SerializeVersionBlock(*root), block) << fixture;
  }
}

TEST(VersionBlock, ReadsTheTreeWindresWrites) {
  const VersionNode root = ParsedFixture("one_table");
  EXPECT_EQ(root.key, u"VS_VERSION_INFO");
  EXPECT_EQ(root.type, package::kBinaryNode);
  // The fixed part starts with its signature, 0xFEEF04BD.
  ASSERT_EQ(root.value.size(), 52u);
  EXPECT_EQ(Bytes(root.value.begin(), root.value.begin() + 4), (Bytes{0xBD, 0x04, 0xEF, 0xFE}));

  const VersionNode* table = Table(root, u"040904B0");
  ASSERT_TRUE(table);
  std::vector<std::u16string> keys;
  for (const VersionNode& s : table->children) keys.push_back(s.key);
  EXPECT_EQ(keys, (std::vector<std::u16string>{u"CompanyName", u"FileVersion", u"Comments",
                                               u"ProductVersion", u"LegalCopyright"}));

  const VersionNode* vars = FindChild(root, u"VarFileInfo");
  const VersionNode* translation = vars ? FindChild(*vars, u"Translation") : nullptr;
  ASSERT_TRUE(translation);
  EXPECT_EQ(translation->type, package::kBinaryNode);
  EXPECT_EQ(translation->value, (Bytes{0x09, 0x04, 0xB0, 0x04}));

  const struct {
    const char* fixture;
    std::u16string_view table, key;
    std::string text;
  } strings[] = {
      {"one_table", u"040904B0", u"CompanyName", "Ärger & Söhne Werkzeug"},
      {"one_table", u"040904b0", u"fileversion", "1.0"},  // ASCII case does not matter
      {"one_table", u"040904B0", u"Comments", ""},
      {"one_table", u"040904B0", u"ProductVersion", "1.00"},
      {"one_table", u"040904B0", u"FileDescription", "(missing)"},
      {"two_tables", u"040704B0", u"ProductName", "Zweig"},
      {"two_tables", u"040704B0", u"ProductVersion", "(missing)"},
      {"one_table_stamped", u"040904B0", u"FileDescription", "Files for C:\\Data\\"},
  };
  for (const auto& s : strings) {
    EXPECT_EQ(StringIn(ParsedFixture(s.fixture), s.table, s.key), s.text)
        << s.fixture << " " << U8(s.key);
  }
}

// The oracle is windres itself: each stamped fixture is its base fixture
// with the strings written into the .rc file.
TEST(VersionBlock, SetStringGivesTheBlockWindresMakesForTheNewStrings) {
  const struct {
    const char* base;
    std::function<void(VersionNode&)> edit;
    std::size_t tables;
    const char* stamped;
  } cases[] = {
      {"one_table",
       [](VersionNode& root) {
         SetVersionString(root, u"FILEVERSION", u"10.20.30.400");  // keeps the table's spelling
         SetVersionString(root, u"Comments", u"now said");
         SetVersionString(root, u"ProductVersion", u"");
         SetVersionString(root, u"FileDescription", u"Files for C:\\Data\\");
       },
       1, "one_table_stamped"},
      {"two_tables", [](VersionNode& root) { SetVersionString(root, u"ProductVersion", u"3.1.4"); },
       2, "two_tables_stamped"},
  };
  for (const auto& c : cases) {
    VersionNode root = ParsedFixture(c.base);
    c.edit(root);
    EXPECT_EQ(SerializeVersionBlock(root), VersionBlockOf(c.stamped)) << c.base;
    VersionNode again = ParsedFixture(c.base);
    EXPECT_EQ(SetVersionString(again, u"FileVersion", u"x"), c.tables) << c.base;
  }
}

TEST(VersionBlock, SetStringFindsNoTableOutsideStringFileInfo) {
  VersionNode root = ParsedFixture("one_table");
  std::erase_if(root.children, [](const VersionNode& n) { return n.key == u"StringFileInfo"; });
  const VersionNode before = root;
  EXPECT_EQ(SetVersionString(root, u"FileVersion", u"2.0"), 0u);
  EXPECT_EQ(root, before);
}

// wine's resource compiler rounds each parent's wLength up to the boundary
// after its last child; a string still ends where its value ends.
TEST(VersionBlock, KeepsWhetherParentsCountTheirEndPadding) {
  ByteWriter w;
  w.Word(76).Word(0).Word(1).Key(u"R").Zeros(2);          //  0..76, child at 12
  w.Word(64).Word(0).Word(1).Key(u"StringFileInfo");      // 12..76, child at 48
  w.Word(28).Word(0).Word(1).Key(u"T").Zeros(2);          // 48..76, child at 60
  w.Word(14).Word(1).Word(1).Key(u"K").Zeros(2).Word(0);  // 60..74, value at 72
  w.Zeros(2);                                             // counted by the parents
  const Bytes block = w.bytes;
  ASSERT_EQ(block.size(), 76u);

  auto root = ParseVersionBlock(block);
  ASSERT_TRUE(root);
  EXPECT_EQ(SerializeVersionBlock(*root), block);

  // "v1" and its zero take the string to 60..78; the parents round up to 80.
  ASSERT_EQ(SetVersionString(*root, u"K", u"v1"), 1u);
  const auto stamped = SerializeVersionBlock(*root);
  ASSERT_TRUE(stamped);
  ASSERT_EQ(stamped->size(), 80u);
  EXPECT_EQ(WordAt(*stamped, 0), 80);
  EXPECT_EQ(WordAt(*stamped, 12), 68);
  EXPECT_EQ(WordAt(*stamped, 48), 32);
  EXPECT_EQ(WordAt(*stamped, 60), 18);
}

// The offset of the node whose key is `key`.
std::size_t NodeOffset(const Bytes& block, std::u16string_view key) {
  ByteWriter pattern;
  pattern.Key(key);
  const auto at =
      std::search(block.begin(), block.end(), pattern.bytes.begin(), pattern.bytes.end());
  EXPECT_NE(at, block.end()) << U8(key);
  return static_cast<std::size_t>(at - block.begin()) - 6;
}

TEST(VersionBlock, RejectsLengthsThatPointOutsideTheirNode) {
  const Bytes block = VersionBlockOf("one_table");
  ASSERT_FALSE(block.empty());
  constexpr std::size_t kLength = 0, kValueLength = 2;
  const struct {
    const char* what;
    std::u16string_view node;
    std::size_t field;
    std::function<std::uint16_t(std::uint16_t)> change;
  } cases[] = {
      {"root beyond the block", u"VS_VERSION_INFO", kLength,
       [&](auto) { return static_cast<std::uint16_t>(block.size() + 2); }},
      {"root shorter than its header", u"VS_VERSION_INFO", kLength, [](auto) { return 4; }},
      {"root ending inside its key", u"VS_VERSION_INFO", kLength, [](auto) { return 20; }},
      {"fixed part beyond the root", u"VS_VERSION_INFO", kValueLength,
       [&](auto) { return static_cast<std::uint16_t>(block.size()); }},
      {"table beyond StringFileInfo", u"040904B0", kLength, [](auto n) { return n + 4; }},
      {"StringFileInfo ending inside a header", u"StringFileInfo", kLength,
       [](auto n) { return n + 4; }},
      {"string shorter than its value", u"CompanyName", kLength, [](auto n) { return n - 2; }},
      {"text value beyond its string", u"FileVersion", kValueLength, [](auto n) { return n + 1; }},
      {"binary value beyond its node", u"Translation", kValueLength, [](auto n) { return n + 1; }},
  };
  for (const auto& c : cases) {
    Bytes damaged = block;
    const std::size_t at = NodeOffset(block, c.node) + c.field;
    const std::uint16_t changed = c.change(WordAt(block, at));
    damaged[at] = static_cast<unsigned char>(changed & 0xFF);
    damaged[at + 1] = static_cast<unsigned char>(changed >> 8);
    EXPECT_FALSE(ParseVersionBlock(damaged)) << c.what;
  }

  for (std::size_t size = 0; size < block.size(); ++size) {
    EXPECT_FALSE(ParseVersionBlock(std::span(block).first(size))) << "cut to " << size << " bytes";
  }
}

TEST(VersionBlock, RejectsNodesNestedDeeperThanTheLimit) {
  // A chain of nodes keyed "a", each the only child of the one before.
  auto chain = [](int nodes) {
    ByteWriter inner;
    inner.Word(10).Word(0).Word(1).Key(u"a");
    for (int i = 1; i < nodes; ++i) {
      ByteWriter outer;
      outer.Word(static_cast<std::uint16_t>(12 + inner.bytes.size()))
          .Word(0)
          .Word(1)
          .Key(u"a")
          .Zeros(2);
      outer.bytes.insert(outer.bytes.end(), inner.bytes.begin(), inner.bytes.end());
      inner = outer;
    }
    return inner.bytes;
  };
  // The innermost node has neither value nor children: it ends after its key.
  const Bytes deepest = chain(package::kMaxNodeDepth + 1);
  const auto root = ParseVersionBlock(deepest);
  ASSERT_TRUE(root);
  EXPECT_EQ(SerializeVersionBlock(*root), deepest);
  EXPECT_FALSE(ParseVersionBlock(chain(package::kMaxNodeDepth + 2)));
}

TEST(VersionBlock, SerialisesUpTo65535BytesAndNoMore) {
  const VersionNode base = ParsedFixture("one_table");
  const std::size_t baseSize = VersionBlockOf("one_table").size();
  std::size_t largest = 0;
  bool refused = false;
  for (std::size_t length = (65535 - baseSize) / 2 - 8; length < (65535 - baseSize) / 2 + 8;
       ++length) {
    VersionNode root = base;
    SetVersionString(root, u"Comments", std::u16string(length, u'x'));
    const auto bytes = SerializeVersionBlock(root);
    if (!bytes) {
      refused = true;
      continue;
    }
    EXPECT_FALSE(refused) << "a longer value fitted after a shorter one was refused";
    ASSERT_LE(bytes->size(), 65535u);
    EXPECT_EQ(WordAt(*bytes, 0), bytes->size());
    EXPECT_TRUE(ParseVersionBlock(*bytes));
    largest = bytes->size();
  }
  EXPECT_TRUE(refused);
  EXPECT_GE(largest, 65532u);
}

}  // namespace
