// fuzz_seeds FOLDER: writes the package reader's seed corpus into FOLDER.
// The packages are made by the archive writer from a few small files:
// one entry; one that inflates to 64 KiB; several entries with folders, an
// empty file and the names the reader skips; a signed one (a PE stub whose
// certificate table ends the file); one without entries; one with data
// behind its trailer; cut copies that lack their end, their trailer or
// their start; one with as many entries as a package holds; and the inputs
// that found faults before. Hostile ones are put together by hand: entries
// that share one stream, streams that inflate past their size or stop
// short of it or of their packed size, names with ':', a device or a
// leading separator, names of the links that the fuzz target lays in the
// destination, and an entry named like the package itself.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "package/package_builder.h"
#include "package/result_codes.h"
#include "platform/file.h"
#include "tests/support/package_bytes.h"
#include "text/utf8.h"

namespace {

struct Source {
  const char* storedName;  // '\\' between folders, as inside a package
  std::string contents;
};

void PutU16(std::string& bytes, std::size_t at, std::uint16_t value) {
  bytes[at] = static_cast<char>(value & 0xFF);
  bytes[at + 1] = static_cast<char>(value >> 8);
}

void PutU32(std::string& bytes, std::size_t at, std::uint32_t value) {
  PutU16(bytes, at, static_cast<std::uint16_t>(value & 0xFFFF));
  PutU16(bytes, at + 2, static_cast<std::uint16_t>(value >> 16));
}

// A PE32 head of `length` bytes; the certificate table's entry sits at
// kSecurityEntry.
constexpr std::size_t kPeOffset = 0x80;
constexpr std::size_t kOptionalHeader = kPeOffset + 4 + 20;
constexpr std::size_t kSecurityEntry = kOptionalHeader + 96 + 4 * 8;

std::string PeStub(std::size_t length) {
  std::string stub(length, '\0');
  stub[0] = 'M';
  stub[1] = 'Z';
  PutU32(stub, 0x3C, kPeOffset);
  stub.replace(kPeOffset, 4, std::string("PE\0\0", 4));
  PutU16(stub, kPeOffset + 4 + 16, 224);   // size of the optional header
  PutU16(stub, kOptionalHeader, 0x10B);    // PE32
  PutU32(stub, kOptionalHeader + 92, 16);  // number of data directories
  return stub;
}

// Writes `stub` followed by an archive of `sources` to `path`.
std::string MakePackage(const std::string& scratch, const std::string& path,
                        const std::string& stub, const std::vector<Source>& sources) {
  auto builder = std::make_unique<package::PackageBuilder>();
  const std::u16string root = text::Utf8ToUtf16(scratch);
  int index = 0;
  for (const Source& source : sources) {
    const std::string file = scratch + "/source" + std::to_string(index);
    fuzz::WriteWholeFile(file, source.contents);
    if (builder->AddFile(text::Utf8ToUtf16(file), root) != 1) fuzz::Fail("cannot add " + file);
    builder->SetStoredName(index++, text::Utf8ToUtf16(source.storedName));
  }
  platform::File package;
  if (!package.Open(text::Utf8ToUtf16(path), platform::FileAccess::kReadWrite,
                    platform::FileCreation::kCreateAlways, platform::FileShare::kNone)) {
    fuzz::Fail("cannot create " + path);
  }
  package.Write(stub.data(), stub.size());
  if (builder->WriteArchive(package, nullptr, nullptr) != package::Result::kArchiveWritten) {
    fuzz::Fail("cannot write " + path);
  }
  package.Close();
  return fuzz::ReadWholeFile(path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds FOLDER\n");
    return 2;
  }
  const std::string out = argv[1];
  const std::string scratch = fuzz::MakeScratchFolder("fuzz-seeds");

  std::string binary;
  for (int i = 0; i < 300; ++i) binary.push_back(static_cast<char>(i * 37 % 251));
  const std::vector<Source> several = {
      {"setup.exe", "MZ setup program"}, {"Data\\sub\\b.bin", binary},
      {"Data\\empty.txt", ""},           {"Product.AppNameFile", ""},
      {"ShowReadMe.txt", "read me"},     {"HTML Images\\logo.gif", "GIF89a"},
  };

  MakePackage(scratch, out + "/one.pkg", std::string(64, 'S'),
              {{"readme.txt", "hello, hello, hello, hello"}});
  MakePackage(scratch, out + "/none.pkg", std::string(16, 'S'), {});
  // An input of tests/unit/package/package_reader_regression_test.cpp (the
  // other, an empty file, is the first input libFuzzer runs anyway).
  MakePackage(scratch, out + "/empty-name.pkg", "", {{"", ""}});
  // An entry that inflates to many output buffers from a few hundred bytes,
  // so that restoring it takes several steps and sends progress events.
  std::string repeated;
  while (repeated.size() < 64 * 1024) {
    repeated += "setup data " + std::to_string(repeated.size() % 7);
  }
  MakePackage(scratch, out + "/long-entry.pkg", std::string(32, 'S'),
              {{"Data\\long.txt", repeated}, {"b.txt", "b"}});
  // A stub longer than 768 bytes, so that the checksum starts inside it.
  const std::string whole =
      MakePackage(scratch, out + "/several.pkg", std::string(800, 'S'), several);

  const std::size_t trailer = 78;
  const std::pair<const char*, std::string> variants[] = {
      {"several-behind.pkg", whole + std::string(100, 'x')},
      {"several-cut-end.pkg", whole.substr(0, whole.size() - 1)},
      {"several-no-trailer.pkg", whole.substr(0, whole.size() - trailer)},
      {"several-half.pkg", whole.substr(0, whole.size() / 2)},
      {"several-no-start.pkg", whole.substr(whole.size() / 2)},
  };
  for (const auto& [name, bytes] : variants) fuzz::WriteWholeFile(out + "/" + name, bytes);

  // Signed: the certificate table follows the package and is named in the
  // PE head.
  std::string signedPackage =
      MakePackage(scratch, out + "/signed.pkg", PeStub(1024), {several[0], several[1]});
  const std::string certificate(64, 'C');
  PutU32(signedPackage, kSecurityEntry, static_cast<std::uint32_t>(signedPackage.size()));
  PutU32(signedPackage, kSecurityEntry + 4, static_cast<std::uint32_t>(certificate.size()));
  fuzz::WriteWholeFile(out + "/signed.pkg", signedPackage + certificate);

  // The faults that hostile packages showed once, one seed each.
  const std::string stub(64, 'S');
  const auto at = static_cast<std::uint32_t>(stub.size());
  const std::string text = testing_support::Deflate(repeated);
  const auto packed = static_cast<std::uint32_t>(text.size());
  const auto size = static_cast<std::uint32_t>(repeated.size());
  // Many entries that unpack one stream again and again.
  std::vector<testing_support::RawRecord> sharing;
  for (int i = 0; i < 64; ++i) {
    sharing.push_back({at, size, packed, text::Utf8ToUtf16("e" + std::to_string(i))});
  }
  const std::pair<const char*, std::string> hostile[] = {
      {"shared-stream.pkg", testing_support::RawPackage(stub + text, sharing, 64)},
      {"past-its-size.pkg",
       testing_support::RawPackage(stub + text, {{at, 1000, packed, u"past.txt"}}, 1)},
      {"short-of-its-size.pkg",
       testing_support::RawPackage(stub + text, {{at, size + 1, packed, u"short.txt"}}, 1)},
      {"beyond-its-stream.pkg",
       testing_support::RawPackage(stub + text + "tail", {{at, size, packed + 4, u"beyond.txt"}},
                                   1)},
      {"colon.pkg",
       testing_support::RawPackage(stub + text, {{at, size, packed, u"a.txt:stream"}}, 1)},
      {"device.pkg",
       testing_support::RawPackage(stub + text, {{at, size, packed, u"Data\\con.txt"}}, 1)},
      {"absolute.pkg",
       testing_support::RawPackage(stub + text, {{at, size, packed, u"\\abs.txt"}}, 1)},
  };
  for (const auto& [name, bytes] : hostile) fuzz::WriteWholeFile(out + "/" + name, bytes);
  // Names of the links that the fuzz target lays in the destination, and
  // the name of the package itself.
  MakePackage(scratch, out + "/links.pkg", stub,
              {{"dirlink\\new.txt", "through a folder link"},
               {"filelink", "over a file link"},
               {"dangling", "through a dangling link"},
               {"fine.txt", "fine"}});
  MakePackage(scratch, out + "/own-name.pkg", stub, {{"in.pkg", "named like the package"}});
  // As many entries as a package holds.
  std::vector<Source> full;
  std::vector<std::string> names;
  for (int i = 0; i < package::kTableCapacity; ++i) names.push_back("f" + std::to_string(i));
  for (const std::string& name : names) full.push_back({name.c_str(), name});
  MakePackage(scratch, out + "/full.pkg", stub, full);

  fuzz::RemoveTree(scratch);
  return 0;
}
