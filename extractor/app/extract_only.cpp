#include "extractor/app/extract_only.h"

#include "extractor/app/exit_codes.h"
#include "extractor/services/system_services.h"
#include "package/entry_names.h"
#include "platform/file_error.h"
#include "platform/file_system.h"
#include "resources/extractor/resource_ids.h"

namespace extractor {

bool HasSplashImage() {
  return FindResourceW(nullptr, L"" SPLASH_RESOURCE_NAME, L"" SPLASH_RESOURCE_TYPE) != nullptr;
}

bool PackageIsSound(package::PackageBuilder& builder, bool withSplash) {
  if (!withSplash) return builder.VerifyPackage(false);
  bool withChecksum = true;
  if (builder.VerifyPackage(false)) {
    for (int i = 0; i < builder.GetEntryCount(); ++i) {
      if (package::IsChecksumSwitch(builder.GetStoredName(i))) {
        withChecksum = false;
        break;
      }
    }
  }
  return builder.VerifyPackage(withChecksum);
}

std::int64_t RequiredBytes(package::PackageBuilder& builder) {
  std::int64_t required = 0;
  if (builder.OpenPackage(false) == package::Result::kDone) {
    for (int i = 0; i < builder.GetEntryCount(); ++i) {
      if (!package::IsLeftPacked(builder.GetStoredName(i))) required += builder.GetSize(i);
    }
  }
  return required;
}

namespace {

DWORD Code(ExitCode code) { return static_cast<DWORD>(code); }

// Removes `outermost` with everything in it, when this run made it.
void RemoveMade(const std::u16string& outermost, bool made) {
  if (made && services::DeleteTree(outermost) == 0) platform::RemoveFolder(outermost);
}

}  // namespace

DWORD ExtractOnly(package::PackageBuilder& builder, const std::u16string& folder) {
  if (!PackageIsSound(builder, HasSplashImage())) return Code(ExitCode::kPackageDamaged);

  std::u16string destination = platform::GetFullPath(folder);
  if (folder.empty() || destination.empty() || !services::HasFolderShape(destination)) {
    return Code(ExitCode::kNoFolderAccess);
  }
  const bool existed = services::DirectoryExists(destination);
  const std::u16string outermost = services::OutermostNewFolder(destination);
  if (!existed) package::PackageBuilder::CreateDirectoryPath(destination);
  if (!services::DirectoryExists(destination)) {
    RemoveMade(outermost, !existed);
    return Code(ExitCode::kNoFolderAccess);
  }

  const std::optional<std::u16string> root = services::SpaceRoot(
      destination, [](const std::u16string& p) { return services::DirectoryExists(p); });
  const std::optional<std::uint64_t> free = root ? platform::GetFreeDiskSpace(*root) : std::nullopt;
  if (free && *free < static_cast<std::uint64_t>(RequiredBytes(builder))) {
    RemoveMade(outermost, !existed);
    return Code(ExitCode::kNoDiskSpace);
  }

  package::Result result = package::Result::kDamaged;
  try {
    result = builder.ExtractAll(destination, nullptr, nullptr,
                                package::PackageBuilder::OnDamagedStream::kStop);
  } catch (const platform::FileError&) {
    // The package can no longer be read.
  }
  if (result == package::Result::kDone) return Code(ExitCode::kSuccess);
  if (result == package::Result::kFileError) return ERROR_WRITE_FAULT;
  RemoveMade(outermost, !existed);
  return Code(ExitCode::kPackageDamaged);
}

}  // namespace extractor
