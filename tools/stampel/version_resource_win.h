// A program file's version resources (RT_VERSION, name 1), read and replaced
// in every language they exist in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/stampel/stamp.h"

namespace stampel {

struct VersionResource {
  std::uint16_t language = 0;
  std::vector<unsigned char> block;
};

// Reads the version block of every language from the program file `path`
// (a full path), in the order the file lists them. kFileNotLoaded when the
// file cannot be opened as a program file, kNoVersionResource when it has
// no version resource, kInternalError when memory runs out; kStamped when
// `resources` holds them. The file is closed again on return.
ExitCode ReadVersionResources(const std::u16string& path, std::vector<VersionResource>& resources);

// Replaces the version block of each of `resources` in the file `path` in
// one update: either all are written or, with kUpdateRefused, none.
ExitCode WriteVersionResources(const std::u16string& path,
                               const std::vector<VersionResource>& resources);

}  // namespace stampel
