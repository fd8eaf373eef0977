#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <random>
#include <system_error>

#include "platform/file.h"
#include "platform/file_system.h"
#include "text/utf8.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace testing_support {
namespace {

std::u16string Localise(std::u16string_view relative) {
  std::u16string out(relative);
  for (char16_t& c : out) {
    if (c == u'/' || c == u'\\') c = platform::kPathSeparator;
  }
  return out;
}

}  // namespace

TempFolder::TempFolder() {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (;;) {
    const std::string name =
        "toolkit-test-" + std::to_string(random()) + "-" + std::to_string(counter++);
    const std::filesystem::path candidate = base / name;
    std::error_code error;
    if (std::filesystem::create_directory(candidate, error)) {
      path_ = candidate.u16string();
      break;
    }
    if (error) {
      ADD_FAILURE() << "cannot create a temporary folder: " << error.message();
      break;
    }
  }
}

TempFolder::~TempFolder() {
  if (path_.empty()) return;
  std::error_code error;
  const std::filesystem::path p(path_);
  // Read-only files would stop the removal on Windows.
  for (auto it = std::filesystem::recursive_directory_iterator(p, error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add, error);
  }
  std::filesystem::remove_all(p, error);
}

std::u16string TempFolder::Path(std::u16string_view relative) const {
  return path_ + platform::kPathSeparator + Localise(relative);
}

std::u16string TempFolder::MakeFolder(std::u16string_view relative) const {
  const std::u16string full = Path(relative);
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(full), error);
  if (error) ADD_FAILURE() << "cannot create folder " << text::Utf16ToUtf8(full);
  return full;
}

std::u16string TempFolder::WriteFile(std::u16string_view relative,
                                     std::string_view contents) const {
  const std::u16string full = Path(relative);
  const std::size_t cut = full.rfind(platform::kPathSeparator);
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(full.substr(0, cut)), error);
  platform::File file;
  platform::FileErrorInfo info;
  if (!file.Open(full, platform::FileAccess::kWrite, platform::FileCreation::kCreateAlways,
                 platform::FileShare::kReadWrite, &info)) {
    ADD_FAILURE() << "cannot create " << text::Utf16ToUtf8(full) << ": "
                  << platform::FileErrorCauseName(info.cause);
    return full;
  }
  file.Write(contents.data(), contents.size());
  file.Close();
  return full;
}

std::string ReadWholeFile(const std::u16string& path) {
  platform::File file;
  if (!file.Open(path, platform::FileAccess::kRead, platform::FileCreation::kOpenExisting,
                 platform::FileShare::kReadWrite)) {
    ADD_FAILURE() << "cannot open " << text::Utf16ToUtf8(path);
    return {};
  }
  std::string data(file.Length(), '\0');
  data.resize(file.Read(data.data(), data.size()));
  return data;
}

bool MakeSymbolicLink(const std::u16string& link, const std::u16string& target, bool folder) {
#ifdef _WIN32
  // Without the privilege, Windows in developer mode still makes links when asked so.
  constexpr DWORD kAllowUnprivileged = 0x2;
  const DWORD flags = (folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) | kAllowUnprivileged;
  if (!CreateSymbolicLinkW(reinterpret_cast<const wchar_t*>(link.c_str()),
                           reinterpret_cast<const wchar_t*>(target.c_str()), flags)) {
    return false;
  }
#else
  (void)folder;
  if (::symlink(text::Utf16ToUtf8(target).c_str(), text::Utf16ToUtf8(link).c_str()) != 0) {
    return false;
  }
#endif
  const auto attributes = platform::GetAttributes(link);
  return attributes && (*attributes & platform::kAttributeReparsePoint) != 0;
}

std::u16string U16(std::string_view utf8) { return text::Utf8ToUtf16(utf8); }
std::string U8(std::u16string_view utf16) { return text::Utf16ToUtf8(utf16); }

}  // namespace testing_support
