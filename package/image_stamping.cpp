#include "package/image_stamping.h"

#include <optional>

#include "package/version_block.h"
#include "package/version_stamp.h"

namespace package::stamping {
namespace {

const pe::ResourceId kVersionType = pe::ResourceId::Number(pe::kVersionType);
const pe::ResourceId kVersionName = pe::ResourceId::Number(1);
constexpr std::uint16_t kNeutralLanguage = 0;
constexpr std::uint16_t kUsEnglish = 0x0409;

// The version block that Windows' version functions read from a program
// whose user interface language is not among the block's languages.
const pe::Resource* VersionResource(const pe::ResourceImage& image) {
  for (const std::uint16_t language : {kNeutralLanguage, kUsEnglish}) {
    if (const pe::Resource* found = image.Find(kVersionType, kVersionName, language)) {
      return found;
    }
  }
  for (const pe::Resource& resource : image.resources()) {
    if (resource.type == kVersionType && resource.name == kVersionName) return &resource;
  }
  return nullptr;
}

// The language of the block's first translation ("\VarFileInfo\Translation").
std::optional<std::uint16_t> FirstTranslationLanguage(const std::vector<unsigned char>& block) {
  const std::optional<VersionNode> root = ParseVersionBlock(block);
  if (!root) return std::nullopt;
  const VersionNode* files = FindChild(*root, u"VarFileInfo");
  const VersionNode* translation = files ? FindChild(*files, u"Translation") : nullptr;
  if (!translation || translation->value.size() < 2) return std::nullopt;
  return static_cast<std::uint16_t>(translation->value[0] | translation->value[1] << 8);
}

// Sets one string in every version block; false, with none changed, when
// one of them cannot take it.
bool SetStringEverywhere(pe::ResourceImage& image, std::u16string_view key,
                         std::u16string_view value) {
  std::vector<std::pair<std::uint16_t, std::vector<unsigned char>>> stamped;
  for (const pe::Resource& resource : image.resources()) {
    if (!(resource.type == kVersionType && resource.name == kVersionName)) continue;
    std::optional<VersionNode> root = ParseVersionBlock(resource.data);
    if (!root || SetVersionString(*root, key, value) == 0) return false;
    std::optional<std::vector<unsigned char>> bytes = SerializeVersionBlock(*root);
    if (!bytes) return false;
    stamped.emplace_back(resource.language, std::move(*bytes));
  }
  if (stamped.empty()) return false;
  for (auto& [language, bytes] : stamped) {
    image.Set(kVersionType, kVersionName, language, std::move(bytes));
  }
  return true;
}

}  // namespace

void AddSplash(pe::ResourceImage& image, std::vector<unsigned char> splash) {
  image.Set(pe::ResourceId::Named(std::u16string(kSplashType)),
            pe::ResourceId::Named(std::u16string(kSplashName)), kSplashLanguage,
            std::move(splash));
}

VersionOutcome StampImageVersion(pe::ResourceImage& image, const VersionSettings& settings) {
  VersionOutcome outcome;
  if (const pe::Resource* resource = VersionResource(image)) {
    std::vector<unsigned char> block = resource->data;
    if (SetVersionNumbers(block, ReadVersionNumber(settings.version),
                          ReadVersionNumber(settings.buildNumber))) {
      if (const auto language = FirstTranslationLanguage(block)) {
        image.Set(kVersionType, kVersionName, *language, std::move(block));
        outcome.numbersSet = true;
      }
    }
  }
  const struct {
    std::u16string_view key;
    const std::u16string& value;
  } strings[] = {
      {u"FileVersion", settings.fileAndProductVersion},
      {u"ProductVersion", settings.fileAndProductVersion},
      {u"FileDescription", settings.description},
  };
  for (const auto& s : strings) {
    if (SetStringEverywhere(image, s.key, s.value)) ++outcome.stringsSet;
  }
  return outcome;
}

}  // namespace package::stamping
