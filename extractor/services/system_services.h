// The extractor's system services: folders and paths, the program that
// opens a document, starting a program on the interactive desktop and
// waiting for it, and the registry values that clean up after the next
// log-on. Plain functions without state of their own; none shows anything
// to the user. Any thread may call them; RunProcess switches the process's
// window station for a moment (see GrantInteractiveDesktop), so two threads
// should not start programs at the same time.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <span>
#include <string>

#include "extractor/services/service_rules.h"
#include "platform/win32/unique_handle.h"

namespace extractor::services {

// `path` with every component after the first in the long form that a
// directory search gives (see the rule in service_rules.h); `path` unchanged
// when a component cannot be found.
std::u16string LongPathName(const std::u16string& path);

// True when `path` names an existing folder (or a link to one). Only the
// attributes are asked for: the current folder is never changed.
bool DirectoryExists(const std::u16string& path);

// Deletes everything inside `folder` and never follows a link: 0 when the
// folder is empty at the end, -1 otherwise (platform::DeleteTree).
int DeleteTree(const std::u16string& folder);

// The highest folder on `path` that does not exist yet, or `path` itself
// when it exists (the rule in service_rules.h over DirectoryExists).
std::u16string OutermostNewFolder(const std::u16string& path);

// The program and the arguments that open `file` according to the
// registration of its extension under `classesRoot` (the extension's
// default value names a class whose "shell\open\command" default value is
// the command, split by SplitOpenCommand). `file` itself and empty
// arguments when the file runs by itself or nothing usable is registered.
OpenCommand FindOpenCommand(const std::u16string& file, HKEY classesRoot = HKEY_CLASSES_ROOT);

// CreateProcessW's error for a program whose manifest asks for more rights
// than the caller has (ERROR_ELEVATION_REQUIRED, which the mingw-w64 headers
// lack).
inline constexpr DWORD kElevationRequired = 740;

// What RunProcess returns for a program it started but did not wait for.
inline constexpr DWORD kNotWaitedFor = STILL_ACTIVE;

// The steps that give the logon session of this process's user access to
// the interactive window station "winsta0" and its desktop "default".
enum class GrantStep {
  kGranted,  // every step succeeded
  kOpenToken,
  kOpenWindowStation,
  kSwitchWindowStation,
  kOpenDesktop,
  kRestoreWindowStation,
  kLogonIdentifier,
  kWindowStationAccess,
  kDesktopAccess,
};
const char* GrantStepName(GrantStep step);

// The outcome of the grant: the step that failed and its system error, or
// kGranted with the process's token (for impersonation).
struct DesktopGrant {
  GrantStep step = GrantStep::kOpenToken;
  DWORD error = 0;
  platform::win32::UniqueToken token;
};

// One access-allowed entry: its inheritance flags and its rights.
struct AccessEntry {
  BYTE flags;
  ACCESS_MASK mask;
};

// The access list `old` followed by those of `wanted` that `sid` does not
// hold yet (an access-allowed entry with the same flags and at least the
// rights), every entry of `old` kept in its order. An empty owner when
// nothing is missing; nothing, with the system's last error, when the list
// cannot be built.
std::optional<platform::win32::UniqueLocalMemory<ACL>> WithMissingEntries(
    ACL* old, PSID sid, std::span<const AccessEntry> wanted);

// Adds to the access lists of "winsta0" and of its desktop "default" the
// entries for this process's logon identifier that are not there already
// (on the window station: generic-all, inherited by objects and containers
// only; all window-station rights, not propagated; on the desktop: all
// desktop rights), keeping every entry that is there. A list that grants
// everybody everything (no list at all) is left alone. The process's
// window station is switched to "winsta0" while its desktop is opened and
// put back before returning, on every path.
DesktopGrant GrantInteractiveDesktop();

// How RunProcess starts a program: the seam through which tests take the
// place of the system.
struct ProcessStart {
  // Grants desktop access; RunProcess starts the program on "winsta0\default"
  // only when it returns kGranted.
  std::function<DesktopGrant()> grantDesktop;
  // CreateProcessW without an application name, inheriting no handles,
  // with `currentFolder` as the new process's current folder (the caller's
  // when empty). False with the thread's last error on failure.
  std::function<bool(std::u16string& commandLine, const std::u16string& currentFolder,
                     STARTUPINFOW& startupInfo, PROCESS_INFORMATION& process)>
      create;
  // Starts the program through the shell's elevation (the verb "runas").
  // Nothing, with the thread's last error, when it did not start; an empty
  // handle when it started but the shell gave no process to wait for.
  std::function<std::optional<platform::win32::UniqueHandle>(
      const std::u16string& program, const std::u16string& arguments,
      const std::u16string& currentFolder, int show)>
      elevate;
};

// The system's way: GrantInteractiveDesktop, CreateProcessW, ShellExecuteExW.
ProcessStart SystemProcessStart();

// Starts `program` (quoted on the command line) with `arguments`, in the
// current folder `currentFolder` (the caller's when empty), after granting
// the user's logon session access to the interactive desktop; when that
// grant fails at any step, the program is started all the same, with
// `startupInfo` as given. A program that requires elevation is started
// through the shell's elevation instead. With `wait`, returns only after the
// program has ended.
//
// Returns the program's exit code when it was waited for; kNotWaitedFor
// without `wait` (and when the shell gave no process to wait for); nothing
// when it could not be started, with the system's error as the thread's
// last error.
std::optional<DWORD> RunProcess(const std::u16string& program, const std::u16string& arguments,
                                const std::u16string& currentFolder, STARTUPINFOW startupInfo,
                                bool wait, const ProcessStart& start = SystemProcessStart());

// Writes `text` as a string value below `root`: `keyPathAndName` is the key
// path followed by the value's name. Every missing key on the path is
// created. Failures are ignored.
void SetRunOnceValue(HKEY root, const std::u16string& keyPathAndName, const std::u16string& text);

// Removes the value that `keyPathAndName` names below `root`. Failures are
// ignored.
void DeleteRunOnceValue(HKEY root, const std::u16string& keyPathAndName);

// Whether "CurrentVersion" of the local machine's
// "Software\Microsoft\Windows NT\CurrentVersion" says 6.0 or later; false
// when it cannot be read.
bool IsSystemVersion6OrLater();

// The key below the current user where the compatibility assistant keeps
// the programs it has dealt with.
inline constexpr std::u16string_view kCompatibilityPersistedKey =
    u"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Compatibility "
    u"Assistant\\Persisted";

// Sets the 32-bit number value named `ownPath` to 1 in the key `keyPath`
// below `root` (by default the current user's kCompatibilityPersistedKey),
// creating the key when it is missing. Failures are ignored.
void MarkCompatibilityPersisted(
    const std::u16string& ownPath, HKEY root = HKEY_CURRENT_USER,
    const std::u16string& keyPath = std::u16string(kCompatibilityPersistedKey));

}  // namespace extractor::services
