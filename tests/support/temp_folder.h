// A fresh, empty folder for one test, removed with everything in it when
// the test ends. Files are written through the platform layer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace testing_support {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder's absolute path, without a trailing separator.
  const std::u16string& path() const { return path_; }

  // path() + separator + relative; '/' and '\\' in `relative` both become
  // the platform's separator.
  std::u16string Path(std::u16string_view relative) const;

  // Writes `contents` to `relative`, creating the folders on the way, and
  // returns the file's full path.
  std::u16string WriteFile(std::u16string_view relative, std::string_view contents) const;

  // Creates the folder `relative` and its parents; returns its full path.
  std::u16string MakeFolder(std::u16string_view relative) const;

 private:
  std::u16string path_;
};

// Reads a whole file through the platform layer (shared for reading and
// writing); fails the calling test when it cannot be read.
std::string ReadWholeFile(const std::u16string& path);

// Makes `link` a symbolic link to `target` (a folder link when `folder`);
// `target` need not exist. False when this system makes none: a Windows
// user without the privilege, or wine, whose CreateSymbolicLinkW reports
// success and makes nothing.
bool MakeSymbolicLink(const std::u16string& link, const std::u16string& target, bool folder);

// UTF-8 literals in tests read more easily than u"" ones for byte data.
std::u16string U16(std::string_view utf8);
std::string U8(std::u16string_view utf16);

}  // namespace testing_support
