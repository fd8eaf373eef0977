// The writer and the reader as a pair: packages written by WriteArchive and
// read back by OpenPackage and ExtractAll, byte layouts, refusals of damaged
// and hostile packages, cancel and failure layouts.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "package/block_deflate.h"
#include "package/package_builder.h"
#include "package/package_format.h"
#include "package/result_codes.h"
#include "package/span_reader.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "tests/support/package_bytes.h"
#include "tests/support/temp_folder.h"

namespace {

namespace format = package::format;
using package::PackageBuilder;
using package::PackageEntry;
using testing_support::Deflate;
using testing_support::RandomBytes;
using testing_support::RawPackage;
using testing_support::RawRecord;
using testing_support::ReadWholeFile;
using testing_support::TempFolder;
using testing_support::TextLike;
using testing_support::U16;
using testing_support::U8;

struct SourceFile {
  std::u16string name;  // relative, '/' between folders
  std::string bytes;
};

// The name a file of `name` (with '/' between folders) has in a package.
std::u16string Stored(std::u16string name) {
  std::replace(name.begin(), name.end(), u'/', u'\\');
  return name;
}

std::string ChecksumByteByByte(const std::string& bytes, std::size_t from, std::size_t to) {
  std::uint32_t sum = 0;
  for (std::size_t i = from; i < to; ++i) {
    sum += static_cast<unsigned char>(bytes[i]);
    if (sum > 2'000'000) sum -= 2'000'000;
  }
  return U8(format::RenderDecimal(sum, 13));
}

std::string Utf16Bytes(std::u16string_view text) {
  std::string out;
  format::AppendText(out, text);
  return out;
}

// `units` UTF-16 code units of `bytes` from `at` on.
std::u16string Text(const std::string& bytes, std::size_t at, std::size_t units) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  return package::SpanReader({data, bytes.size()}, at, bytes.size())
      .ReadUtf16LittleEndian(units)
      .value_or(u"?");
}

std::uint32_t U32(const std::string& bytes, std::size_t at) {
  return std::uint32_t{static_cast<unsigned char>(bytes[at])} |
         std::uint32_t{static_cast<unsigned char>(bytes[at + 1])} << 8 |
         std::uint32_t{static_cast<unsigned char>(bytes[at + 2])} << 16 |
         std::uint32_t{static_cast<unsigned char>(bytes[at + 3])} << 24;
}

// What the progress function saw: (event, entry index or int value).
struct Recorder {
  PackageBuilder* builder = nullptr;
  std::vector<std::pair<package::Event, long long>> events;
  std::optional<package::Event> cancelEvent;  // set cancelRequested at this event...
  int cancelEntry = -1;                       // ...of this entry (the entry of the last 1000)
  int currentEntry = -1;

  static int Callback(package::Event code, const void* data, void* context) {
    auto* self = static_cast<Recorder*>(context);
    long long value;
    if (code == package::Event::kEntryStarted || code == package::Event::kEntryDone) {
      const auto* entry = static_cast<const PackageEntry*>(data);
      value = entry - &self->builder->GetEntry(0);
      if (code == package::Event::kEntryStarted) self->currentEntry = static_cast<int>(value);
    } else {
      value = *static_cast<const std::int32_t*>(data);
    }
    self->events.emplace_back(code, value);
    if (code == self->cancelEvent && self->currentEntry == self->cancelEntry) {
      self->builder->cancelRequested = 1;
    }
    return 0;
  }
};

class ArchiveTest : public ::testing::Test {
 protected:
  // Writes `files` below src/, fills `builder` with them (stored names with
  // '\\' as in a package), writes `stub` and the archive to the package.
  package::Result Pack(PackageBuilder& builder, const std::vector<SourceFile>& files,
                       const std::string& stub, Recorder* recorder = nullptr) {
    for (const SourceFile& file : files) {
      const std::u16string path = temp.WriteFile(u"src/" + file.name, file.bytes);
      EXPECT_EQ(builder.AddFile(path, temp.Path(u"src")), 1) << U8(file.name);
    }
    for (int i = 0; i < builder.GetEntryCount(); ++i) {
      builder.SetStoredName(i, platform::StoredNameFromLocalPath(builder.GetStoredName(i)));
    }
    builder.MeasureTotal();
    return WriteWith(builder, stub, recorder);
  }

  package::Result WriteWith(PackageBuilder& builder, const std::string& stub,
                            Recorder* recorder = nullptr) {
    platform::File package;
    EXPECT_TRUE(package.Open(packagePath, platform::FileAccess::kReadWrite,
                             platform::FileCreation::kCreateAlways,
                             platform::FileShare::kReadWrite));
    package.Write(stub.data(), stub.size());
    if (recorder) recorder->builder = &builder;
    const package::Result result =
        builder.WriteArchive(package, recorder ? &Recorder::Callback : nullptr, recorder);
    package.Close();
    return result;
  }

  std::unique_ptr<PackageBuilder> Reader() {
    auto reader = std::make_unique<PackageBuilder>();
    reader->SetModulePath(packagePath);
    return reader;
  }

  void Rewrite(const std::string& bytes) { temp.WriteFile(u"package.exe", bytes); }

  TempFolder temp;
  const std::u16string packagePath = temp.Path(u"package.exe");
};

const std::string kStub = "MZ" + std::string(2000, 'S');

