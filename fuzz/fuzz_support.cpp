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

#include "package/package_format.h"

namespace fuzz {

namespace format = package::format;

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

bool RepairTrailer(std::uint8_t* data, std::size_t size) {
  const std::span<const unsigned char> whole(data, size);
  const std::uint64_t end =
      format::CertificateTableStart(whole.first(std::min(size, format::kPeHeadBytes)), size)
          .value_or(size);
  std::string marker;
  format::AppendText(marker, format::kMarker);
  // The marker nearest to the end, 20 to 9,999 bytes before it, as the
  // reader looks for it.
  const std::uint64_t span = std::min<std::uint64_t>(end, format::kMarkerSearchLimit - 1);
  std::optional<std::uint64_t> found;
  for (std::uint64_t i = format::kMarkerBytes; i <= span && !found; ++i) {
    if (std::memcmp(data + (end - i), marker.data(), marker.size()) == 0) found = i;
  }
  if (!found || *found < format::kMarkerToEnd) return false;
  const std::uint64_t afterMarker = end - *found + format::kMarkerBytes;
  const std::uint64_t sizeField = afterMarker + format::kChecksumBytes;

  std::uint32_t checksum = 0;
  if (afterMarker > format::kChecksumStart) {
    checksum = format::AddToChecksum(
        0, whole.subspan(format::kChecksumStart, afterMarker - format::kChecksumStart));
  }
  std::string fields;
  format::AppendText(fields, format::RenderDecimal(checksum, format::kChecksumDigits));
  format::AppendText(fields, format::RenderDecimal(sizeField, format::kSizeDigits));
  std::memcpy(data + afterMarker, fields.data(), fields.size());
  return true;
}

}  // namespace fuzz
