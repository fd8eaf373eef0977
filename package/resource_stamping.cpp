// The resource steps of a build run: the splash image and the version
// information of the package file. Neither reports anything: what it cannot
// do is left undone and the build goes on.
#include <vector>

#include "package/image_stamping.h"
#include "package/package_builder.h"
#include "package/version_stamp.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/program.h"

namespace package {

void PackageBuilder::AddSplashResource(const std::u16string& targetPath,
                                       const std::u16string& splashPath) {
  platform::File splash;
  if (!splash.Open(splashPath, platform::FileAccess::kRead, platform::FileCreation::kOpenExisting,
                   platform::FileShare::kNone)) {
    return;
  }
  std::vector<unsigned char> bytes;
  try {
    bytes.resize(static_cast<std::uint32_t>(splash.Length()));
    bytes.resize(splash.Read(bytes.data(), bytes.size()));
    splash.Close();
  } catch (const platform::FileError&) {
    return;
  }
  platform::ResourceUpdate update;
  if (!update.Begin(targetPath)) return;
  if (update.Update(platform::ResourceId::Named(std::u16string(stamping::kSplashType)),
                    platform::ResourceId::Named(std::u16string(stamping::kSplashName)),
                    stamping::kSplashLanguage, bytes)) {
    update.Commit();
  }
}

void PackageBuilder::StampVersion(const std::u16string& targetPath,
                                  const std::u16string& toolDirectory) {
  // The version numbers, in the fixed part of the version block.
  if (auto block = platform::ReadFileVersionInfo(targetPath)) {
    const bool numbersSet = stamping::SetVersionNumbers(
        *block, stamping::ReadVersionNumber(version), stamping::ReadVersionNumber(buildNumber));
    platform::ResourceUpdate update;
    if (numbersSet && update.Begin(targetPath)) {
      if (const auto language = platform::FirstTranslationLanguage(*block)) {
        if (update.Update(platform::ResourceId::Number(platform::kResourceTypeVersion),
                          platform::ResourceId::Number(1), *language, *block)) {
          update.Commit();
        }
      }
    }
  }

  // The version strings, each set by one run of the stamping tool. Without
  // a short form (the tool is missing) no run can start.
  const std::u16string tool =
      platform::GetShortPath(toolDirectory + platform::kPathSeparator + u"Stampel" +
                             platform::kPathSeparator + u"StampelLib.exe");
  const struct {
    std::u16string_view key;
    const std::u16string& value;
  } strings[] = {
      {u"FileVersion", fileAndProductVersion},
      {u"ProductVersion", fileAndProductVersion},
      {u"FileDescription", description},
  };
  for (const auto& s : strings) {
    if (tool.empty()) break;
    platform::RunAndWait(tool, stamping::ToolCommandLine(tool, targetPath, s.key, s.value));
  }
}

}  // namespace package
