// Starting a program on the interactive desktop and waiting for it.
#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "extractor/services/system_services.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

namespace extractor::services {
namespace {

using platform::win32::UniqueDesktop;
using platform::win32::UniqueHandle;
using platform::win32::UniqueLocalMemory;
using platform::win32::UniqueToken;
using platform::win32::UniqueWindowStation;
using platform::win32::Wide;

// On the window station: everything for the objects created in it
// (generic read, write, execute and all), and all window-station rights
// with the standard required rights on the station itself.
constexpr AccessEntry kWindowStationEntries[] = {
    {OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE, 0xF0000000},
    {NO_PROPAGATE_INHERIT_ACE, 0x000F037F},
};
// On the desktop: all desktop rights with the standard required rights.
constexpr AccessEntry kDesktopEntries[] = {{0, 0x000F01FF}};

bool Holds(ACL* acl, PSID sid, const AccessEntry& wanted) {
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(acl, i, &ace)) continue;
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || header->AceFlags != wanted.flags) continue;
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    if ((allowed->Mask & wanted.mask) == wanted.mask &&
        EqualSid(reinterpret_cast<PSID>(&allowed->SidStart), sid)) {
      return true;
    }
  }
  return false;
}

// Rewrites the access list of a window station or desktop with the
// entries of `wanted` that `sid` lacks. False, with the last error, when
// the list cannot be read or written.
bool GrantAccess(HANDLE object, PSID sid, std::span<const AccessEntry> wanted) {
  SECURITY_INFORMATION info = DACL_SECURITY_INFORMATION;
  DWORD needed = 0;
  GetUserObjectSecurity(object, &info, nullptr, 0, &needed);
  if (needed == 0) return false;
  std::vector<std::uint64_t> descriptor((needed + 7) / 8);  // aligned for the structures in it
  if (!GetUserObjectSecurity(object, &info, descriptor.data(), needed, &needed)) return false;
  BOOL present = FALSE, defaulted = FALSE;
  ACL* old = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor.data(), &present, &old, &defaulted)) return false;
  // No list at all lets everybody in: there is nothing to add, and a list
  // with our entries alone would shut everybody else out.
  if (!present || old == nullptr) return true;
  const std::optional<UniqueLocalMemory<ACL>> acl = WithMissingEntries(old, sid, wanted);
  if (!acl) return false;
  if (!*acl) return true;
  SECURITY_DESCRIPTOR updated;
  if (!InitializeSecurityDescriptor(&updated, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&updated, TRUE, acl->get(), FALSE)) {
    return false;
  }
  return SetUserObjectSecurity(object, &info, &updated) != 0;
}

DesktopGrant Failed(GrantStep step, DWORD error = GetLastError()) {
  DesktopGrant grant;
  grant.step = step;
  grant.error = error;
  return grant;
}

bool CreateDirectly(std::u16string& commandLine, const std::u16string& currentFolder,
                    STARTUPINFOW& startupInfo, PROCESS_INFORMATION& process) {
  return CreateProcessW(nullptr, platform::win32::Wide(commandLine.data()), nullptr, nullptr, FALSE,
                        0, nullptr, currentFolder.empty() ? nullptr : Wide(currentFolder),
                        &startupInfo, &process) != 0;
}

std::optional<UniqueHandle> ElevateThroughShell(const std::u16string& program,
                                                const std::u16string& arguments,
                                                const std::u16string& currentFolder, int show) {
  SHELLEXECUTEINFOW execute{};
  execute.cbSize = sizeof(execute);
  // No message of the shell's own: the services show nothing.
  execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  execute.lpVerb = L"runas";
  execute.lpFile = Wide(program);
  execute.lpParameters = arguments.empty() ? nullptr : Wide(arguments);
  execute.lpDirectory = currentFolder.empty() ? nullptr : Wide(currentFolder);
  execute.nShow = show;
  if (!ShellExecuteExW(&execute)) return std::nullopt;
  return UniqueHandle(execute.hProcess);
}

}  // namespace

std::optional<UniqueLocalMemory<ACL>> WithMissingEntries(ACL* old, PSID sid,
                                                         std::span<const AccessEntry> wanted) {
  std::vector<AccessEntry> missing;
  for (const AccessEntry& entry : wanted) {
    if (!Holds(old, sid, entry)) missing.push_back(entry);
  }
  if (missing.empty()) return UniqueLocalMemory<ACL>();

  ACL_SIZE_INFORMATION sizes{};
  if (!GetAclInformation(old, &sizes, sizeof(sizes), AclSizeInformation)) return std::nullopt;
  const DWORD entrySize = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sid);
  const DWORD size = sizes.AclBytesInUse + static_cast<DWORD>(missing.size()) * entrySize;
  const DWORD revision = std::max<DWORD>(old->AclRevision, ACL_REVISION);
  UniqueLocalMemory<ACL> acl(static_cast<ACL*>(LocalAlloc(LPTR, size)));
  if (!acl || !InitializeAcl(acl.get(), size, revision)) return std::nullopt;
  for (DWORD i = 0; i < old->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(old, i, &ace) ||
        !AddAce(acl.get(), revision, MAXDWORD, ace, static_cast<ACE_HEADER*>(ace)->AceSize)) {
      return std::nullopt;
    }
  }
  for (const AccessEntry& entry : missing) {
    if (!AddAccessAllowedAceEx(acl.get(), revision, entry.flags, entry.mask, sid)) {
      return std::nullopt;
    }
  }
  return acl;
}

