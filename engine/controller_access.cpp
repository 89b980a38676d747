#include "engine/controller_access.h"

#include <cwchar>
#include <new>
#include <string_view>

#include "platform/platform.h"

std::unique_ptr<IWmiServices> g_wbemServices;
wchar_t g_controllerPath[CONTROLLER_PATH_CAPACITY] = {};

namespace {

constexpr const wchar_t* WMI_NAMESPACE = L"ROOT\\Intel\\Thunderbolt";
constexpr const wchar_t* WMI_CONTROLLER_CLASS = L"SdkTbtController";

// The path is stored only whole: a cut path would name another object, or none.
void StoreControllerPath(const std::wstring& controllerId) {
  if (controllerId.find(L'\0') != std::wstring::npos)
    return;
  wchar_t formatted[CONTROLLER_PATH_CAPACITY] = {};
  const int written = std::swprintf(formatted, CONTROLLER_PATH_CAPACITY,
                                    L"SdkTbtController.ControllerId=\"%ls\"", controllerId.c_str());
  if (written < 0 || written >= static_cast<int>(CONTROLLER_PATH_CAPACITY))
    return;
  const std::wstring_view path(formatted, static_cast<size_t>(written));
  size_t escapedLength = path.size();
  for (wchar_t c : path)
    escapedLength += (c == L'\\');
  if (escapedLength >= CONTROLLER_PATH_CAPACITY)
    return;
  EscapeBackslashes(formatted, g_controllerPath, CONTROLLER_PATH_CAPACITY);
}

bool ReadInt32(IWmiObject& object, const wchar_t* name, uint32_t* value) {
  WmiValue read;
  // A Null or Empty value says nothing; reading it as 0 would turn silence into success.
  if (!object.Get(name, read) || read.type != WmiType::Int32)
    return false;
  *value = static_cast<uint32_t>(read.int32);
  return true;
}

// The skeleton shared by the three wrappers. putIn is null for a method without in-parameters;
// readOut reads the method's further out-parameter.
template <typename PutIn, typename ReadOut>
UpdateResult CallControllerMethod(const wchar_t* method, PutIn* putIn, ReadOut readOut) {
  if (!g_wbemServices)
    return UR_NO_TBT_SOFTWARE;
  if (g_controllerPath[0] == 0 && !WmiFindController())
    return UR_NO_CONTROLLER;
  UpdateResult result = UR_NO_TBT_SOFTWARE;

  // Declared in order of acquisition, so they are released in reverse.
  std::unique_ptr<IWmiObject> classObject;
  std::unique_ptr<IWmiObject> inSignature;
  std::unique_ptr<IWmiObject> inParams;
  std::unique_ptr<IWmiObject> outParams;

  if (!g_wbemServices->GetObjectByPath(WMI_CONTROLLER_CLASS, classObject) || !classObject) {
    return result;
  }
  if (!classObject->GetMethod(method, putIn ? &inSignature : nullptr))
    return result;
  if (putIn) {
    if (!inSignature || !inSignature->SpawnInstance(inParams) || !inParams)
      return result;
    (*putIn)(*inParams);
  }
  if (g_wbemServices->ExecMethod(g_controllerPath, method, inParams.get(), outParams) &&
      outParams) {
    ReadInt32(*outParams, L"ReturnValue", &result);
    readOut(*outParams);
  }
  return result;
}

void NoOutParameter(IWmiObject&) {}

}  // namespace

bool WmiConnect() {
  std::unique_ptr<IWmiLocator> locator = PlatformWmi().CreateLocator();
  if (!locator)
    return false;
  // The connection this one replaces goes first, so no attempt leaves one behind.
  g_wbemServices.reset();
  if (!locator->ConnectServer(WMI_NAMESPACE, g_wbemServices))
    g_wbemServices.reset();
  locator.reset();
  return g_wbemServices != nullptr;
}

bool WmiFindController() {
  if (!g_wbemServices)
    return false;
  std::unique_ptr<IWmiEnumerator> enumerator;
  if (g_wbemServices->ExecQuery(L"WQL", L"select * from SdkTbtController", enumerator) &&
      enumerator) {
    std::unique_ptr<IWmiObject> instance;
    if (enumerator->Next(instance) && instance) {
      WmiValue controllerId;
      if (instance->Get(L"ControllerId", controllerId) && controllerId.type == WmiType::String) {
        StoreControllerPath(controllerId.string);
      }
    }
    instance.reset();
    enumerator.reset();
  }
  return g_controllerPath[0] != 0;
}

UpdateResult WmiGetCurrentNvmVersion(uint32_t* version) {
  using NoPut = void(IWmiObject&);
  return CallControllerMethod(L"GetCurrentNvmVersion", static_cast<NoPut*>(nullptr),
                              [&](IWmiObject& out) {
                                uint32_t read = 0;
                                if (ReadInt32(out, L"NvmVersion", &read) && version) {
                                  *version = read;
                                }
                              });
}

UpdateResult WmiReadFirmware(uint32_t offset, uint32_t length, uint8_t* destination,
                             uint32_t* delivered) {
  if (delivered)
    *delivered = 0;
  auto putIn = [&](IWmiObject& in) {
    in.Put(L"offset", WmiValue::Int(static_cast<int32_t>(offset)));
    in.Put(L"length", WmiValue::Int(static_cast<int32_t>(length)));
  };
  return CallControllerMethod(L"ReadFirmware", &putIn, [&](IWmiObject& out) {
    WmiValue data;
    if (!out.Get(L"data", data) || data.type != WmiType::ByteArray || !destination)
      return;
    const uint32_t count = data.bytes.size() < length ? uint32_t(data.bytes.size()) : length;
    for (uint32_t i = 0; i < count; ++i)
      destination[i] = data.bytes[i];
    if (delivered)
      *delivered = count;
  });
}

UpdateResult WmiUpdateFirmware(const uint8_t* image, uint32_t size) {
  auto putIn = [&](IWmiObject& in) {
    in.Put(L"BufferSize", WmiValue::Int(static_cast<int32_t>(size)));
    WmiValue buffer = WmiValue::MissingArray();
    try {
      buffer = WmiValue::Bytes(image ? std::vector<uint8_t>(image, image + size)
                                     : std::vector<uint8_t>(size, 0));
    } catch (const std::bad_alloc&) {
      // The provider's "ReturnValue" decides what a call without an array means.
    }
    in.Put(L"Buffer", buffer);
  };
  return CallControllerMethod(L"UpdateFirmware", &putIn, NoOutParameter);
}

void EscapeBackslashes(const wchar_t* source, wchar_t* destination, uint32_t capacity) {
  if (!source || !destination || capacity == 0)
    return;
  uint32_t written = 0;
  for (const wchar_t* c = source; *c && written < capacity - 1; ++c) {
    destination[written++] = *c;
    if (*c == L'\\' && written < capacity - 1)
      destination[written++] = L'\\';
  }
  destination[written] = 0;
}
