// The build run: the extractor image, the resource steps, then the archive.
#include "package/package_builder.h"
#include "package/result_codes.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/program.h"

namespace package {
namespace {

// Opens the package again after a resource step, at its end. The update
// rewrote the file, so its length may have changed.
void Reopen(platform::File& file, const std::u16string& path) {
  platform::FileErrorInfo error;
  if (!file.Open(path, platform::FileAccess::kReadWrite, platform::FileCreation::kOpenAlways,
                 platform::FileShare::kReadWrite, &error)) {
    throw platform::FileError(error);
  }
  file.Seek(0, platform::SeekOrigin::kEnd);
}

// Deletes the package file when the run ends early, so that no broken
// package is ever left at the target path. The file itself must be closed
// first: it is declared after this guard.
class PartialPackage {
 public:
  explicit PartialPackage(const std::u16string& path) : path_(path) {}
  ~PartialPackage() {
    if (!kept_) platform::RemoveFile(path_);
  }
  void Keep() { kept_ = true; }

 private:
  const std::u16string& path_;
  bool kept_ = false;
};

}  // namespace

int PackageBuilder::BuildPackage(int resourceId, const std::u16string& targetPath,
                                 ProgressFunction callback, void* context,
                                 const std::u16string& splashPath,
                                 const std::u16string& toolDirectory) {
  if (entryCount < 1) return kResultEmpty;
  const auto image = platform::FindProgramResource(platform::ResourceId::Named(u"SFX_EXE"),
                                                   platform::ResourceId::Number(resourceId));
  if (!image) return kResultNoExtractorImage;

  PartialPackage partial(targetPath);
  platform::File package;
  if (!package.Open(targetPath, platform::FileAccess::kReadWrite,
                    platform::FileCreation::kCreateAlways, platform::FileShare::kReadWrite)) {
    partial.Keep();  // nothing of ours is there
    return kResultFileError;
  }
  package.Write(image->data(), image->size());

  if (!splashPath.empty()) {
    package.Close();
    AddSplashResource(targetPath, splashPath);
    Reopen(package, targetPath);
  }
  if (!version.empty()) {
    package.Close();
    StampVersion(targetPath, toolDirectory);
    Reopen(package, targetPath);
  }

  const int written = WriteArchive(package, callback, context);
  package.Close();
  if (cancelRequested) return kResultDone;  // the guard deletes the file
  if (written != kResultArchiveWritten) return written;
  partial.Keep();
  return kResultDone;
}

int PackageBuilder::CreateDirectoryTree(const std::u16string& path) {
  const std::u16string current = platform::GetCurrentFolder();
  platform::CreateFolder(path);
  const bool exists = platform::SetCurrentFolder(path);
  platform::SetCurrentFolder(current);
  if (exists) return 1;

  // The parent: up to the last separator after the first character.
  const std::size_t cut = path.size() < 2 ? std::u16string::npos
                                          : path.find_last_of(platform::kPathSeparator);
  if (cut == std::u16string::npos || cut == 0) return 0;
  const std::u16string parent = path.substr(0, cut);
  if (parent == std::u16string(1, platform::kPathSeparator)) return 0;
  if (parent.size() >= 2 && parent.substr(1) == u":") return 0;
  if (CreateDirectoryTree(parent) == 0) return 0;
  return platform::CreateFolder(path) ? 1 : 0;
}

}  // namespace package
