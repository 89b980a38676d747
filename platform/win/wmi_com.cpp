// The WMI object model over real COM/WMI. The calling thread has initialised COM; nothing here
// sets security blankets or process-wide COM security, so every call runs with the defaults.
#include "platform/win/wmi_com.h"

#include <wbemidl.h>

#include <cstring>

#include "platform/win/com_ptr.h"

namespace {

// Integer VARIANTs of every width arrive as one 32-bit value; the provider's declared CIM type
// is not the caller's business.
bool IntegerFromVariant(const VARIANT& variant, int32_t& value) {
  switch (variant.vt) {
    case VT_I1:
      value = variant.cVal;
      return true;
    case VT_UI1:
      value = variant.bVal;
      return true;
    case VT_I2:
      value = variant.iVal;
      return true;
    case VT_UI2:
      value = variant.uiVal;
      return true;
    case VT_I4:
      value = variant.lVal;
      return true;
    case VT_UI4:
      value = static_cast<int32_t>(variant.ulVal);
      return true;
    case VT_INT:
      value = variant.intVal;
      return true;
    case VT_UINT:
      value = static_cast<int32_t>(variant.uintVal);
      return true;
    default:
      return false;
  }
}

bool BytesFromSafeArray(SAFEARRAY* array, std::vector<uint8_t>& bytes) {
  LONG lower = 0;
  LONG upper = -1;
  if (::SafeArrayGetDim(array) != 1 || FAILED(::SafeArrayGetLBound(array, 1, &lower)) ||
      FAILED(::SafeArrayGetUBound(array, 1, &upper))) {
    return false;
  }
  void* data = nullptr;
  if (FAILED(::SafeArrayAccessData(array, &data)))
    return false;
  const size_t count = upper >= lower ? size_t(upper) - size_t(lower) + 1 : 0;
  const auto* first = static_cast<const uint8_t*>(data);
  bytes.assign(first, first + count);
  ::SafeArrayUnaccessData(array);
  return true;
}

// A one-dimensional byte array, lower bound 0; null when it cannot be made.
SAFEARRAY* SafeArrayFromBytes(const std::vector<uint8_t>& bytes) {
  SAFEARRAY* array = ::SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  if (!array)
    return nullptr;
  void* data = nullptr;
  if (FAILED(::SafeArrayAccessData(array, &data))) {
    ::SafeArrayDestroy(array);
    return nullptr;
  }
  if (!bytes.empty())
    std::memcpy(data, bytes.data(), bytes.size());
  ::SafeArrayUnaccessData(array);
  return array;
}

}  // namespace

WmiValue WmiValueFromVariant(const VARIANT& variant) {
  WmiValue value;
  if (variant.vt == VT_EMPTY)
    return value;
  if (variant.vt == VT_NULL)
    return WmiValue::Null();
  if (IntegerFromVariant(variant, value.int32)) {
    value.type = WmiType::Int32;
    return value;
  }
  if (variant.vt == VT_BSTR) {
    return WmiValue::Str(variant.bstrVal
                             ? std::wstring(variant.bstrVal, ::SysStringLen(variant.bstrVal))
                             : std::wstring());
  }
  if (variant.vt == (VT_ARRAY | VT_UI1)) {
    if (!variant.parray)
      return WmiValue::MissingArray();
    if (BytesFromSafeArray(variant.parray, value.bytes)) {
      value.type = WmiType::ByteArray;
      return value;
    }
  }
  value.type = WmiType::Other;
  return value;
}

bool WmiVariantFromValue(const WmiValue& value, VARIANT& variant) {
  switch (value.type) {
    case WmiType::Empty:
      variant.vt = VT_EMPTY;
      return true;
    case WmiType::Null:
      variant.vt = VT_NULL;
      return true;
    case WmiType::Int32:
      variant.vt = VT_I4;
      variant.lVal = value.int32;
      return true;
    case WmiType::String:
      variant.bstrVal = ::SysAllocStringLen(value.string.data(), UINT(value.string.size()));
      if (!variant.bstrVal)
        return false;
      variant.vt = VT_BSTR;
      return true;
    case WmiType::ByteArray:
      // An array that cannot be made goes as an array-typed value without one.
      variant.vt = VT_ARRAY | VT_UI1;
      variant.parray = SafeArrayFromBytes(value.bytes);
      return true;
    case WmiType::NoArray:
      variant.vt = VT_ARRAY | VT_UI1;
      variant.parray = nullptr;
      return true;
    case WmiType::Other:
      break;
  }
  return false;
}

namespace {

class CComObject final : public IWmiObject {
 public:
  explicit CComObject(CComRef<IWbemClassObject> object) : m_object(std::move(object)) {}

  IWbemClassObject* Raw() const { return m_object.Get(); }

  bool Get(const wchar_t* name, WmiValue& value) override {
    CVariant variant;
    if (FAILED(m_object->Get(name, 0, variant.Get(), nullptr, nullptr)))
      return false;
    value = WmiValueFromVariant(*variant);
    return true;
  }