TEST_F(ArchiveTest, RoundTripsGiveBackEveryByte) {
  std::vector<SourceFile> many;
  for (unsigned i = 0; i < 40; ++i) {
    many.push_back({U16("m" + std::to_string(i) + ".bin"),
                    i % 3 == 0 ? RandomBytes(i * 997, i) : TextLike(i * 3001, i)});
  }
  many.push_back({u"big-random.bin", RandomBytes(300'000, 7)});
  many.push_back({u"big-text.txt", TextLike(1'000'000, 8)});
  struct Case {
    const char* what;
    std::vector<SourceFile> files;
  };
  const Case cases[] = {
      {"one empty file", {{u"empty.bin", ""}}},
      {"one file", {{u"a.txt", "hello"}}},
      {"many files", many},
      {"nested names",
       {{u"a/b/c.txt", "abc"}, {u"a/d.txt", "d"}, {u"e/f/g/h.bin", RandomBytes(20000, 3)}}},
      {"names outside the Basic Multilingual Plane",
       {{u"\U0001F600 smile/\U00010348.txt", "gothic"}, {u"\u00e9t\u00e9.txt", "summer"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto builder = std::make_unique<PackageBuilder>();
    ASSERT_EQ(Pack(*builder, c.files, kStub), package::Result::kArchiveWritten);

    auto reader = Reader();
    ASSERT_EQ(reader->OpenPackage(true), package::Result::kDone);
    ASSERT_EQ(reader->GetEntryCount(), static_cast<int>(c.files.size()));
    std::uint32_t expectedOffset = static_cast<std::uint32_t>(kStub.size());
    for (int i = 0; i < reader->GetEntryCount(); ++i) {
      EXPECT_EQ(reader->GetStoredName(i), Stored(c.files[i].name));
      EXPECT_EQ(reader->GetSize(i), c.files[i].bytes.size());
      EXPECT_EQ(reader->GetDataOffset(i), expectedOffset);
      EXPECT_EQ(reader->GetPackedSize(i), builder->GetPackedSize(i));
      expectedOffset += reader->GetPackedSize(i);
    }

    const std::u16string out = temp.Path(U16(std::string("out-") + std::to_string(&c - cases)));
    ASSERT_EQ(reader->ExtractAll(out, nullptr, nullptr), package::Result::kDone);
    for (const SourceFile& file : c.files) {
      EXPECT_EQ(ReadWholeFile(out + platform::kPathSeparator +
                              platform::LocalPathFromStoredName(Stored(file.name))),
                file.bytes)
          << U8(file.name);
    }
  }
}

TEST_F(ArchiveTest, ByteLayoutOfStreamsDirectoryAndTrailer) {
  auto builder = std::make_unique<PackageBuilder>();
  const std::string text = TextLike(50'000, 1);
  ASSERT_EQ(Pack(*builder, {{u"empty.bin", ""}, {u"Data/t.txt", text}}, kStub),
            package::Result::kArchiveWritten);
  const std::string bytes = ReadWholeFile(packagePath);
  const std::size_t end = bytes.size();

  // An empty source is the 8-byte stream of nothing, right after the stub.
  EXPECT_EQ(builder->GetDataOffset(0), kStub.size());
  EXPECT_EQ(builder->GetPackedSize(0), 8u);
  EXPECT_EQ(bytes.substr(kStub.size(), 8), std::string("\x78\x9C\x03\x00\x00\x00\x00\x01", 8));
  EXPECT_EQ(builder->GetDataOffset(1), kStub.size() + 8);

  // The directory follows the last stream; each record has its name length last.
  std::size_t at = builder->GetDataOffset(1) + builder->GetPackedSize(1);
  const std::u16string names[] = {u"empty.bin", u"Data\\t.txt"};
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(U32(bytes, at), builder->GetDataOffset(i));
    EXPECT_EQ(U32(bytes, at + 4), builder->GetSize(i));
    EXPECT_EQ(U32(bytes, at + 8), builder->GetPackedSize(i));
    EXPECT_EQ(bytes.substr(at + 12, 2 * names[i].size()), Utf16Bytes(names[i]));
    EXPECT_EQ(U32(bytes, at + 12 + 2 * names[i].size()), names[i].size());
    at += 16 + 2 * names[i].size();
  }
  EXPECT_EQ(U32(bytes, at), 2u) << "entry count 78 bytes before the end";
  EXPECT_EQ(at, end - 78);
  EXPECT_EQ(bytes.substr(end - 74, 8), std::string("1\0.\0"
                                                   "1\0"
                                                   "0\0",
                                                   8));
  EXPECT_EQ(bytes.substr(end - 66, 20), Utf16Bytes(u"!QERN_SFX!"));
  EXPECT_EQ(bytes.substr(end - 46, 26), Utf16Bytes(U16(ChecksumByteByByte(bytes, 768, end - 46))));
  EXPECT_EQ(bytes.substr(end - 20, 20), Utf16Bytes(format::RenderDecimal(end - 20, 10)));
}

TEST_F(ArchiveTest, WriterEventsFollowEachEntry) {
  auto builder = std::make_unique<PackageBuilder>();
  Recorder recorder;
  const std::string random = RandomBytes(100'000, 5);
  ASSERT_EQ(Pack(*builder, {{u"empty", ""}, {u"random", random}}, kStub, &recorder),
            package::Result::kArchiveWritten);

  const auto& events = recorder.events;
  ASSERT_GE(events.size(), 6u);
  // The empty file: opened and completed, with no compression step.
  EXPECT_EQ(events[0], std::make_pair(package::Event::kEntryStarted, 0LL));
  EXPECT_EQ(events[1], std::make_pair(package::Event::kEntryDone, 0LL));
  EXPECT_EQ(events[2], std::make_pair(package::Event::kEntryStarted, 1LL));
  EXPECT_EQ(events.back(), std::make_pair(package::Event::kEntryDone, 1LL));
  // Then pairs of percent and bytes done, rising to 100 % and the total.
  long long lastPercent = -1, lastBytes = -1;
  for (std::size_t i = 3; i + 1 < events.size(); i += 2) {
    ASSERT_EQ(events[i].first, package::Event::kEntryPercent);
    ASSERT_EQ(events[i + 1].first, package::Event::kSourceBytesDone);
    EXPECT_GE(events[i].second, lastPercent);
    EXPECT_GE(events[i + 1].second, lastBytes);
    lastPercent = events[i].second;
    lastBytes = events[i + 1].second;
  }
  EXPECT_EQ(lastPercent, 100);
  EXPECT_EQ(lastBytes, static_cast<long long>(random.size()));
}

TEST_F(ArchiveTest, TheDirectoryTellsTheBytesThatWerePacked) {
  // Sources that changed after they were measured, and one that says it
  // is empty and gives more: a file under /proc.
  auto builder = std::make_unique<PackageBuilder>();
  const std::string grown = TextLike(50'000, 3);
  ASSERT_EQ(builder->AddFile(temp.WriteFile(u"src/grows.txt", "12"), temp.Path(u"src")), 1);
  ASSERT_EQ(
      builder->AddFile(temp.WriteFile(u"src/shrinks.txt", TextLike(10'000, 4)), temp.Path(u"src")),
      1);
#ifdef __linux__
  ASSERT_EQ(builder->AddFile(u"/proc/self/status", u"/proc/self"), 1);
  EXPECT_EQ(builder->GetSize(2), 0u);
#endif
  builder->MeasureTotal();
  temp.WriteFile(u"src/grows.txt", grown);
  temp.WriteFile(u"src/shrinks.txt", "s");
  ASSERT_EQ(WriteWith(*builder, kStub), package::Result::kArchiveWritten);

  auto reader = Reader();
  ASSERT_EQ(reader->OpenPackage(true), package::Result::kDone);
  EXPECT_EQ(reader->GetSize(0), grown.size());
  EXPECT_EQ(reader->GetSize(1), 1u);
  const std::u16string out = temp.Path(u"out");
  ASSERT_EQ(reader->ExtractAll(out, nullptr, nullptr), package::Result::kDone);
  EXPECT_EQ(ReadWholeFile(temp.Path(u"out/grows.txt")), grown);
  EXPECT_EQ(ReadWholeFile(temp.Path(u"out/shrinks.txt")), "s");
#ifdef __linux__
  EXPECT_GT(reader->GetSize(2), 0u);
  EXPECT_EQ(ReadWholeFile(temp.Path(u"out/status")).size(), reader->GetSize(2));
#endif
}

TEST_F(ArchiveTest, ChecksumThatSumsToExactlyTwoMillionIsStoredAndAccepted) {
  // The bytes after the stub are the same whatever the stub holds, as long
  // as its length stays: measure them with a stub of zeros first.
  const std::size_t stubLength = 768 + 8000;
  std::string stub(stubLength, '\0');
  auto first = std::make_unique<PackageBuilder>();
  ASSERT_EQ(Pack(*first, {{u"a.txt", "abc"}}, stub), package::Result::kArchiveWritten);
  const std::string plain = ReadWholeFile(packagePath);
  const std::int64_t archiveSum = format::ParseDecimal(Text(plain, plain.size() - 46, 13));
  ASSERT_GT(archiveSum, 0);
  ASSERT_LT(archiveSum, 2'000'000 - 255 * 100);

  // Stub bytes from offset 768 on that bring the sum to exactly 2,000,000;
  // the stub's last byte stays 0 for the case of one more.
  std::int64_t missing = 2'000'000 - archiveSum;
  for (std::size_t i = 768; i + 1 < stubLength && missing > 0; ++i) {
    const int b = static_cast<int>(std::min<std::int64_t>(missing, 255));
    stub[i] = static_cast<char>(b);
    missing -= b;
  }
  ASSERT_EQ(missing, 0);
  struct Case {
    int extra;  // added to the last stub byte
    const char* field;
  };
  const Case cases[] = {{0, "0000002000000"}, {1, "0000000000001"}};
  for (const Case& c : cases) {
    std::string variant = stub;
    variant[stubLength - 1] = static_cast<char>(variant[stubLength - 1] + c.extra);
    auto builder = std::make_unique<PackageBuilder>();
    ASSERT_EQ(builder->AddFile(temp.Path(u"src/a.txt"), temp.Path(u"src")), 1);
    ASSERT_EQ(WriteWith(*builder, variant), package::Result::kArchiveWritten);
    const std::string bytes = ReadWholeFile(packagePath);
    EXPECT_EQ(bytes.substr(bytes.size() - 46, 26), Utf16Bytes(U16(c.field)));
    EXPECT_EQ(Reader()->OpenPackage(true), package::Result::kDone) << c.field;
  }
}

TEST_F(ArchiveTest, MarkerIsFoundUpTo9933TrailingBytesAndTheNearestWins) {
  auto builder = std::make_unique<PackageBuilder>();
  ASSERT_EQ(Pack(*builder, {{u"a.txt", "abc"}}, kStub), package::Result::kArchiveWritten);
  const std::string original = ReadWholeFile(packagePath);
  // A second marker with a wrong size field, nearer to the end.
  const std::string secondTrailer = Utf16Bytes(u"!QERN_SFX!") +
                                    Utf16Bytes(format::RenderDecimal(0, 13)) +
                                    Utf16Bytes(format::RenderDecimal(0, 10));
  struct Case {
    const char* what;
    std::string appended;
    bool checksum;
    package::Result result;
  };
  const Case cases[] = {
      {"trailer at the very end", "", true, package::Result::kDone},
      {"9,933 bytes after the trailer", std::string(9933, 'x'), true, package::Result::kDone},
      {"9,934 bytes after the trailer", std::string(9934, 'x'), true, package::Result::kDamaged},
      {"a second marker nearer the end", secondTrailer + "tail", false,
       package::Result::kSizeMismatch},
  };
  for (const Case& c : cases) {
    Rewrite(original + c.appended);
    EXPECT_EQ(Reader()->OpenPackage(c.checksum), c.result) << c.what;
  }
}

TEST_F(ArchiveTest, ChangedBytesAreNoticedWhereTheyMatter) {
  auto builder = std::make_unique<PackageBuilder>();
  ASSERT_EQ(
      Pack(*builder, {{u"a.txt", TextLike(5000, 2)}, {u"b.bin", RandomBytes(3000, 2)}}, kStub),
      package::Result::kArchiveWritten);
  const std::string original = ReadWholeFile(packagePath);
  const std::size_t end = original.size();
  struct Case {
    const char* what;
    std::size_t offset;
    char flip;  // XOR mask for the byte
    package::Result withChecksum;
    package::Result withoutChecksum;
  };
  const Case cases[] = {
      {"byte 768", 768, 0x55, package::Result::kChecksumMismatch, package::Result::kDone},
      {"byte 767, before the checksummed range", 767, 0x55, package::Result::kDone,
       package::Result::kDone},
      {"a stream byte", kStub.size() + 20, 0x55, package::Result::kChecksumMismatch,
       package::Result::kDone},
      {"the marker's last byte", end - 47, 0x01, package::Result::kDamaged,
       package::Result::kDamaged},
      {"a digit of the size field", end - 2, 0x40, package::Result::kSizeMismatch,
       package::Result::kSizeMismatch},
      {"the version text, 1.10 to 1.12", end - 68, 0x02, package::Result::kChecksumMismatch,
       package::Result::kDamaged},
      {"the entry count, 2 to 0", end - 78, 0x02, package::Result::kChecksumMismatch,
       package::Result::kEmpty},
  };
  for (const Case& c : cases) {
    std::string changed = original;
    changed[c.offset] = static_cast<char>(changed[c.offset] ^ c.flip);
    Rewrite(changed);
    EXPECT_EQ(Reader()->OpenPackage(true), c.withChecksum) << c.what;
    EXPECT_EQ(Reader()->OpenPackage(false), c.withoutChecksum) << c.what;
  }
}

TEST_F(ArchiveTest, AnEmptyTableWritesOnlyTheTrailer) {
  auto builder = std::make_unique<PackageBuilder>();
  ASSERT_EQ(WriteWith(*builder, kStub), package::Result::kArchiveWritten);
  const std::string bytes = ReadWholeFile(packagePath);
  EXPECT_EQ(bytes.size(), kStub.size() + format::kTrailerBytes);
  EXPECT_EQ(U32(bytes, kStub.size()), 0u);
  EXPECT_EQ(Reader()->OpenPackage(true), package::Result::kEmpty);
}

TEST_F(ArchiveTest, HostileDirectoriesAreRefusedAndWriteNothing) {
  const std::string hello = Deflate("hello");
  const std::string head = kStub + hello;
  const auto stub = static_cast<std::uint32_t>(kStub.size());
  const auto packed = static_cast<std::uint32_t>(hello.size());
  struct Case {
    const char* what;
    std::string package;
    package::Result result;
  };
  const Case cases[] = {
      {"a sound package", RawPackage(head, {{stub, 5, packed, u"ok.txt"}}, 1),
       package::Result::kDone},
      {"an odd but harmless name", RawPackage(head, {{stub, 5, packed, u"..x\\y.txt"}}, 1),
       package::Result::kDone},
      {"513 entries", RawPackage(head, {{stub, 5, packed, u"ok.txt"}}, 513),
       package::Result::kDamaged},
      {"a name of 1,001 code units",
       RawPackage(head, {{stub, 5, packed, std::u16string(1001, u'n')}}, 1),
       package::Result::kDamaged},
      {"a name length beyond the file",
       RawPackage(head, {{stub, 5, packed, u"ok.txt", 0xFFFFFFFFu}}, 1), package::Result::kDamaged},
      {"a record before the file's start", RawPackage(std::string(4, '\0'), {{0, 0, 0, u"x"}}, 2),
       package::Result::kDamaged},
      {"a stream that reaches into the directory",
       RawPackage(head, {{stub, 5, packed + 1, u"ok.txt"}}, 1), package::Result::kDamaged},
      {"a data offset far beyond the file",
       RawPackage(head, {{0xFFFFFFF0u, 5, packed, u"ok.txt"}}, 1), package::Result::kDamaged},
      {"a parent step", RawPackage(head, {{stub, 5, packed, u"..\\evil.txt"}}, 1),
       package::Result::kDamaged},
      {"a parent step with forward slashes",
       RawPackage(head, {{stub, 5, packed, u"a/../../evil.txt"}}, 1), package::Result::kDamaged},
      {"a parent step that Windows strips to ..",
       RawPackage(head, {{stub, 5, packed, u"sub\\.. .\\evil.txt"}}, 1), package::Result::kDamaged},
      {"a parent step in the second entry",
       RawPackage(head, {{stub, 5, packed, u"ok.txt"}, {stub, 5, packed, u"..\\..\\evil.txt"}}, 2),
       package::Result::kDamaged},
      {"an alternate data stream", RawPackage(head, {{stub, 5, packed, u"ok.txt:evil"}}, 1),
       package::Result::kDamaged},
      {"a device name", RawPackage(head, {{stub, 5, packed, u"sub\\con.txt"}}, 1),
       package::Result::kDamaged},
      {"an absolute name", RawPackage(head, {{stub, 5, packed, u"\\evil.txt"}}, 1),
       package::Result::kDamaged},
      // Many entries that share one stream would make a small package
      // unpack to its stream's size many times over.
      {"two entries sharing one stream",
       RawPackage(head, {{stub, 5, packed, u"a.txt"}, {stub, 5, packed, u"b.txt"}}, 2),
       package::Result::kDamaged},
      {"a stream that begins inside another",
       RawPackage(head + hello,
                  {{stub, 5, packed, u"a.txt"}, {stub + packed - 1, 5, packed, u"b.txt"}}, 2),
       package::Result::kDamaged},
      {"two streams in reverse order, side by side",
       RawPackage(head + hello, {{stub + packed, 5, packed, u"a.txt"}, {stub, 5, packed, u"b.txt"}},
                  2),
       package::Result::kDone},
      {"a size of 2 GiB", RawPackage(head, {{stub, 0x80000000u, packed, u"ok.txt"}}, 1),
       package::Result::kDamaged},
  };
  for (const Case& c : cases) {
    TempFolder area;  // the destination's parent, to show nothing lands beside it
    Rewrite(c.package);
    auto reader = Reader();
    EXPECT_EQ(reader->OpenPackage(true), c.result) << c.what;
    const std::u16string out = area.Path(u"out");
    EXPECT_EQ(reader->ExtractAll(area.Path(u"out/inner"), nullptr, nullptr), c.result) << c.what;
    if (c.result != package::Result::kDone) {
      EXPECT_EQ(reader->GetEntryCount(), 0) << c.what;
      EXPECT_FALSE(platform::GetAttributes(out).has_value()) << c.what;
      EXPECT_FALSE(platform::GetAttributes(area.Path(u"evil.txt")).has_value()) << c.what;
    }
  }
}

TEST_F(ArchiveTest, ADirectoryOfMoreThan64KiBIsReadWhole) {
  // 100 records of 816 bytes: more than the first read in front of the count.
  const std::string empty = Deflate("");
  std::string head = kStub;
  std::vector<RawRecord> records;
  for (int i = 0; i < 100; ++i) {
    std::u16string name = U16("entry" + std::to_string(i) + "-");
    name.resize(400, u'n');
    records.push_back({static_cast<std::uint32_t>(head.size()), 0,
                       static_cast<std::uint32_t>(empty.size()), name});
    head += empty;
  }
  Rewrite(RawPackage(head, records, 100));
  auto reader = Reader();
  ASSERT_EQ(reader->OpenPackage(true), package::Result::kDone);
  ASSERT_EQ(reader->GetEntryCount(), 100);
  EXPECT_EQ(reader->GetStoredName(0), records[0].name);
  EXPECT_EQ(reader->GetStoredName(99), records[99].name);
  EXPECT_EQ(reader->GetTrailerSize(), 12 + 20 + 26 + 20 + 100 * 816);
}

TEST_F(ArchiveTest, DamagedStreamIsAFailedEntryAndLeavesNoFile) {
  // Entry 1 (restored first) is damaged; entry 0 is sound.
  const std::string sound = Deflate("sound");
  std::string broken = Deflate(TextLike(20000, 4));
  broken[2] = static_cast<char>(0xFF);  // the first block has the reserved type
  const auto stub = static_cast<std::uint32_t>(kStub.size());
  const auto soundSize = static_cast<std::uint32_t>(sound.size());
  Rewrite(
      RawPackage(kStub + sound + broken,
                 {{stub, 5, soundSize, u"a.txt"},
                  {stub + soundSize, 20000, static_cast<std::uint32_t>(broken.size()), u"x.txt"}},
                 2));
  using OnDamagedStream = PackageBuilder::OnDamagedStream;
  const std::u16string out = temp.Path(u"out");
  EXPECT_EQ(Reader()->ExtractAll(out, nullptr, nullptr, OnDamagedStream::kStop),
            package::Result::kDamagedStream);
  EXPECT_FALSE(platform::GetAttributes(temp.Path(u"out/x.txt")).has_value());
  EXPECT_FALSE(platform::GetAttributes(temp.Path(u"out/a.txt")).has_value()) << "tried after";

  auto reader = Reader();
  EXPECT_EQ(reader->ExtractAll(out, nullptr, nullptr), package::Result::kFileError);
  EXPECT_FALSE(platform::GetAttributes(temp.Path(u"out/x.txt")).has_value());
  EXPECT_EQ(ReadWholeFile(temp.Path(u"out/a.txt")), "sound");
  EXPECT_EQ(reader->GetOutcome(1).result, package::Result::kDamagedStream);
  EXPECT_EQ(reader->ExtractEntry(1, out), package::Result::kDamagedStream);
  EXPECT_FALSE(platform::GetAttributes(temp.Path(u"out/x.txt")).has_value());
}

TEST_F(ArchiveTest, StreamThatEndsBeforeItsEndMarkerIsDamaged) {
  const std::string text = TextLike(200'000, 6);
  const std::string stream = Deflate(text);
  const auto stub = static_cast<std::uint32_t>(kStub.size());
  Rewrite(RawPackage(kStub + stream,
                     {{stub, 200000, static_cast<std::uint32_t>(stream.size()), u"t.txt"}}, 1));
  auto reader = Reader();
  ASSERT_EQ(reader->OpenPackage(false), package::Result::kDone);

  // The same entry restored from a file that holds only the stream's first half.
  const std::u16string half = temp.WriteFile(u"half.bin", stream.substr(0, stream.size() / 2));
  reader->SetDataOffset(0, 0);
  platform::File input;
  ASSERT_TRUE(input.Open(half, platform::FileAccess::kRead, platform::FileCreation::kOpenExisting,
                         platform::FileShare::kReadWrite));
  const std::u16string out = PackageBuilder::AddTrailingSeparator(temp.MakeFolder(u"out"));
  EXPECT_EQ(reader->RestoreEntry(input, 0, out), package::Result::kDamagedStream);
  EXPECT_FALSE(platform::GetAttributes(out + u"t.txt").has_value());
}

// The names in `folder` and below it, '/' between folders; links are
// listed, not followed.
std::set<std::string> Tree(const std::u16string& folder) {
  std::set<std::string> names;
  const std::filesystem::path root(folder);
  std::error_code error;
  for (auto it = std::filesystem::recursive_directory_iterator(root, error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    names.insert(it->path().lexically_relative(root).generic_string());
  }
  return names;
}

TEST_F(ArchiveTest, EachEntryReadsOnlyItsPackedBytesAndWritesOnlyItsSize) {
  const std::string text = TextLike(20000, 4);
  const std::string stream = Deflate(text);
  const auto stub = static_cast<std::uint32_t>(kStub.size());
  const auto packed = static_cast<std::uint32_t>(stream.size());
  const std::string zeros = Deflate(std::string(4 << 20, '\0'));
  struct Case {
    const char* what;
    std::string data;  // the bytes between the stub and the directory
    RawRecord record;
    package::Result result;
  };
  const Case cases[] = {
      {"a sound stream", stream, {stub, 20000, packed, u"x.txt"}, package::Result::kDone},
      {"a stream that inflates past its size",
       stream,
       {stub, 19999, packed, u"x.txt"},
       package::Result::kDamagedStream},
      {"a stream that ends before its size",
       stream,
       {stub, 20001, packed, u"x.txt"},
       package::Result::kDamagedStream},
      {"a stream that ends before its packed size",
       stream + "tail",
       {stub, 20000, packed + 4, u"x.txt"},
       package::Result::kDamagedStream},
      {"packed bytes that end before the stream",
       stream,
       {stub, 20000, packed - 1, u"x.txt"},
       package::Result::kDamagedStream},
      {"4 MiB of zeros that claim 1,000 bytes",
       zeros,
       {stub, 1000, static_cast<std::uint32_t>(zeros.size()), u"x.txt"},
       package::Result::kDamagedStream},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Rewrite(RawPackage(kStub + c.data, {c.record}, 1));
    TempFolder area;
    const std::u16string out = area.Path(u"out");
    area.WriteFile(u"out/x.txt", "what was there before");
    EXPECT_EQ(Reader()->ExtractEntry(0, out), c.result);
    EXPECT_EQ(ReadWholeFile(area.Path(u"out/x.txt")),
              c.result == package::Result::kDone ? text : "what was there before");
    EXPECT_EQ(Tree(out), std::set<std::string>{"x.txt"}) << "no temporary file is left";
  }
}

TEST_F(ArchiveTest, AFailedEntryLeavesWhatWasThereAndRemovesTheFoldersMadeForIt) {
  std::string broken = Deflate(TextLike(20000, 4));
  broken[2] = static_cast<char>(0xFF);  // the first block has the reserved type
  const std::string good = Deflate("good");
  const auto stub = static_cast<std::uint32_t>(kStub.size());
  const auto brokenSize = static_cast<std::uint32_t>(broken.size());
  Rewrite(RawPackage(
      kStub + good + broken,
      {{stub, 4, static_cast<std::uint32_t>(good.size()), u"keep\\good.txt"},
       {stub + static_cast<std::uint32_t>(good.size()), 20000, brokenSize, u"new\\deeper\\x.txt"}},
      2));
  // A destination that does not exist yet: the damaged entry, restored
  // first, takes away the folders it made, the destination among them.
  const std::u16string missing = temp.Path(u"missing/out");
  auto reader = Reader();
  ASSERT_EQ(reader->ExtractEntry(1, missing), package::Result::kDamagedStream);
  EXPECT_FALSE(platform::GetAttributes(temp.Path(u"missing")).has_value());

  const std::u16string out = temp.Path(u"out");
  temp.WriteFile(u"out/keep/old.txt", "old");
  EXPECT_EQ(reader->ExtractAll(out, nullptr, nullptr), package::Result::kFileError);
  EXPECT_EQ(Tree(out), (std::set<std::string>{"keep", "keep/good.txt", "keep/old.txt"}));
}

TEST_F(ArchiveTest, ThePackageItselfIsNeverReplaced) {
  auto builder = std::make_unique<PackageBuilder>();
  ASSERT_EQ(
      Pack(*builder, {{u"package.exe", "an entry named like the package"}, {u"other.txt", "other"}},
           kStub),
      package::Result::kArchiveWritten);
  const std::string before = ReadWholeFile(packagePath);
  // The package's own folder is the destination, as a user unpacking
  // beside a download would choose it.
  auto reader = Reader();
  EXPECT_EQ(reader->ExtractAll(temp.path(), nullptr, nullptr), package::Result::kFileError);
  EXPECT_EQ(ReadWholeFile(packagePath), before);
  EXPECT_EQ(ReadWholeFile(temp.Path(u"other.txt")), "other");
  EXPECT_EQ(reader->ExtractEntry(0, temp.path()), package::Result::kFileError);
  EXPECT_EQ(ReadWholeFile(packagePath), before);
}

TEST_F(ArchiveTest, ACancelledEntryLeavesWhatWasThere) {
  auto builder = std::make_unique<PackageBuilder>();
  ASSERT_EQ(Pack(*builder, {{u"a.bin", RandomBytes(100'000, 3)}}, kStub),
            package::Result::kArchiveWritten);
  const std::u16string out = temp.Path(u"out");
  temp.WriteFile(u"out/a.bin", "old");
  auto reader = Reader();
  Recorder recorder;
  recorder.builder = reader.get();
  recorder.cancelEvent = package::Event::kPackedBytesDone;
  recorder.cancelEntry = 0;
  EXPECT_EQ(reader->ExtractAll(out, &Recorder::Callback, &recorder), package::Result::kDone);
  EXPECT_EQ(ReadWholeFile(temp.Path(u"out/a.bin")), "old");
  EXPECT_EQ(Tree(out), std::set<std::string>{"a.bin"});
}

TEST_F(ArchiveTest, NoLinkInTheDestinationIsFollowed) {
  auto builder = std::make_unique<PackageBuilder>();
  ASSERT_EQ(Pack(*builder,
                 {{u"dirlink/new.txt", "through a folder link"},
                  {u"filelink", "over a file link"},
                  {u"dangling", "through a dangling link"},
                  {u"fine.txt", "fine"}},
                 kStub),
            package::Result::kArchiveWritten);
  const std::u16string outside = temp.MakeFolder(u"outside");
  temp.WriteFile(u"outside/victim.txt", "victim");
  const std::u16string out = temp.MakeFolder(u"out");
  namespace fs = std::filesystem;
  if (!testing_support::MakeSymbolicLink(temp.Path(u"out/dirlink"), outside, true) ||
      !testing_support::MakeSymbolicLink(temp.Path(u"out/filelink"),
                                         temp.Path(u"outside/victim.txt"), false) ||
      !testing_support::MakeSymbolicLink(temp.Path(u"out/dangling"),
                                         temp.Path(u"outside/created.txt"), false)) {
    GTEST_SKIP() << "this system makes no symbolic links (wine makes none)";
  }

  EXPECT_EQ(Reader()->ExtractAll(out, nullptr, nullptr), package::Result::kFileError);
  EXPECT_EQ(Tree(outside), std::set<std::string>{"victim.txt"});
  EXPECT_EQ(ReadWholeFile(temp.Path(u"outside/victim.txt")), "victim");
  EXPECT_EQ(ReadWholeFile(temp.Path(u"out/fine.txt")), "fine");
  for (const char16_t* link : {u"out/dirlink", u"out/filelink", u"out/dangling"}) {
    EXPECT_TRUE(fs::is_symlink(fs::path(temp.Path(link)))) << U8(link);
  }
}

TEST_F(ArchiveTest, PackedBytesDoneReachesThePackedTotalExactlyAtTheEnd) {
  auto builder = std::make_unique<PackageBuilder>();
  // Restored last to first: b.txt, the read-me (skipped, not counted),
  // app.bin (many steps), and the read-me's image (skipped, counted).
  ASSERT_EQ(Pack(*builder,
                 {{u"HTML Images/logo.png", RandomBytes(3000, 1)},
                  {u"app.bin", RandomBytes(100'000, 2)},
                  {u"ShowReadMe.html", RandomBytes(5000, 3)},
                  {u"b.txt", "b"}},
                 kStub),
            package::Result::kArchiveWritten);
  auto reader = Reader();
  const std::uint32_t total = reader->PackedTotal();
  ASSERT_EQ(total,
            builder->GetPackedSize(0) + builder->GetPackedSize(1) + builder->GetPackedSize(3));
  Recorder recorder;
  recorder.builder = reader.get();
  ASSERT_EQ(reader->ExtractAll(temp.Path(u"out"), &Recorder::Callback, &recorder),
            package::Result::kDone);

  // The value after each entry's turn: the packed bytes of the counted
  // entries handled so far.
  std::vector<long long> atTurnsEnd;
  long long last = 0;
  for (const auto& [code, value] : recorder.events) {
    if (code == package::Event::kPackedBytesDone) {
      EXPECT_GE(value, last);
      EXPECT_LE(value, static_cast<long long>(total));
      last = value;
    }
    if (code == package::Event::kEntryStarted && value != 3) atTurnsEnd.push_back(last);
  }
  atTurnsEnd.push_back(last);
  const long long b = builder->GetPackedSize(3), app = builder->GetPackedSize(1);
  EXPECT_EQ(atTurnsEnd, (std::vector<long long>{b, b, b + app, total}));
}

TEST_F(ArchiveTest, SpecialEntriesAreSkippedButAnnouncedInReverseOrder) {
  auto builder = std::make_unique<PackageBuilder>();
  ASSERT_EQ(Pack(*builder,
                 {{u"app.exe", RandomBytes(5000, 1)},
                  {u"ShowReadMe.html", "readme"},
                  {u"Tool 5 INT.AppNameFile", ""},
                  {u"HTML Images/logo.png", RandomBytes(700, 2)}},
                 kStub),
            package::Result::kArchiveWritten);
  auto reader = Reader();
  Recorder recorder;
  recorder.builder = reader.get();
  const std::u16string out = temp.Path(u"out");
  ASSERT_EQ(reader->ExtractAll(out, &Recorder::Callback, &recorder), package::Result::kDone);

  std::vector<std::pair<package::Event, long long>> announced;
  for (const auto& e : recorder.events) {
    if (e.first == package::Event::kEntryStarted || e.first == package::Event::kEntryDone) {
      announced.push_back(e);
    }
  }
  const std::vector<std::pair<package::Event, long long>> expected = {
      {package::Event::kEntryStarted, 3},
      {package::Event::kEntryStarted, 2},
      {package::Event::kEntryStarted, 1},
      {package::Event::kEntryStarted, 0},
      {package::Event::kEntryDone, 0}};
  EXPECT_EQ(announced, expected);
  EXPECT_TRUE(platform::GetAttributes(temp.Path(u"out/app.exe")).has_value());
  EXPECT_FALSE(platform::GetAttributes(temp.Path(u"out/ShowReadMe.html")).has_value());
  EXPECT_FALSE(platform::GetAttributes(temp.Path(u"out/HTML Images")).has_value());

  EXPECT_EQ(reader->PackedTotal(), builder->GetPackedSize(0) + builder->GetPackedSize(3));
  EXPECT_EQ(reader->UnpackedTotal(), 5700u);
  EXPECT_EQ(reader->ApplicationName(), u"Tool 5 INT");
  EXPECT_EQ(reader->EntryName(1), u"ShowReadMe.html");
  EXPECT_EQ(reader->EntryName(4), u"");
  // The read-me is restored on its own when asked for, and the callback of
  // the extraction before is not called any more.
  const std::size_t eventsBefore = recorder.events.size();
  EXPECT_EQ(reader->ExtractEntry(1, out), package::Result::kDone);
  EXPECT_EQ(recorder.events.size(), eventsBefore);
  EXPECT_EQ(ReadWholeFile(temp.Path(u"out/ShowReadMe.html")), "readme");
}

TEST_F(ArchiveTest, QueriesOfAMissingPackageAreEmpty) {
  auto reader = Reader();
  EXPECT_EQ(reader->OpenPackage(false), package::Result::kCannotOpenPackage);
  EXPECT_FALSE(reader->VerifyPackage(true));
  EXPECT_EQ(reader->PackedTotal(), 0u);
  EXPECT_EQ(reader->UnpackedTotal(), 0u);
  EXPECT_EQ(reader->ApplicationName(), u"");
  EXPECT_EQ(reader->EntryName(0), u"");
  EXPECT_EQ(reader->ExtractAll(temp.Path(u"out"), nullptr, nullptr),
            package::Result::kCannotOpenPackage);
}

TEST_F(ArchiveTest, DestinationsWithAndWithoutSeparatorAndOnesThatCannotBeMade) {
  auto builder = std::make_unique<PackageBuilder>();
  ASSERT_EQ(Pack(*builder, {{u"x/y/z.txt", "deep"}, {u"top.txt", "top"}}, kStub),
            package::Result::kArchiveWritten);
  for (const std::u16string& out :
       {temp.Path(u"plain"), temp.Path(u"slashed") + platform::kPathSeparator}) {
    auto reader = Reader();
    EXPECT_EQ(reader->ExtractAll(out, nullptr, nullptr), package::Result::kDone);
    EXPECT_EQ(ReadWholeFile(PackageBuilder::AddTrailingSeparator(out) +
                            platform::LocalPathFromStoredName(u"x\\y\\z.txt")),
              "deep");
  }
  // Below a file, no folder can be made and no entry can be written.
  const std::u16string file = temp.WriteFile(u"a-file", "");
  EXPECT_EQ(Reader()->ExtractAll(file + platform::kPathSeparator + u"out", nullptr, nullptr),
            package::Result::kFileError);
}

// The writer compresses blocks on several threads and joins them into one
// zlib stream per entry: the package is the same bytes whatever the number
// of threads, every stream inflates to its file, and the blocks cost next
// to nothing against one deflate of the whole file.
TEST_F(ArchiveTest, CompressionOnEveryCoreGivesTheSameBytes) {
  const std::size_t block = package::kDeflateBlockBytes;
  const std::vector<SourceFile> files = {
      {u"empty", ""},
      {u"one", "1"},
      {u"short of a block", TextLike(block - 1, 1)},
      {u"one block", RandomBytes(block, 2)},
      {u"a byte more", TextLike(block + 1, 3)},
      {u"many blocks", TextLike(3 * block + block / 2, 4)},
      {u"random blocks", RandomBytes(2 * block + 7, 5)},
  };
  std::string first;
  for (const unsigned jobs : {1u, 2u, 4u}) {
    SCOPED_TRACE(jobs);
    auto builder = std::make_unique<PackageBuilder>();
    builder->compressionJobs = jobs;
    ASSERT_EQ(Pack(*builder, files, kStub), package::Result::kArchiveWritten);
    const std::string bytes = ReadWholeFile(packagePath);
    if (first.empty()) {
      first = bytes;
    } else {
      EXPECT_TRUE(bytes == first) << "the package differs with " << jobs << " threads";
    }
    const std::u16string out = temp.Path(u"out" + U16(std::to_string(jobs)));
    ASSERT_EQ(Reader()->ExtractAll(out, nullptr, nullptr), package::Result::kDone);
    for (const SourceFile& file : files) {
      EXPECT_TRUE(ReadWholeFile(out + platform::kPathSeparator + file.name) == file.bytes)
          << U8(file.name);
    }
  }

  // Against one deflate of the whole file: within half a percent.
  const std::string text = TextLike(8 * block, 6);
  auto builder = std::make_unique<PackageBuilder>();
  ASSERT_EQ(Pack(*builder, {{u"text", text}}, kStub), package::Result::kArchiveWritten);
  const double whole = static_cast<double>(Deflate(text).size());
  EXPECT_LE(builder->GetPackedSize(0), whole * 1.005) << whole;
}

TEST_F(ArchiveTest, CancelLeavesTheStreamsSoFarAndTheTrailer) {
  const std::vector<SourceFile> files = {
      {u"a.bin", RandomBytes(30000, 1)}, {u"b.bin", RandomBytes(200000, 2)}, {u"c.bin", "c"}};
  struct Case {
    const char* what;
    package::Event event;
    bool entryComplete;
  };
  const Case cases[] = {
      {"during 1000", package::Event::kEntryStarted, false},
      {"during 1002", package::Event::kEntryPercent, false},
      {"during 1004", package::Event::kSourceBytesDone, false},
      {"during 1001", package::Event::kEntryDone, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto builder = std::make_unique<PackageBuilder>();
    Recorder recorder;
    recorder.cancelEvent = c.event;
    recorder.cancelEntry = 1;
    ASSERT_EQ(Pack(*builder, files, kStub, &recorder), package::Result::kArchiveWritten);
    EXPECT_EQ(recorder.events.back(), std::make_pair(package::Event::kEntryDone, 1LL));

    const std::string bytes = ReadWholeFile(packagePath);
    const std::size_t streamEnd = builder->GetDataOffset(1) + builder->GetPackedSize(1);
    // The trailer follows the last stream directly: no directory.
    ASSERT_EQ(bytes.size(), streamEnd + format::kTrailerBytes);
    EXPECT_EQ(bytes.substr(streamEnd, 32), format::EncodeTrailerHead(3));
    EXPECT_EQ(Text(bytes, bytes.size() - 20, 10), format::RenderDecimal(bytes.size() - 20, 10));
    if (c.event == package::Event::kEntryStarted) {
      EXPECT_EQ(builder->GetPackedSize(1), 0u);
    }

    std::string inflated(files[1].bytes.size(), '\0');
    uLongf length = static_cast<uLongf>(inflated.size());
    const int status =
        uncompress(reinterpret_cast<Bytef*>(inflated.data()), &length,
                   reinterpret_cast<const Bytef*>(bytes.data()) + builder->GetDataOffset(1),
                   builder->GetPackedSize(1));
    EXPECT_EQ(status == Z_OK && inflated == files[1].bytes, c.entryComplete);
  }
}

TEST_F(ArchiveTest, AMissingSourceStopsTheWriterWithoutADirectory) {
  auto builder = std::make_unique<PackageBuilder>();
  const std::u16string a = temp.WriteFile(u"src/a.bin", RandomBytes(10000, 1));
  const std::u16string b = temp.WriteFile(u"src/b.bin", "b");
  const std::u16string c = temp.WriteFile(u"src/c.bin", "c");
  for (const auto& path : {a, b, c}) ASSERT_EQ(builder->AddFile(path, temp.Path(u"src")), 1);
  ASSERT_TRUE(platform::RemoveFile(b));
  EXPECT_EQ(WriteWith(*builder, kStub), package::Result::kCannotOpenFile);
  EXPECT_EQ(ReadWholeFile(packagePath).size(), kStub.size() + builder->GetPackedSize(0));
  EXPECT_EQ(Reader()->OpenPackage(false), package::Result::kDamaged);
}

TEST_F(ArchiveTest, AFileErrorOnThePackageIsResult1005) {
  auto builder = std::make_unique<PackageBuilder>();
  ASSERT_EQ(builder->AddFile(temp.WriteFile(u"src/a.bin", "abc"), temp.Path(u"src")), 1);
  temp.WriteFile(u"package.exe", kStub);
  platform::File readOnly;
  ASSERT_TRUE(readOnly.Open(packagePath, platform::FileAccess::kRead,
                            platform::FileCreation::kOpenExisting,
                            platform::FileShare::kReadWrite));
  readOnly.Seek(0, platform::SeekOrigin::kEnd);
  EXPECT_EQ(builder->WriteArchive(readOnly, nullptr, nullptr), package::Result::kFileError);
}

}  // namespace
