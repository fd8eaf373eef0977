// The archive writer: appends the entry streams, the directory and the
// trailer to a package file that already holds the extractor image.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "package/package_builder.h"
#include "package/package_format.h"
#include "package/result_codes.h"
#include "package/zlib_status.h"
#include "platform/file.h"

namespace package {
namespace {

constexpr int kCompressionLevel = 6;
constexpr std::size_t kChecksumPiece = 64 * 1024;

void Notify(ProgressFunction callback, Event event, const void* data, void* context) {
  if (callback) callback(event, data, context);
}

// Ends a deflate stream on every way out of an entry, file errors included.
class DeflateScope {
 public:
  explicit DeflateScope(z_stream& stream) : stream_(stream) {}
  ~DeflateScope() { End(); }
  void End() {
    if (active_) deflateEnd(&stream_);
    active_ = false;
  }

 private:
  z_stream& stream_;
  bool active_ = true;
};

}  // namespace

std::uint32_t PackageBuilder::BytesPackedBefore(int index) const {
  std::uint32_t sum = 0;
  for (int j = 0; j < index; ++j) sum += entries[j].size;
  return sum + static_cast<std::uint32_t>(stream.total_in);
}

Result PackageBuilder::WriteArchive(platform::File& package, ProgressFunction callback,
                                    void* context) {
  for (int i = 0; i < entryCount; ++i) {
    if (entries[i].storedName.size() > format::kMaxNameLength) return Result::kFileError;
  }
  // A package must stay below 2 GiB: every offset in it is a signed 32-bit
  // number to the extractor.
  auto checkedPosition = [&package]() -> std::optional<std::uint32_t> {
    const std::uint64_t position = package.Position();
    if (position > format::kMaxPackageBytes) return std::nullopt;
    return static_cast<std::uint32_t>(position);
  };

  platform::File source;
  try {
    for (int i = 0; i < entryCount && !cancelRequested; ++i) {
      PackageEntry& entry = entries[i];
      // Only a plain file is packed: a pipe or a device put in a source's
      // place since it was added could give bytes without end.
      if (!source.Open(entry.sourcePath, platform::FileAccess::kRead,
                       platform::FileCreation::kOpenExisting, platform::FileShare::kReadWrite) ||
          !source.IsPlainFile()) {
        return Result::kCannotOpenFile;
      }
      Notify(callback, Event::kEntryStarted, &entry, context);
      const auto offset = checkedPosition();
      if (!offset) return Result::kFileError;
      entry.dataOffset = *offset;

      stream.avail_in = 0;
      stream.next_out = outBuffer;
      stream.avail_out = static_cast<uInt>(kStreamBufferSize);
      currentTotal = static_cast<std::uint32_t>(source.Length());
      if (deflateInit(&stream, kCompressionLevel) != Z_OK) return Result::kFileError;
      DeflateScope scope(stream);

      // The one deflate loop, in the shape of zlib's own example: an outer
      // loop over the source, an inner one while the output buffer comes
      // back full; the source's end finishes the stream. A cancel stops it
      // before the next step, and leaves the stream unfinished.
      while (!cancelRequested) {
        const int flush = FillInput(source) == 0 ? Z_FINISH : Z_NO_FLUSH;
        ZlibStatus status = ZlibStatus::kGoOn;
        bool outputFull = false;
        do {
          status = FromZlib(deflate(&stream, flush));
          // deflate fails only when its state is broken: reported, never
          // a silent stop.
          if (status == ZlibStatus::kDamaged || status == ZlibStatus::kFailed) {
            return Result::kFileError;
          }
          outputFull = stream.avail_out == 0;
          FlushOutput(package);  // and gives the buffer back whole
        } while (outputFull && status != ZlibStatus::kEnded);
        if (flush == Z_FINISH) break;
        // Sizes are below 2 GiB in a package; a source that grows past
        // that while it is read cannot be described.
        if (stream.total_in > format::kMaxPackageBytes) return Result::kFileError;
        const std::int32_t percent = static_cast<std::int32_t>(EntryPercent());
        Notify(callback, Event::kEntryPercent, &percent, context);
        const std::int32_t done = static_cast<std::int32_t>(BytesPackedBefore(i));
        Notify(callback, Event::kSourceBytesDone, &done, context);
      }
      source.Close();
      scope.End();
      // The directory tells the bytes that were packed, whatever the file
      // said its length was: a source may grow or shrink meanwhile, and a
      // file under /proc says 0 and gives more.
      entry.size = static_cast<std::uint32_t>(stream.total_in);
      entry.packedSize = static_cast<std::uint32_t>(stream.total_out);
      if (!checkedPosition()) return Result::kFileError;
      Notify(callback, Event::kEntryDone, &entry, context);
    }

    for (int j = 0; j < entryCount && !cancelRequested; ++j) {
      const PackageEntry& entry = entries[j];
      const std::string record =
          format::EncodeRecord(entry.dataOffset, entry.size, entry.packedSize, entry.storedName);
      package.Write(record.data(), record.size());
    }
    const std::string head = format::EncodeTrailerHead(static_cast<std::uint32_t>(entryCount));
    package.Write(head.data(), head.size());

    // The checksum is read back from the file, from offset 768 up to the
    // end of the marker just written.
    const std::uint64_t end = package.Position();
    if (end + format::kChecksumBytes + format::kSizeBytes > format::kMaxPackageBytes) {
      return Result::kFileError;
    }
    package.Seek(static_cast<std::int64_t>(format::kChecksumStart), platform::SeekOrigin::kBegin);
    std::vector<unsigned char> piece(kChecksumPiece);
    std::uint32_t checksum = 0;
    for (std::uint64_t p = format::kChecksumStart; p < end;) {
      const std::size_t want =
          static_cast<std::size_t>(std::min<std::uint64_t>(end - p, kChecksumPiece));
      const std::size_t got = package.Read(piece.data(), want);
      if (got == 0) {
        // The file shrank while it was being written.
        throw platform::FileError({platform::FileErrorCause::kEndOfFile, 0, package.path()});
      }
      checksum = format::AddToChecksum(checksum, {piece.data(), got});
      p += got;
    }
    package.Seek(static_cast<std::int64_t>(end), platform::SeekOrigin::kBegin);

    const std::string seal = format::SealTrailer(checksum, end);
    package.Write(seal.data(), seal.size());
    return Result::kArchiveWritten;
  } catch (const platform::FileError&) {
    return Result::kFileError;
  }
}

}  // namespace package
