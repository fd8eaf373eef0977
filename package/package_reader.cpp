// The package reader: finds and checks the trailer of the package at
// modulePath, loads its directory and restores its entries.
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "package/entry_names.h"
#include "package/package_builder.h"
#include "package/package_format.h"
#include "package/result_codes.h"
#include "package/zlib_status.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/staged_file.h"

namespace package {
namespace {

constexpr std::size_t kChecksumPiece = 64 * 1024;

// The sum of one field over the entries from `first` on that count towards
// the totals. It stops at the largest 32-bit number rather than wrap: 512
// sizes below 2 GiB each can add up to more, and a wrapped sum would ask
// for too little disk space.
std::uint32_t SumOfCounted(const PackageBuilder& builder, std::uint32_t PackageEntry::*field,
                           int first = 0) {
  std::uint64_t total = 0;
  for (int k = std::max(first, 0); k < builder.GetEntryCount(); ++k) {
    const PackageEntry& entry = builder.GetEntry(k);
    if (CountsInTotals(entry.storedName)) total += entry.*field;
  }
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(total, UINT32_MAX));
}

void Notify(ProgressFunction callback, Event event, const void* data, void* context) {
  if (callback) callback(event, data, context);
}

// Reads `out.size()` bytes at `start`; false when the file ends sooner (it
// shrank since its length was taken).
bool ReadRange(platform::File& file, std::uint64_t start, std::vector<unsigned char>& out) {
  file.Seek(static_cast<std::int64_t>(start), platform::SeekOrigin::kBegin);
  return file.Read(out.data(), out.size()) == out.size();
}

// The end of the package's own bytes: the file's end, or the start of its
// signature when a certificate table ends the file.
std::uint64_t PackageEnd(platform::File& file) {
  const std::uint64_t length = file.Length();
  std::vector<unsigned char> head(
      static_cast<std::size_t>(std::min<std::uint64_t>(length, format::kPeHeadBytes)));
  file.Seek(0, platform::SeekOrigin::kBegin);
  head.resize(file.Read(head.data(), head.size()));
  return format::CertificateTableStart(head, length).value_or(length);
}

// Ends an inflate stream on every way out of an entry.
class InflateScope {
 public:
  explicit InflateScope(z_stream& stream) : stream_(stream) {}
  ~InflateScope() { inflateEnd(&stream_); }

 private:
  z_stream& stream_;
};

}  // namespace