  bool Put(const wchar_t* name, const WmiValue& value) override {
    CVariant variant;
    if (!WmiVariantFromValue(value, *variant.Get()))
      return false;
    // CIM type 0: the VARIANT's own type counts.
    return SUCCEEDED(m_object->Put(name, 0, variant.Get(), 0));
  }

  bool GetMethod(const wchar_t* name, std::unique_ptr<IWmiObject>* inSignature) override {
    CComRef<IWbemClassObject> signature;
    if (FAILED(m_object->GetMethod(name, 0, inSignature ? signature.Put() : nullptr, nullptr))) {
      return false;
    }
    if (inSignature) {
      inSignature->reset(signature ? new CComObject(std::move(signature)) : nullptr);
    }
    return true;
  }

  bool SpawnInstance(std::unique_ptr<IWmiObject>& instance) override {
    CComRef<IWbemClassObject> spawned;
    if (FAILED(m_object->SpawnInstance(0, spawned.Put())) || !spawned)
      return false;
    instance = std::make_unique<CComObject>(std::move(spawned));
    return true;
  }

 private:
  CComRef<IWbemClassObject> m_object;
};

class CComEnumerator final : public IWmiEnumerator {
 public:
  explicit CComEnumerator(CComRef<IEnumWbemClassObject> enumerator)
      : m_enumerator(std::move(enumerator)) {}

  bool Next(std::unique_ptr<IWmiObject>& object) override {
    CComRef<IWbemClassObject> next;
    ULONG returned = 0;
    const HRESULT hr =
        m_enumerator->Next(static_cast<LONG>(WBEM_INFINITE), 1, next.Put(), &returned);
    if (hr != WBEM_S_NO_ERROR || returned != 1 || !next)
      return false;
    object = std::make_unique<CComObject>(std::move(next));
    return true;
  }

 private:
  CComRef<IEnumWbemClassObject> m_enumerator;
};

class CComServices final : public IWmiServices {
 public:
  explicit CComServices(CComRef<IWbemServices> services) : m_services(std::move(services)) {}

  bool ExecQuery(const wchar_t* language, const wchar_t* query,
                 std::unique_ptr<IWmiEnumerator>& result) override {
    const CBstr bstrLanguage(language);
    const CBstr bstrQuery(query);
    if (!bstrLanguage || !bstrQuery)
      return false;
    CComRef<IEnumWbemClassObject> enumerator;
    if (FAILED(m_services->ExecQuery(bstrLanguage.Get(), bstrQuery.Get(),
                                     WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                     enumerator.Put())) ||
        !enumerator) {
      return false;
    }
    result = std::make_unique<CComEnumerator>(std::move(enumerator));
    return true;
  }

  bool GetObjectByPath(const wchar_t* path, std::unique_ptr<IWmiObject>& object) override {
    const CBstr bstrPath(path);
    if (!bstrPath)
      return false;
    CComRef<IWbemClassObject> found;
    if (FAILED(m_services->GetObject(bstrPath.Get(), 0, nullptr, found.Put(), nullptr)) || !found) {
      return false;
    }
    object = std::make_unique<CComObject>(std::move(found));
    return true;
  }

  bool ExecMethod(const wchar_t* path, const wchar_t* method, IWmiObject* inParams,
                  std::unique_ptr<IWmiObject>& outParams) override {
    const CBstr bstrPath(path);
    const CBstr bstrMethod(method);
    if (!bstrPath || !bstrMethod)
      return false;
    // Only objects of this back end can go in; anything else would be a programming error.
    auto* in = dynamic_cast<CComObject*>(inParams);
    if (inParams && !in)
      return false;
    CComRef<IWbemClassObject> out;
    if (FAILED(m_services->ExecMethod(bstrPath.Get(), bstrMethod.Get(), 0, nullptr,
                                      in ? in->Raw() : nullptr, out.Put(), nullptr))) {
      return false;
    }
    outParams.reset(out ? new CComObject(std::move(out)) : nullptr);
    return true;
  }

 private:
  CComRef<IWbemServices> m_services;
};

class CComLocator final : public IWmiLocator {
 public:
  explicit CComLocator(CComRef<IWbemLocator> locator) : m_locator(std::move(locator)) {}

  bool ConnectServer(const wchar_t* nameSpace, std::unique_ptr<IWmiServices>& services) override {
    const CBstr bstrNamespace(nameSpace);
    if (!bstrNamespace)
      return false;
    CComRef<IWbemServices> connection;
    if (FAILED(m_locator->ConnectServer(bstrNamespace.Get(), nullptr, nullptr, nullptr, 0, nullptr,
                                        nullptr, connection.Put())) ||
        !connection) {
      return false;
    }
    services = std::make_unique<CComServices>(std::move(connection));
    return true;
  }

 private:
  CComRef<IWbemLocator> m_locator;
};

class CComWmi final : public IWmi {
 public:
  std::unique_ptr<IWmiLocator> CreateLocator() override {
    CComRef<IWbemLocator> locator;
    if (FAILED(::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWbemLocator, reinterpret_cast<void**>(locator.Put()))) ||
        !locator) {
      return nullptr;
    }
    return std::make_unique<CComLocator>(std::move(locator));
  }
};

}  // namespace

IWmi& WmiComBackend() {
  static CComWmi wmi;
  return wmi;
}
