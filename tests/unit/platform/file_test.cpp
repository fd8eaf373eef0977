#include "platform/file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <future>
#include <limits>
#include <optional>
#include <string>
#include <thread>

#include "platform/file_system.h"
#include "tests/support/package_bytes.h"
#include "tests/support/temp_folder.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using platform::File;
using platform::FileAccess;
using platform::FileCreation;
using platform::FileError;
using platform::FileErrorCause;
using platform::FileErrorInfo;
using platform::FileIdentity;
using platform::FileShare;
using platform::SeekOrigin;
using testing_support::ReadWholeFile;
using testing_support::TempFolder;
using testing_support::U8;

const char* ShareName(FileShare share) {
  return share == FileShare::kNone ? "kNone" : "kReadWrite";
}

// True when nobody else holds `path`: an exclusive open gets through.
bool OpensExclusively(const std::u16string& path) {
  File file;
  return file.Open(path, FileAccess::kReadWrite, FileCreation::kOpenExisting, FileShare::kNone);
}

TEST(FileShareTest, SecondOpenMustSuitBothShareModes) {
  struct Case {
    FileShare first;
    FileShare second;
    bool secondOpens;
  };
  const Case cases[] = {
      {FileShare::kNone, FileShare::kNone, false},
      {FileShare::kNone, FileShare::kReadWrite, false},
      {FileShare::kReadWrite, FileShare::kNone, false},
      {FileShare::kReadWrite, FileShare::kReadWrite, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("first ") + ShareName(c.first) + ", second " + ShareName(c.second));
    TempFolder temp;
    const std::u16string path = temp.WriteFile(u"shared.bin", "data");

    File first;
    ASSERT_TRUE(first.Open(path, FileAccess::kReadWrite, FileCreation::kOpenExisting, c.first));
    File second;
    FileErrorInfo error;
    EXPECT_EQ(second.Open(path, FileAccess::kRead, FileCreation::kOpenExisting, c.second, &error),
              c.secondOpens);
    EXPECT_EQ(second.IsOpen(), c.secondOpens);
    if (!c.secondOpens) {
      EXPECT_EQ(error.cause, FileErrorCause::kSharingViolation);
      EXPECT_EQ(error.path, path);
    }
    EXPECT_FALSE(OpensExclusively(path));

    first.Close();
    second.Close();
    EXPECT_TRUE(OpensExclusively(path));
  }
}

TEST(FileShareTest, HandlesReleaseTheFileWhenMovedReopenedAndDestroyed) {
  TempFolder temp;
  const std::u16string one = temp.WriteFile(u"one.bin", "1");
  const std::u16string two = temp.WriteFile(u"two.bin", "2");

  File moved;
  {
    File a;
    ASSERT_TRUE(a.Open(one, FileAccess::kRead, FileCreation::kOpenExisting, FileShare::kNone));
    File b(std::move(a));
    EXPECT_FALSE(a.IsOpen());
    ASSERT_TRUE(b.IsOpen());
    EXPECT_EQ(b.path(), one);
    EXPECT_FALSE(OpensExclusively(one));

    // Assigning over an open file closes it.
    ASSERT_TRUE(moved.Open(two, FileAccess::kRead, FileCreation::kOpenExisting, FileShare::kNone));
    moved = std::move(b);
    EXPECT_TRUE(OpensExclusively(two));
    EXPECT_FALSE(OpensExclusively(one));
  }
  char byte = 0;
  EXPECT_EQ(moved.Read(&byte, 1), 1u);
  EXPECT_EQ(byte, '1');

  // Open() closes what the object held, also when it fails itself.
  ASSERT_TRUE(moved.Open(two, FileAccess::kRead, FileCreation::kOpenExisting, FileShare::kNone));
  EXPECT_TRUE(OpensExclusively(one));
  EXPECT_FALSE(moved.Open(temp.Path(u"missing"), FileAccess::kRead, FileCreation::kOpenExisting,
                          FileShare::kNone));
  EXPECT_FALSE(moved.IsOpen());
  EXPECT_TRUE(OpensExclusively(two));

  {
    File scoped;
    ASSERT_TRUE(scoped.Open(one, FileAccess::kRead, FileCreation::kOpenExisting, FileShare::kNone));
  }
  EXPECT_TRUE(OpensExclusively(one));
}

TEST(FileCreationTest, CreateAlwaysCutsAnExistingFileWhateverTheAccess) {
  for (const FileAccess access : {FileAccess::kRead, FileAccess::kWrite, FileAccess::kReadWrite}) {
    SCOPED_TRACE(static_cast<int>(access));
    TempFolder temp;
    const std::u16string path = temp.WriteFile(u"file.bin", "old contents");
    File file;
    ASSERT_TRUE(file.Open(path, access, FileCreation::kCreateAlways, FileShare::kReadWrite));
    EXPECT_EQ(file.Length(), 0u);
    file.Close();
    EXPECT_EQ(ReadWholeFile(path), "");
  }
}