const char* GrantStepName(GrantStep step) {
  switch (step) {
    case GrantStep::kGranted: return "granted";
    case GrantStep::kOpenToken: return "open the process token";
    case GrantStep::kOpenWindowStation: return "open the window station winsta0";
    case GrantStep::kSwitchWindowStation: return "make winsta0 the process window station";
    case GrantStep::kOpenDesktop: return "open the desktop default";
    case GrantStep::kRestoreWindowStation: return "put the process window station back";
    case GrantStep::kLogonIdentifier: return "find the logon identifier in the token";
    case GrantStep::kWindowStationAccess: return "rewrite the window station's access list";
    case GrantStep::kDesktopAccess: return "rewrite the desktop's access list";
  }
  return "?";
}

DesktopGrant GrantInteractiveDesktop() {
  UniqueToken token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_IMPERSONATE,
                        token.put())) {
    return Failed(GrantStep::kOpenToken);
  }

  // A desktop is opened in the process's window station, so "winsta0" is
  // made that for as long as it takes. The previous one belongs to the
  // system and is not closed.
  const HWINSTA previous = GetProcessWindowStation();
  const UniqueWindowStation station(
      OpenWindowStationW(L"winsta0", FALSE, READ_CONTROL | WRITE_DAC));
  if (!station) return Failed(GrantStep::kOpenWindowStation);
  if (!SetProcessWindowStation(station.get())) return Failed(GrantStep::kSwitchWindowStation);
  const UniqueDesktop desktop(OpenDesktopW(
      L"default", 0, FALSE, READ_CONTROL | WRITE_DAC | DESKTOP_READOBJECTS | DESKTOP_WRITEOBJECTS));
  const DWORD desktopError = GetLastError();
  const bool restored = previous != nullptr && SetProcessWindowStation(previous);
  const DWORD restoreError = GetLastError();
  if (!desktop) return Failed(GrantStep::kOpenDesktop, desktopError);
  if (!restored) return Failed(GrantStep::kRestoreWindowStation, restoreError);

  DWORD size = 0;
  GetTokenInformation(token.get(), TokenGroups, nullptr, 0, &size);
  if (size == 0) return Failed(GrantStep::kLogonIdentifier);
  std::vector<std::uint64_t> buffer((size + 7) / 8);
  if (!GetTokenInformation(token.get(), TokenGroups, buffer.data(), size, &size)) {
    return Failed(GrantStep::kLogonIdentifier);
  }
  const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
  PSID logon = nullptr;
  for (DWORD i = 0; i < groups->GroupCount && logon == nullptr; ++i) {
    if ((groups->Groups[i].Attributes & SE_GROUP_LOGON_ID) == SE_GROUP_LOGON_ID) {
      logon = groups->Groups[i].Sid;
    }
  }
  if (logon == nullptr) return Failed(GrantStep::kLogonIdentifier, ERROR_NO_SUCH_GROUP);

  if (!GrantAccess(station.get(), logon, kWindowStationEntries)) {
    return Failed(GrantStep::kWindowStationAccess);
  }
  if (!GrantAccess(desktop.get(), logon, kDesktopEntries)) {
    return Failed(GrantStep::kDesktopAccess);
  }
  DesktopGrant grant;
  grant.step = GrantStep::kGranted;
  grant.token = std::move(token);
  return grant;
}

ProcessStart SystemProcessStart() {
  return ProcessStart{&GrantInteractiveDesktop, &CreateDirectly, &ElevateThroughShell};
}

std::optional<DWORD> RunProcess(const std::u16string& program, const std::u16string& arguments,
                                const std::u16string& currentFolder, STARTUPINFOW startupInfo,
                                bool wait, const ProcessStart& start) {
  if (!start.create) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return std::nullopt;
  }
  std::u16string commandLine = CommandLine(program, arguments);

  // A failed grant never keeps the program from starting: it then starts on
  // whatever desktop the caller's start-up record names.
  DesktopGrant grant;
  if (start.grantDesktop) grant = start.grantDesktop();
  wchar_t interactiveDesktop[] = L"winsta0\\default";
  bool impersonating = false;
  if (grant.step == GrantStep::kGranted) {
    startupInfo.lpDesktop = interactiveDesktop;
    impersonating = ImpersonateLoggedOnUser(grant.token.get()) != 0;
  }
  PROCESS_INFORMATION info{};
  const bool created = start.create(commandLine, currentFolder, startupInfo, info);
  const DWORD createError = GetLastError();
  if (impersonating) RevertToSelf();
  UniqueHandle process(created ? info.hProcess : nullptr);
  const UniqueHandle thread(created ? info.hThread : nullptr);

  if (!created) {
    if (createError != kElevationRequired || !start.elevate) {
      SetLastError(createError);
      return std::nullopt;
    }
    const int show =
        (startupInfo.dwFlags & STARTF_USESHOWWINDOW) ? startupInfo.wShowWindow : SW_SHOWNORMAL;
    std::optional<UniqueHandle> elevated = start.elevate(program, arguments, currentFolder, show);
    if (!elevated) return std::nullopt;
    process = std::move(*elevated);
  }
  if (!wait || !process) return kNotWaitedFor;
  if (WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0) return kNotWaitedFor;
  DWORD exitCode = kNotWaitedFor;
  GetExitCodeProcess(process.get(), &exitCode);
  return exitCode;
}

}  // namespace extractor::services
