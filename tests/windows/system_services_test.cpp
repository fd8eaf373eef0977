// The extractor's system services on the system: paths on the disk, the
// registry under a throwaway key of the current user, and programs started
// with RunProcess (services_fixture.exe, copied into a folder whose name
// has a blank), directly and through the seam that stands for the desktop
// grant, process creation and the shell's elevation.
#include <windows.h>

#include <sddl.h>

#include <gtest/gtest.h>

#include <cstring>

#include <string>
#include <vector>

#include "extractor/services/system_services.h"
#include "platform/file_system.h"
#include "platform/program.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace extractor::services;
using platform::win32::FromWide;
using platform::win32::UniqueHandle;
using platform::win32::UniqueLocalMemory;
using platform::win32::UniqueRegistryKey;
using platform::win32::Wide;
using testing_support::ReadWholeFile;
using testing_support::TempFolder;
using testing_support::U8;

bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::u16string Lower(std::u16string text) {
  for (char16_t& c : text) c = static_cast<char16_t>(towlower(c));
  return text;
}

// ---- Folders ----------------------------------------------------------------

TEST(FolderServicesTest, LongPathNameUndoesShortNames) {
  TempFolder temp;
  const std::u16string longPath = temp.WriteFile(u"Long Folder Name\\another long file.txt", "x");
  const std::u16string shortPath = platform::GetShortPath(longPath);
  ASSERT_FALSE(shortPath.empty());
  ASSERT_NE(Lower(shortPath), Lower(longPath)) << "no short names on this volume";
  EXPECT_EQ(Lower(LongPathName(shortPath)), Lower(longPath)) << U8(shortPath);

  const std::u16string missing = shortPath.substr(0, shortPath.rfind(u'\\')) + u"\\MISSIN~1.TXT";
  EXPECT_EQ(LongPathName(missing), missing);
}

TEST(FolderServicesTest, ExistenceAndTheOutermostNewFolder) {
  TempFolder temp;
  const std::u16string a = temp.MakeFolder(u"a");
  const std::u16string file = temp.WriteFile(u"file.txt", "f");
  const std::u16string current = platform::GetCurrentFolder();
  EXPECT_TRUE(DirectoryExists(a));
  EXPECT_FALSE(DirectoryExists(file));
  EXPECT_FALSE(DirectoryExists(temp.Path(u"missing")));
  EXPECT_EQ(platform::GetCurrentFolder(), current);

  EXPECT_EQ(OutermostNewFolder(temp.Path(u"a\\b\\c\\d")), temp.Path(u"a\\b"));
  EXPECT_EQ(OutermostNewFolder(a), a);
}

// ---- Registry -----------------------------------------------------------------

// A key below HKEY_CURRENT_USER\Software for one test, deleted with
// everything below it when the test ends.
class ThrowawayKey {
 public:
  ThrowawayKey()
      : path_(u"Software\\InstallerToolkitServicesTest-" +
              FromWide(std::to_wstring(GetCurrentProcessId()).c_str())) {
    RegDeleteTreeW(HKEY_CURRENT_USER, Wide(path_));
  }
  ~ThrowawayKey() { RegDeleteTreeW(HKEY_CURRENT_USER, Wide(path_)); }

  const std::u16string& path() const { return path_; }

  UniqueRegistryKey Create(const std::u16string& below = {}) const {
    UniqueRegistryKey key;
    const std::u16string whole = below.empty() ? path_ : path_ + u"\\" + below;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, Wide(whole), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    return key;
  }

 private:
  std::u16string path_;
};

// The value `name` of `key` below HKEY_CURRENT_USER with its type; the
// type is REG_NONE when it is missing.
struct Value {
  DWORD type = REG_NONE;
  std::vector<BYTE> bytes;
};
Value ReadValue(const std::u16string& key, const std::u16string& name) {
  Value value;
  DWORD size = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, Wide(key), Wide(name), RRF_RT_ANY | RRF_NOEXPAND, &value.type,
                   nullptr, &size) != ERROR_SUCCESS) {
    value.type = REG_NONE;
    return value;
  }
  value.bytes.resize(size);
  RegGetValueW(HKEY_CURRENT_USER, Wide(key), Wide(name), RRF_RT_ANY | RRF_NOEXPAND, &value.type,
               value.bytes.data(), &size);
  value.bytes.resize(size);
  return value;
}

