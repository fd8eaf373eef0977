// Reading the string tables linked into a test program, block by block, as
// the resource loader holds them: for the tests of the programs' texts.
#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace testing_support {

// The seventeen languages that both programs carry.
inline constexpr std::array<LANGID, 17> kProgramLanguages = {1028, 1029, 1031, 1032, 1033, 1034,
                                                             1035, 1036, 1038, 1040, 1041, 1042,
                                                             1045, 1049, 1055, 2052, 2070};

// The 16 strings of string table block `block` (ids block*16-16 ..
// block*16-1) in `language`; nullopt when the program has no such block. A
// block whose counted strings do not fill it exactly fails the test.
std::optional<std::array<std::wstring, 16>> StringBlock(WORD block, LANGID language);

// String `id` in `language`; nullopt when its block is missing.
std::optional<std::wstring> StringIn(UINT id, LANGID language);

// How often `unit` occurs in `text`.
std::size_t CountOf(std::wstring_view text, wchar_t unit);

// Fails the test unless every string block of the program exists in
// exactly `languages`.
void ExpectEveryBlockInExactly(const std::set<LANGID>& languages);

}  // namespace testing_support
