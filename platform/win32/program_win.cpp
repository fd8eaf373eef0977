#include <windows.h>

#include <cstring>
#include <memory>

#include "platform/program.h"
#include "platform/win32/buffer_adapter.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

namespace platform {
namespace {

using win32::Wide;

// MAKEINTRESOURCEW for an integer id, the text otherwise; `id` must outlive
// the call.
const wchar_t* ResourcePointer(const ResourceId& id) {
  return id.id >= 0 ? MAKEINTRESOURCEW(id.id) : Wide(id.name);
}

using win32::UniqueHandle;

}  // namespace

std::optional<std::span<const unsigned char>> FindProgramResource(const ResourceId& type,
                                                                  const ResourceId& name) {
  HRSRC info = FindResourceW(nullptr, ResourcePointer(name), ResourcePointer(type));
  if (!info) return std::nullopt;
  HGLOBAL loaded = LoadResource(nullptr, info);
  if (!loaded) return std::nullopt;
  const void* bytes = LockResource(loaded);
  if (!bytes) return std::nullopt;
  return std::span<const unsigned char>(static_cast<const unsigned char*>(bytes),
                                        SizeofResource(nullptr, info));
}

struct ResourceUpdate::State {
  win32::UniqueResourceUpdate update;  // discards what is not committed
};

ResourceUpdate::ResourceUpdate() = default;
ResourceUpdate::~ResourceUpdate() = default;

bool ResourceUpdate::Begin(const std::u16string& path) {
  // A previous update of the same file is discarded before the new one
  // reads the file.
  state_.reset();
  win32::UniqueResourceUpdate update(BeginUpdateResourceW(Wide(path), FALSE));
  if (!update) return false;
  state_ = std::make_unique<State>(State{std::move(update)});
  return true;
}

bool ResourceUpdate::Update(const ResourceId& type, const ResourceId& name, std::uint16_t language,
                            std::span<const unsigned char> data) {
  if (!state_) return false;
  return UpdateResourceW(state_->update.get(), ResourcePointer(type), ResourcePointer(name),
                         language, const_cast<unsigned char*>(data.data()),
                         static_cast<DWORD>(data.size())) != 0;
}

bool ResourceUpdate::Commit() {
  if (!state_) return false;
  const std::unique_ptr<State> state = std::move(state_);
  return state->update.Commit();
}

std::optional<std::vector<unsigned char>> ReadFileVersionInfo(const std::u16string& path) {
  const DWORD size = GetFileVersionInfoSizeW(Wide(path), nullptr);
  if (size == 0) return std::nullopt;
  std::vector<unsigned char> block(size);
  if (!GetFileVersionInfoW(Wide(path), 0, size, block.data())) return std::nullopt;
  return block;
}

std::optional<std::uint16_t> FirstTranslationLanguage(std::vector<unsigned char>& versionInfo) {
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(versionInfo.data(), L"\\VarFileInfo\\Translation", &value, &length) ||
      length < 2) {
    return std::nullopt;
  }
  std::uint16_t language;
  std::memcpy(&language, value, sizeof language);
  return language;
}

std::u16string GetShortPath(const std::u16string& path) {
  return win32::FillBuffer([&](wchar_t* buffer, DWORD capacity) {
    return GetShortPathNameW(Wide(path), buffer, capacity);
  });
}

std::optional<std::uint32_t> RunAndWait(const std::u16string& program,
                                        const std::u16string& commandLine) {
  std::u16string line = commandLine;  // CreateProcessW may write into it
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(program.empty() ? nullptr : Wide(program), win32::Wide(line.data()), nullptr,
                      nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
    return std::nullopt;
  }
  const UniqueHandle process(info.hProcess);
  const UniqueHandle thread(info.hThread);
  WaitForSingleObject(process.get(), INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.get(), &code);
  return code;
}

}  // namespace platform
