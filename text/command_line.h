// The program's own path in the command line that Windows hands a program,
// and the arguments after it.
#pragma once

#include <string_view>

namespace text {

struct CommandLineParts {
  std::u16string_view programPath;
  std::u16string_view arguments;
};

// Cuts the program's own path out of a command line: the text between a
// leading double quote and the next one (empty without a closing quote);
// otherwise the text before the first space, or, with no space anywhere,
// before the first tab, or the whole line. The path is neither made
// absolute nor checked. The arguments are the rest of the line after the
// path (after its closing quote) and the blanks and tabs that follow it,
// exactly as written: quotes, inner blanks and empty arguments ("")
// included. A line whose quoted path has no closing quote has none.
CommandLineParts SplitCommandLine(std::u16string_view commandLine);

inline std::u16string_view ProgramPathOf(std::u16string_view commandLine) {
  return SplitCommandLine(commandLine).programPath;
}

}  // namespace text
