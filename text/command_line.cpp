#include "text/command_line.h"

namespace text {

CommandLineParts SplitCommandLine(std::u16string_view line) {
  std::size_t end = 0;   // where the path ends
  std::size_t rest = 0;  // where the text after it begins
  CommandLineParts parts;
  if (!line.empty() && line[0] == u'"') {
    const std::size_t close = line.find(u'"', 1);
    if (close == std::u16string_view::npos) return parts;
    parts.programPath = line.substr(1, close - 1);
    rest = close + 1;
  } else {
    // The space is looked for in the whole line first; a tab ends the path
    // only in a line without any space.
    end = line.find(u' ');
    if (end == std::u16string_view::npos) end = line.find(u'\t');
    parts.programPath = line.substr(0, end);
    rest = end == std::u16string_view::npos ? line.size() : end;
  }
  while (rest < line.size() && (line[rest] == u' ' || line[rest] == u'\t')) ++rest;
  parts.arguments = line.substr(rest);
  return parts;
}

}  // namespace text
