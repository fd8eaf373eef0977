// StampelLib.exe: sets one version string of a program file.
//
//   StampelLib.exe -u "FILE" KEY "VALUE"
//
// sets the string KEY (FileVersion, ProductVersion, FileDescription, ...) to
// VALUE in every string table of FILE's version resource, in every language
// the resource exists in, adding the string to tables that lack it. All else
// in the resource, and every other resource, stays as it was. Nothing inside
// the quotes is escaped: VALUE runs to the next double quote, backslashes
// included, and "" sets the empty value.
//
// A GUI program without a window, so that no console appears while the
// package creator runs it. Exit codes (stampel::ExitCode):
//   0  stamped
//   1  bad command line
//   2  FILE is missing, unreadable, or not a program file
//   3  FILE has no version resource
//   4  a version block cannot be read
//   5  a version block has no string table
//   6  the new value makes a version block exceed 65,535 bytes
//   7  the resource update could not begin, write or commit
//   8  out of memory or another unexpected failure
// With any code but 0, FILE is unchanged.
#include <windows.h>

#include <exception>
#include <vector>

#include "platform/file_system.h"
#include "platform/win32/wide.h"
#include "tools/stampel/stamp.h"
#include "tools/stampel/version_resource_win.h"

namespace {

using stampel::ExitCode;

ExitCode Run(std::u16string_view commandLine) {
  const auto request = stampel::ParseCommandLine(commandLine);
  if (!request) return ExitCode::kBadCommandLine;
  // A bare file name would make LoadLibraryExW search the program's own
  // folder and the system's, where BeginUpdateResourceW looks in the current
  // folder: the full path makes both open the same file.
  const std::u16string path = platform::GetFullPath(request->file);
  if (path.empty()) return ExitCode::kFileNotLoaded;

  std::vector<stampel::VersionResource> resources;
  if (const ExitCode read = stampel::ReadVersionResources(path, resources);
      read != ExitCode::kStamped) {
    return read;
  }
  for (stampel::VersionResource& resource : resources) {
    std::vector<unsigned char> stamped;
    const ExitCode code =
        stampel::StampVersionBlock(resource.block, request->key, request->value, stamped);
    if (code != ExitCode::kStamped) return code;
    resource.block = std::move(stamped);
  }
  return stampel::WriteVersionResources(path, resources);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  try {
    return static_cast<int>(Run(platform::win32::FromWide(GetCommandLineW())));
  } catch (const std::exception&) {
    return static_cast<int>(ExitCode::kInternalError);
  }
}
