// The pure pieces of stamping a package's version: reading the version
// numbers from their texts, finding the fixed part of a version block and
// setting its numbers, and the command line of the string-stamping tool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace package::stamping {

// The decimal value of a version text, read like a signed long from at most
// its first 19 characters (leading blanks, a sign, digits), kept to its low
// 32 bits.
std::uint32_t ReadVersionNumber(std::u16string_view text);

// Where the fixed part (VS_FIXEDFILEINFO, 52 bytes) of a version block
// starts: after the three 16-bit fields and the zero-terminated key, at the
// next 4-byte boundary. Nothing when the key has no end inside the block or
// the fixed part would not fit in it.
std::optional<std::size_t> FixedInfoOffset(std::span<const unsigned char> block);

// Sets file and product version to version.0.(build / 65536).(build % 65536):
// the most significant halves to version * 65536 (kept to 32 bits), the
// least significant halves to build. False, with nothing changed, when the
// block has no room for a fixed part.
bool SetVersionNumbers(std::span<unsigned char> block, std::uint32_t version, std::uint32_t build);

// The string-stamping tool's command line: the tool, -u, the target in
// double quotes, the key, the value in double quotes, single blanks
// between. Nothing inside the quotes is escaped.
std::u16string ToolCommandLine(std::u16string_view tool, std::u16string_view target,
                               std::u16string_view key, std::u16string_view value);

}  // namespace package::stamping
