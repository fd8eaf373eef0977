#include "creator/app/startup_paths.h"

#include "text/command_line.h"

namespace creator {

StartupPaths ComputeStartupPaths(std::u16string_view commandLine) {
  StartupPaths paths;
  paths.programPath = std::u16string(text::ProgramPathOf(commandLine));
  const std::u16string& program = paths.programPath;

  const std::size_t backslash = program.rfind(u'\\');
  if (backslash != std::u16string::npos) paths.exeDirectory = program.substr(0, backslash);

  const std::size_t dot = program.rfind(u'.');
  paths.descriptionPath =
      (dot == std::u16string::npos ? std::u16string() : program.substr(0, dot + 1)) + u"txt";
  return paths;
}

}  // namespace creator
