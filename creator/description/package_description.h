// The package description: a UTF-8 text file beside the creator that names
// the files and folders to pack, the package's target path and four version
// strings. It is read once per run, while the progress dialog initialises.
//
// Format: lines end at CR (an LF right after a CR belongs to the line
// break; any other LF is an ordinary character, and text after the last CR
// is no line). The first empty line ends the description. A key line starts
// in its first character with one of the keys below (lower case, exactly);
// its value is the line with every occurrence of the key removed. Every
// "&amp;" in the text stands for "&". Other lines are ignored.
//
//   filepath=...      one file; the next line is its root line
//   filepathroot=...  the root cut off the path to form the stored name
//   folderpath=...    every file below a folder; the next line is its root
//   folderpathroot=...
//   target=...        the package to write
//   version=... fileandproductversion=... buildnumber=... description=...
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "package/package_builder.h"
#include "resources/creator/resource_ids.h"

namespace creator {

// The creator's string ids that the reader shows.
inline constexpr int kStringReadError = IDS_READ_ERROR;      // Error while reading "%1"!
inline constexpr int kStringMemoryError = IDS_MEMORY_ERROR;  // Memory allocation error!
inline constexpr int kStringMissingFile = IDS_MISSING_FILE;  // Missing file: "%1"!

// Where the reader's messages go: the creator's dialog shows them in modal
// message boxes with an OK button, captioned with the program's title.
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // Shows string `stringId` with %1 replaced by `argument` and returns when
  // the user has closed it.
  virtual void ShowMessage(int stringId, std::u16string_view argument) = 0;
};

// Reads and decodes the whole file. The file is opened with no sharing, so
// the read fails while another process has it open. After any failure the
// message has been shown (kStringReadError, or kStringMemoryError when the
// buffer cannot be had) and the result is empty.
std::u16string ReadDescriptionFile(std::u16string path, MessageSink& messages);

// Decodes zero-terminated UTF-8 `source` into `destination` (malformed
// sequences become U+FFFD) and collapses every "&amp;" to "&", again and
// again, so that "&amp;amp;" also ends as "&". Returns 1.
int Utf8ToWide(const char* source, std::u16string& destination);

class PackageDescription {
 public:
  // Loads the description at `descriptionPath` into `builder` and
  // `targetPath`. When the file does not exist, shows kStringMissingFile
  // with the path and returns false (the dialog then ends); otherwise reads
  // it (an unreadable file has shown its message and gives an empty
  // description), parses it and returns true.
  bool Load(const std::u16string& descriptionPath, MessageSink& messages,
            package::PackageBuilder& builder, std::u16string& targetPath);

  // Parses descriptionText from the current line position on: empties
  // targetPath and the builder's four version strings and sets the
  // settings line by line; then adds the files and folders to the builder
  // in the order of their lines, with the file at the target path (the
  // previous package, when there is one) left out of the folder walks.
  void Parse(package::PackageBuilder& builder, std::u16string& targetPath);

  // The next line without its line break, or empty at the end of the text.
  std::u16string GetNextLine();

  std::u16string descriptionText;

  // The described files that Parse could not add to the table (missing,
  // unreadable, no plain file, beyond the table's 512 rows, with a root
  // that does not lead their path, or with a stored name that the reader
  // refuses or another file has); a folder that is missing or cannot be
  // read counts one.
  int unaddedFiles = 0;

 private:
  // Index of the first character of the next line. It only moves forward:
  // a description is parsed once.
  std::size_t linePosition = 0;
};

// `line` with every occurrence of `key` removed in one left-to-right pass;
// a key that only forms where two remaining pieces meet stays.
std::u16string RemoveKey(std::u16string_view line, std::u16string_view key);

}  // namespace creator
