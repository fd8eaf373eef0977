#include "package/version_stamp.h"

#include <algorithm>

#include "package/package_format.h"
#include "package/version_block.h"

namespace package::stamping {
namespace {

constexpr std::size_t kFixedInfoBytes = 52;
constexpr std::size_t kFileVersionMs = 8;  // offsets inside the fixed part
constexpr std::size_t kFileVersionLs = 12;
constexpr std::size_t kProductVersionMs = 16;
constexpr std::size_t kProductVersionLs = 20;
constexpr std::size_t kMaxNumberCharacters = 19;

void PutU32(std::vector<unsigned char>& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace

std::uint32_t ReadVersionNumber(std::u16string_view text) {
  return static_cast<std::uint32_t>(format::ParseDecimal(text.substr(0, kMaxNumberCharacters)));
}

bool SetVersionNumbers(std::vector<unsigned char>& block, std::uint32_t version,
                       std::uint32_t build) {
  std::optional<VersionNode> root = ParseVersionBlock(block);
  if (!root || root->value.size() < kFixedInfoBytes) return false;
  const std::uint32_t high = version << 16;
  PutU32(root->value, kFileVersionMs, high);
  PutU32(root->value, kFileVersionLs, build);
  PutU32(root->value, kProductVersionMs, high);
  PutU32(root->value, kProductVersionLs, build);
  // A block read and written back unchanged is the same bytes, so only the
  // four numbers differ; what follows the block (Windows adds room there)
  // stays.
  const std::optional<std::vector<unsigned char>> bytes = SerializeVersionBlock(*root);
  if (!bytes || bytes->size() > block.size()) return false;
  std::copy(bytes->begin(), bytes->end(), block.begin());
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