TEST(RegistryServicesTest, RunOnceValueCreatesEveryMissingKeyAndGoesAgain) {
  ThrowawayKey root;
  const std::u16string key = root.path() + u"\\Level 1\\Level 2\\RunOnce";
  const std::u16string command = DeleteFolderCommand(u"C:\\Temp Dir\\Product");
  SetRunOnceValue(HKEY_CURRENT_USER, key + u"\\DeleteUnpacked", command);

  const Value written = ReadValue(key, u"DeleteUnpacked");
  ASSERT_EQ(written.type, static_cast<DWORD>(REG_SZ));
  ASSERT_EQ(written.bytes.size(), (command.size() + 1) * sizeof(char16_t)) << "with its zero";
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(written.bytes.data()), command.size()),
            command);

  // Written again with another text, and beside another value.
  SetRunOnceValue(HKEY_CURRENT_USER, key + u"\\DeleteUnpacked", u"x");
  SetRunOnceValue(HKEY_CURRENT_USER, key + u"\\DeleteReadMe7", u"y");
  EXPECT_EQ(ReadValue(key, u"DeleteUnpacked").bytes.size(), 2 * sizeof(char16_t));

  DeleteRunOnceValue(HKEY_CURRENT_USER, key + u"\\DeleteUnpacked");
  EXPECT_EQ(ReadValue(key, u"DeleteUnpacked").type, static_cast<DWORD>(REG_NONE));
  EXPECT_EQ(ReadValue(key, u"DeleteReadMe7").type, static_cast<DWORD>(REG_SZ));
  // Nothing to delete is no failure and creates nothing.
  DeleteRunOnceValue(HKEY_CURRENT_USER, key + u"\\DeleteUnpacked");
  DeleteRunOnceValue(HKEY_CURRENT_USER, root.path() + u"\\Missing\\Value");
  UniqueRegistryKey missing;
  EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, Wide(root.path() + u"\\Missing"), 0, KEY_READ,
                          missing.put()),
            ERROR_SUCCESS);
}

TEST(RegistryServicesTest, CompatibilityMarkAndSystemVersion) {
  ThrowawayKey root;
  const std::u16string key = root.path() + u"\\Compatibility Assistant\\Persisted";
  const std::u16string self = u"C:\\Users\\Someone\\Downloads\\Product Setup.exe";
  MarkCompatibilityPersisted(self, HKEY_CURRENT_USER, key);
  const Value mark = ReadValue(key, self);
  ASSERT_EQ(mark.type, static_cast<DWORD>(REG_DWORD));
  ASSERT_EQ(mark.bytes.size(), sizeof(DWORD));
  EXPECT_EQ(*reinterpret_cast<const DWORD*>(mark.bytes.data()), 1u);

  // Every system that runs our programs is version 6.1 or later.
  EXPECT_TRUE(IsSystemVersion6OrLater());
}

TEST(RegistryServicesTest, FindOpenCommandReadsTheClassRegistration) {
  ThrowawayKey root;
  const UniqueRegistryKey classes = root.Create(u"Classes");
  struct Registration {
    const char16_t* key;
    DWORD type;
    const char16_t* value;
  };
  const Registration registrations[] = {
      {u".tkdoc", REG_SZ, u"TkDoc.File"},
      {u"TkDoc.File\\shell\\open\\command", REG_SZ,
       u"\"C:\\Program Files\\Viewer\\view.exe\" \"%1\""},
      {u".tksys", REG_SZ, u"TkSys.File"},
      {u"TkSys.File\\shell\\open\\command", REG_EXPAND_SZ,
       u"%SystemRoot%\\system32\\notepad.exe %1"},
      {u".tknocommand", REG_SZ, u"TkNoCommand.File"},
  };
  for (const Registration& r : registrations) {
    UniqueRegistryKey key;
    ASSERT_EQ(RegCreateKeyExW(classes.get(), Wide(r.key), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              key.put(), nullptr),
              ERROR_SUCCESS);
    const std::u16string value = r.value;
    ASSERT_EQ(
        RegSetValueExW(key.get(), nullptr, 0, r.type, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(char16_t))),
        ERROR_SUCCESS);
  }
  wchar_t systemRoot[MAX_PATH] = {};
  ASSERT_GT(GetEnvironmentVariableW(L"SystemRoot", systemRoot, MAX_PATH), 0u);

  struct Case {
    std::u16string file;
    OpenCommand expected;
  };
  const std::u16string doc = u"C:\\My Docs\\read me.tkdoc";
  const std::u16string sys = u"C:\\My Docs\\notes.TKSYS";
  const Case cases[] = {
      {doc, {u"C:\\Program Files\\Viewer\\view.exe", u"\"C:\\My Docs\\read me.tkdoc\""}},
      {sys, {FromWide(systemRoot) + u"\\system32\\notepad.exe", u"\"C:\\My Docs\\notes.TKSYS\""}},
      {u"C:\\a\\x.tknocommand", {u"C:\\a\\x.tknocommand", u""}},
      {u"C:\\a\\x.tkunknown", {u"C:\\a\\x.tkunknown", u""}},
      {u"C:\\a\\setup.tkdoc.exe", {u"C:\\a\\setup.tkdoc.exe", u""}},
      {u"C:\\a.tkdoc\\README", {u"C:\\a.tkdoc\\README", u""}},
  };
  for (const Case& c : cases) {
    const OpenCommand found = FindOpenCommand(c.file, classes.get());
    EXPECT_EQ(U8(found.program), U8(c.expected.program)) << U8(c.file);
    EXPECT_EQ(U8(found.arguments), U8(c.expected.arguments)) << U8(c.file);
  }
}

