#include "tools/stampel/stamp.h"

#include "package/version_block.h"

namespace stampel {
namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// Reads pieces off the front of a command line.
class PieceReader {
 public:
  explicit PieceReader(std::u16string_view rest) : rest_(rest) {}

  void SkipBlanks() {
    while (!rest_.empty() && IsBlank(rest_.front())) rest_.remove_prefix(1);
  }

  // The program's own path: a leading quote runs to the next quote, and
  // whatever follows the closing quote starts the arguments.
  bool SkipProgram() {
    if (rest_.empty()) return false;
    if (rest_.front() == u'"') {
      const std::size_t close = rest_.find(u'"', 1);
      if (close == std::u16string_view::npos) return false;
      rest_.remove_prefix(close + 1);
      return true;
    }
    while (!rest_.empty() && !IsBlank(rest_.front())) rest_.remove_prefix(1);
    return true;
  }

  // The next piece after any blanks; nothing at the end of the line, for a
  // quote left open, or for a closing quote followed by anything but a blank.
  std::optional<std::u16string> NextPiece() {
    SkipBlanks();
    if (rest_.empty()) return std::nullopt;
    if (rest_.front() == u'"') {
      const std::size_t close = rest_.find(u'"', 1);
      if (close == std::u16string_view::npos) return std::nullopt;
      std::u16string piece(rest_.substr(1, close - 1));
      rest_.remove_prefix(close + 1);
      if (!rest_.empty() && !IsBlank(rest_.front())) return std::nullopt;
      return piece;
    }
    std::size_t end = 0;
    while (end < rest_.size() && !IsBlank(rest_[end])) ++end;
    std::u16string piece(rest_.substr(0, end));
    rest_.remove_prefix(end);
    return piece;
  }

  bool AtEnd() {
    SkipBlanks();
    return rest_.empty();
  }

 private:
  std::u16string_view rest_;
};

}  // namespace

const char* ExitCodeName(ExitCode code) {
  switch (code) {
    case ExitCode::kStamped: return "stamped";
    case ExitCode::kBadCommandLine: return "bad command line";
    case ExitCode::kFileNotLoaded: return "file not loaded";
    case ExitCode::kNoVersionResource: return "no version resource";
    case ExitCode::kBadVersionBlock: return "bad version block";
    case ExitCode::kNoStringTable: return "no string table";
    case ExitCode::kBlockTooLarge: return "block too large";
    case ExitCode::kUpdateRefused: return "update refused";
    case ExitCode::kInternalError: return "internal error";
  }
  return "unknown exit code";
}

std::optional<StampRequest> ParseCommandLine(std::u16string_view commandLine) {
  PieceReader reader(commandLine);
  if (!reader.SkipProgram()) return std::nullopt;
  const auto option = reader.NextPiece();
  if (!option || *option != u"-u") return std::nullopt;
  auto file = reader.NextPiece();
  auto key = reader.NextPiece();
  auto value = reader.NextPiece();
  if (!file || !key || !value || file->empty() || key->empty() || !reader.AtEnd()) {
    return std::nullopt;
  }
  return StampRequest{std::move(*file), std::move(*key), std::move(*value)};
}

ExitCode StampVersionBlock(std::span<const unsigned char> block, std::u16string_view key,
                           std::u16string_view value, std::vector<unsigned char>& stamped) {
  auto root = package::ParseVersionBlock(block);
  if (!root) return ExitCode::kBadVersionBlock;
  if (package::SetVersionString(*root, key, value) == 0) return ExitCode::kNoStringTable;
  auto bytes = package::SerializeVersionBlock(*root);
  if (!bytes) return ExitCode::kBlockTooLarge;
  stamped = std::move(*bytes);
  return ExitCode::kStamped;
}

}  // namespace stampel
