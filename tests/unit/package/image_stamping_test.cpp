// The version step on an image's bytes, on tiny.exe (pe_fixtures/): its
// version block is in language 0x0409 with the translation 0x0409/1200 and
// one string table holding CompanyName and FileVersion.
#include "package/image_stamping.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "package/version_block.h"
#include "tests/unit/package/pe_fixture.h"

namespace {

using package::pe::Resource;
using package::pe::ResourceId;
using package::pe::ResourceImage;
using package::stamping::StampImageVersion;
using package::stamping::VersionSettings;
using pe_fixture::Bytes;
using pe_fixture::U32;
using pe_fixture::TinyImage;

const ResourceId kVersion = ResourceId::Number(16);
const ResourceId kOne = ResourceId::Number(1);

ResourceImage Read(const Bytes& bytes) {
  auto read = ResourceImage::Read(bytes);
  if (!std::holds_alternative<ResourceImage>(read)) std::abort();
  return std::move(std::get<ResourceImage>(read));
}

// The fixed part's file version (MS, LS) and product version (MS, LS).
std::vector<std::uint32_t> Numbers(const Resource& version) {
  const auto root = package::ParseVersionBlock(version.data);
  if (!root || root->value.size() < 24) return {};
  return {U32(root->value, 8), U32(root->value, 12), U32(root->value, 16), U32(root->value, 20)};
}

std::u16string String(const Resource& version, std::u16string_view key) {
  const auto root = package::ParseVersionBlock(version.data);
  const package::VersionNode* files = root ? package::FindChild(*root, u"StringFileInfo") : nullptr;
  if (!files || files->children.empty()) return u"(no table)";
  const package::VersionNode* value = package::FindChild(files->children[0], key);
  return value ? package::TextValue(*value) : u"(missing)";
}

const VersionSettings kSettings{u"13", u"70001", u"13.0.70001", u"Example Setup"};

TEST(ImageStampingTest, SetsNumbersAndStringsInTheBlock) {
  ResourceImage image = Read(TinyImage());
  const auto outcome = StampImageVersion(image, kSettings);
  EXPECT_TRUE(outcome.numbersSet);
  EXPECT_EQ(outcome.stringsSet, 3);
  const Resource* version = image.Find(kVersion, kOne, 0x409);
  ASSERT_NE(version, nullptr);
  // 13.0.1.4465: the build number carries into the third part.
  EXPECT_EQ(Numbers(*version), (std::vector<std::uint32_t>{13u << 16, 70001, 13u << 16, 70001}));
  EXPECT_EQ(String(*version, u"CompanyName"), u"Fixture Makers");
  EXPECT_EQ(String(*version, u"FileVersion"), u"13.0.70001");
  EXPECT_EQ(String(*version, u"ProductVersion"), u"13.0.70001");
  EXPECT_EQ(String(*version, u"FileDescription"), u"Example Setup");
  EXPECT_EQ(std::count_if(image.resources().begin(), image.resources().end(),
                          [](const Resource& r) { return r.type == kVersion; }),
            1);
}

TEST(ImageStampingTest, NumbersGoToTheTranslationsLanguageAndStringsToEveryBlock) {
  // The translation says 0x0407 while the block is stored as 0x0409: the
  // numbered block is added in 0x0407, beside the old one, and both get the
  // strings.
  Bytes bytes = TinyImage();
  const unsigned char translation[] = {0x09, 0x04, 0xB0, 0x04};
  const auto at = std::search(bytes.begin(), bytes.end(), std::begin(translation),
                              std::end(translation));
  ASSERT_NE(at, bytes.end());
  *at = 0x07;
  ResourceImage image = Read(bytes);
  const auto outcome = StampImageVersion(image, kSettings);
  EXPECT_TRUE(outcome.numbersSet);
  EXPECT_EQ(outcome.stringsSet, 3);
  const Resource* added = image.Find(kVersion, kOne, 0x407);
  const Resource* old = image.Find(kVersion, kOne, 0x409);
  ASSERT_NE(added, nullptr);
  ASSERT_NE(old, nullptr);
  EXPECT_EQ(Numbers(*added)[0], 13u << 16);
  EXPECT_EQ(Numbers(*old)[0], 1u << 16 | 2);  // 1.2.3.4 as linked
  for (const Resource* r : {added, old}) {
    EXPECT_EQ(String(*r, u"FileDescription"), u"Example Setup");
  }
}

TEST(ImageStampingTest, WhatTheImageCannotTakeIsLeftUndone) {
  // A block without a translation keeps its numbers but takes the strings;
  // an unreadable block takes nothing.
  Bytes bytes = TinyImage();
  const std::u16string key = u"Translation";
  const auto* keyBytes = reinterpret_cast<const unsigned char*>(key.data());
  const auto at = std::search(bytes.begin(), bytes.end(), keyBytes, keyBytes + 2 * key.size());
  ASSERT_NE(at, bytes.end());
  at[0] = 'X';
  ResourceImage untranslated = Read(bytes);
  const Resource before = *untranslated.Find(kVersion, kOne, 0x409);
  const auto outcome = StampImageVersion(untranslated, kSettings);
  EXPECT_FALSE(outcome.numbersSet);
  EXPECT_EQ(outcome.stringsSet, 3);
  EXPECT_EQ(Numbers(*untranslated.Find(kVersion, kOne, 0x409)), Numbers(before));

  // An unreadable version block stands for a missing one.
  Bytes broken = TinyImage();
  const auto versionKey = std::u16string(u"VS_VERSION_INFO");
  const auto* versionBytes = reinterpret_cast<const unsigned char*>(versionKey.data());
  const auto block = std::search(broken.begin(), broken.end(), versionBytes,
                                 versionBytes + 2 * versionKey.size()) - 6;
  block[0] = 0xFF, block[1] = 0xFF;  // wLength past the resource's end
  ResourceImage unreadable = Read(broken);
  const auto none = StampImageVersion(unreadable, kSettings);
  EXPECT_FALSE(none.numbersSet);
  EXPECT_EQ(none.stringsSet, 0);
}

}  // namespace
