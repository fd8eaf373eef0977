// PackageBuilder: the package object. It holds the content table (up to 512
// files), the one zlib stream with its two 8 KiB buffers, the version
// settings and the cancel flag, and carries both the writing side (the
// creator fills the table and writes a package) and the reading side (the
// extractor opens the package it runs from).
//
// Nothing here shows anything to the user; operations report through their
// results. All operations run on one thread, except that cancelRequested
// may be set from another.
#pragma once

#include <zlib.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "package/result_codes.h"
#include "platform/file.h"
#include "platform/staged_file.h"

namespace package {

class BlockCompressor;

// Number of rows in the content table, and so the most entries a package
// can hold.
inline constexpr int kTableCapacity = 512;

// The size of each of the stream's two buffers.
inline constexpr std::size_t kStreamBufferSize = 8192;

// The progress function of the writer and the reader: event code, the
// event's data (a PackageEntry or a 32-bit int, as the event says) and the
// context chosen by whoever started the operation. Its result is ignored.
using ProgressFunction = int (*)(Event event, const void* eventData, void* context);

// How the last restore or check of an entry ended, and why it failed.
struct EntryOutcome {
  Result result = Result::kDone;
  StreamProblem stream = StreamProblem::kNone;  // with Result::kDamagedStream
  // With Result::kFileError: why the entry's file could not be made or
  // written, and the system's error number.
  platform::StageFailure stage = platform::StageFailure::kNone;
  long osError = 0;
  std::uint64_t inflated = 0;  // bytes the stream gave, up to its end or problem
  std::uint64_t consumed = 0;  // packed bytes that inflate took
};

// One row of the content table.
struct PackageEntry {
  std::u16string storedName;     // the name inside the package
  std::u16string sourcePath;     // where the file was found on the writing side
  std::uint32_t size = 0;        // the source's length in bytes
  std::uint32_t packedSize = 0;  // length of the entry's zlib stream
  std::uint32_t dataOffset = 0;  // position of that stream in the package file

  // Fills the row from the file at `fullPath`: its length, the path, and
  // the stored name, which is `fullPath` without `root` and the separator
  // after it (a root that ends with a separator is cut with it). The file
  // is opened for reading while others may read and write it. Returns 1,
  // or 0 with the row unchanged when the file cannot be opened, is no plain
  // file (a pipe, a device), is 2 GiB or larger, or when no name can be
  // cut: the root is not the leading part of the path (compared as the
  // platform compares paths: on Windows '/' and '\\' and the letters A-Z
  // and a-z are taken as equal), no separator follows it, or nothing is
  // left after it.
  int LoadFromFile(const std::u16string& fullPath, const std::u16string& root);

  // Empties both strings and sets size to 0; packedSize and dataOffset stay.
  void Reset();
};

class PackageBuilder {
 public:
  // Clears the stream's allocator members (zlib then uses its own) and takes
  // the running program's own path as modulePath.
  PackageBuilder();
  virtual ~PackageBuilder();
  PackageBuilder(const PackageBuilder&) = delete;
  PackageBuilder& operator=(const PackageBuilder&) = delete;

  // --- Filling and measuring the table (writing side) ---

  // Adds one file. Returns 1 when the file is in the table (newly added, or
  // already there: paths equal with A-Z and a-z taken as equal, or another
  // path to the same file under the same stored name, count as the same
  // file), 0 when it was not added: the table is full (tested first),
  // LoadFromFile refuses the file, its stored name is one that the reader
  // refuses (see format::IsSafeStoredName; longer than 1,000 code units),
  // or another file already has the same stored name (A-Z and a-z, and
  // '\\' and '/', taken as equal, as they are when Windows unpacks it).
  int AddFile(const std::u16string& fullPath, const std::u16string& root);

  // Adds every file below `folderPath`, depth first: the files of each
  // sub-folder come before the files of the folder itself. Folders whose
  // names begin with '.' and folder links are skipped, files beginning with
  // '.' are kept, an empty `folderPath` adds nothing, a file named
  // `excludedName` (A-Z and a-z taken as equal) is left out, and so is the
  // file given to LeaveOutOfFolders. Files get the absolute path that the
  // directory search gives, and `root` is cut in its absolute form. The
  // result is the number of files that could not be added: each file that
  // AddFile refuses, each link to a file, pipe, socket or device (none is
  // packed), each child whose name cannot be told in UTF-16, and each
  // folder that is missing or cannot be read counts one.
  int AddFolder(const std::u16string& folderPath, const std::u16string& root,
                const std::u16string& excludedName);

