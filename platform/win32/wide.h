// UTF-16 text between our char16_t strings and the Win32 wchar_t API: the
// two types have the same size and encoding on Windows.
#pragma once

#include <string>
#include <string_view>

namespace platform::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

inline const wchar_t* Wide(const std::u16string& s) {
  return reinterpret_cast<const wchar_t*>(s.c_str());
}

inline wchar_t* Wide(char16_t* s) { return reinterpret_cast<wchar_t*>(s); }

inline std::u16string FromWide(const wchar_t* s, std::size_t length) {
  return std::u16string(reinterpret_cast<const char16_t*>(s), length);
}

inline std::u16string FromWide(const wchar_t* s) {
  return FromWide(s, std::char_traits<wchar_t>::length(s));
}

}  // namespace platform::win32
