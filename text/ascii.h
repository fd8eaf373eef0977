// The one ASCII case fold: letters A-Z and a-z taken as equal, every other
// character (accented letters included) compared exactly. Windows compares
// version keys, device names and our package's names this way.
#pragma once

#include <string_view>

namespace text {

constexpr char16_t FoldAsciiCase(char16_t c) {
  return c >= u'a' && c <= u'z' ? c - (u'a' - u'A') : c;
}

constexpr bool EqualIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAsciiCase(a[i]) != FoldAsciiCase(b[i])) return false;
  }
  return true;
}

}  // namespace text