  // The package that is about to be written to `path`: when a file exists
  // there, folder walks leave it out, so that a package inside a packed
  // folder never packs its own previous version.
  void LeaveOutOfFolders(const std::u16string& path);

  // The row whose source is the very file at `path` (compared by identity,
  // not by name), or -1. A target that is a source must never be opened
  // for writing: that would destroy the source.
  int FindSource(const std::u16string& path) const;

  // Refreshes every row's size from the file itself and returns the sum of
  // the sizes as a 32-bit value. A file that can no longer be opened keeps
  // its size and adds nothing.
  int MeasureTotal();

  // --- The build run ---

  // Writes the package to `targetPath`: the extractor image (the program's
  // resource "SFX_EXE" `resourceId`), then the splash image (when
  // `splashPath` is not empty) and the version information (when `version`
  // is not empty) as resources, each with the file closed, then the archive
  // last. All of it goes to a temporary file beside the target, which takes
  // the target's name only when the package is complete: whatever stood at
  // the target stays until then, and stays for good when the run fails or
  // is cancelled. Returns Result::kDone; Result::kEmpty for an empty table and
  // Result::kNoExtractorImage before any file exists; Result::kFileError when the
  // target's folder is missing, the target cannot be replaced (a folder, a
  // link, a read-only file) or is one of the sources (FindSource), or the
  // package cannot be moved into place. When the archive writer stops early
  // (Result::kCannotOpenFile, Result::kFileError) the temporary file is deleted
  // and the writer's result returned; after a cancel it is deleted and the
  // result is Result::kDone. File errors of the image write and of reopening
  // pass to the caller, after the temporary file was deleted.
  Result BuildPackage(int resourceId, const std::u16string& targetPath, ProgressFunction callback,
                      void* context, const std::u16string& splashPath,
                      const std::u16string& toolDirectory);

  // Creates folder `path` and every missing folder above it, from the top
  // down; the walk up stops at "\" and at a drive designator. The current
  // folder is the same afterwards. Returns 1 when the folder exists
  // afterwards, else 0.
  static int CreateDirectoryTree(const std::u16string& path);

  // Adds the splash image's bytes to the package file as resource "GIF"
  // named "ARCHIVE" in language 1024. Reports nothing; a missing splash or
  // a refused update leaves the package without it.
  void AddSplashResource(const std::u16string& targetPath, const std::u16string& splashPath);

  // Sets the version numbers of the package file from `version` and
  // `buildNumber`, then runs toolDirectory\Stampel\StampelLib.exe three
  // times, waiting for each, for the strings FileVersion, ProductVersion
  // (both fileAndProductVersion) and FileDescription (description). Reports
  // nothing; what cannot be done is left undone.
  void StampVersion(const std::u16string& targetPath, const std::u16string& toolDirectory);

  // --- Writing the archive ---

  // Appends the archive to `package`, which is open for reading and writing
  // and stands at its end: one zlib stream per entry, the directory, and the
  // trailer with the checksum and size fields. Sends Event::kEntryStarted,
  // Event::kEntryPercent, Event::kSourceBytesDone and Event::kEntryDone to
  // `callback` (when given) with `context`. Tests cancelRequested before
  // each entry, each compressed block and each directory record; after a
  // cancel the entry count, version, marker, checksum and size fields are
  // still written. Returns Result::kArchiveWritten (also after a cancel);
  // Result::kCannotOpenFile when a source cannot be opened (nothing more is
  // written); Result::kFileError on a file error while reading a source or
  // writing, seeking or reading back the package, when the compressor
  // fails, and when the package would reach 2 GiB, a stored name is longer
  // than the format allows or a source grows to 2 GiB. A source that is no longer a plain
  // file counts as one that cannot be opened. Each entry's size in the
  // directory is the number of bytes compressed, whatever the file's
  // length said. Never throws a FileError. Memory use does not depend on
  // the sizes of the sources.
  //
  // Each source is compressed in blocks of kDeflateBlockBytes on
  // compressionJobs threads (package/block_deflate.h) and joined into one
  // zlib stream; the progress events follow each block, in order. The
  // bytes written do not depend on the number of threads.
  Result WriteArchive(platform::File& package, ProgressFunction callback, void* context);
  unsigned compressionJobs = 0;  // threads for compression; 0: one per core

  // The sum of the sizes of entries 0 to index - 1, plus the bytes of the
  // current entry compressed so far.
  std::uint32_t BytesPackedBefore(int index) const;

  // --- Stream operations of the writer and the reader ---

