// The creator's own paths, worked out from its command line.
#pragma once

#include <string>
#include <string_view>

namespace creator {

struct StartupPaths {
  std::u16string programPath;      // as the starting process wrote it
  std::u16string exeDirectory;     // programPath before its last '\', or empty
  std::u16string descriptionPath;  // programPath up to its last '.', then "txt"
};

// Cuts the program's own path out of a command line: the text between a
// leading double quote and the next one (empty without a closing quote);
// otherwise the text before the first space, or, with no space anywhere,
// before the first tab, or the whole line. The path is neither made
// absolute nor checked.
StartupPaths ComputeStartupPaths(std::u16string_view commandLine);

}  // namespace creator