TEST(FileCreationTest, CreateAlwaysLeavesAFileHeldWithoutSharingWhole) {
  TempFolder temp;
  const std::u16string path = temp.WriteFile(u"held.bin", "precious");
  File holder;
  ASSERT_TRUE(holder.Open(path, FileAccess::kRead, FileCreation::kOpenExisting, FileShare::kNone));

  File other;
  FileErrorInfo error;
  EXPECT_FALSE(other.Open(path, FileAccess::kWrite, FileCreation::kCreateAlways,
                          FileShare::kReadWrite, &error));
  EXPECT_EQ(error.cause, FileErrorCause::kSharingViolation);
  EXPECT_EQ(holder.Length(), 8u);

  holder.Close();
  EXPECT_EQ(ReadWholeFile(path), "precious");
}

TEST(FileCreationTest, OpenAlwaysKeepsContentsAndCreatesAMissingFile) {
  TempFolder temp;
  const std::u16string existing = temp.WriteFile(u"existing.bin", "keep");
  File file;
  ASSERT_TRUE(
      file.Open(existing, FileAccess::kReadWrite, FileCreation::kOpenAlways, FileShare::kNone));
  EXPECT_EQ(file.Length(), 4u);
  file.Close();
  EXPECT_EQ(ReadWholeFile(existing), "keep");

  const std::u16string fresh = temp.Path(u"fresh.bin");
  ASSERT_TRUE(file.Open(fresh, FileAccess::kWrite, FileCreation::kOpenAlways, FileShare::kNone));
  EXPECT_EQ(file.Length(), 0u);
  file.Write("new", 3);
  file.Close();
  EXPECT_EQ(ReadWholeFile(fresh), "new");
}

TEST(FileCreationTest, OpenExistingReportsWhatIsMissing) {
  TempFolder temp;
  struct Case {
    std::u16string path;
    FileErrorCause cause;
  };
  const Case cases[] = {
      {temp.Path(u"missing.bin"), FileErrorCause::kFileNotFound},
      {temp.Path(u"no-such-folder/missing.bin"), FileErrorCause::kBadPath},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(U8(c.path));
    File file;
    FileErrorInfo error;
    EXPECT_FALSE(file.Open(c.path, FileAccess::kRead, FileCreation::kOpenExisting,
                           FileShare::kReadWrite, &error));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(error.cause, c.cause);
    EXPECT_NE(error.osError, 0);
    EXPECT_EQ(error.path, c.path);
    EXPECT_FALSE(platform::GetAttributes(c.path).has_value());
  }
}

TEST(FileCreationTest, FolderNeverOpensAsAFile) {
  TempFolder temp;
  const std::u16string folder = temp.MakeFolder(u"folder");
  for (const FileCreation creation :
       {FileCreation::kOpenExisting, FileCreation::kOpenAlways, FileCreation::kCreateAlways}) {
    for (const FileAccess access : {FileAccess::kRead, FileAccess::kReadWrite}) {
      SCOPED_TRACE(testing::Message() << "creation " << static_cast<int>(creation) << ", access "
                                      << static_cast<int>(access));
      File file;
      FileErrorInfo error;
      EXPECT_FALSE(file.Open(folder, access, creation, FileShare::kReadWrite, &error));
      EXPECT_FALSE(file.IsOpen());
      EXPECT_EQ(error.cause, FileErrorCause::kAccessDenied);
      EXPECT_EQ(error.path, folder);
      const auto attributes = platform::GetAttributes(folder);
      ASSERT_TRUE(attributes.has_value());
      EXPECT_TRUE(*attributes & platform::kAttributeDirectory);
    }
  }
}

TEST(FileIoTest, RoundTripLargerThanOneChunk) {
  TempFolder temp;
  const std::string data = testing_support::RandomBytes(200 * 1024, 20240611);
  const std::u16string path = temp.Path(u"data.bin");
  File file;
  ASSERT_TRUE(
      file.Open(path, FileAccess::kReadWrite, FileCreation::kCreateAlways, FileShare::kNone));
  file.Write(data.data(), data.size());
  EXPECT_EQ(file.Length(), data.size());
  EXPECT_EQ(file.Position(), data.size());

  // The same handle reads back every byte; asking for more stops at the end.
  EXPECT_EQ(file.Seek(0, SeekOrigin::kBegin), 0u);
  std::string back(data.size() + 100, '\0');
  ASSERT_EQ(file.Read(back.data(), back.size()), data.size());
  back.resize(data.size());
  EXPECT_TRUE(back == data);
  char byte;
  EXPECT_EQ(file.Read(&byte, 1), 0u);

  // Overwriting in the middle changes just those bytes.
  file.Seek(1000, SeekOrigin::kBegin);
  file.Write("XYZ", 3);
  EXPECT_EQ(file.Position(), 1003u);
  file.Seek(998, SeekOrigin::kBegin);
  std::string middle(7, '\0');
  ASSERT_EQ(file.Read(middle.data(), middle.size()), 7u);
  EXPECT_EQ(middle, data.substr(998, 2) + "XYZ" + data.substr(1003, 2));
  file.Close();

  std::string expected = data;
  expected.replace(1000, 3, "XYZ");
  EXPECT_TRUE(ReadWholeFile(path) == expected);
}

