#include "fuzz/fuzz_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <span>
#include <system_error>

namespace fuzz {

void Fail(const std::string& what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
  std::abort();
}

std::string MakeScratchFolder(const char* prefix) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + prefix + "-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) Fail("cannot create a scratch folder " + pattern);
  return pattern;
}

std::set<std::string> ListFolder(const std::string& folder) {
  std::set<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) Fail("cannot list " + folder);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.insert(name);
  }
  ::closedir(dir);
  return names;
}

void RemoveTree(const std::string& path) {
  std::error_code error;
  std::filesystem::remove_all(path, error);
  if (error) Fail("cannot remove " + path + ": " + error.message());
}

std::string ReadWholeFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Fail("cannot open " + path);
  std::string bytes;
  char buffer[65536];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
    if (n < 0) Fail("cannot read " + path);
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return bytes;
}

void WriteWholeFile(const std::string& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) Fail("cannot create " + path);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) Fail("cannot write " + path);
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
}

}  // namespace fuzz