// ---- Processes ----------------------------------------------------------------

std::u16string FixturePath() {
  std::u16string folder = platform::GetModulePath();
  folder.resize(folder.rfind(u'\\') + 1);
  return platform::GetFullPath(folder + FromWide(SERVICES_FIXTURE));
}

STARTUPINFOW NormalWindow() {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  return startup;
}

// The fixture copied to "unpacked here\setup program.exe" in a fresh folder,
// with the folder "current folder" to run it in.
class RunProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    temp.MakeFolder(u"unpacked here");
    ASSERT_TRUE(CopyFileW(Wide(FixturePath()), Wide(program), FALSE)) << U8(FixturePath());
  }

  // What the fixture wrote: its current folder and its command line.
  std::pair<std::u16string, std::u16string> Recorded() const {
    const std::string bytes = ReadWholeFile(currentFolder + u"\\result file.txt");
    const std::u16string text(reinterpret_cast<const char16_t*>(bytes.data()),
                              bytes.size() / sizeof(char16_t));
    const std::size_t cut = text.find(u'\n');
    if (cut == std::u16string::npos) return {};
    return {text.substr(0, cut), text.substr(cut + 1)};
  }

  TempFolder temp;
  const std::u16string program = temp.Path(u"unpacked here\\setup program.exe");
  const std::u16string currentFolder = temp.MakeFolder(u"current folder");
  const std::u16string arguments = u"\"result file.txt\" 42";
};

TEST_F(RunProcessTest, QuotesTheProgramGivesTheFolderAndReportsTheExitCode) {
  const std::u16string ownFolder = platform::GetCurrentFolder();
  EXPECT_EQ(RunProcess(program, arguments, currentFolder, NormalWindow(), true), 42u);
  EXPECT_EQ(platform::GetCurrentFolder(), ownFolder) << "our own current folder stays";
  const auto [folder, commandLine] = Recorded();
  EXPECT_EQ(Lower(folder), Lower(currentFolder));
  EXPECT_EQ(commandLine, u"\"" + program + u"\" " + arguments);
}

TEST_F(RunProcessTest, AMissingProgramIsNotStarted) {
  SetLastError(0);
  EXPECT_EQ(RunProcess(temp.Path(u"missing.exe"), u"", currentFolder, NormalWindow(), true),
            std::nullopt);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// What the seam saw of one run.
struct Seen {
  int creations = 0;
  std::u16string desktop = u"(not set)";
  std::vector<std::u16string> elevations;  // program|arguments|folder|show
};

ProcessStart Recording(Seen& seen, GrantStep grantStep) {
  ProcessStart start = SystemProcessStart();
  start.grantDesktop = [grantStep] {
    DesktopGrant grant;
    grant.step = grantStep;
    if (grantStep == GrantStep::kGranted) {
      OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_IMPERSONATE,
                       grant.token.put());
    } else {
      grant.error = ERROR_ACCESS_DENIED;
    }
    return grant;
  };
  start.create = [&seen, create = start.create](std::u16string& commandLine,
                                                const std::u16string& folder, STARTUPINFOW& startup,
                                                PROCESS_INFORMATION& info) {
    ++seen.creations;
    seen.desktop = startup.lpDesktop ? FromWide(startup.lpDesktop) : u"(none)";
    return create(commandLine, folder, startup, info);
  };
  return start;
}

