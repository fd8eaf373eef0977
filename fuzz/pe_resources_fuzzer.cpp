// Fuzzes the resource editor with whole program images: reading the
// headers, the section table and the resource tree. An image that reads
// must write, and what it writes must read back to the same resources,
// with and without a resource added (which moves the sections behind the
// resource section). The seed is the linked fixture tests/unit/package/
// pe_fixtures/tiny.exe.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <variant>
#include <vector>

#include "package/pe_resources.h"

namespace {

using package::pe::ImageProblem;
using package::pe::ResourceId;
using package::pe::ResourceImage;

void Check(bool condition) {
  if (!condition) std::abort();
}

// Writes `image` and reads it back: the same resources, or too large.
void RoundTrip(const ResourceImage& image) {
  auto written = image.Write();
  if (const auto* problem = std::get_if<ImageProblem>(&written)) {
    Check(*problem == ImageProblem::kTooLarge);
    return;
  }
  const auto& bytes = std::get<std::vector<unsigned char>>(written);
  Check(ResourceImage::ImageLength(bytes) == bytes.size());
  auto reread = ResourceImage::Read(bytes);
  Check(std::holds_alternative<ResourceImage>(reread));
  Check(std::get<ResourceImage>(reread).resources() == image.resources());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const unsigned char> bytes(data, size);
  const auto length = ResourceImage::ImageLength(bytes);
  auto read = ResourceImage::Read(bytes);
  if (!std::holds_alternative<ResourceImage>(read)) return 0;
  Check(length == size);
  ResourceImage& image = std::get<ResourceImage>(read);
  RoundTrip(image);
  image.Set(ResourceId::Named(u"GIF"), ResourceId::Named(u"ARCHIVE"), 1024,
            std::vector<unsigned char>(5000, 0x47));
  RoundTrip(image);
  return 0;
}
