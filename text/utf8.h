// UTF-8 <-> UTF-16 conversion, the same on every platform.
//
// Decoding replaces every malformed sequence with U+FFFD, one replacement
// for each maximal subpart of an ill-formed sequence (the practice the
// Unicode standard recommends): a truncated sequence, an unexpected
// continuation byte, an overlong form, an encoded surrogate and a value
// above U+10FFFF each give U+FFFD and decoding goes on after it.
#pragma once

#include <string>
#include <string_view>

namespace text {

std::u16string Utf8ToUtf16(std::string_view utf8);

// Encoding writes U+FFFD for a lone surrogate.
std::string Utf16ToUtf8(std::u16string_view utf16);

}  // namespace text