// Whatever step of the desktop grant fails, the program starts, on the
// desktop the caller's start-up record names.
TEST_F(RunProcessTest, StartsWhetherOrNotTheDesktopGrantSucceeds) {
  const GrantStep steps[] = {GrantStep::kGranted, GrantStep::kOpenToken, GrantStep::kOpenDesktop,
                             GrantStep::kDesktopAccess};
  for (const GrantStep step : steps) {
    SCOPED_TRACE(GrantStepName(step));
    Seen seen;
    EXPECT_EQ(
        RunProcess(program, arguments, currentFolder, NormalWindow(), true, Recording(seen, step)),
        42u);
    EXPECT_EQ(seen.creations, 1);
    EXPECT_EQ(U8(seen.desktop), step == GrantStep::kGranted ? "winsta0\\default" : "(none)");
  }
}

// An installer that requires elevation (CreateProcessW fails with
// ERROR_ELEVATION_REQUIRED) is started through the shell and waited for;
// other failures are not.
TEST_F(RunProcessTest, ElevationRequiredGoesThroughTheShell) {
  struct Case {
    const char* what;
    DWORD createError;
    bool elevationStarts;
    std::optional<DWORD> expected;
    DWORD lastError;
  };
  const Case cases[] = {
      {"elevated and waited for", kElevationRequired, true, 42u, 0},
      {"elevation refused", kElevationRequired, false, std::nullopt, ERROR_CANCELLED},
      {"another failure", ERROR_ACCESS_DENIED, true, std::nullopt, ERROR_ACCESS_DENIED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Seen seen;
    ProcessStart start = Recording(seen, GrantStep::kOpenToken);
    start.create = [&c](std::u16string&, const std::u16string&, STARTUPINFOW&,
                        PROCESS_INFORMATION&) {
      SetLastError(c.createError);
      return false;
    };
    start.elevate = [&](const std::u16string& p, const std::u16string& a, const std::u16string& f,
                        int show) -> std::optional<UniqueHandle> {
      seen.elevations.push_back(p + u"|" + a + u"|" + f + u"|" +
                                FromWide(std::to_wstring(show).c_str()));
      if (!c.elevationStarts) {
        SetLastError(ERROR_CANCELLED);
        return std::nullopt;
      }
      // The shell would start the program as given; so does the test.
      std::u16string commandLine = CommandLine(p, a);
      STARTUPINFOW startup = NormalWindow();
      PROCESS_INFORMATION info{};
      if (!SystemProcessStart().create(commandLine, f, startup, info)) return std::nullopt;
      CloseHandle(info.hThread);
      return UniqueHandle(info.hProcess);
    };
    STARTUPINFOW startup = NormalWindow();
    startup.wShowWindow = SW_SHOWMAXIMIZED;
    SetLastError(0);
    EXPECT_EQ(RunProcess(program, arguments, currentFolder, startup, true, start), c.expected);
    if (c.lastError != 0) {
      EXPECT_EQ(GetLastError(), c.lastError);
    }
    if (c.createError == kElevationRequired) {
      ASSERT_EQ(seen.elevations.size(), 1u);
      EXPECT_EQ(U8(seen.elevations[0]),
                U8(program + u"|" + arguments + u"|" + currentFolder + u"|" +
                   FromWide(std::to_wstring(SW_SHOWMAXIMIZED).c_str())));
    } else {
      EXPECT_TRUE(seen.elevations.empty());
    }
  }
}

// Under wine the shell's "runas" starts the program without any prompt, so
// the system's own elevation path can be run to its end here.
TEST_F(RunProcessTest, TheShellsElevationPathGivesAProcessToWaitFor) {
  if (!UnderWine()) GTEST_SKIP() << "on Windows this would ask the user for elevation";
  ProcessStart start = SystemProcessStart();
  start.create = [](std::u16string&, const std::u16string&, STARTUPINFOW&, PROCESS_INFORMATION&) {
    SetLastError(kElevationRequired);
    return false;
  };
  EXPECT_EQ(RunProcess(program, arguments, currentFolder, NormalWindow(), true, start), 42u);
  const auto [folder, commandLine] = Recorded();
  EXPECT_EQ(Lower(folder), Lower(currentFolder));
}

// ---- The desktop grant ---------------------------------------------------------

// The number of entries in the access list of a window station or desktop;
// -1 when it cannot be read.
int EntryCount(HANDLE object) {
  SECURITY_INFORMATION info = DACL_SECURITY_INFORMATION;
  DWORD needed = 0;
  GetUserObjectSecurity(object, &info, nullptr, 0, &needed);
  if (needed == 0) return -1;
  std::vector<std::uint64_t> descriptor((needed + 7) / 8);
  if (!GetUserObjectSecurity(object, &info, descriptor.data(), needed, &needed)) return -1;
  BOOL present = FALSE, defaulted = FALSE;
  ACL* acl = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor.data(), &present, &acl, &defaulted)) return -1;
  return present && acl != nullptr ? acl->AceCount : 0;
}

