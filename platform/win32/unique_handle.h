// The owners of the handles and memory blocks that the system hands out, one
// type per kind (see unique_any.h for what every owner does). The GDI owners
// are in unique_gdi.h, the GDI+ session in gdiplus_session.h.
//
// Linking: the registry, token, window-station and desktop owners need only
// the default libraries; UniqueCoTaskMemory needs ole32.
#pragma once

#include <windows.h>

#include <objbase.h>

#include <cstdint>

#include "platform/win32/unique_any.h"

namespace platform::win32 {

namespace detail {

inline constexpr std::uintptr_t kInvalidHandleValue = static_cast<std::uintptr_t>(-1);

// The negative handle values are the pseudo-handles of the current process
// (-1), the current thread (-2) and their tokens (-4 to -6): they stand for
// the caller itself and are never closed. Real handles are small positive
// numbers.
inline void CloseKernelHandle(HANDLE handle) noexcept {
  if (reinterpret_cast<std::intptr_t>(handle) > 0) CloseHandle(handle);
}

inline void DiscardResourceUpdate(HANDLE update) noexcept { EndUpdateResourceW(update, TRUE); }

}  // namespace detail

// Processes, threads, events, mutexes and the other kernel objects whose
// functions report "no handle" as NULL: OpenProcess, CreateEventW,
// CreateProcessW's handles. GetCurrentProcess() is a handle here, not "no
// handle", and it is never closed.
using UniqueHandle = UniqueAny<HANDLE, &detail::CloseKernelHandle>;

// Access tokens (OpenProcessToken, DuplicateTokenEx): kernel handles, NULL
// when there is none.
using UniqueToken = UniqueHandle;

// Files, folders and devices from CreateFileW, which reports failure as
// INVALID_HANDLE_VALUE.
using UniqueFileHandle = UniqueAny<HANDLE, &CloseHandle, detail::kInvalidHandleValue>;

// Directory searches from FindFirstFileW (INVALID_HANDLE_VALUE on failure).
using UniqueFindHandle = UniqueAny<HANDLE, &FindClose, detail::kInvalidHandleValue>;

// Modules from LoadLibraryExW, as a program or as a data file.
using UniqueModule = UniqueAny<HMODULE, &FreeLibrary>;

// Registry keys opened or created by this program. The predefined keys
// (HKEY_LOCAL_MACHINE, ...) are not given to an owner.
using UniqueRegistryKey = UniqueAny<HKEY, &RegCloseKey>;

// Window stations and desktops from OpenWindowStationW, CreateDesktopW,
// OpenDesktopW. The handles of GetProcessWindowStation and GetThreadDesktop
// belong to the system and are not given to an owner.
using UniqueWindowStation = UniqueAny<HWINSTA, &CloseWindowStation>;
using UniqueDesktop = UniqueAny<HDESK, &CloseDesktop>;

// Memory that the system allocated with LocalAlloc for the caller
// (FormatMessageW with FORMAT_MESSAGE_ALLOCATE_BUFFER, the security
// descriptor functions), seen as a T*.
template <typename T = void>
using UniqueLocalMemory = UniqueAny<T*, &LocalFree>;

// Memory from CoTaskMemAlloc (SHGetKnownFolderPath, the COM functions that
// return text), seen as a T*.
template <typename T = void>
using UniqueCoTaskMemory = UniqueAny<T*, &CoTaskMemFree>;

// Global memory from GlobalAlloc (clipboard data, streams on global memory).
using UniqueGlobalMemory = UniqueAny<HGLOBAL, &GlobalFree>;

// A resource update from BeginUpdateResourceW. Nothing reaches the file
// until Commit(); an update that is destroyed or reset uncommitted is
// discarded (EndUpdateResourceW with fDiscard), so an early return never
// writes half of a change.
class UniqueResourceUpdate : private UniqueAny<HANDLE, &detail::DiscardResourceUpdate> {
  using Base = UniqueAny<HANDLE, &detail::DiscardResourceUpdate>;

 public:
  using Base::Base;
  using Base::operator bool;
  using Base::get;
  using Base::reset;

  // Writes the changes to the file and ends the update. False when there
  // is no update or the system refused (its last error is left); the owner
  // is empty afterwards either way.
  bool Commit() noexcept {
    if (!*this) return false;
    return EndUpdateResourceW(release(), FALSE) != 0;
  }
};

}  // namespace platform::win32
