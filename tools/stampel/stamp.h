// The portable half of StampelLib.exe: its command line, its exit codes and
// the change it makes to one version block. No I/O.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace stampel {

// The program's exit codes. Every code but kStamped means the file was not
// changed.
enum class ExitCode : int {
  kStamped = 0,
  kBadCommandLine = 1,     // not `-u "FILE" KEY "VALUE"`
  kFileNotLoaded = 2,      // missing, unreadable, or not a program file
  kNoVersionResource = 3,  // no RT_VERSION resource named 1
  kBadVersionBlock = 4,    // a version block that cannot be read
  kNoStringTable = 5,      // a version block without any string table
  kBlockTooLarge = 6,      // the new value makes a block exceed 65,535 bytes
  kUpdateRefused = 7,      // the resource update could not begin, write or commit
  kInternalError = 8,      // out of memory or another unexpected failure
};

// The code's name, for messages.
const char* ExitCodeName(ExitCode code);

struct StampRequest {
  std::u16string file;
  std::u16string key;
  std::u16string value;

  friend bool operator==(const StampRequest&, const StampRequest&) = default;
};

// Reads a whole command line: `PROGRAM -u "FILE" KEY "VALUE"`. PROGRAM runs
// to the next double quote when it starts with one, otherwise to the first
// blank (space or tab). Every other piece is either quoted, running from its
// double quote to the next one with nothing inside escaped (so a backslash
// before the closing quote is part of the text), or bare, running to the
// next blank. A closing quote is followed by a blank or the end. Pieces are
// separated by one or more blanks. Nothing when the pieces are not exactly
// these, a quote is not closed, or FILE or KEY is empty; VALUE may be empty.
std::optional<StampRequest> ParseCommandLine(std::u16string_view commandLine);

// Sets `key` to `value` in every string table of the version block `block`
// and writes the new block to `stamped`. kBadVersionBlock, kNoStringTable or
// kBlockTooLarge when it cannot, with `stamped` left as it was.
ExitCode StampVersionBlock(std::span<const unsigned char> block, std::u16string_view key,
                           std::u16string_view value, std::vector<unsigned char>& stamped);

}  // namespace stampel
