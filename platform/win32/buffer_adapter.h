// Fills a string from a Win32 function that writes into a caller's buffer,
// growing the buffer until the whole result fits: no result is ever cut.
//
// Both Win32 conventions show a buffer too small by a result of at least
// its capacity: GetFullPathNameW, GetCurrentDirectoryW and GetShortPathNameW
// return the size they need (zero included), GetModuleFileNameW returns the
// capacity itself after cutting the text. A result below the capacity is the
// length written; 0 is a failure.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>

namespace platform::win32 {

// `call(buffer, capacity)` -> DWORD. Returns the empty string on failure,
// with the function's own last error left in place.
template <typename Call>
std::u16string FillBuffer(Call call) {
  constexpr DWORD kLargestPath = 32768;
  std::u16string buffer(MAX_PATH, u'\0');
  for (;;) {
    const DWORD capacity = static_cast<DWORD>(buffer.size());
    const DWORD result = call(reinterpret_cast<wchar_t*>(buffer.data()), capacity);
    if (result == 0) return {};
    if (result < capacity) {
      buffer.resize(result);
      return buffer;
    }
    if (capacity > kLargestPath) {
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return {};
    }
    buffer.assign(std::max<DWORD>(result, capacity * 2), u'\0');
  }
}

}  // namespace platform::win32