Result PackageBuilder::OpenPackage(bool verifyChecksum) {
  ClearTable();
  platform::File file;
  if (!file.Open(modulePath, platform::FileAccess::kRead, platform::FileCreation::kOpenExisting,
                 platform::FileShare::kReadWrite, &openError)) {
    return Result::kCannotOpenPackage;
  }
  const std::uint64_t end = PackageEnd(file);

  // The tail: the bytes the marker is looked for in, and the version and
  // count in front of the farthest marker.
  std::vector<unsigned char> tail(static_cast<std::size_t>(std::min<std::uint64_t>(
      end, format::kMarkerSearchLimit - 1 + format::kVersionBytes + format::kCountBytes)));
  if (!ReadRange(file, end - tail.size(), tail)) return Result::kDamaged;
  const std::optional<std::size_t> marker = format::FindMarker(tail);
  const std::optional<format::Trailer> trailer =
      marker ? format::DecodeTrailer(tail, *marker) : std::nullopt;
  if (!trailer) return Result::kDamaged;
  const std::uint64_t afterMarker = end - *marker + format::kMarkerBytes;

  // The checksum is compared first, before anything else is looked at.
  if (verifyChecksum) {
    std::uint32_t checksum = 0;
    std::vector<unsigned char> piece(kChecksumPiece);
    file.Seek(static_cast<std::int64_t>(format::kChecksumStart), platform::SeekOrigin::kBegin);
    for (std::uint64_t p = format::kChecksumStart; p < afterMarker;) {
      const std::size_t want =
          static_cast<std::size_t>(std::min<std::uint64_t>(afterMarker - p, kChecksumPiece));
      const std::size_t got = file.Read(piece.data(), want);
      if (got == 0) break;
      checksum = format::AddToChecksum(checksum, {piece.data(), got});
      p += got;
    }
    if (format::ParseDecimal(trailer->checksumDigits) != checksum) return Result::kChecksumMismatch;
  }
  const std::uint64_t sizeField = afterMarker + format::kChecksumBytes;
  if (format::ParseDecimal(trailer->sizeDigits) != static_cast<std::int64_t>(sizeField)) {
    return Result::kSizeMismatch;
  }
  if (!trailer->version || *trailer->version != format::kVersion || !trailer->entryCount) {
    return Result::kDamaged;
  }
  if (*trailer->entryCount == 0) return Result::kEmpty;

  // The directory ends at the entry count. Most are small: the 64 KiB in
  // front of the count are read first, and up to the largest directory
  // there can be when they are not enough.
  const std::uint64_t countAt = end - *marker - format::kVersionBytes - format::kCountBytes;
  std::vector<format::DirectoryRecord> records;
  std::size_t directoryBytes = 0;
  format::DirectoryStatus status = format::DirectoryStatus::kShort;
  for (const std::size_t want : {std::size_t{64} * 1024, format::kMaxDirectoryBytes}) {
    std::vector<unsigned char> before(
        static_cast<std::size_t>(std::min<std::uint64_t>(countAt, want)));
    if (!ReadRange(file, countAt - before.size(), before)) return Result::kDamaged;
    status = format::DecodeDirectory(before, countAt - before.size(), *trailer->entryCount, records,
                                     directoryBytes);
    if (status != format::DirectoryStatus::kShort) break;
  }
  if (status != format::DirectoryStatus::kSound) return Result::kDamaged;

  for (std::size_t k = 0; k < records.size(); ++k) {
    PackageEntry& entry = entries[k];
    entry.storedName = std::move(records[k].name);
    entry.size = records[k].size;
    entry.packedSize = records[k].packedSize;
    entry.dataOffset = records[k].dataOffset;
  }
  entryCount = static_cast<int>(records.size());
  trailerSize =
      static_cast<int>(*marker + format::kVersionBytes + format::kCountBytes + directoryBytes);
  return Result::kDone;
}

std::u16string PackageBuilder::AddTrailingSeparator(std::u16string folder) {
  if (folder.empty() || folder.back() != platform::kPathSeparator) {
    folder += platform::kPathSeparator;
  }
  return folder;
}

std::u16string PackageBuilder::PathBelow(const std::u16string& folder,
                                         std::u16string_view storedName) {
  return AddTrailingSeparator(folder) + platform::LocalPathFromStoredName(storedName);
}

bool PackageBuilder::CreateDirectoryPath(const std::u16string& path) {
  // The worker thread that unpacks runs beside the user interface, so the
  // process's current folder is left alone.
  return platform::CreateFolderChain(path);
}

