// A program's version block (the data of its RT_VERSION resource) as a tree
// of nodes, read from and written to bytes by pure functions.
//
// Every node is laid out the same way; every integer is a little-endian u16:
//
//   wLength        the whole node, children included, in bytes
//   wValueLength   the value's length: in WORDs when wType is 1 (text), in
//                  bytes when wType is 0 (binary)
//   wType          1: text, 0: binary
//   szKey          UTF-16, zero-terminated
//   padding        to a 32-bit boundary
//   Value
//   padding        to a 32-bit boundary
//   Children       each starting on a 32-bit boundary
//
// Boundaries are counted from the start of the block. Blocks differ in
// whether a node's wLength counts the padding after its last byte: windres
// ends every node with its last value or child byte, other resource
// compilers round a parent up to the boundary behind its last child. Each
// node keeps which of the two it was read with. The tree of a program's
// block:
//
//   VS_VERSION_INFO     value: the fixed part (52 bytes, kept as it is)
//     StringFileInfo
//       040904B0        one string table per language and code page
//         CompanyName   value: the text and its terminating zero
//         ...
//     VarFileInfo
//       Translation     value: language and code page pairs
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace package {

inline constexpr std::uint16_t kBinaryNode = 0;
inline constexpr std::uint16_t kTextNode = 1;

// Nodes nest deeper than this only in blocks made to exhaust the reader; a
// program's block is four levels deep.
inline constexpr int kMaxNodeDepth = 16;

struct VersionNode {
  std::uint16_t type = kTextNode;
  std::u16string key;
  // The value's bytes as stored; a text value ends with its terminating
  // zero, and always has an even number of bytes.
  std::vector<unsigned char> value;
  std::vector<VersionNode> children;
  // wLength counts the padding to the boundary after the node's last byte.
  bool lengthIncludesEndPadding = false;

  friend bool operator==(const VersionNode&, const VersionNode&) = default;
};

// Reads the block at the start of `bytes` (bytes after the root's wLength
// are ignored). Nothing when any length points outside its node or its
// parent, a key lacks its terminating zero, or the nodes nest deeper than
// kMaxNodeDepth. Never reads outside `bytes`.
std::optional<VersionNode> ParseVersionBlock(std::span<const unsigned char> bytes);

// Writes the tree, computing every wLength and wValueLength from the nodes'
// contents; padding bytes are zero. For a block read by ParseVersionBlock
// and not changed since, the result is the bytes it was read from. Nothing
// when a node would exceed the 65,535 bytes its wLength can count, or a text
// node's value has an odd number of bytes.
std::optional<std::vector<unsigned char>> SerializeVersionBlock(const VersionNode& root);

// Sets the string `key` to `value` in every string table (every child of
// every StringFileInfo child of `root`): replaces the value of each string
// with that key, or appends the string as the table's last one where the
// table has none. Keys are compared ignoring ASCII case, as Windows looks
// them up; an existing key keeps its spelling. Returns the number of tables
// changed, 0 when the block has none.
std::size_t SetVersionString(VersionNode& root, std::u16string_view key, std::u16string_view value);

// The first child of `node` whose key is `key`, ignoring ASCII case;
// nullptr when there is none.
const VersionNode* FindChild(const VersionNode& node, std::u16string_view key);

// A text value's characters up to its first zero.
std::u16string TextValue(const VersionNode& node);

}  // namespace package
