// sfxtool: the native command-line package tool. It lists, verifies,
// extracts and packs packages with the same reader, writer and description
// reader as the Windows programs, for building and shipping packages from
// Linux.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "creator/description/package_description.h"
#include "package/entry_names.h"
#include "package/image_stamping.h"
#include "package/package_builder.h"
#include "package/package_format.h"
#include "package/pe_resources.h"
#include "package/result_codes.h"
#include "platform/file.h"
#include "platform/file_error.h"
#include "platform/file_system.h"
#include "platform/staged_file.h"
#include "text/utf8.h"
#include "tools/sfxtool/progress_bar.h"

namespace sfxtool {
namespace {

using package::PackageBuilder;
using package::PackageEntry;

enum class ExitCode : int {
  kSuccess = 0,
  kPackageProblem = 1,  // damaged, failed verification, entries not restored
  kUsage = 2,
  kFileProblem = 3,  // a file cannot be read or written; nothing to pack
};

constexpr char kUsage[] =
    "usage: sfxtool COMMAND [OPTION...] ARGUMENT...\n"
    "\n"
    "commands:\n"
    "  list PKG                      show the entries of package PKG and their totals\n"
    "  verify PKG                    check the trailer, the checksum and that every\n"
    "                                entry inflates to its stated size\n"
    "  extract [--all] PKG DIR       restore the entries of PKG below folder DIR;\n"
    "                                --all also restores the entries that the\n"
    "                                extractor leaves packed (names with\n"
    "                                \"ShowReadMe\", \".AppNameFile\", \"HTML Images\")\n"
    "  pack [--stub STUB] [--splash IMAGE] [--jobs N] DESCRIPTION\n"
    "                                write the package that DESCRIPTION names in its\n"
    "                                target= line, as the package creator does: the\n"
    "                                extractor image STUB (default: Extractor.exe\n"
    "                                beside sfxtool) given the splash IMAGE (default:\n"
    "                                TempSplashImage.gif beside DESCRIPTION, when it\n"
    "                                is there) and the description's version, then\n"
    "                                the archive of the described files, compressed\n"
    "                                on N threads (default: one per core; the bytes\n"
    "                                are the same for every N)\n"
    "\n"
    "options:\n"
    "  --help     show this text\n"
    "  --version  show the version\n"
    "\n"
    "exit codes:\n"
    "  0  success\n"
    "  1  the package is damaged or failed verification, or entries were not restored\n"
    "  2  the command line is wrong\n"
    "  3  a file cannot be read, created or written, the description gives nothing\n"
    "     to pack (no readable file, no target) or names a file that cannot be added,\n"
    "     the target is one of pack's own inputs, or the stub's resources cannot be\n"
    "     rewritten\n";

// The command line, read.
struct Arguments {
  std::string command;
  std::vector<std::string> operands;
  bool all = false;
  std::optional<std::string> stub;
  std::optional<std::string> splash;
  std::optional<unsigned> jobs;
  bool help = false;
  bool version = false;
};

// --- Text ---

std::u16string FromArgument(std::string_view argument) { return text::Utf8ToUtf16(argument); }

// Text from a package or the file system, made safe for a terminal: control
// characters and the bidirectional overrides become '?'.
std::string Printable(std::u16string_view text) {
  std::u16string copy(text);
  for (char16_t& c : copy) {
    if (c < 0x20 || (c >= 0x7F && c < 0xA0) || (c >= 0x202A && c <= 0x202E) ||
        (c >= 0x2066 && c <= 0x2069)) {
      c = u'?';
    }
  }
  return text::Utf16ToUtf8(copy);
}

void Error(const std::string& message) { std::fprintf(stderr, "sfxtool: %s\n", message.c_str()); }

std::string Describe(const platform::FileError& error) {
  return Printable(error.path()) + ": " + platform::FileErrorCauseName(error.cause());
}

std::string EntryLabel(int index, const PackageEntry& entry) {
  return "entry " + std::to_string(index + 1) + " (" + Printable(entry.storedName) + ")";
}

// --- Opening a package ---

std::unique_ptr<PackageBuilder> BuilderFor(const std::u16string& packagePath) {
  auto builder = std::make_unique<PackageBuilder>();
  builder->SetModulePath(packagePath);
  return builder;
}

// Reports a failed OpenPackage (or a failed second open of the package,
// Result::kCannotOpenFile) and gives the exit code for it.
ExitCode ReportOpenFailure(const std::string& argument, const PackageBuilder& builder,
                           package::Result result) {
  std::string problem;
  switch (result) {
    case package::Result::kCannotOpenPackage:
    case package::Result::kCannotOpenFile:
      Error(argument + ": cannot open the package (" +
            platform::FileErrorCauseName(builder.GetOpenError().cause) + ")");
      return ExitCode::kFileProblem;
    case package::Result::kChecksumMismatch: problem = "checksum differs"; break;
    case package::Result::kSizeMismatch: problem = "size field does not match its position"; break;
    case package::Result::kEmpty: problem = "the package holds no entries"; break;
    default:
      problem =
          "damaged: no trailer, another format version, or a directory that does not fit the "
          "file or names a place outside the destination folder";
      break;
  }
  Error(argument + ": " + problem);
  return ExitCode::kPackageProblem;
}

// Why an entry failed, from the reader's outcome of it.
std::string EntryProblem(const PackageEntry& entry, const package::EntryOutcome& outcome,
                         const std::u16string& outputPath) {
  switch (outcome.stream) {
    case package::StreamProblem::kNone: break;
    case package::StreamProblem::kDamaged: return "stream damaged";
    case package::StreamProblem::kCutShort:
      return "stream cut short: its " + std::to_string(entry.packedSize) +
             " packed bytes end before the stream does";
    case package::StreamProblem::kEndsEarly:
      return "stream ends after " + std::to_string(outcome.consumed) + " of its " +
             std::to_string(entry.packedSize) + " packed bytes";
    case package::StreamProblem::kPastSize:
      return "stream inflates past the directory's size of " + std::to_string(entry.size) +
             " bytes";
    case package::StreamProblem::kShortOfSize:
      return std::to_string(outcome.inflated) + " bytes inflated, directory says " +
             std::to_string(entry.size);
  }
  std::string why;
  switch (outcome.stage) {
    case platform::StageFailure::kLinkOnTheWay: why = "a link stands on its way"; break;
    case platform::StageFailure::kNotAFolder: why = "a file stands where a folder must be"; break;
    case platform::StageFailure::kNotAPlainFile:
      why = "a link, a folder or a device stands at its name";
      break;
    case platform::StageFailure::kReadOnly: why = "the file there is read-only"; break;
    case platform::StageFailure::kProtected: why = "it is the package itself"; break;
    default: why = platform::FileErrorCauseName(platform::CauseFromOsError(outcome.osError)); break;
  }
  return "cannot create " + Printable(outputPath) + " (" + why + ")";
}

// --- list ---

std::string RightAligned(const std::string& text, std::size_t width) {
  return std::string(width > text.size() ? width - text.size() : 0, ' ') + text;
}

ExitCode RunList(const Arguments& args) {
  const std::string& argument = args.operands[0];
  auto builder = BuilderFor(FromArgument(argument));
  const package::Result opened = builder->OpenPackage(false);
  if (opened != package::Result::kDone) return ReportOpenFailure(argument, *builder, opened);

  struct Row {
    std::string cells[4];
    std::string name;
  };
  std::vector<Row> rows;
  std::uint64_t totalSize = 0;
  std::uint64_t totalPacked = 0;
  for (int i = 0; i < builder->GetEntryCount(); ++i) {
    const PackageEntry& entry = builder->GetEntry(i);
    rows.push_back({{std::to_string(i + 1), std::to_string(entry.size),
                     std::to_string(entry.packedSize), std::to_string(entry.dataOffset)},
                    Printable(entry.storedName)});
    totalSize += entry.size;
    totalPacked += entry.packedSize;
  }
  const std::size_t count = rows.size();
  const Row header{{"#", "Size", "Packed", "Offset"}, "Name"};
  const Row totals{{"", std::to_string(totalSize), std::to_string(totalPacked), ""},
                   "total: " + std::to_string(count) + (count == 1 ? " entry" : " entries")};
  const std::string application = Printable(builder->ApplicationName());

  std::size_t widths[4] = {};
  auto widen = [&widths](const Row& row) {
    for (int c = 0; c < 4; ++c) widths[c] = std::max(widths[c], row.cells[c].size());
  };
  widen(header);
  widen(totals);
  for (const Row& row : rows) widen(row);
  auto print = [&widths](const Row& row) {
    std::string line;
    for (int c = 0; c < 4; ++c) line += RightAligned(row.cells[c], widths[c]) + "  ";
    line += row.name;
    std::printf("%s\n", line.c_str());
  };
  print(header);
  for (const Row& row : rows) print(row);
  print(totals);
  if (!application.empty()) std::printf("Application name: %s\n", application.c_str());
  return ExitCode::kSuccess;
}

// --- verify ---

ExitCode RunVerify(const Arguments& args) {
  const std::string& argument = args.operands[0];
  const std::u16string path = FromArgument(argument);
  auto builder = BuilderFor(path);
  const package::Result opened = builder->OpenPackage(true);
  if (opened != package::Result::kDone) return ReportOpenFailure(argument, *builder, opened);

  platform::File package;
  platform::FileErrorInfo info;
  if (!package.Open(path, platform::FileAccess::kRead, platform::FileCreation::kOpenExisting,
                    platform::FileShare::kReadWrite, &info)) {
    Error(argument + ": cannot open the package (" + platform::FileErrorCauseName(info.cause) +
          ")");
    return ExitCode::kFileProblem;
  }
  std::uint64_t total = 0;
  for (int i = 0; i < builder->GetEntryCount(); ++i) {
    const PackageEntry& entry = builder->GetEntry(i);
    if (builder->CheckEntry(package, i) != package::Result::kDone) {
      Error(argument + ": " + EntryLabel(i, entry) + ": " +
            EntryProblem(entry, builder->GetOutcome(i), {}));
      return ExitCode::kPackageProblem;
    }
    total += entry.size;
  }
  const int count = builder->GetEntryCount();
  std::printf("%s: sound, %d %s, %llu bytes\n", argument.c_str(), count,
              count == 1 ? "entry" : "entries", static_cast<unsigned long long>(total));
  return ExitCode::kSuccess;
}

// --- extract ---

// What the extraction's progress events tell: the bar's position and which
// entries ExtractAll restored.
struct ExtractProgress {
  ProgressBar* bar;
  const PackageEntry* firstEntry;  // row 0 of the builder's table
  std::vector<bool> restored;
  // ExtractAll's callback stays with the builder after it returns, and
  // ExtractEntry's RestoreEntry still sends it events; those are ignored.
  bool active = true;
};

int OnExtractEvent(package::Event code, const void* data, void* context) {
  auto& progress = *static_cast<ExtractProgress*>(context);
  if (!progress.active) return 0;
  if (code == package::Event::kPackedBytesDone) {
    progress.bar->Update(static_cast<std::uint32_t>(*static_cast<const std::int32_t*>(data)));
  } else if (code == package::Event::kEntryDone) {
    const auto index = static_cast<const PackageEntry*>(data) - progress.firstEntry;
    if (index >= 0 && static_cast<std::size_t>(index) < progress.restored.size()) {
      progress.restored[static_cast<std::size_t>(index)] = true;
    }
  }
  return 0;
}

ExitCode RunExtract(const Arguments& args) {
  const std::string& argument = args.operands[0];
  const std::u16string path = FromArgument(argument);
  auto builder = BuilderFor(path);
  // A package that the reader refuses is refused before anything is
  // written, the destination folder included.
  const package::Result opened = builder->OpenPackage(false);
  if (opened != package::Result::kDone) return ReportOpenFailure(argument, *builder, opened);

  std::u16string folder = platform::GetFullPath(FromArgument(args.operands[1]));
  if (folder.empty()) folder = FromArgument(args.operands[1]);
  if (!PackageBuilder::CreateDirectoryPath(folder)) {
    Error(args.operands[1] + ": cannot create the folder");
    return ExitCode::kFileProblem;
  }
  folder = PackageBuilder::AddTrailingSeparator(folder);

  const int count = builder->GetEntryCount();
  ProgressBar bar("extracting", builder->PackedTotal());
  ExtractProgress progress{&bar, &builder->GetEntry(0), std::vector<bool>(count, false)};
  const package::Result result = builder->ExtractAll(folder, OnExtractEvent, &progress);
  progress.active = false;
  bar.Finish();
  if (result != package::Result::kDone && result != package::Result::kFileError) {
    return ReportOpenFailure(argument, *builder,
                             result);  // the package changed since it was opened
  }

  int restored = 0;
  int left = 0;
  int failed = 0;
  for (int i = 0; i < count; ++i) {
    const PackageEntry entry = builder->GetEntry(i);
    const std::u16string outputPath = folder + platform::LocalPathFromStoredName(entry.storedName);
    std::string problem;
    if (package::IsLeftPacked(entry.storedName)) {
      if (!args.all) {
        ++left;
        continue;
      }
      // ExtractEntry opens the package afresh, which keeps the table as it is.
      const package::Result single = builder->ExtractEntry(i, folder);
      if (single == package::Result::kCannotOpenFile) {
        problem = "cannot open the package again";
      } else if (single != package::Result::kDone) {
        problem = EntryProblem(entry, builder->GetOutcome(i), outputPath);
      }
    } else if (!progress.restored[i]) {
      problem = EntryProblem(entry, builder->GetOutcome(i), outputPath);
    }
    if (problem.empty()) {
      ++restored;
    } else {
      ++failed;
      Error(argument + ": " + EntryLabel(i, entry) + ": " + problem);
    }
  }
  std::printf("%d of %d entries restored to %s", restored, count, args.operands[1].c_str());
  if (left != 0) std::printf(" (%d left packed; --all restores them)", left);
  std::printf("\n");
  return failed == 0 ? ExitCode::kSuccess : ExitCode::kPackageProblem;
}

// --- pack ---

// The description reader's messages, on stderr.
class StderrMessages : public creator::MessageSink {
 public:
  void ShowMessage(int stringId, std::u16string_view argument) override {
    shown = true;
    std::string text;
    switch (stringId) {
      case creator::kStringReadError: text = "Error while reading \"%1\"!"; break;
      case creator::kStringMemoryError: text = "Memory allocation error!"; break;
      case creator::kStringMissingFile: text = "Missing file: \"%1\"!"; break;
      default: text = "message " + std::to_string(stringId) + ": %1"; break;
    }
    if (const std::size_t at = text.find("%1"); at != std::string::npos) {
      text.replace(at, 2, Printable(argument));
    }
    Error(text);
  }

