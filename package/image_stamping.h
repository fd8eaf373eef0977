// The build run's two resource steps done on an extractor image's bytes
// instead of a file through Windows: the splash image, and the version
// numbers and strings. sfxtool builds packages with them on any system;
// the result has the resources that the creator's steps (with its
// stamping tool) give the same image.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "package/pe_resources.h"

namespace package::stamping {

// The splash resource: type "GIF", name "ARCHIVE", language 1024 (neutral,
// default sub-language), the image file's bytes unchanged.
inline constexpr std::u16string_view kSplashType = u"GIF";
inline constexpr std::u16string_view kSplashName = u"ARCHIVE";
inline constexpr std::uint16_t kSplashLanguage = 1024;

// A package's version settings, as its description gives them.
struct VersionSettings {
  std::u16string version;
  std::u16string buildNumber;
  std::u16string fileAndProductVersion;
  std::u16string description;
};

// What StampImageVersion could do.
struct VersionOutcome {
  bool numbersSet = false;  // false: no readable version block with a translation
  int stringsSet = 0;       // of FileVersion, ProductVersion and FileDescription
};

// Adds or replaces the splash resource.
void AddSplash(pe::ResourceImage& image, std::vector<unsigned char> splash);

// Stamps the version as the build run does:
// - the numbers: the version block (RT_VERSION named 1, in language 0, else
//   0x0409, else its first language) gets version.0.(build / 65536).
//   (build % 65536) as file and product version, and is stored as RT_VERSION
//   1 in the language of its first translation; without a translation
//   nothing is stored;
// - then the strings FileVersion and ProductVersion (fileAndProductVersion)
//   and FileDescription (description), each set in every string table of
//   every language of RT_VERSION 1, or, when one of those blocks cannot take
//   it, in none (as one run of the stamping tool does).
VersionOutcome StampImageVersion(pe::ResourceImage& image, const VersionSettings& settings);

}  // namespace package::stamping