// The one inflate loop of the reader, in the shape of zlib's own example:
// an outer loop over the entry's packed bytes, an inner one while the
// output buffer comes back full. The stream is read up to its packed size
// and no further, and inflates to at most its size: a stream that would
// give more, stops short of its size, or does not end exactly at its packed
// size has a problem, which the entry's outcome tells.
PackageBuilder::Inflated PackageBuilder::InflateEntry(platform::File& package, int index,
                                                      WriteFunction write, void* writeContext) {
  const PackageEntry& entry = entries[index];
  EntryOutcome& outcome = outcomes[index];
  auto problem = [&](StreamProblem found) {
    outcome.stream = found;
    outcome.inflated = stream.total_out;
    outcome.consumed = stream.total_in;
    return Inflated::kProblem;
  };
  package.Seek(entry.dataOffset, platform::SeekOrigin::kBegin);
  std::uint32_t unread = entry.packedSize;
  stream.avail_in = 0;
  currentTotal = entry.packedSize;
  if (inflateInit(&stream) != Z_OK) return problem(StreamProblem::kDamaged);
  InflateScope scope(stream);
  ZlibStatus status = ZlibStatus::kGoOn;
  do {
    if (cancelRequested) return Inflated::kCancelled;
    const std::uint32_t got = FillInput(package, unread);
    if (got == 0) return problem(StreamProblem::kCutShort);
    unread -= got;
    do {
      stream.next_out = outBuffer;
      stream.avail_out = static_cast<uInt>(kStreamBufferSize);
      status = FromZlib(inflate(&stream, Z_NO_FLUSH));
      if (status == ZlibStatus::kDamaged || status == ZlibStatus::kFailed) {
        return problem(StreamProblem::kDamaged);
      }
      if (stream.total_out > entry.size) return problem(StreamProblem::kPastSize);
      const std::size_t have = kStreamBufferSize - stream.avail_out;
      if (write && have != 0 && !write(writeContext, outBuffer, have)) {
        return Inflated::kWriteFailed;
      }
      if (write) {
        const std::int32_t percent = static_cast<std::int32_t>(EntryPercent());
        Notify(progressCallback, Event::kEntryPercent, &percent, progressContext);
        const std::int32_t done = static_cast<std::int32_t>(PackedBytesDone(index));
        Notify(progressCallback, Event::kPackedBytesDone, &done, progressContext);
      }
    } while (stream.avail_out == 0 && status != ZlibStatus::kEnded);
  } while (status != ZlibStatus::kEnded);
  if (unread != 0 || stream.avail_in != 0) return problem(StreamProblem::kEndsEarly);
  if (stream.total_out != entry.size) return problem(StreamProblem::kShortOfSize);
  outcome.inflated = stream.total_out;
  outcome.consumed = stream.total_in;
  return Inflated::kWhole;
}

Result PackageBuilder::RestoreEntry(platform::File& package, int index,
                                    const std::u16string& destination) {
  const PackageEntry& entry = entries[index];
  EntryOutcome& outcome = outcomes[index];
  outcome = EntryOutcome{};
  auto fileError = [&](platform::StageFailure stage, long osError) {
    outcome.stage = stage;
    outcome.osError = osError;
    return outcome.result = Result::kFileError;
  };
  // The entry is written beside its final name and moved there only when
  // it is whole; nothing on the way is followed, and the package itself is
  // never replaced (a destination may be the package's own folder).
  const platform::FileIdentity packageIdentity = package.Identity();
  platform::StagedFile output;
  const std::u16string relative = platform::LocalPathFromStoredName(entry.storedName);
  if (!output.Begin(destination, relative, &packageIdentity)) {
    return fileError(output.what(), output.osError());
  }
  struct Target {
    platform::StagedFile& file;
    long osError = 0;
  } target{output};
  auto writeOut = [](void* context, const unsigned char* bytes, std::size_t count) {
    auto& out = *static_cast<Target*>(context);
    try {
      out.file.file().Write(bytes, count);
      return true;
    } catch (const platform::FileError& error) {
      out.osError = error.osError();  // the disk is full, say: this entry fails
      return false;
    }
  };
  switch (InflateEntry(package, index, writeOut, &target)) {
    case Inflated::kWhole:
      if (!output.Commit()) return fileError(output.what(), output.osError());
      return outcome.result = Result::kDone;
    case Inflated::kCancelled:
      // A cancelled entry is left out like a failed one: what stood at its
      // name stays.
      return outcome.result = Result::kDone;
    case Inflated::kWriteFailed:
      return fileError(platform::StageFailure::kCannotCreate, target.osError);
    case Inflated::kProblem: break;
  }
  return outcome.result = Result::kDamagedStream;
}

Result PackageBuilder::CheckEntry(platform::File& package, int index) {
  EntryOutcome& outcome = outcomes[index];
  outcome = EntryOutcome{};
  const bool sound = InflateEntry(package, index, nullptr, nullptr) != Inflated::kProblem;
  return outcome.result = sound ? Result::kDone : Result::kDamagedStream;
}

