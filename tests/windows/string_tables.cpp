#include "tests/windows/string_tables.h"

#include <gtest/gtest.h>

#include <vector>

namespace testing_support {

std::optional<std::array<std::wstring, 16>> StringBlock(WORD block, LANGID language) {
  HRSRC info = FindResourceExW(nullptr, RT_STRING, MAKEINTRESOURCEW(block), language);
  if (!info) return std::nullopt;
  const auto* units = static_cast<const wchar_t*>(LockResource(LoadResource(nullptr, info)));
  const std::size_t size = SizeofResource(nullptr, info) / sizeof(wchar_t);
  std::array<std::wstring, 16> strings;
  std::size_t at = 0;
  for (std::wstring& text : strings) {
    if (at >= size) {
      ADD_FAILURE() << "block " << block << " of language " << language << " ends early";
      return std::nullopt;
    }
    const std::size_t length = static_cast<WORD>(units[at++]);
    if (length > size - at) {
      ADD_FAILURE() << "block " << block << " of language " << language << " overruns";
      return std::nullopt;
    }
    text.assign(units + at, length);
    at += length;
  }
  EXPECT_EQ(at, size) << "block " << block << " of language " << language;
  return strings;
}

std::optional<std::wstring> StringIn(UINT id, LANGID language) {
  const auto block = StringBlock(static_cast<WORD>(id / 16 + 1), language);
  if (!block) return std::nullopt;
  return (*block)[id % 16];
}

std::size_t CountOf(std::wstring_view text, wchar_t unit) {
  std::size_t count = 0;
  for (wchar_t c : text) count += c == unit;
  return count;
}

namespace {

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR blocks) {
  if (IS_INTRESOURCE(name)) {
    reinterpret_cast<std::vector<WORD>*>(blocks)->push_back(
        static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name)));
  }
  return TRUE;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR languages) {
  reinterpret_cast<std::set<LANGID>*>(languages)->insert(language);
  return TRUE;
}

}  // namespace

void ExpectEveryBlockInExactly(const std::set<LANGID>& expected) {
  std::vector<WORD> blocks;
  ASSERT_TRUE(
      EnumResourceNamesW(nullptr, RT_STRING, CollectName, reinterpret_cast<LONG_PTR>(&blocks)));
  ASSERT_FALSE(blocks.empty());
  for (WORD block : blocks) {
    std::set<LANGID> languages;
    EXPECT_TRUE(EnumResourceLanguagesW(nullptr, RT_STRING, MAKEINTRESOURCEW(block), CollectLanguage,
                                       reinterpret_cast<LONG_PTR>(&languages)));
    EXPECT_EQ(languages, expected) << "block " << block;
  }
}

}  // namespace testing_support
