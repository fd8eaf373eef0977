#include "tools/stampel/version_resource_win.h"

#include <windows.h>

#include <new>

#include "platform/program.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

namespace stampel {
namespace {

using platform::win32::Wide;

// The version resource is always named 1.
const wchar_t* const kVersionName = MAKEINTRESOURCEW(1);

// The file mapped for reading its resources, never run.
platform::win32::UniqueModule LoadForResources(const std::u16string& path) {
  return platform::win32::UniqueModule(LoadLibraryExW(
      Wide(path), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
}

struct LanguageList {
  std::vector<WORD> languages;
  bool outOfMemory = false;
};

BOOL CALLBACK AddLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR context) {
  auto* list = reinterpret_cast<LanguageList*>(context);
  try {
    list->languages.push_back(language);
    return TRUE;
  } catch (const std::bad_alloc&) {
    list->outOfMemory = true;
    return FALSE;
  }
}

}  // namespace

ExitCode ReadVersionResources(const std::u16string& path, std::vector<VersionResource>& resources) {
  const platform::win32::UniqueModule module = LoadForResources(path);
  if (!module) return ExitCode::kFileNotLoaded;

  LanguageList list;
  const BOOL listed = EnumResourceLanguagesW(module.get(), RT_VERSION, kVersionName, AddLanguage,
                                             reinterpret_cast<LONG_PTR>(&list));
  if (list.outOfMemory) return ExitCode::kInternalError;
  if (!listed || list.languages.empty()) return ExitCode::kNoVersionResource;

  // Resource handles need no release: their memory is the module's.
  std::vector<VersionResource> read;
  for (const WORD language : list.languages) {
    const HRSRC found = FindResourceExW(module.get(), RT_VERSION, kVersionName, language);
    if (!found) return ExitCode::kNoVersionResource;
    const DWORD size = SizeofResource(module.get(), found);
    const HGLOBAL loaded = LoadResource(module.get(), found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return ExitCode::kNoVersionResource;
    const auto* bytes = static_cast<const unsigned char*>(data);
    read.push_back({language, std::vector<unsigned char>(bytes, bytes + size)});
  }
  resources = std::move(read);
  return ExitCode::kStamped;
}

ExitCode WriteVersionResources(const std::u16string& path,
                               const std::vector<VersionResource>& resources) {
  platform::ResourceUpdate update;
  if (!update.Begin(path)) return ExitCode::kUpdateRefused;
  for (const VersionResource& resource : resources) {
    if (!update.Update(platform::ResourceId::Number(platform::kResourceTypeVersion),
                       platform::ResourceId::Number(1), resource.language, resource.block)) {
      return ExitCode::kUpdateRefused;
    }
  }
  return update.Commit() ? ExitCode::kStamped : ExitCode::kUpdateRefused;
}

}  // namespace stampel
