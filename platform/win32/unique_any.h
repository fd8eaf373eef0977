// UniqueAny: the owner of one Win32 handle, made from three things: the
// handle's type, the function that closes it, and the handle's own value for
// "no handle". Kinds differ in that last one (a file is empty at
// INVALID_HANDLE_VALUE, a process at NULL), so every kind gets its owner
// type and `if (!owner)` always means "no handle".
//
// Closing never changes the calling thread's last error: the owner saves it
// before it calls the close function and puts it back afterwards. Code that
// reports a failure may read GetLastError() after an owner went out of
// scope, and an early return never reports the close's error instead of
// the one that made it return.
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>
#include <utility>

namespace platform::win32 {

// Puts the thread's last error back at the end of a scope.
class LastErrorKeeper {
 public:
  LastErrorKeeper() noexcept : error_(GetLastError()) {}
  ~LastErrorKeeper() { SetLastError(error_); }
  LastErrorKeeper(const LastErrorKeeper&) = delete;
  LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

 private:
  DWORD error_;
};

// `Close` is called with the handle; what it returns is ignored. `EmptyValue`
// is the kind's "no handle" as an integer (INVALID_HANDLE_VALUE is not a
// constant expression), converted to Handle when it is used.
template <typename Handle, auto Close, std::uintptr_t EmptyValue = 0>
class UniqueAny {
 public:
  using pointer = Handle;

  static Handle Empty() noexcept {
    if constexpr (std::is_pointer_v<Handle>) {
      return reinterpret_cast<Handle>(EmptyValue);
    } else {
      return static_cast<Handle>(EmptyValue);
    }
  }

  UniqueAny() noexcept = default;
  explicit UniqueAny(Handle handle) noexcept : handle_(handle) {}
  UniqueAny(UniqueAny&& other) noexcept : handle_(other.release()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;
  ~UniqueAny() { reset(); }

  // True when the owner holds a handle.
  explicit operator bool() const noexcept { return handle_ != Empty(); }

  Handle get() const noexcept { return handle_; }

  // Gives the handle up without closing it; the owner is empty afterwards.
  [[nodiscard]] Handle release() noexcept { return std::exchange(handle_, Empty()); }

  // Closes the handle held, if any, and takes `handle`.
  void reset(Handle handle = Empty()) noexcept {
    const Handle old = std::exchange(handle_, handle);
    if (old != Empty()) {
      const LastErrorKeeper keep;
      Close(old);
    }
  }

  // Closes the handle held and hands out the place for a new one, for the
  // functions that return a handle through a pointer (RegOpenKeyExW).
  Handle* put() noexcept {
    reset();
    return &handle_;
  }

 private:
  Handle handle_ = Empty();
};

}  // namespace platform::win32
