#include "package/version_stamp.h"

#include "package/package_format.h"

namespace package::stamping {
namespace {

constexpr std::size_t kFixedInfoBytes = 52;
constexpr std::size_t kFileVersionMs = 8;  // offsets inside the fixed part
constexpr std::size_t kFileVersionLs = 12;
constexpr std::size_t kProductVersionMs = 16;
constexpr std::size_t kProductVersionLs = 20;
constexpr std::size_t kMaxNumberCharacters = 19;

void PutU32(std::span<unsigned char> bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace

std::uint32_t ReadVersionNumber(std::u16string_view text) {
  return static_cast<std::uint32_t>(format::ParseDecimal(text.substr(0, kMaxNumberCharacters)));
}

std::optional<std::size_t> FixedInfoOffset(std::span<const unsigned char> block) {
  constexpr std::size_t kKeyStart = 6;
  for (std::size_t at = kKeyStart; at + 1 < block.size(); at += 2) {
    if (block[at] == 0 && block[at + 1] == 0) {
      const std::size_t offset = (at + 2 + 3) & ~std::size_t{3};
      if (offset + kFixedInfoBytes > block.size()) return std::nullopt;
      return offset;
    }
  }
  return std::nullopt;
}

bool SetVersionNumbers(std::span<unsigned char> block, std::uint32_t version, std::uint32_t build) {
  const auto offset = FixedInfoOffset(block);
  if (!offset) return false;
  const std::uint32_t high = version << 16;
  PutU32(block, *offset + kFileVersionMs, high);
  PutU32(block, *offset + kFileVersionLs, build);
  PutU32(block, *offset + kProductVersionMs, high);
  PutU32(block, *offset + kProductVersionLs, build);
  return true;
}

std::u16string ToolCommandLine(std::u16string_view tool, std::u16string_view target,
                               std::u16string_view key, std::u16string_view value) {
  std::u16string line;
  line.reserve(tool.size() + target.size() + key.size() + value.size() + 10);
  line.append(tool).append(u" -u \"").append(target).append(u"\" ");
  line.append(key).append(u" \"").append(value).append(u"\"");
  return line;
}

}  // namespace package::stamping
