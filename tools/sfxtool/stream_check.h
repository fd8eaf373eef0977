// The inflate pass of `sfxtool verify`: inflates one entry's stream, read
// from its data offset and bounded by its packed size, into a counting sink.
// Nothing is written anywhere.
#pragma once

#include <cstdint>

namespace platform {
class File;
}

namespace package {
struct PackageEntry;
}

namespace sfxtool {

enum class StreamVerdict {
  kSound,            // the stream ends exactly at its packed size and gives `size` bytes
  kDamaged,          // inflate reported an error (bad data, wrong check value)
  kCutShort,         // the packed bytes ran out before the stream's end
  kEndsEarly,        // the stream ends before its packed size is used up
  kSizeDiffers,      // the stream inflates to another length than `size` (checking
                     // stops as soon as it passes `size`)
};

struct StreamCheck {
  StreamVerdict verdict = StreamVerdict::kSound;
  std::uint64_t inflated = 0;  // bytes the stream gave (up to the problem, if any)
  std::uint64_t consumed = 0;  // packed bytes inflate took
};

// Checks `entry`'s stream in `package`, which is open for reading. The
// entry's range must lie inside the file (OpenPackage makes sure of that).
// Raises platform::FileError when the package cannot be read.
StreamCheck CheckEntryStream(platform::File& package, const package::PackageEntry& entry);

}  // namespace sfxtool
