#include "package/version_block.h"

#include <algorithm>
#include <limits>

#include "package/span_reader.h"
#include "text/ascii.h"

namespace package {
namespace {

// wLength, wValueLength, wType.
constexpr std::size_t kHeaderBytes = 6;
constexpr std::size_t kMaxNodeBytes = std::numeric_limits<std::uint16_t>::max();

constexpr std::size_t RoundUpTo32Bits(std::size_t offset) { return (offset + 3) & ~std::size_t{3}; }

// Reads the node at `start`, which must end by `limit`; sets `nodeEnd` to
// the offset just past its wLength.
std::optional<VersionNode> ParseNode(std::span<const unsigned char> block, std::size_t start,
                                     std::size_t limit, int depth, std::size_t& nodeEnd) {
  if (depth > kMaxNodeDepth) return std::nullopt;
  SpanReader header(block, start, limit);
  const auto length = header.ReadU16LittleEndian();
  const auto valueLength = header.ReadU16LittleEndian();
  const auto type = header.ReadU16LittleEndian();
  if (!type || *length < kHeaderBytes || *length > limit - start) return std::nullopt;
  const std::size_t end = start + *length;

  VersionNode node;
  node.type = *type;
  SpanReader in(block, start + kHeaderBytes, end);
  for (;;) {
    const auto unit = in.ReadU16LittleEndian();
    if (!unit) return std::nullopt;
    if (*unit == 0) break;
    node.key.push_back(static_cast<char16_t>(*unit));
  }
  std::size_t contentEnd = in.position();

  // A node with neither value nor children may end right after its key.
  const std::size_t valueBytes =
      node.type == kTextNode ? std::size_t{*valueLength} * 2 : std::size_t{*valueLength};
  if (valueBytes > 0 || in.remaining() > 0) {
    if (!in.AlignTo(4)) return std::nullopt;
    const auto value = in.ReadBytes(valueBytes);
    if (!value) return std::nullopt;
    node.value.assign(value->begin(), value->end());
    if (valueBytes > 0) contentEnd = in.position();
  }

  while (in.remaining() > 0) {
    if (!in.AlignTo(4)) return std::nullopt;
    if (in.remaining() == 0) break;
    std::size_t childEnd = 0;
    auto child = ParseNode(block, in.position(), end, depth + 1, childEnd);
    if (!child) return std::nullopt;
    node.children.push_back(std::move(*child));
    in.MoveTo(childEnd);
    contentEnd = childEnd;
  }
  // The loops above end only on the boundary after the content, or at it.
  node.lengthIncludesEndPadding = contentEnd != end;
  nodeEnd = end;
  return node;
}

void AppendU16LittleEndian(std::vector<unsigned char>& out, std::uint16_t value) {
  out.push_back(static_cast<unsigned char>(value & 0xFF));
  out.push_back(static_cast<unsigned char>(value >> 8));
}

void PadTo32Bits(std::vector<unsigned char>& out) { out.resize(RoundUpTo32Bits(out.size()), 0); }

// Writes `node` at the end of `out`, whose start is the block's start.
bool WriteNode(const VersionNode& node, std::vector<unsigned char>& out) {
  if (node.type == kTextNode && node.value.size() % 2 != 0) return false;
  if (node.key.find(u'\0') != std::u16string::npos) return false;
  const std::size_t valueLength =
      node.type == kTextNode ? node.value.size() / 2 : node.value.size();
  if (valueLength > kMaxNodeBytes) return false;

  const std::size_t start = out.size();
  AppendU16LittleEndian(out, 0);  // wLength, set below
  AppendU16LittleEndian(out, static_cast<std::uint16_t>(valueLength));
  AppendU16LittleEndian(out, node.type);
  for (const char16_t unit : node.key) AppendU16LittleEndian(out, unit);
  AppendU16LittleEndian(out, 0);
  if (!node.value.empty() || !node.children.empty()) PadTo32Bits(out);
  out.insert(out.end(), node.value.begin(), node.value.end());
  for (const VersionNode& child : node.children) {
    PadTo32Bits(out);
    if (!WriteNode(child, out)) return false;
  }
  if (node.lengthIncludesEndPadding) PadTo32Bits(out);

  const std::size_t length = out.size() - start;
  if (length > kMaxNodeBytes) return false;
  out[start] = static_cast<unsigned char>(length & 0xFF);
  out[start + 1] = static_cast<unsigned char>(length >> 8);
  return true;
}

std::vector<unsigned char> EncodeText(std::u16string_view text) {
  std::vector<unsigned char> bytes;
  bytes.reserve(2 * (text.size() + 1));
  for (const char16_t unit : text) AppendU16LittleEndian(bytes, unit);
  AppendU16LittleEndian(bytes, 0);
  return bytes;
}

}  // namespace

std::optional<VersionNode> ParseVersionBlock(std::span<const unsigned char> bytes) {
  std::size_t end = 0;
  return ParseNode(bytes, 0, bytes.size(), 0, end);
}

std::optional<std::vector<unsigned char>> SerializeVersionBlock(const VersionNode& root) {
  std::vector<unsigned char> out;
  if (!WriteNode(root, out)) return std::nullopt;
  return out;
}

std::size_t SetVersionString(VersionNode& root, std::u16string_view key,
                             std::u16string_view value) {
  std::size_t tables = 0;
  for (VersionNode& info : root.children) {
    if (!text::EqualIgnoringAsciiCase(info.key, u"StringFileInfo")) continue;
    for (VersionNode& table : info.children) {
      bool found = false;
      for (VersionNode& entry : table.children) {
        if (!text::EqualIgnoringAsciiCase(entry.key, key)) continue;
        entry.type = kTextNode;
        entry.value = EncodeText(value);
        found = true;
      }
      if (!found) {
        table.children.push_back({kTextNode, std::u16string(key), EncodeText(value), {}, false});
      }
      ++tables;
    }
  }
  return tables;
}

const VersionNode* FindChild(const VersionNode& node, std::u16string_view key) {
  for (const VersionNode& child : node.children) {
    if (text::EqualIgnoringAsciiCase(child.key, key)) return &child;
  }
  return nullptr;
}

std::u16string TextValue(const VersionNode& node) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < node.value.size(); i += 2) {
    const auto unit = static_cast<char16_t>(node.value[i] | (node.value[i + 1] << 8));
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

}  // namespace package
