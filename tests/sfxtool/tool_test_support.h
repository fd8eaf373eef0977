// Helpers of the sfxtool tests: running programs with their output
// captured, files read and written whole. Packages by hand come from
// tests/support/package_bytes.h.
#pragma once

#include <gtest/gtest.h>
#include <cstdint>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "package/pe_resources.h"

namespace tool_test {

struct RunResult {
  int exitCode = -1;  // 127 when the program could not be started, 128 + n for signal n
  std::string out;
  std::string err;
};

struct RunOptions {
  std::filesystem::path cwd;      // empty: the test's own current folder
  bool stderrOnTerminal = false;  // stderr on a pseudo-terminal; its output lands in err
};

// Runs `argv` (argv[0] looked up on PATH unless it holds a '/') with stdin
// from /dev/null and waits for it.
RunResult RunProgram(const std::vector<std::string>& argv, const RunOptions& options = {});

// Runs the sfxtool binary of this build with `args`.
RunResult RunTool(const std::vector<std::string>& args, const RunOptions& options = {});

// Whether `text` holds `part`; the failure shows both.
testing::AssertionResult Contains(const std::string& text, const std::string& part);

std::string ReadBytes(const std::filesystem::path& path);

// The program image that starts the package at `path`: its bytes up to the
// end of its last section. A test failure, and nothing, when its headers
// cannot be read.
std::string ImageOf(const std::filesystem::path& path);

// The resources of that image; a test failure, and nothing, when they
// cannot be read.
std::vector<package::pe::Resource> ImageResources(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, std::string_view bytes);

// The UTF-8 form of a path, for command lines and descriptions.
std::string Utf8(const std::filesystem::path& path);

}  // namespace tool_test
