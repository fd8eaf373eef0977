// The package checks that the dialog and the extract-only run share, and
// the extract-only run itself: what a deployment gets with
// "/extract:FOLDER", without any window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "package/package_builder.h"

namespace extractor {

// Whether the running program carries a splash image (the resource
// "GIF"/"ARCHIVE").
bool HasSplashImage();

// Whether the package is sound: its directory and trailer always; with
// `withSplash` also its checksum, unless an entry is named "setup.GW" (in
// any letter case).
bool PackageIsSound(package::PackageBuilder& builder, bool withSplash);

// The bytes that unpacking writes: the sizes of the entries it restores.
std::int64_t RequiredBytes(package::PackageBuilder& builder);

// Unpacks every ordinary entry into `folder` (made absolute against the
// current folder, and created with its parents when missing) after the
// same checks as Extract, starts nothing, removes nothing afterwards and
// shows nothing. Returns the program's exit code: 0 when every entry was
// unpacked; ExitCode::kPackageDamaged (what it made is removed again when
// the folder was new), kNoFolderAccess, kNoDiskSpace, or ERROR_WRITE_FAULT
// when entries could not be written (the others are unpacked).
DWORD ExtractOnly(package::PackageBuilder& builder, const std::u16string& folder);

}  // namespace extractor
