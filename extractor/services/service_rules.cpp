#include "extractor/services/service_rules.h"

#include <cstddef>
#include <string>

#include "package/entry_names.h"

namespace extractor::services {
namespace {

constexpr char16_t kSeparator = u'\\';

char16_t LowerAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c; }

std::u16string Lower(std::u16string_view text) {
  std::u16string lower(text);
  for (char16_t& c : lower) c = LowerAscii(c);
  return lower;
}

bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && Lower(text.substr(0, prefix.size())) == Lower(prefix);
}

std::u16string Quoted(std::u16string_view text) {
  std::u16string quoted(1, u'"');
  quoted += text;
  quoted += u'"';
  return quoted;
}

// Where the walk up a path stops: a cut below this position would leave a
// drive ("C:") or a network share's server ("\\\\server") as the parent.
std::size_t LowestCut(const std::u16string& path) {
  if (path.size() < 2 || path[0] != kSeparator || path[1] != kSeparator) return 4;
  const std::size_t server = path.find(kSeparator, 2);
  if (server == std::u16string::npos) return path.size();
  const std::size_t share = path.find(kSeparator, server + 1);
  return share == std::u16string::npos ? path.size() : share;
}

}  // namespace

std::u16string LongPathName(const std::u16string& path, const NameLookup& lookup) {
  const std::size_t first = path.find(kSeparator);
  if (first == std::u16string::npos) return path;
  std::u16string result = path.substr(0, first + 1);
  for (std::size_t start = first + 1; start < path.size();) {
    std::size_t end = path.find(kSeparator, start);
    if (end == std::u16string::npos) end = path.size();
    const std::u16string component = path.substr(start, end - start);
    if (component.empty() || component.find_first_of(u"*?") != std::u16string::npos) return path;
    const std::optional<std::u16string> name = lookup(result + component);
    if (!name || name->empty()) return path;
    result += *name;
    if (end < path.size()) result += kSeparator;
    start = end + 1;
  }
  return result;
}

std::u16string OutermostNewFolder(const std::u16string& path, const FolderTest& folderExists) {
  if (folderExists(path)) return path;
  const std::size_t lowest = LowestCut(path);
  std::u16string candidate = path;
  for (;;) {
    const std::size_t cut = candidate.rfind(kSeparator);
    if (cut == std::u16string::npos || cut < lowest) return candidate;
    std::u16string parent = candidate.substr(0, cut);
    if (folderExists(parent)) return candidate;
    candidate = std::move(parent);
  }
}

std::u16string ExtensionOf(std::u16string_view file) {
  const std::size_t lastSeparator = file.find_last_of(u"\\/");
  const std::u16string_view name =
      lastSeparator == std::u16string_view::npos ? file : file.substr(lastSeparator + 1);
  const std::size_t dot = name.rfind(u'.');
  return dot == std::u16string_view::npos ? std::u16string() : std::u16string(name.substr(dot));
}

bool RunsByItself(std::u16string_view file) {
  const std::u16string extension = Lower(ExtensionOf(file));
  return extension.empty() || extension == u".exe" || extension == u".bat" || extension == u".com";
}

std::optional<OpenCommand> SplitOpenCommand(std::u16string_view command, std::u16string_view file,
                                            std::optional<std::u16string_view> systemRoot) {
  std::u16string_view program, rest;
  if (!command.empty() && command.front() == u'"') {
    const std::size_t close = command.find(u'"', 1);
    program = command.substr(1, close == std::u16string_view::npos ? close : close - 1);
    rest = close == std::u16string_view::npos ? std::u16string_view() : command.substr(close + 1);
  } else {
    const std::size_t exe = Lower(command).find(u".exe");
    const std::size_t end = exe != std::u16string::npos ? exe + 4 : command.find(u' ');
    program = command.substr(0, end);
    rest = end == std::u16string_view::npos ? std::u16string_view() : command.substr(end);
  }
  while (!rest.empty() && (rest.front() == u' ' || rest.front() == u'\t')) rest.remove_prefix(1);
  if (program.empty()) return std::nullopt;

  OpenCommand result;
  constexpr std::u16string_view kSystemRoot = u"%SystemRoot%";
  if (StartsWithIgnoringCase(program, kSystemRoot)) {
    if (!systemRoot) return std::nullopt;
    result.program =
        std::u16string(*systemRoot) + std::u16string(program.substr(kSystemRoot.size()));
  } else {
    result.program = std::u16string(program);
  }

  const std::size_t placeholder = rest.find(u"%1");
  if (placeholder == std::u16string_view::npos) {
    result.arguments = std::u16string(rest);
    if (!result.arguments.empty()) result.arguments += u' ';
    result.arguments += Quoted(file);
    return result;
  }
  // Inside quotes when an odd number of them comes before it.
  std::size_t quotesBefore = 0;
  for (std::size_t i = 0; i < placeholder; ++i) quotesBefore += rest[i] == u'"';
  result.arguments = std::u16string(rest.substr(0, placeholder));
  result.arguments += quotesBefore % 2 == 1 ? std::u16string(file) : Quoted(file);
  result.arguments += rest.substr(placeholder + 2);
  return result;
}

