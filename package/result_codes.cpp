#include "package/result_codes.h"

namespace package {

const char* ResultName(Result result) {
  switch (result) {
    case Result::kCannotOpenPackage: return "the package cannot be opened";
    case Result::kDamaged: return "damaged package";
    case Result::kDone: return "done";
    case Result::kEmpty: return "no entries";
    case Result::kFileError: return "file error";
    case Result::kCannotOpenFile: return "a file cannot be opened";
    case Result::kNoExtractorImage: return "no extractor image";
    case Result::kArchiveWritten: return "archive written";
    case Result::kSizeMismatch: return "size field differs";
    case Result::kChecksumMismatch: return "checksum differs";
    case Result::kDamagedStream: return "damaged stream";
  }
  return "unknown result";
}

const char* EventName(Event event) {
  switch (event) {
    case Event::kEntryStarted: return "entry started";
    case Event::kEntryDone: return "entry done";
    case Event::kEntryPercent: return "entry percent";
    case Event::kPackedBytesDone: return "packed bytes done";
    case Event::kSourceBytesDone: return "source bytes done";
  }
  return "unknown event";
}

const char* StreamProblemName(StreamProblem problem) {
  switch (problem) {
    case StreamProblem::kNone: return "sound";
    case StreamProblem::kDamaged: return "stream damaged";
    case StreamProblem::kCutShort: return "stream cut short";
    case StreamProblem::kEndsEarly: return "stream ends before its packed size";
    case StreamProblem::kPastSize: return "stream inflates past its size";
    case StreamProblem::kShortOfSize: return "stream ends before its size";
  }
  return "unknown problem";
}

}  // namespace package
