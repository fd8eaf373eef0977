// The running program and other programs: the program's own resources,
// resource updates of an executable file, version information, short
// paths, and starting a program and waiting for it.
//
// These exist on Windows. On POSIX there are no resources, version blocks
// or short paths: the functions report that nothing was found or done.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform {

// A resource type or name: a string, or an integer id.
struct ResourceId {
  std::u16string name;  // used when id is negative
  int id = -1;

  static ResourceId Named(std::u16string name) { return {std::move(name), -1}; }
  static ResourceId Number(int id) { return {{}, id & 0xFFFF}; }
};

inline constexpr int kResourceTypeVersion = 16;  // RT_VERSION

// The bytes of the running program's resource `type`/`name`, in place (read
// only, valid while the program runs); nothing when it cannot be found,
// loaded or locked.
std::optional<std::span<const unsigned char>> FindProgramResource(const ResourceId& type,
                                                                  const ResourceId& name);

// A resource update of one executable file. Begin keeps the file's existing
// resources; nothing reaches the file until Commit. Destroying an update
// that was not committed discards it.
class ResourceUpdate {
 public:
  ResourceUpdate();
  ResourceUpdate(const ResourceUpdate&) = delete;
  ResourceUpdate& operator=(const ResourceUpdate&) = delete;
  ~ResourceUpdate();

  bool Begin(const std::u16string& path);
  // Adds or replaces one resource in `language`.
  bool Update(const ResourceId& type, const ResourceId& name, std::uint16_t language,
              std::span<const unsigned char> data);
  // Writes the changes to the file and ends the update.
  bool Commit();

 private:
  struct State;  // the platform's update, present between Begin and Commit
  std::unique_ptr<State> state_;
};

// The version information of `path` as GetFileVersionInfoW gives it;
// nothing when the file has none or it cannot be read.
std::optional<std::vector<unsigned char>> ReadFileVersionInfo(const std::u16string& path);

// The language of the first entry of "\VarFileInfo\Translation" in a block
// that ReadFileVersionInfo gave; nothing when the block has no translation.
std::optional<std::uint16_t> FirstTranslationLanguage(std::vector<unsigned char>& versionInfo);

// The short (8.3) form of an existing path; empty when there is none,
// which is also the answer for a path that does not exist.
std::u16string GetShortPath(const std::u16string& path);

// Starts `program` with exactly `commandLine` as its command line (the
// program inherits our inheritable handles) and waits for it to end,
// without a time limit. Returns its exit code; nothing when it could not be
// started.
std::optional<std::uint32_t> RunAndWait(const std::u16string& program,
                                        const std::u16string& commandLine);

}  // namespace platform