std::u16string CommandLine(std::u16string_view program, std::u16string_view arguments) {
  std::u16string line =
      !program.empty() && program.front() == u'"' ? std::u16string(program) : Quoted(program);
  if (!arguments.empty()) {
    line += u' ';
    line += arguments;
  }
  return line;
}

KeyAndValue SplitKeyPathAndName(std::u16string_view keyPathAndName) {
  const std::size_t cut = keyPathAndName.rfind(kSeparator);
  if (cut == std::u16string_view::npos) return {{}, std::u16string(keyPathAndName)};
  return {std::u16string(keyPathAndName.substr(0, cut)),
          std::u16string(keyPathAndName.substr(cut + 1))};
}

std::u16string DeleteFileCommand(std::u16string_view path) {
  return u"cmd.exe /C del " + Quoted(path);
}

std::u16string DeleteFolderCommand(std::u16string_view folder) {
  return u"cmd.exe /C  RD /S /Q " + Quoted(folder);
}

std::u16string ProductName(std::u16string_view appName, std::u16string_view defaultName) {
  constexpr std::size_t kExtension = 4;
  if (appName.size() <= kExtension) return std::u16string(defaultName);
  return std::u16string(appName.substr(0, appName.size() - kExtension));
}

std::u16string FolderName(std::u16string_view appName, std::u16string_view defaultName) {
  return std::u16string(appName.empty() ? defaultName : appName);
}

int InstallerEntry(std::u16string_view firstEntryName) {
  return package::HasMark(firstEntryName, package::kReadMeMark) ? 1 : 0;
}

namespace {

bool IsAsciiLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

bool IsNetworkPath(std::u16string_view folder) { return folder.starts_with(u"\\\\"); }

}  // namespace

bool HasFolderShape(std::u16string_view folder) {
  return IsNetworkPath(folder) ||
         (folder.size() >= 2 && IsAsciiLetter(folder[0]) && folder[1] == u':');
}

std::optional<std::u16string> SpaceRoot(std::u16string_view folder,
                                        const FolderTest& folderExists) {
  if (folder.size() < 3) return std::nullopt;
  if (!IsNetworkPath(folder)) {
    if (!IsAsciiLetter(folder[0]) || folder[1] != u':' || folder[2] != kSeparator) {
      return std::nullopt;
    }
    return std::u16string(folder.substr(0, 3));
  }
  std::u16string_view candidate = folder;
  for (std::size_t cut = candidate.rfind(kSeparator); cut != std::u16string_view::npos && cut > 1;
       cut = candidate.rfind(kSeparator)) {
    candidate = candidate.substr(0, cut);
    if (folderExists(std::u16string(candidate))) return std::u16string(candidate);
  }
  return std::u16string(folder);
}

std::u16string MegabytesText(std::uint64_t bytes) {
  const std::string whole = std::to_string(bytes / 1'048'576);
  return std::u16string(whole.begin(), whole.end()) + u".0";
}

std::u16string WelcomeOnTwoLines(std::u16string_view text, std::u16string_view productName) {
  std::u16string out(text);
  std::size_t at = out.find(u" %1");
  std::size_t length = 3;
  if (at == std::u16string::npos) {
    at = out.find(u"%1");
    length = 2;
  }
  if (at == std::u16string::npos) return out;
  return out.replace(at, length, u"\n" + std::u16string(productName));
}

std::optional<std::u16string> ExtractOnlyFolder(std::u16string_view arguments) {
  constexpr std::u16string_view kSwitch = u"/extract:";
  if (arguments.size() < kSwitch.size()) return std::nullopt;
  for (std::size_t i = 0; i < kSwitch.size(); ++i) {
    if (LowerAscii(arguments[i]) != kSwitch[i]) return std::nullopt;
  }
  std::u16string_view folder = arguments.substr(kSwitch.size());
  if (!folder.empty() && folder.front() == u'"') {
    folder.remove_prefix(1);
    return std::u16string(folder.substr(0, folder.find(u'"')));
  }
  return std::u16string(folder.substr(0, folder.find_first_of(u" \t")));
}

bool IsVersion6OrLater(std::u16string_view currentVersion) {
  unsigned major = 0;
  std::size_t digits = 0;
  for (const char16_t c : currentVersion) {
    if (c < u'0' || c > u'9') break;
    if (major < 1000) major = major * 10 + static_cast<unsigned>(c - u'0');
    ++digits;
  }
  return digits > 0 && major >= 6;
}

}  // namespace extractor::services
