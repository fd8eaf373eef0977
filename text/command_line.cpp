#include "text/command_line.h"

namespace text {

std::u16string_view ProgramPathOf(std::u16string_view line) {
  if (!line.empty() && line[0] == u'"') {
    const std::size_t close = line.find(u'"', 1);
    return close == std::u16string_view::npos ? std::u16string_view() : line.substr(1, close - 1);
  }
  // The space is looked for in the whole line first; a tab ends the path
  // only in a line without any space.
  std::size_t end = line.find(u' ');
  if (end == std::u16string_view::npos) end = line.find(u'\t');
  return line.substr(0, end);
}

}  // namespace text