  // When no input is pending, reads up to 8 KiB, and at most `limit` bytes,
  // from `file` into inBuffer. Returns the bytes pending; 0 when the file
  // is exhausted or the limit is 0. Raises FileError on a failed read.
  std::uint32_t FillInput(platform::File& file, std::uint32_t limit = kStreamBufferSize);

  // Writes what the stream has put into outBuffer to `file` and empties the
  // buffer. Returns the number of bytes written. Raises FileError.
  std::uint32_t FlushOutput(platform::File& file);

  // The percentage of the current entry done, from the stream's total_in
  // and currentTotal (100 for an empty entry).
  std::uint32_t EntryPercent() const;
  // The percentage that `done` bytes are of `total` (100 for 0 of 0).
  static std::uint32_t PercentOf(std::uint64_t done, std::uint32_t total);

  // --- Reading a package (the file at modulePath) ---

  // Finds the trailer within the last 10,000 bytes of the package, checks
  // it and loads the directory into the table. With `verifyChecksum`, the
  // checksum is compared first, before anything else is looked at. Returns
  // Result::kDone; Result::kCannotOpenPackage; Result::kDamaged (no marker,
  // another version, or a directory that states more than 512 entries, a
  // name over 1,000 code units, a record outside the file, a stream that
  // reaches into the directory or shares bytes with another entry's, a
  // size of 2 GiB or more, or a name that format::IsSafeStoredName
  // refuses); Result::kChecksumMismatch; Result::kSizeMismatch; Result::kEmpty.
  // A signed package is read from its signed part only: when the file is a
  // PE image whose certificate table ends the file, the table's start is
  // taken as the file's end. Never reads outside the file; file errors of
  // the platform pass to the caller.
  Result OpenPackage(bool verifyChecksum);

  // Restores every ordinary entry below `destination`, the last entry
  // first; entries whose names contain "ShowReadMe", ".AppNameFile" or
  // "HTML Images" are skipped. Sends Event::kEntryStarted for every entry,
  // Event::kEntryPercent and Event::kPackedBytesDone after each inflate step,
  // Event::kEntryDone for each entry restored, and Event::kPackedBytesDone
  // after a skipped or failed entry that counts in PackedTotal, so that the
  // packed bytes reach PackedTotal exactly when the last entry is done and
  // never pass it. Stops before the next entry once cancelRequested is set.
  // Returns Result::kDone (also after a cancel), Result::kFileError when any
  // entry failed (the others are still tried), Result::kCannotOpenFile, or
  // the failed OpenPackage result. With OnDamagedStream::kStop, a damaged
  // stream ends the extraction at once with Result::kDamagedStream; the
  // entries after it are not tried. File errors of reading the package pass
  // to the caller.
  enum class OnDamagedStream { kGoOn, kStop };
  Result ExtractAll(const std::u16string& destination, ProgressFunction callback, void* context,
                    OnDamagedStream onDamage = OnDamagedStream::kGoOn);

  // Restores entry `index` below `destination`, whatever its name. Returns
  // RestoreEntry's result, Result::kCannotOpenFile, or the failed OpenPackage
  // result.
  Result ExtractEntry(int index, const std::u16string& destination);

  // Restores entry `index` from the open `package` to `destination` (which
  // ends with a separator) plus its stored name, creating the folders on the
  // way. The entry is written under a temporary name beside its final one
  // and moved there only when it is whole, so what stood at the name stays
  // when it fails; folders made for it are removed again. No link below
  // `destination` is followed. Reads at most the entry's packed bytes and
  // writes at most its size. Returns Result::kDone (also when a cancel
  // stopped it: the entry is then left out); Result::kFileError when the
  // file cannot be created or written, a link or anything but a folder
  // stands on its way, anything but a plain file stands at its name, or
  // that file is the package itself; Result::kDamagedStream when the stream
  // is damaged, would inflate past the entry's size, ends before it, or
  // does not end exactly at its packed size. File errors of reading the
  // package pass to the caller.
  Result RestoreEntry(platform::File& package, int index, const std::u16string& destination);

  // Inflates entry `index` from the open `package`, writing nothing: reads
  // at most its packed bytes and stops as soon as it passes its size.
  // Returns Result::kDone for a sound stream, Result::kDamagedStream
  // otherwise; GetOutcome tells why. Sends no events. File errors of
  // reading the package pass to the caller.
  Result CheckEntry(platform::File& package, int index);

  // How the last RestoreEntry (also through ExtractAll and ExtractEntry) or
  // CheckEntry of entry `index` ended; reset by OpenPackage.
  const EntryOutcome& GetOutcome(int index) const { return outcomes[index]; }

