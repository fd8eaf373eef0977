// The names that mark entries which are not ordinary payload. Each mark is
// found by a case-sensitive search inside an entry's stored name, except
// the checksum switch, which is a whole name in any letter case.
#pragma once

#include <string_view>

#include "text/ascii.h"

namespace package {

// The package's read-me document, restored and opened on request.
inline constexpr std::u16string_view kReadMeMark = u"ShowReadMe";
// An entry whose name carries the application's name in front of this.
inline constexpr std::u16string_view kAppNameMark = u".AppNameFile";
// Files that belong to the read-me document, restored with it.
inline constexpr std::u16string_view kHtmlImagesMark = u"HTML Images";
// An entry of this name switches off the checksum check of a package that
// carries a splash image.
inline constexpr std::u16string_view kChecksumSwitchName = u"setup.GW";

inline bool HasMark(std::u16string_view storedName, std::u16string_view mark) {
  return storedName.find(mark) != std::u16string_view::npos;
}

// Entries that ExtractAll leaves packed: the read-me, the application-name
// entry and the read-me's images.
inline bool IsLeftPacked(std::u16string_view storedName) {
  return HasMark(storedName, kReadMeMark) || HasMark(storedName, kAppNameMark) ||
         HasMark(storedName, kHtmlImagesMark);
}

// Entries that count towards PackedTotal and UnpackedTotal: all but the
// read-me and the application-name entry.
inline bool CountsInTotals(std::u16string_view storedName) {
  return !HasMark(storedName, kReadMeMark) && !HasMark(storedName, kAppNameMark);
}

inline bool IsChecksumSwitch(std::u16string_view storedName) {
  return text::EqualIgnoringAsciiCase(storedName, kChecksumSwitchName);
}

}  // namespace package
