// The pure pieces of stamping a package's version: reading the version
// numbers from their texts, setting them in a version block, and the
// command line of the string-stamping tool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace package::stamping {

// The decimal value of a version text, read like a signed long from at most
// its first 19 characters (leading blanks, a sign, digits), kept to its low
// 32 bits.
std::uint32_t ReadVersionNumber(std::u16string_view text);

// Sets file and product version in the fixed part (VS_FIXEDFILEINFO, the
// root's value) of the version block at the start of `block` to
// version.0.(build / 65536).(build % 65536): the most significant halves to
// version * 65536 (kept to 32 bits), the least significant halves to build.
// Every other byte stays as it was, those after the block's end included.
// False, with nothing changed, when the block cannot be read (see
// ParseVersionBlock) or its root holds no fixed part.
bool SetVersionNumbers(std::vector<unsigned char>& block, std::uint32_t version,
                       std::uint32_t build);

// The string-stamping tool's command line: the tool, -u, the target in
// double quotes, the key, the value in double quotes, single blanks
// between. Nothing inside the quotes is escaped.
std::u16string ToolCommandLine(std::u16string_view tool, std::u16string_view target,
                               std::u16string_view key, std::u16string_view value);

}  // namespace package::stamping