  // Why the package could not be opened, after Result::kCannotOpenPackage
  // from OpenPackage or Result::kCannotOpenFile from ExtractAll and
  // ExtractEntry.
  const platform::FileErrorInfo& GetOpenError() const { return openError; }

  // True when OpenPackage(withChecksum) succeeds.
  bool VerifyPackage(bool withChecksum);

  // Sums of packedSize and size over the entries whose names contain
  // neither "ShowReadMe" nor ".AppNameFile"; 0 when the package cannot be
  // opened. A sum beyond 32 bits is the largest 32-bit number.
  std::uint32_t PackedTotal();
  std::uint32_t UnpackedTotal();

  // The stored name of entry `index`; empty when the package cannot be
  // opened or there is no such entry.
  std::u16string EntryName(int index);

  // The text in front of ".AppNameFile" in the last entry whose name holds
  // it; empty when there is none or the package cannot be opened.
  std::u16string ApplicationName();

  // Packed sizes of the entries after `index` (those that an extraction in
  // reverse order has already handled) that count in PackedTotal, plus the
  // current entry's input when it counts too.
  std::uint32_t PackedBytesDone(int index) const;

  // Resets all 512 rows and sets entryCount and trailerSize to 0.
  void ClearTable();

  // `folder` with a separator appended unless it already ends with one.
  static std::u16string AddTrailingSeparator(std::u16string folder);
  // Where the entry named `storedName` lies below `folder`.
  static std::u16string PathBelow(const std::u16string& folder, std::u16string_view storedName);

  // Creates folder `path` and every missing folder above it. True when the
  // folder exists afterwards.
  static bool CreateDirectoryPath(const std::u16string& path);

  // The package that the reading operations open (the running program by
  // default).
  void SetModulePath(std::u16string path) { modulePath = std::move(path); }

  // --- Accessors by row index; the index is not checked ---

  int GetEntryCount() const { return entryCount; }
  std::u16string GetSourcePath(int index) const { return entries[index].sourcePath; }
  std::u16string GetStoredName(int index) const { return entries[index].storedName; }
  void SetStoredName(int index, const std::u16string& name) { entries[index].storedName = name; }
  std::uint32_t GetSize(int index) const { return entries[index].size; }
  void SetSize(int index, std::uint32_t size) { entries[index].size = size; }
  std::uint32_t GetPackedSize(int index) const { return entries[index].packedSize; }
  void SetPackedSize(int index, std::uint32_t size) { entries[index].packedSize = size; }
  std::uint32_t GetDataOffset(int index) const { return entries[index].dataOffset; }
  void SetDataOffset(int index, std::uint32_t offset) { entries[index].dataOffset = offset; }
  const PackageEntry& GetEntry(int index) const { return entries[index]; }
  int GetTrailerSize() const { return trailerSize; }
  const std::u16string& GetModulePath() const { return modulePath; }

 private:
  z_stream stream;

 public:
  // The version settings from the package description.
  std::u16string buildNumber;
  std::u16string version;  // the version step of a build runs only when set
  std::u16string fileAndProductVersion;
  std::u16string description;

  // 1 once the user has confirmed a cancel; nothing sets it back. Set by the
  // user-interface thread, read by the writer and by the reader's worker.
  std::atomic<int> cancelRequested{0};

 private:
  // The reader's one inflate loop (package_reader.cpp). Inflated bytes go
  // to `write` when it is given, which answers false when it cannot take
  // them; the progress events are sent only then.
  enum class Inflated { kWhole, kCancelled, kWriteFailed, kProblem };
  using WriteFunction = bool (*)(void* context, const unsigned char* bytes, std::size_t count);
  Inflated InflateEntry(platform::File& package, int index, WriteFunction write,
                        void* writeContext);

  // The writer's streams of all entries, appended to `package` in order;
  // nothing when they were written (also after a cancel), or the result
  // that ends the run.
  std::optional<Result> WriteEntryStreams(platform::File& package, BlockCompressor& compressor,
                                          ProgressFunction callback, void* context);

  std::u16string modulePath;
  platform::FileErrorInfo openError;
  std::optional<platform::FileIdentity> leftOut;  // see LeaveOutOfFolders
  std::array<PackageEntry, kTableCapacity> entries;
  std::array<EntryOutcome, kTableCapacity> outcomes;
  int entryCount = 0;
  int trailerSize = 0;
  ProgressFunction progressCallback = nullptr;
  void* progressContext = nullptr;
  unsigned char inBuffer[kStreamBufferSize];
  unsigned char outBuffer[kStreamBufferSize];
  std::uint32_t currentTotal = 0;
  std::uint64_t entryBytesIn = 0;  // the writer: bytes of the current source compressed
};

}  // namespace package
