#include "creator/description/package_description.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "platform/file.h"
#include "platform/file_system.h"
#include "text/utf8.h"

namespace creator {
namespace {

enum class Key {
  kFilePath,
  kFolderPath,
  kTarget,
  kVersion,
  kFileAndProductVersion,
  kBuildNumber,
  kDescription,
};

struct KeyRow {
  Key key;
  std::u16string_view text;
  std::u16string_view rootKey;  // empty when the key takes no root line
};

// Tested in this order at the first character of a line; the first match is
// taken. No key is a prefix of another.
constexpr KeyRow kKeys[] = {
    {Key::kFilePath, u"filepath=", u"filepathroot="},
    {Key::kFolderPath, u"folderpath=", u"folderpathroot="},
    {Key::kTarget, u"target=", {}},
    {Key::kVersion, u"version=", {}},
    {Key::kFileAndProductVersion, u"fileandproductversion=", {}},
    {Key::kBuildNumber, u"buildnumber=", {}},
    {Key::kDescription, u"description=", {}},
};

const KeyRow* MatchKey(std::u16string_view line) {
  for (const KeyRow& row : kKeys) {
    if (line.substr(0, row.text.size()) == row.text) return &row;
  }
  return nullptr;
}

}  // namespace

std::u16string RemoveKey(std::u16string_view line, std::u16string_view key) {
  std::u16string out;
  out.reserve(line.size());
  std::size_t from = 0;
  for (std::size_t at; (at = line.find(key, from)) != std::u16string_view::npos;
       from = at + key.size()) {
    out.append(line.substr(from, at - from));
  }
  out.append(line.substr(from));
  return out;
}

int Utf8ToWide(const char* source, std::u16string& destination) {
  destination.clear();
  if (source[0] == '\0') return 1;
  const std::u16string decoded = text::Utf8ToUtf16(std::string_view(source, std::strlen(source)));
  // Collapsing "&amp;" and searching again from the start gives the same text
  // as one forward pass that collapses whenever the text built so far ends
  // with "&amp;": an occurrence can only newly form at a collapsed '&', and
  // no occurrence overlaps another.
  constexpr std::u16string_view kEscape = u"&amp;";
  destination.reserve(decoded.size());
  for (char16_t c : decoded) {
    destination.push_back(c);
    if (c == u';' && destination.size() >= kEscape.size() &&
        std::u16string_view(destination).substr(destination.size() - kEscape.size()) == kEscape) {
      destination.erase(destination.end() - static_cast<std::ptrdiff_t>(kEscape.size() - 1),
                        destination.end());
    }
  }
  return 1;
}

std::u16string ReadDescriptionFile(std::u16string path, MessageSink& messages) {
  platform::File file;
  if (!file.Open(path, platform::FileAccess::kRead, platform::FileCreation::kOpenExisting,
                 platform::FileShare::kNone)) {
    messages.ShowMessage(kStringReadError, path);
    return {};
  }
  try {
    const std::uint64_t length = file.Length();
    // The length is a 32-bit number; a larger file cannot be read whole.
    if (length > UINT32_MAX) {
      messages.ShowMessage(kStringReadError, path);
      return {};
    }
    std::unique_ptr<char[]> bytes(new (std::nothrow) char[length + 1]);
    if (!bytes) {
      messages.ShowMessage(kStringMemoryError, {});
      return {};
    }
    if (file.Read(bytes.get(), length) != length) {
      messages.ShowMessage(kStringReadError, path);
      return {};
    }
    bytes[length] = '\0';
    file.Close();
    std::u16string decoded;
    Utf8ToWide(bytes.get(), decoded);
    return decoded;
  } catch (const platform::FileError&) {
    messages.ShowMessage(kStringReadError, path);
    return {};
  }
}

std::u16string PackageDescription::GetNextLine() {
  if (linePosition >= descriptionText.size()) return {};
  const std::size_t cr = descriptionText.find(u'\r', linePosition);
  if (cr == std::u16string::npos) {
    linePosition = descriptionText.size();
    return {};
  }
  std::u16string line = descriptionText.substr(linePosition, cr - linePosition);
  linePosition = cr + 1;
  if (linePosition < descriptionText.size() && descriptionText[linePosition] == u'\n') {
    ++linePosition;
  }
  return line;
}

void PackageDescription::Parse(package::PackageBuilder& builder, std::u16string& targetPath) {
  targetPath.clear();
  builder.version.clear();
  builder.fileAndProductVersion.clear();
  builder.buildNumber.clear();
  builder.description.clear();
  // Files and folders are added once the whole description is read: the
  // target line may come last, and a folder walk must know the package it
  // is about to write, so as not to pack the previous one.
  struct Addition {
    bool folder;
    std::u16string path;
    std::u16string root;
  };
  std::vector<Addition> additions;
  for (std::u16string line = GetNextLine(); !line.empty(); line = GetNextLine()) {
    const KeyRow* row = MatchKey(line);
    if (row == nullptr) continue;
    std::u16string value = RemoveKey(line, row->text);
    switch (row->key) {
      case Key::kFilePath:
      case Key::kFolderPath:
        additions.push_back({row->key == Key::kFolderPath, std::move(value),
                             RemoveKey(GetNextLine(), row->rootKey)});
        break;
      case Key::kTarget: targetPath = value; break;
      case Key::kVersion: builder.version = value; break;
      case Key::kFileAndProductVersion: builder.fileAndProductVersion = value; break;
      case Key::kBuildNumber: builder.buildNumber = value; break;
      case Key::kDescription: builder.description = value; break;
    }
  }
  if (!targetPath.empty()) builder.LeaveOutOfFolders(targetPath);
  for (const Addition& addition : additions) {
    if (addition.folder) {
      unaddedFiles += builder.AddFolder(addition.path, addition.root, std::u16string());
    } else if (builder.AddFile(addition.path, addition.root) == 0) {
      ++unaddedFiles;
    }
  }
}

bool PackageDescription::Load(const std::u16string& descriptionPath, MessageSink& messages,
                              package::PackageBuilder& builder, std::u16string& targetPath) {
  if (!platform::FileExists(descriptionPath)) {
    messages.ShowMessage(kStringMissingFile, descriptionPath);
    return false;
  }
  descriptionText = ReadDescriptionFile(descriptionPath, messages);
  Parse(builder, targetPath);
  return true;
}

}  // namespace creator