// A second grant adds nothing: the entries are there already.
TEST(DesktopGrantTest, GrantsOnceAndKeepsTheWindowStation) {
  const HWINSTA before = GetProcessWindowStation();
  const DesktopGrant first = GrantInteractiveDesktop();
  EXPECT_EQ(GetProcessWindowStation(), before);
  if (first.step != GrantStep::kGranted) {
    GTEST_SKIP() << "this system refuses the step \"" << GrantStepName(first.step)
                 << "\" with error " << first.error;
  }
  const platform::win32::UniqueWindowStation station(
      OpenWindowStationW(L"winsta0", FALSE, READ_CONTROL));
  ASSERT_TRUE(station);
  const int stationEntries = EntryCount(station.get());
  const int desktopEntries = EntryCount(GetThreadDesktop(GetCurrentThreadId()));
  EXPECT_EQ(GrantInteractiveDesktop().step, GrantStep::kGranted);
  EXPECT_EQ(GetProcessWindowStation(), before);
  EXPECT_EQ(EntryCount(station.get()), stationEntries);
  EXPECT_EQ(EntryCount(GetThreadDesktop(GetCurrentThreadId())), desktopEntries);
}

// The access list is rewritten only with the entries that the identifier
// lacks, after every entry that was there, so that it does not grow with
// every run. (Wine keeps no access lists on window stations and desktops:
// it reports none and takes a new one without keeping it, so the merge is
// tested on lists of our own.)
TEST(DesktopGrantTest, AddsOnlyTheMissingEntriesAfterTheOldOnes) {
  const auto sid = [](const wchar_t* text) {
    UniqueLocalMemory<void> owned;
    EXPECT_TRUE(ConvertStringSidToSidW(text, owned.put()));
    return owned;
  };
  const UniqueLocalMemory<void> logon = sid(L"S-1-5-5-0-4711");
  const UniqueLocalMemory<void> everyone = sid(L"S-1-1-0");
  constexpr BYTE kInherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE;
  const AccessEntry wanted[] = {{kInherit, 0xF0000000}, {NO_PROPAGATE_INHERIT_ACE, 0x000F037F}};

  struct Held {
    PSID sid;
    BYTE flags;
    ACCESS_MASK mask;
  };
  struct Case {
    const char* what;
    std::vector<Held> old;
    int added;
  };
  const Case cases[] = {
      {"an empty list", {}, 2},
      {"others' entries only",
       {{everyone.get(), kInherit, 0xF0000000}, {everyone.get(), 0, 0x37F}},
       2},
      {"one entry held already", {{everyone.get(), 0, 1}, {logon.get(), kInherit, 0xF0000000}}, 1},
      {"both held, one with more rights",
       {{logon.get(), kInherit, 0xF0000000}, {logon.get(), NO_PROPAGATE_INHERIT_ACE, 0x000FFFFF}},
       0},
      {"rights held with other flags", {{logon.get(), 0, 0xFFFFFFFF}}, 2},
      {"fewer rights than wanted", {{logon.get(), NO_PROPAGATE_INHERIT_ACE, 0x37F}}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    alignas(8) BYTE buffer[1024];
    ACL* old = reinterpret_cast<ACL*>(buffer);
    ASSERT_TRUE(InitializeAcl(old, sizeof(buffer), ACL_REVISION));
    for (const Held& h : c.old) {
      ASSERT_TRUE(AddAccessAllowedAceEx(old, ACL_REVISION, h.flags, h.mask, h.sid));
    }
    const auto merged = WithMissingEntries(old, logon.get(), wanted);
    ASSERT_TRUE(merged.has_value());
    if (c.added == 0) {
      EXPECT_FALSE(*merged) << "nothing to add makes no new list";
      continue;
    }
    ASSERT_TRUE(*merged);
    ACL* acl = merged->get();
    ASSERT_EQ(acl->AceCount, c.old.size() + c.added);
    for (DWORD i = 0; i < old->AceCount; ++i) {
      void* before = nullptr;
      void* after = nullptr;
      ASSERT_TRUE(GetAce(old, i, &before) && GetAce(acl, i, &after));
      const WORD size = static_cast<ACE_HEADER*>(before)->AceSize;
      EXPECT_EQ(std::memcmp(before, after, size), 0) << "entry " << i << " kept in its place";
    }
    // The new list holds every wanted entry: another run adds nothing.
    const auto again = WithMissingEntries(acl, logon.get(), wanted);
    ASSERT_TRUE(again.has_value());
    EXPECT_FALSE(*again);
  }
}

}  // namespace
