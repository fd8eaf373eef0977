// The integers that the builder's operations return and the events they
// send. Results and events share the range 1000..1011, and a number means
// different things for different operations: each operation's header
// comment says which of these it returns.
#pragma once

namespace package {

// --- Results ---

// OpenPackage: the package file cannot be opened.
inline constexpr int kResultCannotOpenPackage = 1000;
// OpenPackage: no marker near the end, another format version, or a
// directory that does not fit the file or names a place outside the
// destination folder.
inline constexpr int kResultDamaged = 1001;
// BuildPackage, OpenPackage, ExtractAll, ExtractEntry, RestoreEntry: done.
inline constexpr int kResultDone = 1002;
// BuildPackage: the content table is empty. OpenPackage: no entries.
inline constexpr int kResultEmpty = 1004;
// WriteArchive: a file error while reading a source or writing the package.
// BuildPackage: the target cannot be created.
// ExtractAll, ExtractEntry, RestoreEntry: an output file cannot be created.
inline constexpr int kResultFileError = 1005;
// WriteArchive: a source file cannot be opened.
// ExtractAll, ExtractEntry: the package cannot be opened again after
// OpenPackage had succeeded.
inline constexpr int kResultCannotOpenFile = 1006;
// BuildPackage: the extractor image is not among the program's resources.
inline constexpr int kResultNoExtractorImage = 1007;
// WriteArchive: the archive and its trailer were written (also after a
// cancel, which the caller reads from cancelRequested).
inline constexpr int kResultArchiveWritten = 1008;
// OpenPackage: the size field does not hold its own position.
inline constexpr int kResultSizeMismatch = 1009;
// OpenPackage: the checksum differs.
inline constexpr int kResultChecksumMismatch = 1010;
// RestoreEntry, ExtractEntry: the entry's stream is damaged (inflate
// reported an error, or the input ended before the stream's end); the
// partial output file has been removed.
inline constexpr int kResultDamagedStream = 1011;

// --- Events (the first argument of a ProgressFunction) ---

// Writer: a source was opened. Reader: an entry's turn begins (also for an
// entry that is then skipped). Data: the PackageEntry.
inline constexpr int kEventEntryStarted = 1000;
// Writer: an entry's stream is complete. Reader: an entry was restored.
// Data: the PackageEntry.
inline constexpr int kEventEntryDone = 1001;
// After each compression or decompression step: an int32, the percentage
// of the current entry (EntryPercent).
inline constexpr int kEventEntryPercent = 1002;
// Reader, after each 1002: an int32, packed bytes handled over the whole
// extraction (PackedBytesDone).
inline constexpr int kEventPackedBytesDone = 1003;
// Writer, after each 1002: an int32, source bytes compressed over the whole
// run (BytesPackedBefore).
inline constexpr int kEventSourceBytesDone = 1004;

}  // namespace package
