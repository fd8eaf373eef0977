// The build run: the extractor image, the resource steps, then the archive.
#include "package/package_builder.h"
#include "package/result_codes.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/program.h"
#include "platform/staged_file.h"

namespace package {
namespace {

// Where a path's folder ends: Windows takes '/' for '\\' too.
constexpr char16_t kSeparators[] = {platform::kPathSeparator, u'/', u'\0'};

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

}  // namespace

Result PackageBuilder::BuildPackage(int resourceId, const std::u16string& targetPath,
                                    ProgressFunction callback, void* context,
                                    const std::u16string& splashPath,
                                    const std::u16string& toolDirectory) {
  if (entryCount < 1) return Result::kEmpty;
  const auto image = platform::FindProgramResource(platform::ResourceId::Named(u"SFX_EXE"),
                                                   platform::ResourceId::Number(resourceId));
  if (!image) return Result::kNoExtractorImage;

  // A target that is one of the sources would be destroyed before its
  // bytes were read: refuse the run and leave the file alone.
  if (FindSource(targetPath) >= 0) return Result::kFileError;

  // The package is written under a temporary name beside the target and
  // takes the target's name only when it is complete, so a failed or
  // cancelled run leaves whatever was there before. The folder must exist.
  const std::size_t cut = targetPath.find_last_of(kSeparators);
  const std::u16string folder = cut == std::u16string::npos ? u"." : targetPath.substr(0, cut + 1);
  const auto attributes = platform::GetAttributes(folder);
  if (!attributes || (*attributes & platform::kAttributeDirectory) == 0) return Result::kFileError;
  platform::StagedFile staged;
  if (!staged.Begin(folder, targetPath.substr(cut + 1))) return Result::kFileError;
  const std::u16string& path = staged.temporaryPath();
  platform::File& package = staged.file();
  package.Write(image->data(), image->size());

  if (!splashPath.empty()) {
    package.Close();
    AddSplashResource(path, splashPath);
    Reopen(package, path);
  }
  if (!version.empty()) {
    package.Close();
    StampVersion(path, toolDirectory);
    Reopen(package, path);
  }

  const Result written = WriteArchive(package, callback, context);
  if (cancelRequested) return Result::kDone;  // the staged file goes again
  if (written != Result::kArchiveWritten) return written;
  return staged.Commit() ? Result::kDone : Result::kFileError;
}

int PackageBuilder::CreateDirectoryTree(const std::u16string& path) {
  return platform::CreateFolderChain(path) ? 1 : 0;
}

}  // namespace package
