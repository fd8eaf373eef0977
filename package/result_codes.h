// What the builder's operations return and the events they send. Results
// and events share the range 1000..1011, and a number means different
// things for different operations: each operation's header comment says
// which of these it returns. The integers are those that callers have
// always seen.
#pragma once

namespace package {

enum class Result : int {
  // OpenPackage: the package file cannot be opened.
  kCannotOpenPackage = 1000,
  // OpenPackage: no marker near the end, another format version, or a
  // directory that does not fit the file or names an unsafe place.
  kDamaged = 1001,
  // BuildPackage, OpenPackage, ExtractAll, ExtractEntry, RestoreEntry,
  // CheckEntry: done.
  kDone = 1002,
  // BuildPackage: the content table is empty. OpenPackage: no entries.
  kEmpty = 1004,
  // WriteArchive: a file error while reading a source or writing the
  // package, or the compressor failed. BuildPackage: the target cannot be
  // created. ExtractAll, ExtractEntry, RestoreEntry: an output file cannot
  // be created or written.
  kFileError = 1005,
  // WriteArchive: a source file cannot be opened. ExtractAll,
  // ExtractEntry: the package cannot be opened again after OpenPackage had
  // succeeded.
  kCannotOpenFile = 1006,
  // BuildPackage: the extractor image is not among the program's resources.
  kNoExtractorImage = 1007,
  // WriteArchive: the archive and its trailer were written (also after a
  // cancel, which the caller reads from cancelRequested).
  kArchiveWritten = 1008,
  // OpenPackage: the size field does not hold its own position.
  kSizeMismatch = 1009,
  // OpenPackage: the checksum differs.
  kChecksumMismatch = 1010,
  // RestoreEntry, ExtractEntry, CheckEntry: the entry's stream is damaged
  // (see StreamProblem); no file is left for it.
  kDamagedStream = 1011,
};

// The first argument of a ProgressFunction.
enum class Event : int {
  // Writer: a source was opened. Reader: an entry's turn begins (also for
  // an entry that is then skipped). Data: the PackageEntry.
  kEntryStarted = 1000,
  // Writer: an entry's stream is complete. Reader: an entry was restored.
  // Data: the PackageEntry.
  kEntryDone = 1001,
  // After each compression or decompression step: an int32, the percentage
  // of the current entry (EntryPercent).
  kEntryPercent = 1002,
  // Reader, after each 1002: an int32, packed bytes handled over the whole
  // extraction (PackedBytesDone).
  kPackedBytesDone = 1003,
  // Writer, after each 1002: an int32, source bytes compressed over the
  // whole run (BytesPackedBefore).
  kSourceBytesDone = 1004,
};

// What was wrong with an entry's stream.
enum class StreamProblem {
  kNone,
  kDamaged,      // inflate found bad data or a wrong check value
  kCutShort,     // the packed bytes end before the stream does
  kEndsEarly,    // the stream ends before its packed bytes do
  kPastSize,     // the stream gives more bytes than the entry's size
  kShortOfSize,  // the stream ends before it has given the entry's size
};

// A short English name of each, for messages and tests ("damaged stream").
const char* ResultName(Result result);
const char* EventName(Event event);
const char* StreamProblemName(StreamProblem problem);

}  // namespace package
