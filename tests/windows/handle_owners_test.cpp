// The owners of handles, memory, GDI objects and the GDI+ session
// (platform/win32/unique_*.h, gdiplus_session.h): what "no handle" is for
// each kind, that each handle is closed exactly once whatever moves it, that
// closing keeps the thread's last error, that a resource update reaches the
// file only when committed, and that a selection puts the old object back.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/program.h"
#include "platform/win32/gdiplus_session.h"
#include "platform/win32/unique_gdi.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace platform::win32;
using testing_support::ReadWholeFile;
using testing_support::TempFolder;

// A kind whose close records the handle and, as a close may, changes the
// thread's last error.
std::vector<int> closedHandles;
void RecordClose(int handle) {
  closedHandles.push_back(handle);
  SetLastError(ERROR_GEN_FAILURE);
}
using RecordingOwner = UniqueAny<int, &RecordClose, static_cast<std::uintptr_t>(-1)>;

template <typename Owner>
void ExpectEmptyByDefault(const char* kind, typename Owner::pointer noHandle) {
  const Owner owner;
  EXPECT_TRUE(!owner) << kind;
  EXPECT_EQ(owner.get(), noHandle) << kind;
  EXPECT_FALSE(Owner(noHandle)) << kind;
}

TEST(HandleOwners, EveryKindIsEmptyAtItsOwnNoHandleValue) {
  ExpectEmptyByDefault<UniqueHandle>("kernel object", nullptr);
  ExpectEmptyByDefault<UniqueFileHandle>("file", INVALID_HANDLE_VALUE);
  ExpectEmptyByDefault<UniqueFindHandle>("search", INVALID_HANDLE_VALUE);
  ExpectEmptyByDefault<UniqueModule>("module", nullptr);
  ExpectEmptyByDefault<UniqueRegistryKey>("registry key", nullptr);
  ExpectEmptyByDefault<UniqueWindowStation>("window station", nullptr);
  ExpectEmptyByDefault<UniqueDesktop>("desktop", nullptr);
  ExpectEmptyByDefault<UniqueLocalMemory<wchar_t>>("local memory", nullptr);
  ExpectEmptyByDefault<UniqueCoTaskMemory<wchar_t>>("task memory", nullptr);
  ExpectEmptyByDefault<UniqueGlobalMemory>("global memory", nullptr);
  ExpectEmptyByDefault<UniqueGdiObject<HBRUSH>>("brush", nullptr);
  ExpectEmptyByDefault<UniqueMemoryDc>("memory DC", nullptr);

  // What the failing functions return is "no handle" to their owners.
  TempFolder temp;
  const std::u16string missing = temp.Path(u"missing");
  EXPECT_FALSE(UniqueFileHandle(
      CreateFileW(Wide(missing), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)));
  WIN32_FIND_DATAW found;
  EXPECT_FALSE(UniqueFindHandle(FindFirstFileW(Wide(missing + u"\\*"), &found)));
  EXPECT_FALSE(UniqueHandle(OpenEventW(SYNCHRONIZE, FALSE, L"Local\\toolkit-no-such-event")));
  EXPECT_FALSE(
      UniqueModule(LoadLibraryExW(Wide(missing + u".dll"), nullptr, LOAD_LIBRARY_AS_DATAFILE)));
}

TEST(HandleOwners, TheCurrentProcessIsAHandleButIsNeverClosed) {
  UniqueHandle self(GetCurrentProcess());
  EXPECT_TRUE(self);
  self.reset();
  EXPECT_EQ(GetProcessId(GetCurrentProcess()), GetCurrentProcessId());
  // To a file owner the same value is "no handle".
  EXPECT_FALSE(UniqueFileHandle(GetCurrentProcess()));
}

TEST(HandleOwners, EachHandleIsClosedOnceWhateverMovesIt) {
  closedHandles.clear();
  {
    RecordingOwner first(1);
    RecordingOwner second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(second.get(), 1);

    RecordingOwner third(2);
    third = std::move(second);  // closes 2
    EXPECT_EQ(third.get(), 1);

    EXPECT_EQ(third.release(), 1);  // given up, never closed
    EXPECT_FALSE(third);

    third.reset(3);
    third.reset(4);    // closes 3
    *third.put() = 5;  // closes 4
  }                    // closes 5
  EXPECT_EQ(closedHandles, (std::vector<int>{2, 3, 4, 5}));
}

