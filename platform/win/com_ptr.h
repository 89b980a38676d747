#pragma once
// Owners of the COM and OLE Automation resources the WMI back end holds: an interface
// reference, a BSTR and a VARIANT. Each releases exactly what it holds, once.
#include <oleauto.h>
#include <unknwn.h>

#include <utility>

template <typename T>
class CComRef {
 public:
  CComRef() = default;
  ~CComRef() { Reset(); }
  CComRef(CComRef&& other) noexcept : m_ptr(std::exchange(other.m_ptr, nullptr)) {}
  CComRef& operator=(CComRef&& other) noexcept {
    if (this != &other) {
      Reset();
      m_ptr = std::exchange(other.m_ptr, nullptr);
    }
    return *this;
  }
  CComRef(const CComRef&) = delete;
  CComRef& operator=(const CComRef&) = delete;

  T* Get() const { return m_ptr; }
  T* operator->() const { return m_ptr; }
  explicit operator bool() const { return m_ptr != nullptr; }
  // For out-parameters: releases what is held and hands over the empty slot.
  T** Put() {
    Reset();
    return &m_ptr;
  }
  void Reset() {
    if (m_ptr)
      m_ptr->Release();
    m_ptr = nullptr;
  }

 private:
  T* m_ptr = nullptr;
};

class CBstr {
 public:
  explicit CBstr(const wchar_t* text) : m_bstr(::SysAllocString(text)) {}
  ~CBstr() { ::SysFreeString(m_bstr); }
  CBstr(const CBstr&) = delete;
  CBstr& operator=(const CBstr&) = delete;
  BSTR Get() const { return m_bstr; }
  explicit operator bool() const { return m_bstr != nullptr; }

 private:
  BSTR m_bstr;
};

class CVariant {
 public:
  CVariant() { ::VariantInit(&m_variant); }
  ~CVariant() { ::VariantClear(&m_variant); }
  CVariant(const CVariant&) = delete;
  CVariant& operator=(const CVariant&) = delete;
  VARIANT* Get() { return &m_variant; }
  const VARIANT& operator*() const { return m_variant; }

 private:
  VARIANT m_variant;
};
