#include "creator/app/startup_paths.h"

namespace creator {
namespace {

std::u16string_view CutProgramPath(std::u16string_view line) {
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

}  // namespace

StartupPaths ComputeStartupPaths(std::u16string_view commandLine) {
  StartupPaths paths;
  paths.programPath = std::u16string(CutProgramPath(commandLine));
  const std::u16string& program = paths.programPath;

  const std::size_t backslash = program.rfind(u'\\');
  if (backslash != std::u16string::npos) paths.exeDirectory = program.substr(0, backslash);

  const std::size_t dot = program.rfind(u'.');
  paths.descriptionPath =
      (dot == std::u16string::npos ? std::u16string() : program.substr(0, dot + 1)) + u"txt";
  return paths;
}

}  // namespace creator
