// Files that another process holds open: the child is this program itself,
// started with --hold PATH and told by two named events when to open and
// when to let go.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "creator/description/package_description.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"
#include "tests/support/temp_folder.h"

namespace {

using platform::win32::UniqueFileHandle;
using platform::win32::UniqueHandle;

std::wstring EventName(const wchar_t* what) {
  return L"Local\\toolkit-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + what;
}

int HoldFile(const wchar_t* path, const wchar_t* readyName, const wchar_t* releaseName) {
  UniqueFileHandle file(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return 3;
  UniqueHandle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, readyName));
  UniqueHandle release(OpenEventW(SYNCHRONIZE, FALSE, releaseName));
  if (!ready || !release) return 4;
  SetEvent(ready.get());
  WaitForSingleObject(release.get(), 60000);
  return 0;
}

// Runs this program as a child that holds `path` open without sharing,
// until the object is destroyed.
class FileHolder {
 public:
  explicit FileHolder(const std::u16string& path) {
    const std::wstring readyName = EventName(L"ready"), releaseName = EventName(L"release");
    ready_.reset(CreateEventW(nullptr, TRUE, FALSE, readyName.c_str()));
    release_.reset(CreateEventW(nullptr, TRUE, FALSE, releaseName.c_str()));
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\" --hold \"" +
                               platform::win32::Wide(path) + L"\" " + readyName + L" " +
                               releaseName;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
      ADD_FAILURE() << "cannot start the holding process";
      return;
    }
    process_.reset(info.hProcess);
    const UniqueHandle thread(info.hThread);
    HANDLE waits[] = {ready_.get(), process_.get()};
    holding_ = WaitForMultipleObjects(2, waits, FALSE, 30000) == WAIT_OBJECT_0;
  }

  ~FileHolder() {
    if (!process_) return;
    SetEvent(release_.get());
    WaitForSingleObject(process_.get(), 30000);
  }

  bool holding() const { return holding_; }

 private:
  UniqueHandle ready_, release_, process_;
  bool holding_ = false;
};

class RecordingSink : public creator::MessageSink {
 public:
  void ShowMessage(int stringId, std::u16string_view) override { ids.push_back(stringId); }
  std::vector<int> ids;
};

TEST(OtherProcess, AFileHeldWithoutSharingExistsButCannotBeOpened) {
  testing_support::TempFolder temp;
  const std::u16string path = temp.WriteFile(u"pack.txt", "target=x\r\n");
  {
    FileHolder holder(path);
    ASSERT_TRUE(holder.holding());

    EXPECT_TRUE(platform::FileExists(path));

    platform::File file;
    platform::FileErrorInfo error;
    EXPECT_FALSE(file.Open(path, platform::FileAccess::kRead, platform::FileCreation::kOpenExisting,
                           platform::FileShare::kReadWrite, &error));
    EXPECT_EQ(error.cause, platform::FileErrorCause::kSharingViolation);
    EXPECT_EQ(error.path, path);

    RecordingSink sink;
    EXPECT_EQ(creator::ReadDescriptionFile(path, sink), u"");
    EXPECT_EQ(sink.ids, std::vector<int>{creator::kStringReadError});
  }
  RecordingSink sink;
  EXPECT_EQ(creator::ReadDescriptionFile(path, sink), u"target=x\r\n");
  EXPECT_TRUE(sink.ids.empty());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 5 && std::wstring(argv[1]) == L"--hold") return HoldFile(argv[2], argv[3], argv[4]);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
