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

// The paths that follow from the program's own path in `commandLine`
// (text::ProgramPathOf).
StartupPaths ComputeStartupPaths(std::u16string_view commandLine);

}  // namespace creator
