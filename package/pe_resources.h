// The resources of a Windows program image (PE32 or PE32+), read from and
// written back to its bytes by pure functions: how sfxtool gives the
// extractor image its splash and version information without Windows.
//
// The resource section holds one tree of three levels (type, name,
// language) of directory tables, and data entries at its leaves:
//
//   directory table   16 bytes: characteristics, time stamp, major and
//                     minor version (u32 u32 u16 u16), then the counts of
//                     named and of numbered entries (u16 u16)
//   entry             8 bytes each, named entries first: the name (high
//                     bit set: offset of a string in the section; clear: a
//                     number) and the child (high bit set: offset of a
//                     table; clear: offset of a data entry)
//   string            a u16 count of UTF-16 code units, then the units
//   data entry        16 bytes: the data's RVA, its size, its code page, 0
//
// Offsets count from the section's start; data lies anywhere in the image,
// by RVA. Writing lays out a new section at the old one's place (tables,
// then data entries, then strings, then the data at 8-byte boundaries),
// moves the sections behind it that can move, and sets the section table,
// the image size, the resource and relocation directories and the header
// checksum to fit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace package::pe {

// A resource type or name: a string, or a 16-bit number.
struct ResourceId {
  std::u16string name;  // used when it is not empty
  std::uint16_t number = 0;

  static ResourceId Named(std::u16string text) { return {std::move(text), 0}; }
  static ResourceId Number(std::uint16_t value) { return {{}, value}; }
  bool IsNamed() const { return !name.empty(); }

  friend bool operator==(const ResourceId&, const ResourceId&) = default;
};

inline constexpr std::uint16_t kVersionType = 16;  // RT_VERSION

struct Resource {
  ResourceId type;
  ResourceId name;
  std::uint16_t language = 0;
  std::uint32_t codePage = 0;
  std::vector<unsigned char> data;

  friend bool operator==(const Resource&, const Resource&) = default;
};

// Why an image's resources cannot be read or rewritten.
enum class ImageProblem {
  kNotAnImage,             // no MZ and PE headers, or headers cut short
  kDamagedHeaders,         // sections or directories that do not fit the file
  kNoResourceSection,      // no resource directory, or it does not open a section
  kSharedResourceSection,  // another directory (imports, ...) lies in that section
  kImmovableSection,       // a section behind it that cannot move
  kSigned,                 // a certificate table: the signature would break
  kTrailingData,           // bytes behind the last section (symbols, an archive)
  kDamagedResources,       // a tree that leaves its section, loops or repeats
  kTooLarge,               // the new image would pass 2 GiB
};

// The problem's text, for messages ("the image has no resource section").
const char* ImageProblemText(ImageProblem problem);

// An image's bytes and its resources, for changing the resources.
class ResourceImage {
 public:
  // Reads `image`: nothing but a problem when it is not an image whose
  // resources can be rewritten. Never reads outside `image`.
  static std::variant<ResourceImage, ImageProblem> Read(std::span<const unsigned char> image);

  // Where the sections of the image at the start of `bytes` end in the file:
  // the image's length without what follows it (a package's archive).
  // Nothing when its headers cannot be read.
  static std::optional<std::size_t> ImageLength(std::span<const unsigned char> bytes);

  // In type, name, language order, as the directory tables keep them: named
  // ids before numbered ones, names as the loader's search compares them
  // (ASCII letters folded to lower case), numbers and languages ascending.
  const std::vector<Resource>& resources() const { return resources_; }

  // The resource, or nullptr.
  const Resource* Find(const ResourceId& type, const ResourceId& name,
                       std::uint16_t language) const;

  // Adds the resource, or replaces the data of the one with its type, name
  // and language (which keeps its code page).
  void Set(const ResourceId& type, const ResourceId& name, std::uint16_t language,
           std::vector<unsigned char> data);

  // The image with the resources as they stand now; only a problem
  // (kTooLarge) when it would pass 2 GiB.
  std::variant<std::vector<unsigned char>, ImageProblem> Write() const;

  // One section as the section table gives it.
  struct Section {
    std::size_t header = 0;  // where its 40-byte header lies in the image
    std::uint32_t virtualSize = 0;
    std::uint32_t virtualAddress = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t rawOffset = 0;
    std::uint32_t characteristics = 0;
  };

 private:
  ResourceImage() = default;
  // Reads the headers and the section table into `image`.
  static std::optional<ImageProblem> ReadHeaders(std::span<const unsigned char> bytes,
                                                 ResourceImage& image);

  std::vector<unsigned char> image_;
  std::vector<Resource> resources_;
  // What Write needs of the headers, read once by Read.
  std::vector<Section> sections_;
  std::size_t resourceSection_ = 0;  // index in sections_
  std::size_t optionalHeader_ = 0;   // offsets in the image
  std::size_t directories_ = 0;
  std::uint32_t directoryCount_ = 0;
  std::uint32_t sectionAlignment_ = 0;
  std::uint32_t fileAlignment_ = 0;
  std::size_t sectionsEnd_ = 0;  // where the last section's raw data ends
};

// The image checksum of the optional header: the 16-bit sum (with carries
// folded back in) of `image` taken as little-endian words, the checksum
// field at `checksumOffset` counted as 0, plus the image's length.
std::uint32_t ImageChecksum(std::span<const unsigned char> image, std::size_t checksumOffset);

}  // namespace package::pe
