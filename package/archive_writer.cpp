// The archive writer: appends the entry streams, the directory and the
// trailer to a package file that already holds the extractor image.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "package/block_deflate.h"
#include "package/package_builder.h"
#include "package/package_format.h"
#include "package/result_codes.h"
#include "platform/file.h"

namespace package {
namespace {

constexpr std::size_t kChecksumPiece = 64 * 1024;

void Notify(ProgressFunction callback, Event event, const void* data, void* context) {
  if (callback) callback(event, data, context);
}

}  // namespace

std::uint32_t PackageBuilder::BytesPackedBefore(int index) const {
  std::uint32_t sum = 0;
  for (int j = 0; j < index; ++j) sum += entries[j].size;
  return sum + static_cast<std::uint32_t>(entryBytesIn);
}

namespace {

// Reads up to one block of `source`; fewer bytes only at its end.
std::vector<unsigned char> ReadBlock(platform::File& source) {
  std::vector<unsigned char> block(kDeflateBlockBytes);
  std::size_t filled = 0;
  while (filled < block.size()) {
    const std::size_t got = source.Read(block.data() + filled, block.size() - filled);
    if (got == 0) break;
    filled += got;
  }
  block.resize(filled);
  return block;
}

}  // namespace

std::optional<std::uint64_t> PackageBuilder::WriteEntryStream(platform::File& source,
                                                              platform::File& package,
                                                              BlockCompressor& compressor,
                                                              int index, ProgressFunction callback,
                                                              void* context) {
  // A few blocks per thread are read ahead and in the compressor at once;
  // each is written, and reported, in order as soon as it is done.
  const std::size_t inFlight = 2 * static_cast<std::size_t>(compressor.threads());
  entryBytesIn = 0;
  if (cancelRequested) return 0;
  const std::string header = ZlibStreamHeader();
  package.Write(header.data(), header.size());
  std::uint64_t written = header.size();
  uLong adler = adler32(0, nullptr, 0);
  entryBytesIn = 0;
  bool ok = true;

  auto takeOne = [&]() {
    const DeflatedBlock block = compressor.Take();
    if (!block.ok || !ok) {
      ok = false;
      return;
    }
    package.Write(block.compressed.data(), block.compressed.size());
    written += block.compressed.size();
    adler = adler32_combine(adler, block.adler, static_cast<z_off_t>(block.length));
    entryBytesIn += block.length;
    if (block.length == 0) return;
    const std::int32_t percent = static_cast<std::int32_t>(PercentOf(entryBytesIn, currentTotal));
    Notify(callback, Event::kEntryPercent, &percent, context);
    const std::int32_t done = static_cast<std::int32_t>(BytesPackedBefore(index));
    Notify(callback, Event::kSourceBytesDone, &done, context);
  };

  std::vector<unsigned char> previous;
  std::vector<unsigned char> current = ReadBlock(source);
  std::uint64_t read = current.size();
  for (;;) {
    // A cancel stops before the next block, and leaves the stream unfinished.
    if (cancelRequested) break;
    std::vector<unsigned char> next =
        current.size() < kDeflateBlockBytes ? std::vector<unsigned char>() : ReadBlock(source);
    read += next.size();
    // Sizes are below 2 GiB in a package; a source that grows past that
    // while it is read cannot be described.
    if (read > format::kMaxPackageBytes) ok = false;
    const bool last = next.empty();
    std::vector<unsigned char> dictionary;
    if (!previous.empty()) {
      const std::size_t keep = std::min(previous.size(), kDeflateDictionaryBytes);
      dictionary.assign(previous.end() - static_cast<std::ptrdiff_t>(keep), previous.end());
    }
    previous = current;
    compressor.Submit(std::move(dictionary), std::move(current), last);
    while (compressor.pending() >= inFlight) takeOne();
    if (last || !ok) break;
    current = std::move(next);
  }
  while (compressor.pending() != 0) takeOne();
  if (!ok) return std::nullopt;
  if (cancelRequested) return written;
  const std::string trailer = ZlibStreamTrailer(adler);
  package.Write(trailer.data(), trailer.size());
  return written + trailer.size();
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
  BlockCompressor compressor(BlockCompressor::ThreadsFor(compressionJobs));
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

      currentTotal = static_cast<std::uint32_t>(source.Length());
      const std::optional<std::uint64_t> written =
          WriteEntryStream(source, package, compressor, i, callback, context);
      source.Close();
      if (!written) return Result::kFileError;
      // The directory tells the bytes that were packed, whatever the file
      // said its length was: a source may grow or shrink meanwhile, and a
      // file under /proc says 0 and gives more.
      entry.size = static_cast<std::uint32_t>(entryBytesIn);
      entry.packedSize = static_cast<std::uint32_t>(*written);
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
