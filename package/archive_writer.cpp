// The archive writer: appends the entry streams, the directory and the
// trailer to a package file that already holds the extractor image.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <deque>
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

// The blocks of the entries' sources in flight: the reading side opens the
// sources in order and submits their blocks ahead, across entries; the
// writing side takes them back in the same order and writes each entry's
// stream, with its events, as its blocks come. A few blocks per thread are
// in flight at once.
std::optional<Result> PackageBuilder::WriteEntryStreams(platform::File& package,
                                                        BlockCompressor& compressor,
                                                        ProgressFunction callback, void* context) {
  struct Block {
    int index;
    bool first, last;
    std::uint64_t sourceLength;  // what the file said when it was opened
  };
  std::deque<Block> blocks;  // submitted, not yet written, in order
  const std::size_t inFlight = 2 * static_cast<std::size_t>(compressor.threads());

  // The reading side.
  platform::File source;
  int nextToRead = 0;
  bool reading = false;  // a source is open
  bool readingEnded = false;
  std::optional<Result> readingFailure;
  std::vector<unsigned char> current, tail;
  std::uint64_t read = 0, sourceLength = 0;
  bool first = false;
  auto submitOne = [&]() -> bool {
    if (readingEnded || cancelRequested) return false;
    if (!reading) {
      if (nextToRead == entryCount) {
        readingEnded = true;
        return false;
      }
      // Only a plain file is packed: a pipe or a device put in a source's
      // place since it was added could give bytes without end.
      if (!source.Open(entries[nextToRead].sourcePath, platform::FileAccess::kRead,
                       platform::FileCreation::kOpenExisting, platform::FileShare::kReadWrite) ||
          !source.IsPlainFile()) {
        readingFailure = Result::kCannotOpenFile;
        readingEnded = true;
        return false;
      }
      reading = true;
      first = true;
      sourceLength = source.Length();
      current = ReadBlock(source);
      read = current.size();
      tail.clear();
    }
    std::vector<unsigned char> next =
        current.size() < kDeflateBlockBytes ? std::vector<unsigned char>() : ReadBlock(source);
    read += next.size();
    // Sizes are below 2 GiB in a package; a source that grows past that
    // while it is read cannot be described.
    if (read > format::kMaxPackageBytes) {
      readingFailure = Result::kFileError;
      readingEnded = true;
      return false;
    }
    const bool last = next.empty();
    std::vector<unsigned char> dictionary = std::move(tail);
    const std::size_t keep = std::min(current.size(), kDeflateDictionaryBytes);
    tail.assign(current.end() - static_cast<std::ptrdiff_t>(keep), current.end());
    blocks.push_back({nextToRead, first, last, sourceLength});
    compressor.Submit(std::move(dictionary), std::move(current), last);
    first = false;
    if (last) {
      source.Close();
      reading = false;
      ++nextToRead;
    } else {
      current = std::move(next);
    }
    return true;
  };

  // The writing side. A cancel ends the entry being written where it
  // stands (its stream unfinished) and starts no other.
  int writing = -1;  // the entry whose stream is open
  std::uint64_t written = 0;
  uLong adler = adler32(0, nullptr, 0);
  auto endEntry = [&]() -> bool {
    PackageEntry& entry = entries[writing];
    // The directory tells the bytes that were packed, whatever the file
    // said its length was: a source may grow or shrink meanwhile, and a
    // file under /proc says 0 and gives more.
    entry.size = static_cast<std::uint32_t>(entryBytesIn);
    entry.packedSize = static_cast<std::uint32_t>(written);
    writing = -1;
    if (package.Position() > format::kMaxPackageBytes) return false;
    Notify(callback, Event::kEntryDone, &entry, context);
    return true;
  };
  // False when the writing stops: an error (`failure` set) or a cancel.
  std::optional<Result> failure;
  auto writeOne = [&]() -> bool {
    const Block block = blocks.front();
    blocks.pop_front();
    const DeflatedBlock deflated = compressor.Take();
    if (cancelRequested) {
      if (writing >= 0 && !endEntry()) failure = Result::kFileError;
      return false;
    }
    if (!deflated.ok) {
      failure = Result::kFileError;
      return false;
    }
    PackageEntry& entry = entries[block.index];
    if (block.first) {
      writing = block.index;
      written = 0;
      entryBytesIn = 0;
      adler = adler32(0, nullptr, 0);
      currentTotal = static_cast<std::uint32_t>(block.sourceLength);
      Notify(callback, Event::kEntryStarted, &entry, context);
      const std::uint64_t offset = package.Position();
      if (offset > format::kMaxPackageBytes) {
        failure = Result::kFileError;
        return false;
      }
      entry.dataOffset = static_cast<std::uint32_t>(offset);
      if (cancelRequested) {
        if (!endEntry()) failure = Result::kFileError;
        return false;
      }
      const std::string header = ZlibStreamHeader();
      package.Write(header.data(), header.size());
      written += header.size();
    }
    package.Write(deflated.compressed.data(), deflated.compressed.size());
    written += deflated.compressed.size();
    adler = adler32_combine(adler, deflated.adler, static_cast<z_off_t>(deflated.length));
    entryBytesIn += deflated.length;
    if (deflated.length != 0) {
      const std::int32_t percent = static_cast<std::int32_t>(PercentOf(entryBytesIn, currentTotal));
      Notify(callback, Event::kEntryPercent, &percent, context);
      const std::int32_t done = static_cast<std::int32_t>(BytesPackedBefore(block.index));
      Notify(callback, Event::kSourceBytesDone, &done, context);
    }
    if (cancelRequested) {
      if (!endEntry()) failure = Result::kFileError;
      return false;
    }
    if (block.last) {
      const std::string trailer = ZlibStreamTrailer(adler);
      package.Write(trailer.data(), trailer.size());
      written += trailer.size();
      if (!endEntry()) {
        failure = Result::kFileError;
        return false;
      }
    }
    return true;
  };

  for (;;) {
    while (compressor.pending() < inFlight && submitOne()) {
    }
    if (readingFailure == Result::kFileError) return readingFailure;
    if (compressor.pending() == 0) break;
    if (!writeOne()) break;
  }
  if (failure) return failure;
  // A source that cannot be opened ends the run once the entries before
  // it are written; nothing more is.
  if (readingFailure && !cancelRequested) return readingFailure;
  return std::nullopt;
}

Result PackageBuilder::WriteArchive(platform::File& package, ProgressFunction callback,
                                    void* context) {
  for (int i = 0; i < entryCount; ++i) {
    if (entries[i].storedName.size() > format::kMaxNameLength) return Result::kFileError;
  }
  BlockCompressor compressor(BlockCompressor::ThreadsFor(compressionJobs));
  try {
    if (const std::optional<Result> failed =
            WriteEntryStreams(package, compressor, callback, context)) {
      return *failed;
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