Result PackageBuilder::ExtractAll(const std::u16string& destination, ProgressFunction callback,
                                  void* context, OnDamagedStream onDamage) {
  const std::u16string folder = AddTrailingSeparator(destination);
  const Result opened = OpenPackage(false);
  if (opened != Result::kDone) return opened;
  platform::File package;
  if (!package.Open(modulePath, platform::FileAccess::kRead, platform::FileCreation::kOpenExisting,
                    platform::FileShare::kReadWrite, &openError)) {
    return Result::kCannotOpenFile;
  }
  // The callback and its context belong to this extraction only: a later
  // ExtractEntry must not call into a caller that may be gone.
  progressCallback = callback;
  progressContext = context;
  struct ForgetCallback {
    PackageBuilder& builder;
    ~ForgetCallback() {
      builder.progressCallback = nullptr;
      builder.progressContext = nullptr;
    }
  } forget{*this};
  int failures = 0;
  for (int index = entryCount - 1; index >= 0 && !cancelRequested; --index) {
    const PackageEntry& entry = entries[index];
    Notify(progressCallback, Event::kEntryStarted, &entry, progressContext);
    const bool restore = !IsLeftPacked(entry.storedName);
    const Result result = restore ? RestoreEntry(package, index, folder) : Result::kDone;
    if (restore && result == Result::kDone && !cancelRequested) {
      Notify(progressCallback, Event::kEntryDone, &entry, progressContext);
    } else if (result == Result::kDamagedStream && onDamage == OnDamagedStream::kStop) {
      return result;
    } else if (result != Result::kDone) {
      ++failures;
    }
    // The packed bytes handled so far reach the total exactly once the last
    // entry's turn is over; a restored entry's last inflate step has said so
    // already, a skipped or failed one says it here.
    if ((!restore || result != Result::kDone) && CountsInTotals(entry.storedName)) {
      const std::int32_t done =
          static_cast<std::int32_t>(SumOfCounted(*this, &PackageEntry::packedSize, index));
      Notify(progressCallback, Event::kPackedBytesDone, &done, progressContext);
    }
  }
  package.Close();
  return failures ? Result::kFileError : Result::kDone;
}

Result PackageBuilder::ExtractEntry(int index, const std::u16string& destination) {
  const std::u16string folder = AddTrailingSeparator(destination);
  const Result opened = OpenPackage(false);
  if (opened != Result::kDone) return opened;
  if (index < 0 || index >= entryCount) return Result::kFileError;
  platform::File package;
  if (!package.Open(modulePath, platform::FileAccess::kRead, platform::FileCreation::kOpenExisting,
                    platform::FileShare::kReadWrite, &openError)) {
    return Result::kCannotOpenFile;
  }
  const Result result = RestoreEntry(package, index, folder);
  package.Close();
  return result;
}

bool PackageBuilder::VerifyPackage(bool withChecksum) {
  return OpenPackage(withChecksum) == Result::kDone;
}

std::uint32_t PackageBuilder::PackedTotal() {
  return OpenPackage(false) == Result::kDone ? SumOfCounted(*this, &PackageEntry::packedSize) : 0;
}

std::uint32_t PackageBuilder::UnpackedTotal() {
  return OpenPackage(false) == Result::kDone ? SumOfCounted(*this, &PackageEntry::size) : 0;
}

std::u16string PackageBuilder::EntryName(int index) {
  if (OpenPackage(false) != Result::kDone || index < 0 || index >= entryCount) return {};
  return entries[index].storedName;
}

std::u16string PackageBuilder::ApplicationName() {
  if (OpenPackage(false) != Result::kDone) return {};
  for (int k = entryCount - 1; k >= 0; --k) {
    const std::size_t at = entries[k].storedName.find(kAppNameMark);
    if (at != std::u16string::npos) return entries[k].storedName.substr(0, at);
  }
  return {};
}

std::uint32_t PackageBuilder::PackedBytesDone(int index) const {
  const std::uint32_t current =
      CountsInTotals(entries[index].storedName) ? static_cast<std::uint32_t>(stream.total_in) : 0;
  return SumOfCounted(*this, &PackageEntry::packedSize, index + 1) + current;
}

}  // namespace package
