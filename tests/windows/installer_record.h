// What installer_fixture.exe (the installer inside the test packages) wrote
// about its start, and the RunOnce values that packages leave: shared by
// the unpacking-run test and the packages end to end.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace testing_support {

struct InstallerRecord {
  std::u16string currentFolder;
  std::u16string commandLine;
  std::vector<std::u16string> files;  // below the installer's folder, sorted
};

// The record at `path`; empty fields when there is none.
InstallerRecord ReadInstallerRecord(const std::u16string& path);

// Every file below `folder`, as paths relative to it, sorted.
std::vector<std::u16string> FilesBelow(const std::u16string& folder);

// The string value `name` of the local machine's RunOnce key; nothing when
// it is not there. RemoveRunOnceValue deletes it, when it is there.
std::optional<std::wstring> RunOnceValue(const std::u16string& name);
void RemoveRunOnceValue(const std::u16string& name);

}  // namespace testing_support
