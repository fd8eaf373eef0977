// Helpers shared by the fuzz targets and the seed generator: scratch
// folders, whole-file writes, and the repair of a package's trailer fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

namespace fuzz {

// Creates a fresh folder "<TMPDIR or /tmp>/<prefix>-XXXXXX" and returns its
// path; aborts when it cannot be made.
std::string MakeScratchFolder(const char* prefix);

// The names in `folder`, without "." and "..".
std::set<std::string> ListFolder(const std::string& folder);

// Removes `path` and everything below it; aborts when something stays.
void RemoveTree(const std::string& path);

// The whole contents of `path`; aborts when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// Writes `bytes` to `path`, replacing the file; aborts on failure.
void WriteWholeFile(const std::string& path, std::string_view bytes);

// Prints `what` and aborts, so that libFuzzer keeps the input.
[[noreturn]] void Fail(const std::string& what);

}  // namespace fuzz
