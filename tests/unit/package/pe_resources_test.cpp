// The resource editor on tiny.exe (pe_fixtures/, linked by
// scripts/make-pe-fixtures.sh): a real linker's sections, relocations
// behind the resource section, and windres's tree.
#include "package/pe_resources.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/unit/package/pe_fixture.h"

namespace {

using package::pe::ImageProblem;
using package::pe::ImageProblemText;
using package::pe::Resource;
using package::pe::ResourceId;
using package::pe::ResourceImage;
using pe_fixture::Bytes;
using pe_fixture::U32;
using pe_fixture::TinyImage;

Bytes Text(std::string_view text) { return Bytes(text.begin(), text.end()); }

void SetU32(Bytes& b, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

// Where the fields the tests look at lie in an image (PE32+).
struct Headers {
  explicit Headers(const Bytes& image) {
    const std::size_t pe = U32(image, 0x3C);
    sectionCount = image[pe + 6] | image[pe + 7] << 8;
    optional = pe + 24;
    directories = optional + 112;
    sectionTable = optional + (image[pe + 20] | image[pe + 21] << 8);
  }
  std::size_t Directory(int index) const { return directories + 8 * index; }
  std::size_t Section(int index) const { return sectionTable + 40 * index; }

  std::size_t optional, directories, sectionTable;
  int sectionCount;
};

ResourceImage MustRead(const Bytes& image) {
  auto read = ResourceImage::Read(image);
  if (auto* problem = std::get_if<ImageProblem>(&read)) {
    ADD_FAILURE() << ImageProblemText(*problem);
    std::abort();
  }
  return std::move(std::get<ResourceImage>(read));
}

Bytes MustWrite(const ResourceImage& image) {
  auto written = image.Write();
  EXPECT_TRUE(std::holds_alternative<Bytes>(written));
  return std::get<Bytes>(written);
}

TEST(PeResourcesTest, ReadsTheTreeALinkerWrote) {
  const Bytes image = TinyImage();
  ASSERT_GT(image.size(), 4096u);
  const ResourceImage read = MustRead(image);
  const auto& resources = read.resources();
  ASSERT_EQ(resources.size(), 4u);
  // Named types first; languages ascending.
  EXPECT_EQ(resources[0], (Resource{ResourceId::Named(u"BLOB"), ResourceId::Named(u"FIRST"), 0x407,
                                    0, Text("deutsch")}));
  EXPECT_EQ(resources[1], (Resource{ResourceId::Named(u"BLOB"), ResourceId::Named(u"FIRST"), 0x409,
                                    0, Text("english")}));
  EXPECT_EQ(resources[2], (Resource{ResourceId::Number(10), ResourceId::Number(1), 0, 0,
                                    Bytes{'o', 'n', 'e', 0}}));
  EXPECT_EQ(resources[3].type, ResourceId::Number(16));
  EXPECT_EQ(resources[3].language, 0x409);
  ASSERT_EQ(resources[3].data.size(), 332u);
  EXPECT_EQ(resources[3].data[0] | resources[3].data[1] << 8, 332);  // the version block's wLength

  // The linker's header checksum is the one this code computes.
  const Headers h(image);
  EXPECT_EQ(package::pe::ImageChecksum(image, h.optional + 64), U32(image, h.optional + 64));

  // A package: the image with an archive behind it.
  Bytes package = image;
  package.resize(image.size() + 5000, 'A');
  EXPECT_EQ(ResourceImage::ImageLength(package), image.size());
  EXPECT_EQ(ResourceImage::ImageLength(Text("MZ but nothing more")), std::nullopt);
}

TEST(PeResourcesTest, GrowsTheResourceSectionAndMovesTheRelocations) {
  Bytes image = TinyImage();
  const Headers h(image);
  const int resourceSection = h.sectionCount - 2;  // .rsrc, then .reloc
  // A code page on the resource that gets new data: replacing keeps it.
  ResourceImage original = MustRead(image);
  const Bytes oldRelocations(image.begin() + U32(image, h.Section(h.sectionCount - 1) + 20),
                             image.begin() + U32(image, h.Section(h.sectionCount - 1) + 20) +
                                 U32(image, h.Section(h.sectionCount - 1) + 8));

  Bytes splash(20000);
  for (std::size_t i = 0; i < splash.size(); ++i) splash[i] = static_cast<unsigned char>(i * 7);
  original.Set(ResourceId::Named(u"GIF"), ResourceId::Named(u"ARCHIVE"), 1024, splash);
  original.Set(ResourceId::Named(u"BLOB"), ResourceId::Named(u"FIRST"), 0x409, Text("longer text"));
  const Bytes out = MustWrite(original);

  const ResourceImage reread = MustRead(out);
  EXPECT_EQ(reread.resources(), original.resources());
  ASSERT_EQ(reread.resources().size(), 5u);
  EXPECT_EQ(reread.resources()[2].type, ResourceId::Named(u"GIF"));  // BLOB < GIF < numbers
  EXPECT_EQ(reread.resources()[2].data, splash);

  const Headers o(out);
  ASSERT_EQ(o.sectionCount, h.sectionCount);
  // The sections in front keep their bytes and places.
  const std::uint32_t resourceRaw = U32(out, o.Section(resourceSection) + 20);
  EXPECT_TRUE(std::equal(image.begin() + 0x400, image.begin() + resourceRaw, out.begin() + 0x400));
  // The resource section grew in place; the relocations follow it.
  const std::uint32_t resourceAddress = U32(out, o.Section(resourceSection) + 12);
  const std::uint32_t resourceSize = U32(out, o.Section(resourceSection) + 8);
  EXPECT_EQ(U32(out, o.Directory(2)), resourceAddress);
  EXPECT_EQ(U32(out, o.Directory(2) + 4), resourceSize);
  EXPECT_GT(resourceSize, splash.size());
  const std::size_t reloc = o.Section(o.sectionCount - 1);
  const std::uint32_t relocAddress = U32(out, reloc + 12);
  EXPECT_EQ(relocAddress, (resourceAddress + resourceSize + 0xFFF) / 0x1000 * 0x1000);
  EXPECT_EQ(U32(out, o.Directory(5)), relocAddress);
  EXPECT_EQ(U32(out, reloc + 20), resourceRaw + U32(out, o.Section(resourceSection) + 16));
  EXPECT_TRUE(std::equal(oldRelocations.begin(), oldRelocations.end(),
                         out.begin() + U32(out, reloc + 20)));
  EXPECT_EQ(U32(out, reloc + 20) + U32(out, reloc + 16), out.size());
  EXPECT_EQ(U32(out, o.optional + 56), (relocAddress + U32(out, reloc + 8) + 0xFFF) / 0x1000 * 0x1000);
  EXPECT_EQ(U32(out, o.optional + 64), package::pe::ImageChecksum(out, o.optional + 64));

  // Writing is a function of the resources: the same bytes again.
  EXPECT_EQ(MustWrite(reread), out);
}

// tiny.exe with its optional header turned into the 32-bit form (PE32):
// image base, stack and heap sizes in 4 bytes, BaseOfData added, the data
// directories 16 bytes earlier, the section table moved up behind them.
Bytes AsPe32(const Bytes& image) {
  const Headers h(image);
  const auto field = [&](std::size_t at, std::size_t n) {
    return Bytes(image.begin() + h.optional + at, image.begin() + h.optional + at + n);
  };
  Bytes optional = field(0, 24);
  for (const Bytes& part : {Bytes(4, 0), field(24, 4), field(32, 40), field(72, 4), field(80, 4),
                            field(88, 4), field(96, 4), field(104, 8), field(112, 128)}) {
    optional.insert(optional.end(), part.begin(), part.end());
  }
  optional[0] = 0x0B, optional[1] = 0x01;
  Bytes out = image;
  const std::size_t sections = 40 * h.sectionCount;
  std::fill(out.begin() + h.optional, out.begin() + h.sectionTable + sections, 0);
  std::copy(optional.begin(), optional.end(), out.begin() + h.optional);
  std::copy(image.begin() + h.sectionTable, image.begin() + h.sectionTable + sections,
            out.begin() + h.optional + optional.size());
  out[h.optional - 4] = static_cast<unsigned char>(optional.size());  // SizeOfOptionalHeader
  out[h.optional - 3] = 0;
  return out;
}

TEST(PeResourcesTest, ReadsAndRewritesAPe32Image) {
  const Bytes image = AsPe32(TinyImage());
  ResourceImage read = MustRead(image);
  EXPECT_EQ(read.resources(), MustRead(TinyImage()).resources());
  read.Set(ResourceId::Named(u"GIF"), ResourceId::Named(u"ARCHIVE"), 1024, Bytes(9000, 'g'));
  const Bytes out = MustWrite(read);
  EXPECT_EQ(MustRead(out).resources(), read.resources());
  // The directories of the 32-bit form: resources (2) and relocations (5).
  const std::size_t directories = U32(out, 0x3C) + 24 + 96;
  const std::size_t sectionTable = directories + 128;
  const std::size_t reloc = sectionTable + 40 * 7;
  EXPECT_EQ(U32(out, directories + 8 * 2), U32(out, sectionTable + 40 * 6 + 12));
  EXPECT_EQ(U32(out, directories + 8 * 5), U32(out, reloc + 12));
  EXPECT_GT(U32(out, reloc + 12), U32(image, sectionTable + 40 * 7 + 12));
}

TEST(PeResourcesTest, NamedTypesAreInTheOrderTheLoaderSearches) {
  // The loader's binary search compares names folded to lower case: "a_"
  // before "ab" although '_' comes after 'B' in code units.
  ResourceImage image = MustRead(TinyImage());
  for (const char16_t* name : {u"AB", u"A_", u"GIF"}) {
    image.Set(ResourceId::Named(name), ResourceId::Number(1), 0, Text("x"));
  }
  const Bytes out = MustWrite(image);
  const Headers o(out);
  const std::size_t tree = U32(out, o.Section(o.sectionCount - 2) + 20);
  const int named = out[tree + 12] | out[tree + 13] << 8;
  std::vector<std::u16string> names;
  for (int i = 0; i < named; ++i) {
    const std::size_t at = tree + (U32(out, tree + 16 + 8 * i) & 0x7FFFFFFF);
    std::u16string name;
    for (int k = 0; k < (out[at] | out[at + 1] << 8); ++k) {
      name += static_cast<char16_t>(out[at + 2 + 2 * k] | out[at + 3 + 2 * k] << 8);
    }
    names.push_back(name);
  }
  EXPECT_EQ(names, (std::vector<std::u16string>{u"A_", u"AB", u"BLOB", u"GIF"}));
}

TEST(PeResourcesTest, ReplacingKeepsTheCodePage) {
  Bytes image = TinyImage();
  // The data entry of the numbered type 10's one resource: third entry of
  // the root table, then the first entries down.
  const Headers h(image);
  const std::size_t tree = U32(image, h.Section(h.sectionCount - 2) + 20);
  auto child = [&](std::size_t table, int entry) {
    return tree + (U32(image, table + 16 + 8 * entry + 4) & 0x7FFFFFFF);
  };
  const std::size_t dataEntry = child(child(child(tree, 1), 0), 0);
  SetU32(image, dataEntry + 8, 1252);
  ResourceImage read = MustRead(image);
  read.Set(ResourceId::Number(10), ResourceId::Number(1), 0, Text("two"));
  const ResourceImage reread = MustRead(MustWrite(read));
  const Resource* replaced = reread.Find(ResourceId::Number(10), ResourceId::Number(1), 0);
  ASSERT_NE(replaced, nullptr);
  EXPECT_EQ(replaced->codePage, 1252u);
  EXPECT_EQ(replaced->data, Text("two"));
}

TEST(PeResourcesTest, RefusesWhatItCannotRewrite) {
  const Bytes fixture = TinyImage();
  const Headers h(fixture);
  const std::size_t rsrc = h.Section(h.sectionCount - 2);
  const std::size_t reloc = h.Section(h.sectionCount - 1);
  const std::size_t tree = U32(fixture, rsrc + 20);
  const std::uint32_t rsrcAddress = U32(fixture, rsrc + 12);
  const std::size_t relocBlock = U32(fixture, reloc + 20);
  // The tables of the first type (BLOB), its first name and first language.
  auto child = [&](const Bytes& b, std::size_t table, int entry) {
    return tree + (U32(b, table + 16 + 8 * entry + 4) & 0x7FFFFFFF);
  };
  const std::size_t names = child(fixture, tree, 0);
  const std::size_t languages = child(fixture, names, 0);
  const std::size_t dataEntry = child(fixture, languages, 0);

  const struct {
    const char* what;
    std::function<void(Bytes&)> change;
    ImageProblem expected;
  } cases[] = {
      {"no MZ", [](Bytes& b) { b[0] = 'X'; }, ImageProblem::kNotAnImage},
      {"no PE signature", [&](Bytes& b) { b[U32(b, 0x3C)] = 'Q'; }, ImageProblem::kNotAnImage},
      {"cut inside the section table", [&](Bytes& b) { b.resize(h.Section(3)); },
       ImageProblem::kDamagedHeaders},
      {"the last section past the end", [](Bytes& b) { b.resize(b.size() - 1); },
       ImageProblem::kDamagedHeaders},
      {"file alignment not a power of two", [&](Bytes& b) { SetU32(b, h.optional + 36, 0x300); },
       ImageProblem::kDamagedHeaders},
      {"sections out of address order",
       [&](Bytes& b) { SetU32(b, h.Section(1) + 12, U32(b, h.Section(0) + 12)); },
       ImageProblem::kDamagedHeaders},
      {"no resource directory", [&](Bytes& b) { SetU32(b, h.Directory(2), 0); },
       ImageProblem::kNoResourceSection},
      {"resources inside a section, not at its start",
       [&](Bytes& b) { SetU32(b, h.Directory(2), rsrcAddress + 16); },
       ImageProblem::kNoResourceSection},
      {"signed", [&](Bytes& b) { SetU32(b, h.Directory(4), 0x400), SetU32(b, h.Directory(4) + 4, 8); },
       ImageProblem::kSigned},
      {"a byte behind the last section", [](Bytes& b) { b.push_back(0); },
       ImageProblem::kTrailingData},
      {"imports in the resource section",
       [&](Bytes& b) { SetU32(b, h.Directory(1), rsrcAddress + 0x100); },
       ImageProblem::kSharedResourceSection},
      {"imports behind the last section, where the relocations would move to",
       [&](Bytes& b) { SetU32(b, h.Directory(1), U32(b, reloc + 12) + 0x1FFF); },
       ImageProblem::kDamagedHeaders},
      {"the entry point in the section behind",
       [&](Bytes& b) { SetU32(b, h.optional + 16, U32(b, reloc + 12)); },
       ImageProblem::kImmovableSection},
      {"exceptions in the section behind",
       [&](Bytes& b) { SetU32(b, h.Directory(3), U32(b, reloc + 12)); },
       ImageProblem::kImmovableSection},
      {"a section behind that must stay",
       [&](Bytes& b) { SetU32(b, reloc + 36, U32(b, reloc + 36) & ~0x02000000u); },
       ImageProblem::kImmovableSection},
      {"a relocation inside the resource section",
       [&](Bytes& b) { SetU32(b, relocBlock, rsrcAddress); },
       ImageProblem::kSharedResourceSection},
      {"a relocation block shorter than its header",
       [&](Bytes& b) { SetU32(b, relocBlock + 4, 4); }, ImageProblem::kDamagedHeaders},
      {"a root table counting more entries than the section holds",
       [&](Bytes& b) { b[tree + 12] = 0xFF, b[tree + 13] = 0xFF; },
       ImageProblem::kDamagedResources},
      {"a table past the section's end",
       [&](Bytes& b) { SetU32(b, tree + 16 + 4, 0x80000000 | 0x7FFF0); },
       ImageProblem::kDamagedResources},
      {"a type pointing at data instead of a table",
       [&](Bytes& b) { SetU32(b, tree + 16 + 4, U32(b, tree + 16 + 4) & 0x7FFFFFFF); },
       ImageProblem::kDamagedResources},
      {"a type table pointing back at the root",
       [&](Bytes& b) { SetU32(b, tree + 16 + 4, 0x80000000); }, ImageProblem::kDamagedResources},
      {"a name longer than the section",
       [&](Bytes& b) {
         const std::size_t name = tree + (U32(b, tree + 16) & 0x7FFFFFFF);
         b[name] = 0xFF, b[name + 1] = 0xFF;
       },
       ImageProblem::kDamagedResources},
      {"data outside every section", [&](Bytes& b) { SetU32(b, dataEntry, 0x00F00000); },
       ImageProblem::kDamagedResources},
      {"data larger than the image", [&](Bytes& b) { SetU32(b, dataEntry + 4, 0x7FFFFFF0); },
       ImageProblem::kDamagedResources},
      {"one language twice",
       [&](Bytes& b) { SetU32(b, languages + 16 + 8, U32(b, languages + 16)); },
       ImageProblem::kDamagedResources},
  };
  for (const auto& c : cases) {
    Bytes image = fixture;
    c.change(image);
    auto read = ResourceImage::Read(image);
    ASSERT_TRUE(std::holds_alternative<ImageProblem>(read)) << c.what;
    EXPECT_EQ(std::get<ImageProblem>(read), c.expected)
        << c.what << ": " << ImageProblemText(std::get<ImageProblem>(read));
  }
}

}  // namespace