  bool shown = false;
};

// What the writer's progress events tell: the bar's position and how many
// sources it has opened.
struct PackProgress {
  ProgressBar* bar;
  int started = 0;
};

int OnPackEvent(package::Event code, const void* data, void* context) {
  auto& progress = *static_cast<PackProgress*>(context);
  if (code == package::Event::kEntryStarted) {
    ++progress.started;
  } else if (code == package::Event::kSourceBytesDone) {
    progress.bar->Update(static_cast<std::uint32_t>(*static_cast<const std::int32_t*>(data)));
  }
  return 0;
}

bool ReadWholeFile(const std::u16string& path, std::string& contents, std::string& problem) {
  platform::File file;
  platform::FileErrorInfo info;
  if (!file.Open(path, platform::FileAccess::kRead, platform::FileCreation::kOpenExisting,
                 platform::FileShare::kReadWrite, &info)) {
    problem = std::string("cannot be opened (") + platform::FileErrorCauseName(info.cause) + ")";
    return false;
  }
  try {
    // What a package holds stays below 2 GiB: a larger file is refused
    // before anything is read.
    const std::uint64_t length = file.Length();
    if (length > package::format::kMaxPackageBytes) {
      problem = "is 2 GiB or larger: no package can hold it";
      return false;
    }
    contents.resize(static_cast<std::size_t>(length));
    contents.resize(file.Read(contents.data(), contents.size()));
    file.Close();
  } catch (const platform::FileError& error) {
    problem = std::string("cannot be read (") + platform::FileErrorCauseName(error.cause()) + ")";
    return false;
  }
  return true;
}

// The file `name` in the folder of `path`.
std::u16string Beside(const std::u16string& path, std::u16string_view name) {
  std::u16string full = platform::GetFullPath(path);
  if (full.empty()) full = path;
  const std::size_t cut = full.rfind(platform::kPathSeparator);
  return (cut == std::u16string::npos ? std::u16string() : full.substr(0, cut + 1)) +
         std::u16string(name);
}

// Gives the extractor image `stub` the splash (when `splash` is given) and
// the builder's version (when it has one), as the creator's build run does.
ExitCode StampStub(const std::u16string& stubPath, const std::string* splash,
                   const PackageBuilder& builder, std::string& stub) {
  namespace pe = package::pe;
  auto read = pe::ResourceImage::Read(
      std::span(reinterpret_cast<const unsigned char*>(stub.data()), stub.size()));
  if (const auto* problem = std::get_if<pe::ImageProblem>(&read)) {
    Error(Printable(stubPath) + ": cannot take the splash and version: " +
          pe::ImageProblemText(*problem) + "; nothing was written");
    return ExitCode::kFileProblem;
  }
  pe::ResourceImage& image = std::get<pe::ResourceImage>(read);
  if (splash != nullptr) package::stamping::AddSplash(image, {splash->begin(), splash->end()});
  if (!builder.version.empty()) {
    const auto outcome = package::stamping::StampImageVersion(
        image, {builder.version, builder.buildNumber, builder.fileAndProductVersion,
                builder.description});
    // The creator goes on without what it cannot stamp; so does sfxtool,
    // and it says so.
    if (!outcome.numbersSet) {
      Error("warning: " + Printable(stubPath) +
            " has no version information with a translation: the version numbers were not "
            "stamped");
    }
    if (outcome.stringsSet != 3) {
      Error("warning: " + Printable(stubPath) +
            " has version information that cannot take the version strings: " +
            std::to_string(3 - outcome.stringsSet) + " of 3 were not stamped");
    }
  }
  auto written = image.Write();
  if (const auto* problem = std::get_if<pe::ImageProblem>(&written)) {
    Error(Printable(stubPath) + ": " + pe::ImageProblemText(*problem) + "; nothing was written");
    return ExitCode::kFileProblem;
  }
  const auto& bytes = std::get<std::vector<unsigned char>>(written);
  stub.assign(bytes.begin(), bytes.end());
  return ExitCode::kSuccess;
}

ExitCode RunPack(const Arguments& args) {
  const std::string& descriptionArgument = args.operands[0];
  auto builder = std::make_unique<PackageBuilder>();
  builder->compressionJobs = args.jobs.value_or(0);
  StderrMessages messages;
  creator::PackageDescription description;
  std::u16string target;
  if (!description.Load(FromArgument(descriptionArgument), messages, *builder, target) ||
      messages.shown) {
    return ExitCode::kFileProblem;
  }
  // A package without some of the described files is no package to ship.
  if (description.unaddedFiles > 0) {
    Error(descriptionArgument + ": " + std::to_string(description.unaddedFiles) +
          " described file(s) could not be added (missing or unreadable files or folders, "
          "links, pipes or devices in a folder, names that are not UTF-8, files of 2 GiB or "
          "more, files beyond " +
          std::to_string(package::kTableCapacity) +
          " entries, roots that do not lead their paths, or stored names that the extractor "
          "refuses or that another file has)");
    return ExitCode::kFileProblem;
  }
  if (builder->GetEntryCount() == 0) {
    Error(descriptionArgument + ": the description names no file that can be read");
    return ExitCode::kFileProblem;
  }
  if (target.empty()) {
    Error(descriptionArgument + ": the description has no target= line");
    return ExitCode::kFileProblem;
  }
  for (int i = 0; i < builder->GetEntryCount(); ++i) {
    builder->SetStoredName(i, platform::StoredNameFromLocalPath(builder->GetStoredName(i)));
  }

  // The extractor image and the splash: given, or where a release and the
  // creator's folder lay them.
  const std::u16string stubPath =
      args.stub ? FromArgument(*args.stub) : Beside(platform::GetModulePath(), u"Extractor.exe");
  std::u16string splashPath;
  if (args.splash) {
    splashPath = FromArgument(*args.splash);
  } else if (const std::u16string beside =
                 Beside(FromArgument(descriptionArgument), u"TempSplashImage.gif");
             platform::FileExists(beside)) {
    splashPath = beside;
  }
  std::u16string targetPath = platform::GetFullPath(target);
  if (targetPath.empty()) targetPath = target;
  const std::string targetName = Printable(targetPath);
  // Writing the package over one of its own inputs would destroy that
  // input: such a run is refused before anything is written.
  const auto targetIdentity = platform::GetFileIdentity(targetPath);
  std::string clash;
  if (targetIdentity && targetIdentity == platform::GetFileIdentity(stubPath)) {
    clash = "the stub";
  } else if (targetIdentity && !splashPath.empty() &&
             targetIdentity == platform::GetFileIdentity(splashPath)) {
    clash = "the splash image";
  } else if (targetIdentity &&
             targetIdentity == platform::GetFileIdentity(FromArgument(descriptionArgument))) {
    clash = "the description";
  } else if (const int source = builder->FindSource(targetPath); source >= 0) {
    clash = "the described file " + Printable(builder->GetSourcePath(source));
  }
  if (!clash.empty()) {
    Error(targetName + ": the target is " + clash + "; nothing was written");
    return ExitCode::kFileProblem;
  }

  std::string stub;
  std::string problem;
  if (!ReadWholeFile(stubPath, stub, problem)) {
    Error(Printable(stubPath) + ": " + problem +
          (args.stub ? "" : " (give the extractor image with --stub)"));
    return ExitCode::kFileProblem;
  }
  std::string splash;
  if (!splashPath.empty() && !ReadWholeFile(splashPath, splash, problem)) {
    Error(Printable(splashPath) + ": " + problem);
    return ExitCode::kFileProblem;
  }
  if (!splashPath.empty() || !builder->version.empty()) {
    const ExitCode stamped = StampStub(stubPath, splashPath.empty() ? nullptr : &splash, *builder,
                                       stub);
    if (stamped != ExitCode::kSuccess) return stamped;
  }

  // The package is written under a temporary name beside the target and
  // takes the target's name only when it is complete: a failed run leaves
  // what was there before. Missing folders on the way are created.
  const std::size_t cut = targetPath.rfind(platform::kPathSeparator);
  const std::u16string folder = cut == std::u16string::npos ? u"."
                                : cut == 0                  ? targetPath.substr(0, 1)
                                                            : targetPath.substr(0, cut);
  platform::StagedFile staged;
  auto stageProblem = [&]() -> std::string {
    switch (staged.what()) {
      case platform::StageFailure::kNotAPlainFile:
        return "the target is a link, a folder or a device";
      case platform::StageFailure::kReadOnly: return "the target is read-only";
      case platform::StageFailure::kLinkOnTheWay:
      case platform::StageFailure::kNotAFolder: return "its folder cannot be reached";
      default:
        return std::string("cannot create the package (") +
               platform::FileErrorCauseName(platform::CauseFromOsError(staged.osError())) + ")";
    }
  };
  if (!staged.Begin(folder, targetPath.substr(cut + 1))) {
    Error(targetName + ": " + stageProblem() + "; nothing was written");
    return ExitCode::kFileProblem;
  }
  platform::File& package = staged.file();
  auto fail = [&](const std::string& message) {
    staged.Abandon();
    Error(message);
    return ExitCode::kFileProblem;
  };

  try {
    package.Write(stub.data(), stub.size());
  } catch (const platform::FileError& error) {
    return fail(Describe(error));
  }
  const std::uint32_t total = static_cast<std::uint32_t>(builder->MeasureTotal());
  ProgressBar bar("packing", total);
  PackProgress progress{&bar};
  const package::Result result = builder->WriteArchive(package, OnPackEvent, &progress);
  if (result == package::Result::kArchiveWritten) bar.Update(total);
  bar.Finish();
  if (result == package::Result::kCannotOpenFile) {
    const int index = progress.started;  // the writer reports each source once it is open
    return fail(Printable(builder->GetSourcePath(index)) + ": cannot open the source");
  }
  if (result != package::Result::kArchiveWritten) {
    return fail(targetName +
                ": file error while packing (a source could not be read, the package could not "
                "be written, or it would reach 2 GiB)");
  }
  if (!staged.Commit()) return fail(targetName + ": " + stageProblem() + "; nothing was written");

  std::uint64_t size = 0;
  std::uint64_t packed = 0;
  for (int i = 0; i < builder->GetEntryCount(); ++i) {
    size += builder->GetSize(i);
    packed += builder->GetPackedSize(i);
  }
  std::printf("%s: %d %s, %llu bytes packed to %llu\n", targetName.c_str(),
              builder->GetEntryCount(), builder->GetEntryCount() == 1 ? "entry" : "entries",
              static_cast<unsigned long long>(size), static_cast<unsigned long long>(packed));
  return ExitCode::kSuccess;
}

// --- The command line ---

struct Command {
  std::string_view name;
  std::string_view synopsis;
  std::size_t operands;
  bool takesAll;
  bool isPack;  // takes --stub, --splash and --jobs
  ExitCode (*run)(const Arguments&);
};

constexpr Command kCommands[] = {
    {"list", "list PKG", 1, false, false, RunList},
    {"verify", "verify PKG", 1, false, false, RunVerify},
    {"extract", "extract [--all] PKG DIR", 2, true, false, RunExtract},
    {"pack", "pack [--stub STUB] [--splash IMAGE] [--jobs N] DESCRIPTION", 1, false, true,
     RunPack},
};

// Reads the options and operands; the message of the first problem, or
// nothing. Options may stand anywhere after the program's name; "--" ends
// them.
std::optional<std::string> ParseArguments(int argc, char** argv, Arguments& args) {
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool isOption = !optionsEnded && arg.size() > 1 && arg[0] == '-';
    if (!isOption) {
      if (args.command.empty()) {
        args.command = arg;
      } else {
        args.operands.emplace_back(arg);
      }
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--help" || arg == "-h") {
      args.help = true;
    } else if (arg == "--version") {
      args.version = true;
    } else if (arg == "--all") {
      args.all = true;
    } else if (arg == "--stub") {
      if (i + 1 == argc) return "--stub needs a file";
      args.stub = argv[++i];
    } else if (arg.starts_with("--stub=")) {
      args.stub = arg.substr(7);
    } else if (arg == "--splash") {
      if (i + 1 == argc) return "--splash needs a file";
      args.splash = argv[++i];
    } else if (arg.starts_with("--splash=")) {
      args.splash = arg.substr(9);
    } else if (arg == "--jobs" || arg.starts_with("--jobs=")) {
      std::string_view value;
      if (arg == "--jobs") {
        if (i + 1 == argc) return "--jobs needs a number";
        value = argv[++i];
      } else {
        value = arg.substr(7);
      }
      unsigned jobs = 0;
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), jobs);
      if (error != std::errc() || end != value.data() + value.size() || jobs == 0 || jobs > 256) {
        return "--jobs needs a number from 1 to 256";
      }
      args.jobs = jobs;
    } else {
      return "unknown option " + std::string(arg);
    }
  }
  return std::nullopt;
}