TEST(HandleOwners, ClosingAFileLetsItBeOpenedAlone) {
  TempFolder temp;
  const std::u16string path = temp.WriteFile(u"held.txt", "x");
  auto openAlone = [&] {
    return UniqueFileHandle(
        CreateFileW(Wide(path), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  };
  UniqueFileHandle held = openAlone();
  ASSERT_TRUE(held);
  EXPECT_FALSE(openAlone());  // a sharing violation while it is held
  UniqueFileHandle moved = std::move(held);
  EXPECT_FALSE(openAlone());
  moved.reset();
  EXPECT_TRUE(openAlone());
}

constexpr DWORD kMarker = 0x20001234;  // an application-defined error code

// Makes an owner, sets the marker as the last error and lets the owner
// close; succeeds when the marker is still the last error.
template <typename Make>
testing::AssertionResult ClosingKeepsTheLastError(Make make) {
  {
    auto owner = make();
    if (!owner) return testing::AssertionFailure() << "nothing was opened to close";
    SetLastError(kMarker);
  }
  const DWORD after = GetLastError();
  if (after != kMarker) return testing::AssertionFailure() << "the last error became " << after;
  return testing::AssertionSuccess();
}

TEST(HandleOwners, ClosingKeepsTheLastErrorForEveryKind) {
  EXPECT_TRUE(ClosingKeepsTheLastError([] { return RecordingOwner(7); }))
      << "a close that sets an error";

  TempFolder temp;
  const std::u16string file = temp.WriteFile(u"a.txt", "a");
  const std::u16string self = platform::GetModulePath();
  EXPECT_TRUE(ClosingKeepsTheLastError([] {
    return UniqueHandle(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, GetCurrentProcessId()));
  })) << "process";
  EXPECT_TRUE(ClosingKeepsTheLastError([] {
    return UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  })) << "event";
  EXPECT_TRUE(ClosingKeepsTheLastError([] {
    UniqueToken token;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put());
    return token;
  })) << "token";
  EXPECT_TRUE(ClosingKeepsTheLastError([&] {
    return UniqueFileHandle(
        CreateFileW(Wide(file), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  })) << "file";
  EXPECT_TRUE(ClosingKeepsTheLastError([&] {
    WIN32_FIND_DATAW found;
    return UniqueFindHandle(FindFirstFileW(Wide(temp.Path(u"*")), &found));
  })) << "search";
  EXPECT_TRUE(ClosingKeepsTheLastError([&] {
    return UniqueModule(LoadLibraryExW(Wide(self), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  })) << "module";
  EXPECT_TRUE(ClosingKeepsTheLastError([] {
    UniqueRegistryKey key;
    RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, key.put());
    return key;
  })) << "registry key";
  EXPECT_TRUE(ClosingKeepsTheLastError([] {
    return UniqueWindowStation(OpenWindowStationW(L"WinSta0", FALSE, WINSTA_ENUMDESKTOPS));
  })) << "window station";
  EXPECT_TRUE(ClosingKeepsTheLastError([] {
    return UniqueDesktop(OpenDesktopW(L"Default", 0, FALSE, DESKTOP_READOBJECTS));
  })) << "desktop";
  EXPECT_TRUE(ClosingKeepsTheLastError([] {
    return UniqueLocalMemory<>(LocalAlloc(LMEM_FIXED, 16));
  })) << "local memory";
  EXPECT_TRUE(ClosingKeepsTheLastError([] { return UniqueCoTaskMemory<>(CoTaskMemAlloc(16)); }))
      << "task memory";
  EXPECT_TRUE(ClosingKeepsTheLastError([] {
    return UniqueGlobalMemory(GlobalAlloc(GMEM_MOVEABLE, 16));
  })) << "global memory";
  EXPECT_TRUE(ClosingKeepsTheLastError([] {
    return UniqueGdiObject<HBRUSH>(CreateSolidBrush(RGB(1, 2, 3)));
  })) << "brush";
  EXPECT_TRUE(ClosingKeepsTheLastError([] { return UniqueMemoryDc(CreateCompatibleDC(nullptr)); }))
      << "memory DC";
  EXPECT_TRUE(ClosingKeepsTheLastError([] { return WindowDc(nullptr); })) << "screen DC";
  EXPECT_TRUE(ClosingKeepsTheLastError([] { return GdiplusSession(); })) << "GDI+ session";
  const std::u16string program = temp.Path(u"program.exe");
  ASSERT_TRUE(CopyFileW(Wide(self), Wide(program), TRUE));
  EXPECT_TRUE(ClosingKeepsTheLastError([&] {
    return UniqueResourceUpdate(BeginUpdateResourceW(Wide(program), FALSE));
  })) << "resource update";
}

// The bytes of resource TEST/DATA (neutral language) of the program `path`;
// "(none)" when it has none.
std::string TestResource(const std::u16string& path) {
  const UniqueModule module(LoadLibraryExW(
      Wide(path), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  const HRSRC found = module ? FindResourceExW(module.get(), L"TEST", L"DATA", 0) : nullptr;
  const HGLOBAL loaded = found ? LoadResource(module.get(), found) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) return "(none)";
  return std::string(static_cast<const char*>(bytes), SizeofResource(module.get(), found));
}

TEST(ResourceUpdateOwner, TheFileChangesOnlyWhenCommitted) {
  TempFolder temp;
  static const char kData[] = "stamped";
  const struct {
    const char* what;
    bool throughPlatform;  // platform::ResourceUpdate rather than the owner
    bool commit;
  } cases[] = {
      {"owner dropped", false, false},
      {"owner committed", false, true},
      {"platform update dropped", true, false},
      {"platform update committed", true, true},
  };
  for (const auto& c : cases) {
    const std::u16string program = temp.Path(testing_support::U16(c.what) + u".exe");
    ASSERT_TRUE(CopyFileW(Wide(platform::GetModulePath()), Wide(program), TRUE)) << c.what;
    const std::string before = ReadWholeFile(program);
    if (c.throughPlatform) {
      platform::ResourceUpdate update;
      ASSERT_TRUE(update.Begin(program)) << c.what;
      ASSERT_TRUE(update.Update(platform::ResourceId::Named(u"TEST"),
                                platform::ResourceId::Named(u"DATA"), 0,
                                {reinterpret_cast<const unsigned char*>(kData), sizeof kData - 1}))
          << c.what;
      if (c.commit) {
        EXPECT_TRUE(update.Commit()) << c.what;
      }
    } else {
      UniqueResourceUpdate update(BeginUpdateResourceW(Wide(program), FALSE));
      ASSERT_TRUE(update) << c.what;
      ASSERT_TRUE(UpdateResourceW(update.get(), L"TEST", L"DATA", 0, const_cast<char*>(kData),
                                  sizeof kData - 1))
          << c.what;
      if (c.commit) {
        EXPECT_TRUE(update.Commit()) << c.what;
        EXPECT_FALSE(update) << c.what;
      }
    }
    if (c.commit) {
      EXPECT_EQ(TestResource(program), kData) << c.what;
    } else {
      EXPECT_TRUE(ReadWholeFile(program) == before) << c.what << ": the file changed";
    }
  }
}

TEST(GdiOwners, ASelectionPutsTheOldObjectBack) {
  const UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
  ASSERT_TRUE(dc);
  const UniqueGdiObject<HBITMAP> bitmap(CreateBitmap(4, 4, 1, 32, nullptr));
  const UniqueGdiObject<HBRUSH> brush(CreateSolidBrush(RGB(10, 20, 30)));
  const struct {
    const char* what;
    UINT type;
    HGDIOBJ object;
  } cases[] = {{"bitmap", OBJ_BITMAP, bitmap.get()}, {"brush", OBJ_BRUSH, brush.get()}};
  for (const auto& c : cases) {
    ASSERT_NE(c.object, nullptr) << c.what;
    const HGDIOBJ before = GetCurrentObject(dc.get(), c.type);
    {
      ObjectSelection selection(dc.get(), c.object);
      EXPECT_TRUE(selection) << c.what;
      EXPECT_EQ(GetCurrentObject(dc.get(), c.type), c.object) << c.what;
      const ObjectSelection moved(std::move(selection));
    }
    EXPECT_EQ(GetCurrentObject(dc.get(), c.type), before) << c.what;
  }
}

TEST(GdiOwners, AGdiplusSessionLetsGdiplusDraw) {
  const GdiplusSession session;
  ASSERT_TRUE(session) << "status " << session.status();
  Gdiplus::Bitmap bitmap(2, 2, PixelFormat32bppARGB);
  ASSERT_EQ(bitmap.GetLastStatus(), Gdiplus::Ok);
  EXPECT_EQ(bitmap.SetPixel(1, 1, Gdiplus::Color(255, 1, 2, 3)), Gdiplus::Ok);
  Gdiplus::Color color;
  ASSERT_EQ(bitmap.GetPixel(1, 1, &color), Gdiplus::Ok);
  EXPECT_EQ(color.GetValue(), Gdiplus::Color(255, 1, 2, 3).GetValue());
}

}  // namespace