TEST(FileIoTest, SeekFromEachOrigin) {
  TempFolder temp;
  const std::string data = testing_support::RandomBytes(4096, 20240611);
  const std::u16string path = temp.WriteFile(u"seek.bin", data);
  File file;
  ASSERT_TRUE(file.Open(path, FileAccess::kRead, FileCreation::kOpenExisting, FileShare::kNone));

  constexpr std::int64_t kLowest = std::numeric_limits<std::int64_t>::min();
  struct Case {
    std::uint64_t start;
    std::int64_t offset;
    SeekOrigin origin;
    std::optional<std::uint64_t> lands;  // nothing: kBadSeek
  };
  const Case cases[] = {
      {0, 1000, SeekOrigin::kBegin, 1000},
      {1000, 500, SeekOrigin::kCurrent, 1500},
      {1000, -700, SeekOrigin::kCurrent, 300},
      {1000, -1000, SeekOrigin::kCurrent, 0},
      {0, -10, SeekOrigin::kEnd, 4086},
      {0, 0, SeekOrigin::kEnd, 4096},
      {0, -4096, SeekOrigin::kEnd, 0},
      {0, 100, SeekOrigin::kEnd, 4196},  // past the end is allowed
      {40, -1, SeekOrigin::kBegin, std::nullopt},
      {40, kLowest, SeekOrigin::kBegin, std::nullopt},
      {40, -41, SeekOrigin::kCurrent, std::nullopt},
      {40, kLowest, SeekOrigin::kCurrent, std::nullopt},
      {40, -4097, SeekOrigin::kEnd, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "from " << c.start << " by " << c.offset << " origin "
                                    << static_cast<int>(c.origin));
    ASSERT_EQ(file.Seek(static_cast<std::int64_t>(c.start), SeekOrigin::kBegin), c.start);
    if (!c.lands) {
      try {
        file.Seek(c.offset, c.origin);
        ADD_FAILURE() << "no FileError";
      } catch (const FileError& e) {
        EXPECT_EQ(e.cause(), FileErrorCause::kBadSeek);
        EXPECT_EQ(e.path(), path);
      }
      EXPECT_EQ(file.Position(), c.start);
      continue;
    }
    EXPECT_EQ(file.Seek(c.offset, c.origin), *c.lands);
    EXPECT_EQ(file.Position(), *c.lands);
    std::string chunk(16, '\0');
    chunk.resize(file.Read(chunk.data(), chunk.size()));
    EXPECT_EQ(chunk, *c.lands < data.size() ? data.substr(*c.lands, 16) : "");
  }
}

TEST(FileIoTest, TransferAgainstTheAccessRaisesWithThePath) {
  TempFolder temp;
  const std::u16string path = temp.WriteFile(u"file.bin", "contents");
  struct Case {
    FileAccess access;
    bool write;
  };
  for (const Case c : {Case{FileAccess::kRead, true}, Case{FileAccess::kWrite, false}}) {
    SCOPED_TRACE(c.write ? "write on a reading handle" : "read on a writing handle");
    File file;
    ASSERT_TRUE(file.Open(path, c.access, FileCreation::kOpenExisting, FileShare::kNone));
    char buffer[4] = {'a', 'b', 'c', 'd'};
    try {
      if (c.write) {
        file.Write(buffer, sizeof buffer);
      } else {
        file.Read(buffer, sizeof buffer);
      }
      ADD_FAILURE() << "no FileError";
    } catch (const FileError& e) {
      EXPECT_EQ(e.cause(), FileErrorCause::kAccessDenied);
      EXPECT_NE(e.osError(), 0);
      EXPECT_EQ(e.path(), path);
      EXPECT_NE(std::string(e.what()).find(U8(path)), std::string::npos);
    }
  }
  EXPECT_EQ(ReadWholeFile(path), "contents");
}

// The identity of the file `path` names, through an open File.
FileIdentity IdentityThroughFile(const std::u16string& path) {
  File file;
  EXPECT_TRUE(
      file.Open(path, FileAccess::kRead, FileCreation::kOpenExisting, FileShare::kReadWrite))
      << U8(path);
  return file.IsOpen() ? file.Identity() : FileIdentity{};
}

