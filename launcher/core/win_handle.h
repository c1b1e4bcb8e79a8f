// Owners for Windows handles: one template, one traits type per kind of handle, the
// "no handle" value part of the type. Copies are deleted; moves hand ownership over.
#pragma once
#include "launcher/core/windows_api.h"

#include <commctrl.h>

#include <utility>

template <typename Traits>
class CUniqueHandle {
 public:
  using Type = typename Traits::Type;

  CUniqueHandle() noexcept : h_(Traits::Invalid()) {}
  explicit CUniqueHandle(Type h) noexcept : h_(h) {}
  ~CUniqueHandle() { reset(); }
  CUniqueHandle(const CUniqueHandle&) = delete;
  CUniqueHandle& operator=(const CUniqueHandle&) = delete;
  CUniqueHandle(CUniqueHandle&& other) noexcept : h_(other.release()) {}
  CUniqueHandle& operator=(CUniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  Type get() const noexcept { return h_; }
  explicit operator bool() const noexcept { return h_ != Traits::Invalid(); }
  void reset(Type h = Traits::Invalid()) noexcept {
    Type old = std::exchange(h_, h);
    if (old != Traits::Invalid()) Traits::Close(old);
  }
  Type release() noexcept { return std::exchange(h_, Traits::Invalid()); }
  // For out-parameters of creation functions: closes what is held, then exposes the slot.
  Type* put() noexcept {
    reset();
    return &h_;
  }

 private:
  Type h_;
};

void Safe_InternetCloseHandle(void* handle);

namespace handle_traits {
struct File {  // CreateFile: INVALID_HANDLE_VALUE means none
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { CloseHandle(h); }
};
struct Kernel {  // threads, processes, events, mappings: NULL means none
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { CloseHandle(h); }
};
struct Find {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { FindClose(h); }
};
struct RegKey {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { RegCloseKey(h); }
};
struct Internet {
  using Type = HINTERNET;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { InternetCloseHandle(h); }
};
// Internet handles that may hang on a dead connection when closed: the close runs on a
// helper thread with a time limit (launcher/transfer/internet_close_win.cpp).
struct SafeInternet {
  using Type = HINTERNET;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { Safe_InternetCloseHandle(h); }
};
struct GdiObject {
  using Type = HGDIOBJ;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { DeleteObject(h); }
};
struct MemoryDc {  // CreateCompatibleDC
  using Type = HDC;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { DeleteDC(h); }
};
struct ImageList {
  using Type = HIMAGELIST;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { ImageList_Destroy(h); }
};
struct Icon {
  using Type = HICON;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { DestroyIcon(h); }
};
struct MappedView {
  using Type = const void*;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { UnmapViewOfFile(h); }
};
struct Module {
  using Type = HMODULE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { FreeLibrary(h); }
};
}  // namespace handle_traits

using CFileHandle = CUniqueHandle<handle_traits::File>;
using CKernelHandle = CUniqueHandle<handle_traits::Kernel>;
using CFindHandle = CUniqueHandle<handle_traits::Find>;
using CRegKey = CUniqueHandle<handle_traits::RegKey>;
using CInternetHandle = CUniqueHandle<handle_traits::Internet>;
using CSafeInternetHandle = CUniqueHandle<handle_traits::SafeInternet>;
using CGdiObject = CUniqueHandle<handle_traits::GdiObject>;
using CMemoryDc = CUniqueHandle<handle_traits::MemoryDc>;
using CImageList = CUniqueHandle<handle_traits::ImageList>;
using CIcon = CUniqueHandle<handle_traits::Icon>;
using CMappedView = CUniqueHandle<handle_traits::MappedView>;
using CModule = CUniqueHandle<handle_traits::Module>;

// A window's device context (GetDC, or GetWindowDC for the whole window with its frame),
// released to that window.
class CWindowDc {
 public:
  explicit CWindowDc(HWND window, bool wholeWindow = false)
      : window_(window), dc_(wholeWindow ? GetWindowDC(window) : GetDC(window)) {}
  ~CWindowDc() {
    if (dc_ != nullptr) ReleaseDC(window_, dc_);
  }
  CWindowDc(const CWindowDc&) = delete;
  CWindowDc& operator=(const CWindowDc&) = delete;
  HDC get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
};

// One WM_PAINT: BeginPaint on construction, EndPaint when it goes.
class CPaintDc {
 public:
  explicit CPaintDc(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
  ~CPaintDc() { EndPaint(window_, &paint_); }
  CPaintDc(const CPaintDc&) = delete;
  CPaintDc& operator=(const CPaintDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_ = {};
  HDC dc_;
};

// Releases a COM interface when it goes.
template <typename T>
class CComPtr {
 public:
  CComPtr() = default;
  ~CComPtr() {
    if (p_ != nullptr) p_->Release();
  }
  CComPtr(const CComPtr&) = delete;
  CComPtr& operator=(const CComPtr&) = delete;
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For the out parameter of CoCreateInstance and QueryInterface; the owner must be empty.
  void** put() { return reinterpret_cast<void**>(&p_); }

 private:
  T* p_ = nullptr;
};

// Balances a successful CoInitializeEx / OleInitialize on this thread.
class CComScope {
 public:
  explicit CComScope(bool ole = false);
  ~CComScope();
  CComScope(const CComScope&) = delete;
  CComScope& operator=(const CComScope&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ole_;
  bool ok_;
};

inline CComScope::CComScope(bool ole)
    : ole_(ole),
      ok_(SUCCEEDED(ole ? OleInitialize(nullptr) : CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
inline CComScope::~CComScope() {
  if (!ok_) return;
  if (ole_) OleUninitialize(); else CoUninitialize();
}
