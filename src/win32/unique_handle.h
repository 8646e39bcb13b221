// The one way this program owns a Win32 handle: a small move-only owner built from a traits
// type that names the handle type, its "no handle" value and its closer.
#pragma once

#include <windows.h>

#include <utility>

template <typename Traits>
class UniqueAny {
 public:
  using Handle = typename Traits::Handle;

  UniqueAny() noexcept = default;
  explicit UniqueAny(Handle handle) noexcept : handle_(handle) {}
  UniqueAny(UniqueAny&& other) noexcept : handle_(other.release()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other) {
      reset(other.release());
    }
    return *this;
  }
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;
  ~UniqueAny() { reset(); }

  Handle get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != Traits::Invalid(); }

  // Gives the handle up without closing it.
  Handle release() noexcept { return std::exchange(handle_, Traits::Invalid()); }

  void reset(Handle handle = Traits::Invalid()) noexcept {
    const Handle old = std::exchange(handle_, handle);
    if (old != Traits::Invalid()) {
      Traits::Close(old);
    }
  }

  // For an API that returns the handle through a pointer: closes what is held first.
  Handle* put() noexcept {
    reset();
    return &handle_;
  }

 private:
  Handle handle_ = Traits::Invalid();
};

// Process, thread, pipe and event handles: "no handle" is NULL.
struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::CloseHandle(h); }
};

// Files from CreateFileW: "no handle" is INVALID_HANDLE_VALUE.
struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) noexcept { ::CloseHandle(h); }
};

struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) noexcept { ::FindClose(h); }
};

struct RegistryKeyTraits {
  using Handle = HKEY;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::RegCloseKey(h); }
};

struct GdiObjectTraits {
  using Handle = HGDIOBJ;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::DeleteObject(h); }
};

struct IconTraits {
  using Handle = HICON;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::DestroyIcon(h); }
};

// Modules from LoadLibraryExW, data-file loads included.
struct ModuleTraits {
  using Handle = HMODULE;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::FreeLibrary(h); }
};

// A payload from LoadResource: released with FreeResource.
struct LoadedResourceTraits {
  using Handle = HGLOBAL;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::FreeResource(h); }
};

// Memory that the system allocated for the caller, a security descriptor made from SDDL say.
struct LocalMemoryTraits {
  using Handle = HLOCAL;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::LocalFree(h); }
};

// Memory device contexts from CreateCompatibleDC.
struct MemoryDcTraits {
  using Handle = HDC;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::DeleteDC(h); }
};

// Windows made with CreateWindowExW that no parent destroys.
struct WindowTraits {
  using Handle = HWND;
  static Handle Invalid() noexcept { return nullptr; }
  static void Close(Handle h) noexcept { ::DestroyWindow(h); }
};

using UniqueHandle = UniqueAny<KernelHandleTraits>;
using UniqueFile = UniqueAny<FileHandleTraits>;
using UniqueFind = UniqueAny<FindHandleTraits>;
using UniqueKey = UniqueAny<RegistryKeyTraits>;
using UniqueGdiObject = UniqueAny<GdiObjectTraits>;
using UniqueIcon = UniqueAny<IconTraits>;

// A started process: owns both handles of PROCESS_INFORMATION.
struct UniqueProcess {
  UniqueHandle process;
  UniqueHandle thread;

  UniqueProcess() = default;
  explicit UniqueProcess(const PROCESS_INFORMATION& info)
      : process(info.hProcess), thread(info.hThread) {}
};
