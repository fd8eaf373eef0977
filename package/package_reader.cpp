// The package reader: finds and checks the trailer of the package at
// modulePath, loads its directory and restores its entries.
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "package/package_builder.h"
#include "package/package_format.h"
#include "package/result_codes.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/staged_file.h"

namespace package {
namespace {

constexpr std::u16string_view kReadMeName = u"ShowReadMe";
constexpr std::u16string_view kAppNameMark = u".AppNameFile";
constexpr std::u16string_view kHtmlImagesName = u"HTML Images";

constexpr std::size_t kChecksumPiece = 64 * 1024;

bool Contains(const std::u16string& name, std::u16string_view part) {
  return name.find(part) != std::u16string::npos;
}

// Entries that count towards the totals: all but the read-me and the
// application-name entry.
bool CountsInTotals(const PackageEntry& entry) {
  return !Contains(entry.storedName, kReadMeName) && !Contains(entry.storedName, kAppNameMark);
}

// The sum of one field over the entries from `first` on that count towards
// the totals. It stops at the largest 32-bit number rather than wrap: 512
// sizes below 2 GiB each can add up to more, and a wrapped sum would ask
// for too little disk space.
std::uint32_t SumOfCounted(const PackageBuilder& builder, std::uint32_t PackageEntry::*field,
                           int first = 0) {
  std::uint64_t total = 0;
  for (int k = std::max(first, 0); k < builder.GetEntryCount(); ++k) {
    const PackageEntry& entry = builder.GetEntry(k);
    if (CountsInTotals(entry)) total += entry.*field;
  }
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(total, UINT32_MAX));
}

bool IsSkippedByExtractAll(const PackageEntry& entry) {
  return Contains(entry.storedName, kReadMeName) || Contains(entry.storedName, kAppNameMark) ||
         Contains(entry.storedName, kHtmlImagesName);
}

void Notify(ProgressFunction callback, int code, const void* data, void* context) {
  if (callback) callback(code, data, context);
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
  std::vector<unsigned char> head(static_cast<std::size_t>(std::min<std::uint64_t>(length, format::kPeHeadBytes)));
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

int PackageBuilder::OpenPackage(bool verifyChecksum) {
  ClearTable();
  platform::File file;
  if (!file.Open(modulePath, platform::FileAccess::kRead, platform::FileCreation::kOpenExisting,
                 platform::FileShare::kReadWrite)) {
    return kResultCannotOpenPackage;
  }
  const std::uint64_t end = PackageEnd(file);

  // The tail: the bytes the marker is looked for in, and the version and
  // count in front of the farthest marker.
  std::vector<unsigned char> tail(static_cast<std::size_t>(std::min<std::uint64_t>(
      end, format::kMarkerSearchLimit - 1 + format::kVersionBytes + format::kCountBytes)));
  if (!ReadRange(file, end - tail.size(), tail)) return kResultDamaged;
  const std::optional<std::size_t> marker = format::FindMarker(tail);
  const std::optional<format::Trailer> trailer =
      marker ? format::DecodeTrailer(tail, *marker) : std::nullopt;
  if (!trailer) return kResultDamaged;
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
    if (format::ParseDecimal(trailer->checksumDigits) != checksum) return kResultChecksumMismatch;
  }
  const std::uint64_t sizeField = afterMarker + format::kChecksumBytes;
  if (format::ParseDecimal(trailer->sizeDigits) != static_cast<std::int64_t>(sizeField)) {
    return kResultSizeMismatch;
  }
  if (!trailer->version || *trailer->version != format::kVersion || !trailer->entryCount) {
    return kResultDamaged;
  }
  if (*trailer->entryCount == 0) return kResultEmpty;

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
    if (!ReadRange(file, countAt - before.size(), before)) return kResultDamaged;
    status = format::DecodeDirectory(before, countAt - before.size(), *trailer->entryCount, records,
                                     directoryBytes);
    if (status != format::DirectoryStatus::kShort) break;
  }
  if (status != format::DirectoryStatus::kSound) return kResultDamaged;

