#pragma once

// Owners for the system's handles and COM objects: each releases what it holds
// exactly once, when it goes out of scope.

#include <windows.h>
// After windows.h, which it builds on.
#include <oleauto.h>

#include <cstdint>
#include <utility>

namespace tavrolin::win32 {

// Owns one handle of a kind that `Close` releases. `Null` is the kind's "no
// handle" value (-1, INVALID_HANDLE_VALUE, for files; 0 for most others).
template <typename T, auto Close, std::intptr_t Null = 0>
class UniqueOf {
 public:
  UniqueOf() = default;
  explicit UniqueOf(T value) : value_(value) {}
  UniqueOf(UniqueOf&& other) noexcept : value_(std::exchange(other.value_, null())) {}
  UniqueOf& operator=(UniqueOf&& other) noexcept {
    if (this != &other) reset(std::exchange(other.value_, null()));
    return *this;
  }
  UniqueOf(const UniqueOf&) = delete;
  UniqueOf& operator=(const UniqueOf&) = delete;
  ~UniqueOf() { reset(); }

  T get() const { return value_; }
  explicit operator bool() const { return value_ != null(); }
  T release() { return std::exchange(value_, null()); }
  void reset(T value = null()) {
    if (value_ != null()) Close(value_);
    value_ = value;
  }

 private:
  static T null() { return reinterpret_cast<T>(Null); }
  T value_ = null();
};

namespace detail {
inline void CloseKernelHandle(HANDLE handle) {
  ::CloseHandle(handle);
}
inline void DestroyMenuHandle(HMENU menu) {
  ::DestroyMenu(menu);
}
inline void DestroyIconHandle(HICON icon) {
  ::DestroyIcon(icon);
}
inline void DestroyWindowHandle(HWND window) {
  ::DestroyWindow(window);
}
}  // namespace detail

using UniqueHandle = UniqueOf<HANDLE, detail::CloseKernelHandle>;
using UniqueFile = UniqueOf<HANDLE, detail::CloseKernelHandle, -1>;  // INVALID_HANDLE_VALUE
using UniqueMenu = UniqueOf<HMENU, detail::DestroyMenuHandle>;
using UniqueIcon = UniqueOf<HICON, detail::DestroyIconHandle>;

// A counted reference to a COM object.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      ptr_ = std::exchange(other.ptr_, nullptr);
    }
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() { reset(); }

  T* get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }
  // For calls that hand out a new reference; whatever was held is released.
  T** put() {
    reset();
    return &ptr_;
  }
  void** putVoid() { return reinterpret_cast<void**>(put()); }
  void reset() {
    if (ptr_ != nullptr) std::exchange(ptr_, nullptr)->Release();
  }

 private:
  T* ptr_ = nullptr;
};

// A BSTR that this program allocated.
class Bstr {
 public:
  explicit Bstr(const wchar_t* text) : value_(::SysAllocString(text)) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { ::SysFreeString(value_); }
  BSTR get() const { return value_; }
  explicit operator bool() const { return value_ != nullptr; }

 private:
  BSTR value_;
};

// A VARIANT that is cleared (and whatever it holds released) at scope end.
class Variant {
 public:
  Variant() { ::VariantInit(&value_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { ::VariantClear(&value_); }
  VARIANT* get() { return &value_; }
  // Clears it for reuse as an out-value.
  VARIANT* put() {
    ::VariantClear(&value_);
    return &value_;
  }
  const VARIANT& operator*() const { return value_; }

 private:
  VARIANT value_;
};

// COM for the calling thread, apartment-threaded: a GUI thread's model, and
// the one in which the WMI scripting objects answer fastest.
class ComApartment {
 public:
  ComApartment() : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }
  HRESULT result() const { return result_; }

 private:
  HRESULT result_;
};

}  // namespace tavrolin::win32
