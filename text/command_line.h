// The program's own path in the command line that Windows hands a program.
#pragma once

#include <string_view>

namespace text {

// Cuts the program's own path out of a command line: the text between a
// leading double quote and the next one (empty without a closing quote);
// otherwise the text before the first space, or, with no space anywhere,
// before the first tab, or the whole line. The path is neither made
// absolute nor checked.
std::u16string_view ProgramPathOf(std::u16string_view commandLine);

}  // namespace text