  for (std::size_t k = 0; k < records.size(); ++k) {
    PackageEntry& entry = entries[k];
    entry.storedName = std::move(records[k].name);
    entry.size = records[k].size;
    entry.packedSize = records[k].packedSize;
    entry.dataOffset = records[k].dataOffset;
  }
  entryCount = static_cast<int>(records.size());
  trailerSize = static_cast<int>(*marker + format::kVersionBytes + format::kCountBytes + directoryBytes);
  return kResultDone;
}

std::u16string PackageBuilder::AddTrailingSeparator(std::u16string folder) {
  if (folder.empty() || folder.back() != platform::kPathSeparator) {
    folder += platform::kPathSeparator;
  }
  return folder;
}

bool PackageBuilder::CreateDirectoryPath(const std::u16string& path) {
  // Whether a folder exists is asked of its attributes: the process's
  // current folder is left alone, since the worker thread that unpacks
  // runs beside the user interface.
  auto isFolder = [](const std::u16string& p) {
    const auto attributes = platform::GetAttributes(p);
    return attributes && (*attributes & platform::kAttributeDirectory) != 0;
  };
  platform::CreateFolder(path);
  if (isFolder(path)) return true;
  const std::size_t cut = path.rfind(platform::kPathSeparator);
  if (cut == std::u16string::npos) return false;
  const std::u16string parent = path.substr(0, cut);
  if (parent == std::u16string(1, platform::kPathSeparator)) return false;
  if (parent.size() >= 2 && parent.substr(1) == u":") return false;
  if (parent.empty() || !CreateDirectoryPath(parent)) return false;
  return platform::CreateFolder(path);
}

int PackageBuilder::RestoreEntry(platform::File& package, int index,
                                 const std::u16string& destination) {
  const PackageEntry& entry = entries[index];
  // The entry is written beside its final name and moved there only when
  // it is whole; nothing on the way is followed, and the package itself is
  // never replaced (a destination may be the package's own folder).
  const platform::FileIdentity packageIdentity = package.Identity();
  platform::StagedFile output;
  const std::u16string relative = platform::LocalPathFromStoredName(entry.storedName);
  if (!output.Begin(destination, relative, &packageIdentity)) return kResultFileError;

  // The stream is read up to its packed size and no further, and inflates
  // to at most its size: a stream that would give more, stops short of its
  // size, or does not end exactly at its packed size is damaged.
  package.Seek(entry.dataOffset, platform::SeekOrigin::kBegin);
  std::uint32_t unread = entry.packedSize;
  stream.avail_in = 0;
  currentTotal = entry.packedSize;
  if (inflateInit(&stream) != Z_OK) return kResultDamagedStream;
  InflateScope scope(stream);
  int status = Z_OK;
  while (status != Z_STREAM_END && !cancelRequested) {
    if (stream.avail_in == 0) {
      const std::uint32_t got = FillInput(package, unread);
      if (got == 0) return kResultDamagedStream;  // the packed bytes end before the stream
      unread -= got;
    }
    do {
      stream.next_out = outBuffer;
      stream.avail_out = static_cast<uInt>(kStreamBufferSize);
      status = inflate(&stream, Z_NO_FLUSH);
      if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
        return kResultDamagedStream;
      }
      if (stream.total_out > entry.size) return kResultDamagedStream;
      try {
        FlushOutput(output.file());
      } catch (const platform::FileError&) {
        return kResultFileError;  // the disk is full, say: this entry fails
      }
      const std::int32_t percent = static_cast<std::int32_t>(EntryPercent());
      Notify(progressCallback, kEventEntryPercent, &percent, progressContext);
      const std::int32_t done = static_cast<std::int32_t>(PackedBytesDone(index));
      Notify(progressCallback, kEventPackedBytesDone, &done, progressContext);
    } while (stream.avail_out == 0 && status != Z_STREAM_END);
  }
  // A cancelled entry is left out like a failed one: what stood at its name
  // stays.
  if (status != Z_STREAM_END) return kResultDone;
  if (unread != 0 || stream.avail_in != 0 || stream.total_out != entry.size) {
    return kResultDamagedStream;
  }
  return output.Commit() ? kResultDone : kResultFileError;
}

