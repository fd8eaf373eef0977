// The parts of the extractor's system services that are rules over text:
// walks over Windows paths (separator '\\') with the existence test or the
// directory search passed in, the split of a registered open command, the
// clean-up commands left in RunOnce, and the reading of a system version.
// No function here touches the system; system_services.h binds them to it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace extractor::services {

// Whether `path` names an existing folder.
using FolderTest = std::function<bool(const std::u16string& path)>;

// The name that a directory search for `pattern` (a path without
// wildcards) returns, which is the long name of its last component; nothing
// when the search finds nothing.
using NameLookup = std::function<std::optional<std::u16string>(const std::u16string& pattern)>;

// `path` with every component after the first replaced by the name that
// `lookup` returns for it, so that short (8.3) names become long names. The
// text up to and including the first '\\' stays as it is; a trailing '\\'
// stays. `path` unchanged when it has no '\\', when a lookup finds nothing,
// or when a component is empty (a doubled '\\') or holds a wildcard ('*' or
// '?'), which a search would take as a pattern.
std::u16string LongPathName(const std::u16string& path, const NameLookup& lookup);

// The highest folder on `path` that does not exist yet, or `path` itself
// when it exists: removing it removes exactly the folders that creating
// `path` adds. The walk never climbs above the first folder below a drive
// ("C:\\A") or below a network share ("\\\\server\\share" stays whole).
std::u16string OutermostNewFolder(const std::u16string& path, const FolderTest& folderExists);

// The program and the arguments that open a document.
struct OpenCommand {
  std::u16string program;  // never quoted; RunProcess quotes it
  std::u16string arguments;

  bool operator==(const OpenCommand&) const = default;
};

// Whether a file with this name opens by itself rather than through a
// registered program: no extension in its last component, or ".exe",
// ".bat" or ".com" in any case.
bool RunsByItself(std::u16string_view file);

// The extension of the last component of `file`, with its dot ("" when
// there is none): the name of its key under the classes root.
std::u16string ExtensionOf(std::u16string_view file);

// Splits the registered command `command` ("shell\\open\\command") for the
// document `file`:
// - A command that begins with '"' names the program up to the next '"';
//   otherwise the program runs up to and including the first ".exe" (any
//   case), or up to the first blank when there is no ".exe". The rest, with
//   its leading blanks dropped, is the arguments.
// - A program that begins with "%SystemRoot%" (any case) has it replaced by
//   `systemRoot`; nothing when `systemRoot` is not given.
// - The first "%1" of the arguments becomes `file`: as it stands when the
//   "%1" is enclosed in '"', enclosed in '"' otherwise (the path may hold
//   blanks). Arguments without "%1" are followed by a blank and `file` in
//   '"'.
// Nothing when the command is empty or names no program.
std::optional<OpenCommand> SplitOpenCommand(std::u16string_view command, std::u16string_view file,
                                            std::optional<std::u16string_view> systemRoot);

// `program` and `arguments` as one command line: the program in '"' (not
// doubled when it is already quoted), one blank, the arguments.
std::u16string CommandLine(std::u16string_view program, std::u16string_view arguments);

// A registry path whose last component names a value, cut at its last
// '\\': the key path and the value's name. A path without '\\' is a value
// of the root itself.
struct KeyAndValue {
  std::u16string keyPath;
  std::u16string valueName;

  bool operator==(const KeyAndValue&) const = default;
};
KeyAndValue SplitKeyPathAndName(std::u16string_view keyPathAndName);

// The key below the local machine that runs its values once at the next
// log-on, and the commands our clean-up leaves there.
inline constexpr std::u16string_view kRunOnceKey =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// "cmd.exe /C del " and the file's path in '"': deletes one read-me file.
std::u16string DeleteFileCommand(std::u16string_view path);

// "cmd.exe /C  RD /S /Q " and the folder's path in '"': removes the unpacked
// folder with everything in it.
std::u16string DeleteFolderCommand(std::u16string_view folder);

// The names a package gives itself. `appName` is the text in front of
// ".AppNameFile" in the package's entry names (empty when there is none);
// `defaultName` is the program's default product name.
// - The product's name in texts: `appName` without its last 4 characters
//   (an extension such as ".exe"); `defaultName` when that leaves nothing.
// - The folder's name: `appName` whole; `defaultName` when it is empty.
std::u16string ProductName(std::u16string_view appName, std::u16string_view defaultName);
std::u16string FolderName(std::u16string_view appName, std::u16string_view defaultName);

// The entry that is the package's installer: 1 when the name of entry 0
// holds "ShowReadMe" (the read-me comes first), else 0.
int InstallerEntry(std::u16string_view firstEntryName);

// Folder texts that the user types for the unpacking.
// - Whether `folder` can name a folder at all: a network path (beginning
//   with two '\\') or a drive letter A-Z or a-z followed by ':'.
bool HasFolderShape(std::u16string_view folder);
// - The root whose free space counts for `folder`: the first three
//   characters of "X:\..."; for a network path, the longest prefix cut at
//   a '\' beyond the first two characters that `folderExists` finds, or
//   the whole text when none is found. Nothing for a text of fewer than 3
//   characters or one that is neither a network path nor begins with a
//   letter, ':' and '\'.
std::optional<std::u16string> SpaceRoot(std::u16string_view folder, const FolderTest& folderExists);
// - A size as the dialog shows it: whole megabytes (1,048,576 bytes,
//   rounded down) followed by ".0".
std::u16string MegabytesText(std::uint64_t bytes);

// The welcome text `text` (with "%1" for the product's name) moved onto two
// lines: " %1" (or "%1" when no blank leads it) becomes a line break
// followed by `productName`.
std::u16string WelcomeOnTwoLines(std::u16string_view text, std::u16string_view productName);

// The folder of the switch "/extract:FOLDER" or "/extract:"FOLDER WITH
// BLANKS"" (the switch in any letter case) when it is the first of the
// package's arguments; the folder ends at its closing quote, or at the first
// blank or tab, and may be empty. Nothing when the arguments do not begin
// with the switch.
std::optional<std::u16string> ExtractOnlyFolder(std::u16string_view arguments);

// Whether a "CurrentVersion" text such as "6.1" names version 6.0 or later.
// The numbers are compared, not the texts ("10.0" is later than "6.0");
// false for a text that does not begin with a number.
bool IsVersion6OrLater(std::u16string_view currentVersion);

}  // namespace extractor::services