TEST(FileIdentityTest, OneFileWhateverThePathAnotherFileDiffers) {
  TempFolder temp;
  const std::u16string sep(1, platform::kPathSeparator);
  const std::u16string file = temp.WriteFile(u"dir/f", "same");
  const std::u16string other = temp.WriteFile(u"dir/g", "same");
  const std::u16string hardLink = temp.Path(u"hard");
  std::error_code error;
  std::filesystem::create_hard_link(std::filesystem::path(file), std::filesystem::path(hardLink),
                                    error);
  ASSERT_FALSE(error) << error.message();

  // A holder that shares nothing does not keep the identity from being had.
  File holder;
  ASSERT_TRUE(holder.Open(file, FileAccess::kRead, FileCreation::kOpenExisting, FileShare::kNone));
  const FileIdentity identity = holder.Identity();
  const std::optional<FileIdentity> byPath = platform::GetFileIdentity(file);
  ASSERT_TRUE(byPath.has_value());
  EXPECT_EQ(*byPath, identity);
  holder.Close();

  for (const std::u16string& path :
       {file, temp.path() + sep + u"dir" + sep + u"." + sep + u"f", hardLink}) {
    SCOPED_TRACE(U8(path));
    EXPECT_EQ(IdentityThroughFile(path), identity);
    EXPECT_EQ(platform::GetFileIdentity(path), identity);
  }
  EXPECT_NE(IdentityThroughFile(other), identity);
  EXPECT_NE(platform::GetFileIdentity(other), identity);

  // Folders have identities too, through the path alone.
  const std::optional<FileIdentity> folder = platform::GetFileIdentity(temp.Path(u"dir"));
  ASSERT_TRUE(folder.has_value());
  EXPECT_EQ(platform::GetFileIdentity(temp.Path(u"dir") + sep + u"."), folder);
  EXPECT_NE(*folder, identity);
  EXPECT_FALSE(platform::GetFileIdentity(temp.Path(u"missing")).has_value());
}

#ifndef _WIN32
// Opens `path` on another thread and waits for it a while; a call that
// hangs fails the test and is set free by opening the FIFO's other end.
bool OpensWithoutWaiting(File& file, const std::u16string& path, FileAccess access, bool* opened) {
  auto result = std::async(std::launch::async, [&] {
    return file.Open(path, access, FileCreation::kOpenExisting, FileShare::kReadWrite);
  });
  if (result.wait_for(std::chrono::seconds(5)) == std::future_status::ready) {
    *opened = result.get();
    return true;
  }
  const int peer =
      ::open(U8(path).c_str(), (access == FileAccess::kRead ? O_WRONLY : O_RDONLY) | O_NONBLOCK);
  *opened = result.get();
  if (peer >= 0) ::close(peer);
  return false;
}

TEST(FileKindTest, FifoOpensAtOnceAndWaitsForDataOnlyWhenRead) {
  TempFolder temp;
  const std::u16string fifo = temp.Path(u"fifo");
  ASSERT_EQ(::mkfifo(U8(fifo).c_str(), 0666), 0);

  // Writing needs a reader: refused at once rather than waited for.
  File writer;
  bool opened = true;
  EXPECT_TRUE(OpensWithoutWaiting(writer, fifo, FileAccess::kWrite, &opened));
  EXPECT_FALSE(opened);

  // Reading without a writer opens at once and finds nothing.
  File reader;
  ASSERT_TRUE(OpensWithoutWaiting(reader, fifo, FileAccess::kRead, &opened));
  ASSERT_TRUE(opened);
  EXPECT_FALSE(reader.IsPlainFile());
  char buffer[8];
  EXPECT_EQ(reader.Read(buffer, sizeof buffer), 0u);

  // A read waits for data as on any file: the file was left blocking.
  const int peer = ::open(U8(fifo).c_str(), O_WRONLY | O_NONBLOCK);
  ASSERT_GE(peer, 0);
  std::thread late([peer] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(::write(peer, "ab", 2), 2);
    ::close(peer);
  });
  std::size_t got = 0;
  EXPECT_NO_THROW(got = reader.Read(buffer, sizeof buffer));
  late.join();
  EXPECT_EQ(std::string(buffer, got), "ab");

  File device;
  ASSERT_TRUE(device.Open(u"/dev/null", FileAccess::kRead, FileCreation::kOpenExisting,
                          FileShare::kReadWrite));
  EXPECT_FALSE(device.IsPlainFile());
  File plain;
  ASSERT_TRUE(plain.Open(temp.WriteFile(u"plain", "x"), FileAccess::kRead,
                         FileCreation::kOpenExisting, FileShare::kReadWrite));
  EXPECT_TRUE(plain.IsPlainFile());
}
#endif

}  // namespace
