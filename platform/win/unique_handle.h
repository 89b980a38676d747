#pragma once
// Owners of Win32 handles, each defined by its empty value so that exactly what is open is
// closed.
#include <windows.h>

#include <utility>

template <typename Traits>
class CUniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  CUniqueHandle() = default;
  explicit CUniqueHandle(Handle handle) : m_handle(handle) {}
  ~CUniqueHandle() { Reset(); }
  CUniqueHandle(CUniqueHandle&& other) noexcept : m_handle(other.Release()) {}
  CUniqueHandle& operator=(CUniqueHandle&& other) noexcept {
    if (this != &other)
      Reset(other.Release());
    return *this;
  }
  CUniqueHandle(const CUniqueHandle&) = delete;
  CUniqueHandle& operator=(const CUniqueHandle&) = delete;

  Handle Get() const { return m_handle; }
  explicit operator bool() const { return m_handle != Traits::Empty(); }
  Handle Release() { return std::exchange(m_handle, Traits::Empty()); }
  void Reset(Handle handle = Traits::Empty()) {
    if (m_handle != Traits::Empty())
      Traits::Close(m_handle);
    m_handle = handle;
  }

 private:
  Handle m_handle = Traits::Empty();
};

struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Empty() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::CloseHandle(h); }
};
struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Empty() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::FindClose(h); }
};
struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Empty() { return nullptr; }
  static void Close(Handle h) { ::CloseHandle(h); }
};
struct ServiceHandleTraits {
  using Handle = SC_HANDLE;
  static Handle Empty() { return nullptr; }
  static void Close(Handle h) { ::CloseServiceHandle(h); }
};

// Files and devices: the empty value is INVALID_HANDLE_VALUE.
using CUniqueFile = CUniqueHandle<FileHandleTraits>;
using CUniqueFind = CUniqueHandle<FindHandleTraits>;
// Threads, processes, tokens: the empty value is null.
using CUniqueKernelHandle = CUniqueHandle<KernelHandleTraits>;
using CUniqueServiceHandle = CUniqueHandle<ServiceHandleTraits>;
