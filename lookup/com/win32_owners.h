// One owner for every Win32 resource: a template over the handle's type and the function that
// closes it, so that each kind of resource is a one-line alias.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

namespace quillmark {

// Whether a handle holds a resource: anything but the type's empty value (nullptr, "").
template <typename Handle>
bool HoldsResource(const Handle& handle) noexcept {
  return handle != Handle{};
}

// Kernel calls fail with nullptr or with INVALID_HANDLE_VALUE, depending on the call.
inline bool HoldsKernelHandle(HANDLE handle) noexcept {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

// Owns one resource and closes it with `Close` when it goes, unless `Holds` says it is none.
// Move-only; a moved-from owner holds nothing.
template <typename Handle, auto Close, auto Holds = &HoldsResource<Handle>>
class UniqueAny {
 public:
  UniqueAny() noexcept = default;
  explicit UniqueAny(Handle handle) noexcept : handle_(std::move(handle)) {}
  UniqueAny(UniqueAny&& other) noexcept : handle_(other.release()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;
  ~UniqueAny() { reset(); }

  const Handle& get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return Holds(handle_); }
  // Closes the current resource and takes `handle` in its place.
  void reset(Handle handle = Handle{}) noexcept {
    if (Holds(handle_)) Close(handle_);
    handle_ = std::move(handle);
  }
  Handle release() noexcept { return std::exchange(handle_, Handle{}); }
  // Closes the current resource and returns the address for a callee to fill.
  Handle* put() noexcept {
    reset();
    return &handle_;
  }

 private:
  Handle handle_{};
};

// The close functions, each with the one parameter that UniqueAny passes.
namespace owner_close {
inline void KernelHandle(HANDLE handle) noexcept { CloseHandle(handle); }
inline void GdiObject(HGDIOBJ object) noexcept { DeleteObject(object); }
inline void MemoryDc(HDC context) noexcept { DeleteDC(context); }
inline void ScreenDc(HDC context) noexcept { ReleaseDC(nullptr, context); }
inline void Icon(HICON icon) noexcept { DestroyIcon(icon); }
inline void Window(HWND window) noexcept { DestroyWindow(window); }
inline void LocalMemory(void* memory) noexcept { LocalFree(memory); }
inline void Module(HMODULE module) noexcept { FreeLibrary(module); }
inline void FileAtPath(const std::wstring& path) noexcept { DeleteFileW(path.c_str()); }
}  // namespace owner_close

// Kernel objects: events, files, pipes, processes, threads, snapshots.
using UniqueHandle = UniqueAny<HANDLE, owner_close::KernelHandle, HoldsKernelHandle>;
using UniqueEvent = UniqueHandle;
using UniqueFile = UniqueHandle;
using UniqueProcess = UniqueHandle;
using UniqueThread = UniqueHandle;
// GDI objects and device contexts.
using UniqueFont = UniqueAny<HFONT, owner_close::GdiObject>;
using UniqueBitmap = UniqueAny<HBITMAP, owner_close::GdiObject>;
using UniqueBrush = UniqueAny<HBRUSH, owner_close::GdiObject>;
using UniqueMemoryDc = UniqueAny<HDC, owner_close::MemoryDc>;  // CreateCompatibleDC
using UniqueScreenDc = UniqueAny<HDC, owner_close::ScreenDc>;  // GetDC(nullptr)
using UniqueIcon = UniqueAny<HICON, owner_close::Icon>;
// A window of the calling thread's own (DestroyWindow works on those alone).
using UniqueWindow = UniqueAny<HWND, owner_close::Window>;
// Text that the system allocated with LocalAlloc (FormatMessage's buffers).
using UniqueLocalText = UniqueAny<wchar_t*, owner_close::LocalMemory>;
// A loaded module (LoadLibraryEx).
using UniqueModule = UniqueAny<HMODULE, owner_close::Module>;
// A file known by its path, deleted when its owner goes: temporary files.
using UniqueTempFile = UniqueAny<std::wstring, owner_close::FileAtPath>;

// A new empty file of its own in the temporary folder, named with the prefix (up to three letters);
// an empty owner when the folder or the name cannot be had.
inline UniqueTempFile NewTempFile(const wchar_t* prefix) {
  std::wstring folder(MAX_PATH + 1, L'\0');
  const DWORD length = GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
  if (length == 0 || length >= folder.size()) return {};
  folder.resize(length);
  std::wstring path(folder.size() + MAX_PATH + 1, L'\0');
  if (GetTempFileNameW(folder.c_str(), prefix, 0, path.data()) == 0) return {};
  path.resize(path.find(L'\0'));
  return UniqueTempFile(std::move(path));
}

}  // namespace quillmark
