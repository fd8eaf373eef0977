// A file that is written under a temporary name beside its final name and
// moved into place only once it is complete, so that a failure leaves
// whatever was there before. Nothing below the chosen folder is followed:
// the folders between it and the file are opened, or created, one by one
// without following links, and the file is refused when a link, or
// anything but a folder, stands where a folder must be, or when anything
// but a plain file (a link, a folder, a pipe) stands at its final name.
//
//   StagedFile staged;
//   if (!staged.Begin(destination, u"Data/setup.ini", &packageIdentity)) ...
//   staged.file().Write(...);          // raises FileError like any File
//   if (!staged.Commit()) ...          // or Abandon(); the destructor abandons
//
// Used by one thread at a time; the object is not copied or moved.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/file.h"

namespace platform {

// Why a StagedFile could not be begun or committed.
enum class StageFailure {
  kNone,
  kCannotCreate,   // a folder or the file cannot be created or moved (see osError)
  kLinkOnTheWay,   // a link stands where a folder of the path must be
  kNotAFolder,     // a file, a pipe or a device stands where a folder must be
  kNotAPlainFile,  // a link, a folder or a device stands at the final name
  kReadOnly,       // the file at the final name is read-only (as on Windows)
  kProtected,      // the file at the final name is the protected file
};

class StagedFile {
 public:
  StagedFile();
  ~StagedFile();  // abandons what is not committed
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  // Prepares the file `relative` below the folder `root`. `root` is the
  // caller's choice: it and the folders above it are reached as the system
  // reaches them (links included) and created when missing. `relative`
  // holds one or more components separated by kPathSeparator (on Windows
  // also '/'), none empty, "." or "..". The missing folders on the way are
  // created and remembered; then the final name is looked at, and a
  // temporary file is created beside it, open for writing and reading
  // back, shared with readers and writers. `protect`, when given, is a file
  // that must never be replaced (the package being read). False, with
  // what() telling why and nothing left behind, when the file cannot be
  // begun.
  bool Begin(const std::u16string& root, const std::u16string& relative,
             const FileIdentity* protect = nullptr);

  // The temporary file, open for writing from Begin on. The caller may
  // close it and open temporaryPath() again meanwhile (a resource update
  // works on a closed file); Commit closes it when it is open.
  File& file() { return file_; }

  // The full path of the final name and of the temporary file.
  const std::u16string& finalPath() const { return finalPath_; }
  const std::u16string& temporaryPath() const { return temporaryPath_; }

  // Closes the temporary file and moves it to the final name, replacing a
  // plain file that is there; the final name is looked at again first,
  // with the same refusals as in Begin. False, after doing what Abandon
  // does, when it cannot.
  bool Commit();

  // Closes and removes the temporary file, then removes the folders that
  // Begin created, the deepest first, each only while it is empty. Never
  // throws; does nothing after Commit.
  void Abandon() noexcept;

  StageFailure what() const { return failure_; }
  long osError() const { return osError_; }  // the system's error number, when there was one

 private:
  struct Folders;  // the open folders on the way, per platform

  // Abandons what was begun, forgets the last failure, and takes `protect`
  // (when given) as the file never to replace.
  void Restart(const FileIdentity* protect);
  bool Fail(StageFailure failure, long osError);

  File file_;
  std::u16string finalPath_;
  std::u16string temporaryPath_;
  Folders* folders_ = nullptr;
  std::optional<FileIdentity> protect_;
  StageFailure failure_ = StageFailure::kNone;
  long osError_ = 0;
};

}  // namespace platform
