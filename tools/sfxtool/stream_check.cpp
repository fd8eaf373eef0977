#include "tools/sfxtool/stream_check.h"

#include <zlib.h>

#include <algorithm>
#include <new>
#include <vector>

#include "package/package_builder.h"
#include "platform/file.h"

namespace sfxtool {
namespace {

constexpr std::size_t kPiece = 64 * 1024;

class InflateStream {
 public:
  InflateStream() {
    if (inflateInit(&stream) != Z_OK) throw std::bad_alloc();
  }
  ~InflateStream() { inflateEnd(&stream); }
  InflateStream(const InflateStream&) = delete;
  InflateStream& operator=(const InflateStream&) = delete;

  z_stream stream{};
};

}  // namespace

StreamCheck CheckEntryStream(platform::File& package, const package::PackageEntry& entry) {
  StreamCheck check;
  InflateStream inflater;
  z_stream& stream = inflater.stream;
  std::vector<unsigned char> input(kPiece);
  std::vector<unsigned char> output(kPiece);

  package.Seek(entry.dataOffset, platform::SeekOrigin::kBegin);
  std::uint64_t unread = entry.packedSize;
  int status = Z_OK;
  // A call that filled the whole output buffer may hold more output back
  // without needing input; only a call that left room asks for input.
  bool outputFull = false;
  while (status != Z_STREAM_END) {
    if (stream.avail_in == 0 && !outputFull) {
      const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(unread, kPiece));
      const std::size_t got = want == 0 ? 0 : package.Read(input.data(), want);
      if (got == 0) break;
      unread -= got;
      stream.next_in = input.data();
      stream.avail_in = static_cast<uInt>(got);
    }
    stream.next_out = output.data();
    stream.avail_out = static_cast<uInt>(output.size());
    status = inflate(&stream, Z_NO_FLUSH);
    check.inflated += output.size() - stream.avail_out;
    outputFull = stream.avail_out == 0;
    // Past its size the entry is wrong already; inflating on would let a
    // small hostile stream cost gigabytes of work.
    if (check.inflated > entry.size) {
      check.consumed = stream.total_in;
      check.verdict = StreamVerdict::kSizeDiffers;
      return check;
    }
    // Z_BUF_ERROR: no progress was possible. With all input used up that
    // only asks for more input; with input pending it would never end.
    if (status == Z_BUF_ERROR && stream.avail_in == 0) continue;
    if (status != Z_OK && status != Z_STREAM_END) {
      check.consumed = stream.total_in;
      check.verdict = StreamVerdict::kDamaged;
      return check;
    }
  }
  check.consumed = stream.total_in;
  if (status != Z_STREAM_END) {
    check.verdict = StreamVerdict::kCutShort;
  } else if (check.consumed != entry.packedSize) {
    check.verdict = StreamVerdict::kEndsEarly;
  } else if (check.inflated != entry.size) {
    check.verdict = StreamVerdict::kSizeDiffers;
  }
  return check;
}

}  // namespace sfxtool