int PackageBuilder::ExtractAll(const std::u16string& destination, ProgressFunction callback,
                               void* context) {
  const std::u16string folder = AddTrailingSeparator(destination);
  const int opened = OpenPackage(false);
  if (opened != kResultDone) return opened;
  platform::File package;
  if (!package.Open(modulePath, platform::FileAccess::kRead, platform::FileCreation::kOpenExisting,
                    platform::FileShare::kReadWrite)) {
    return kResultCannotOpenFile;
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
    Notify(progressCallback, kEventEntryStarted, &entry, progressContext);
    const bool restore = !IsSkippedByExtractAll(entry);
    const int result = restore ? RestoreEntry(package, index, folder) : kResultDone;
    if (restore && result == kResultDone && !cancelRequested) {
      Notify(progressCallback, kEventEntryDone, &entry, progressContext);
    } else if (result != kResultDone) {
      ++failures;
    }
    // The packed bytes handled so far reach the total exactly once the last
    // entry's turn is over; a restored entry's last inflate step has said so
    // already, a skipped or failed one says it here.
    if ((!restore || result != kResultDone) && CountsInTotals(entry)) {
      const std::int32_t done =
          static_cast<std::int32_t>(SumOfCounted(*this, &PackageEntry::packedSize, index));
      Notify(progressCallback, kEventPackedBytesDone, &done, progressContext);
    }
  }
  package.Close();
  return failures ? kResultFileError : kResultDone;
}

int PackageBuilder::ExtractEntry(int index, const std::u16string& destination) {
  const std::u16string folder = AddTrailingSeparator(destination);
  const int opened = OpenPackage(false);
  if (opened != kResultDone) return opened;
  if (index < 0 || index >= entryCount) return kResultFileError;
  platform::File package;
  if (!package.Open(modulePath, platform::FileAccess::kRead, platform::FileCreation::kOpenExisting,
                    platform::FileShare::kReadWrite)) {
    return kResultCannotOpenFile;
  }
  const int result = RestoreEntry(package, index, folder);
  package.Close();
  return result;
}

bool PackageBuilder::VerifyPackage(bool withChecksum) {
  return OpenPackage(withChecksum) == kResultDone;
}

std::uint32_t PackageBuilder::PackedTotal() {
  return OpenPackage(false) == kResultDone ? SumOfCounted(*this, &PackageEntry::packedSize) : 0;
}

std::uint32_t PackageBuilder::UnpackedTotal() {
  return OpenPackage(false) == kResultDone ? SumOfCounted(*this, &PackageEntry::size) : 0;
}

std::u16string PackageBuilder::EntryName(int index) {
  if (OpenPackage(false) != kResultDone || index < 0 || index >= entryCount) return {};
  return entries[index].storedName;
}

std::u16string PackageBuilder::ApplicationName() {
  if (OpenPackage(false) != kResultDone) return {};
  for (int k = entryCount - 1; k >= 0; --k) {
    const std::size_t at = entries[k].storedName.find(kAppNameMark);
    if (at != std::u16string::npos) return entries[k].storedName.substr(0, at);
  }
  return {};
}

std::uint32_t PackageBuilder::PackedBytesDone(int index) const {
  const std::uint32_t current =
      CountsInTotals(entries[index]) ? static_cast<std::uint32_t>(stream.total_in) : 0;
  return SumOfCounted(*this, &PackageEntry::packedSize, index + 1) + current;
}

}  // namespace package
