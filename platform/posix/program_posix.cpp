// POSIX has no program resources, version blocks or short paths, and the
// programs that the package builder starts are Windows programs.
#include "platform/program.h"

namespace platform {

std::optional<std::span<const unsigned char>> FindProgramResource(const ResourceId&,
                                                                  const ResourceId&) {
  return std::nullopt;
}

struct ResourceUpdate::State {};

ResourceUpdate::ResourceUpdate() = default;
ResourceUpdate::~ResourceUpdate() = default;

bool ResourceUpdate::Begin(const std::u16string&) { return false; }

bool ResourceUpdate::Update(const ResourceId&, const ResourceId&, std::uint16_t,
                            std::span<const unsigned char>) {
  return false;
}

bool ResourceUpdate::Commit() { return false; }

std::optional<std::vector<unsigned char>> ReadFileVersionInfo(const std::u16string&) {
  return std::nullopt;
}

std::optional<std::uint16_t> FirstTranslationLanguage(std::vector<unsigned char>&) {
  return std::nullopt;
}

std::u16string GetShortPath(const std::u16string&) { return {}; }

std::optional<std::uint32_t> RunAndWait(const std::u16string&, const std::u16string&) {
  return std::nullopt;
}

}  // namespace platform