ExitCode UsageError(const std::string& message) {
  Error(message);
  std::fprintf(stderr, "Try 'sfxtool --help'.\n");
  return ExitCode::kUsage;
}

ExitCode Main(int argc, char** argv) {
  Arguments args;
  if (const auto problem = ParseArguments(argc, argv, args)) return UsageError(*problem);
  if (args.help) {
    std::fputs(kUsage, stdout);
    return ExitCode::kSuccess;
  }
  if (args.version) {
    std::printf("sfxtool %s\n", SFXTOOL_VERSION);
    return ExitCode::kSuccess;
  }
  if (args.command.empty()) return UsageError("no command given");
  const Command* command = nullptr;
  for (const Command& c : kCommands) {
    if (c.name == args.command) command = &c;
  }
  if (command == nullptr) return UsageError("unknown command \"" + args.command + "\"");
  const std::string usage = "usage: sfxtool " + std::string(command->synopsis);
  if (args.all && !command->takesAll) return UsageError("--all belongs to extract; " + usage);
  if (args.stub && !command->isPack) return UsageError("--stub belongs to pack; " + usage);
  if (args.splash && !command->isPack) return UsageError("--splash belongs to pack; " + usage);
  if (args.jobs && !command->isPack) return UsageError("--jobs belongs to pack; " + usage);
  if (args.operands.size() != command->operands) return UsageError(usage);
  return command->run(args);
}

}  // namespace
}  // namespace sfxtool

int main(int argc, char** argv) {
  try {
    return static_cast<int>(sfxtool::Main(argc, argv));
  } catch (const platform::FileError& error) {
    sfxtool::Error(sfxtool::Describe(error));
  } catch (const std::bad_alloc&) {
    sfxtool::Error("out of memory");
  } catch (const std::exception& error) {
    sfxtool::Error(error.what());
  }
  return static_cast<int>(sfxtool::ExitCode::kFileProblem);
}
