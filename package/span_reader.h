// A bounded little-endian cursor over bytes: the one way our code reads
// integers and texts out of the package format and out of version blocks.
// Positions count from the start of the whole span, so that alignment is
// counted from there too. Every read answers nothing, and moves nowhere,
// when the bytes before the cursor's end run out; nothing ever reads past
// it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace package {

class SpanReader {
 public:
  explicit SpanReader(std::span<const unsigned char> bytes) : SpanReader(bytes, 0, bytes.size()) {}

  // A cursor over [position, end) of `bytes`; both are kept inside `bytes`.
  SpanReader(std::span<const unsigned char> bytes, std::size_t position, std::size_t end)
      : bytes_(bytes), end_(std::min(end, bytes.size())), position_(std::min(position, end_)) {}

  std::optional<std::uint16_t> ReadU16LittleEndian() {
    if (remaining() < 2) return std::nullopt;
    const auto value = static_cast<std::uint16_t>(At(0) | At(1) << 8);
    position_ += 2;
    return value;
  }

  std::optional<std::uint32_t> ReadU32LittleEndian() {
    if (remaining() < 4) return std::nullopt;
    const std::uint32_t value = At(0) | At(1) << 8 | At(2) << 16 | At(3) << 24;
    position_ += 4;
    return value;
  }

  // `codeUnits` UTF-16 code units, stored little-endian.
  std::optional<std::u16string> ReadUtf16LittleEndian(std::size_t codeUnits) {
    if (codeUnits > remaining() / 2) return std::nullopt;
    std::u16string text(codeUnits, u'\0');
    for (std::size_t i = 0; i < codeUnits; ++i) {
      text[i] = static_cast<char16_t>(At(2 * i) | At(2 * i + 1) << 8);
    }
    position_ += 2 * codeUnits;
    return text;
  }

  std::optional<std::span<const unsigned char>> ReadBytes(std::size_t count) {
    if (count > remaining()) return std::nullopt;
    const auto bytes = bytes_.subspan(position_, count);
    position_ += count;
    return bytes;
  }

  // Moves to the next multiple of `alignment` (counted from the start of
  // the whole span); false, without moving, when that lies beyond the end.
  bool AlignTo(std::size_t alignment) {
    const std::size_t aligned = (position_ + alignment - 1) / alignment * alignment;
    if (aligned > end_) return false;
    position_ = aligned;
    return true;
  }

  void MoveTo(std::size_t position) { position_ = std::min(position, end_); }
  std::size_t position() const { return position_; }
  std::size_t remaining() const { return end_ - position_; }

 private:
  std::uint32_t At(std::size_t offset) const { return bytes_[position_ + offset]; }

  std::span<const unsigned char> bytes_;
  std::size_t end_;
  std::size_t position_;
};

// The little-endian integer at `offset` of `bytes` (a 64-bit offset, as
// headers give them); nothing when it does not lie wholly inside.
inline std::optional<std::uint16_t> U16LittleEndianAt(std::span<const unsigned char> bytes,
                                                      std::uint64_t offset) {
  if (offset > bytes.size()) return std::nullopt;
  return SpanReader(bytes, static_cast<std::size_t>(offset), bytes.size()).ReadU16LittleEndian();
}

inline std::optional<std::uint32_t> U32LittleEndianAt(std::span<const unsigned char> bytes,
                                                      std::uint64_t offset) {
  if (offset > bytes.size()) return std::nullopt;
  return SpanReader(bytes, static_cast<std::size_t>(offset), bytes.size()).ReadU32LittleEndian();
}

}  // namespace package
