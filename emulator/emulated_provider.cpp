#include "emulator/emulated_provider.h"

#include <cwctype>

#include "platform/wmi_memory_object.h"

namespace {

constexpr wchar_t EMU_NAMESPACE[] = L"ROOT\\Intel\\Thunderbolt";
constexpr wchar_t EMU_CLASS[] = L"SdkTbtController";

bool SameText(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(a[i]) != std::towlower(b[i]))
      return false;
  }
  return true;
}

class CEmuServices final : public IWmiServices {
 public:
  explicit CEmuServices(CEmulatedProvider& provider) : m_provider(provider) {}
  bool ExecQuery(const wchar_t* language, const wchar_t* query,
                 std::unique_ptr<IWmiEnumerator>& result) override {
    return m_provider.Query(language, query, result);
  }
  bool GetObjectByPath(const wchar_t* path, std::unique_ptr<IWmiObject>& object) override {
    return m_provider.ClassObject(path, object);
  }
  bool ExecMethod(const wchar_t* path, const wchar_t* method, IWmiObject* inParams,
                  std::unique_ptr<IWmiObject>& outParams) override {
    return m_provider.Call(path, method, inParams, outParams);
  }

 private:
  CEmulatedProvider& m_provider;
};

class CEmuLocator final : public IWmiLocator {
 public:
  explicit CEmuLocator(CEmulatedProvider& provider) : m_provider(provider) {}
  bool ConnectServer(const wchar_t* nameSpace, std::unique_ptr<IWmiServices>& services) override {
    if (!m_provider.Connect(nameSpace))
      return false;
    services = std::make_unique<CEmuServices>(m_provider);
    return true;
  }

 private:
  CEmulatedProvider& m_provider;
};

// The object path a client builds for the instance: backslashes of the key doubled.
std::wstring InstancePath() {
  std::wstring path = std::wstring(EMU_CLASS) + L".ControllerId=\"";
  for (const wchar_t* c = EMU_CONTROLLER_ID; *c; ++c) {
    path += *c;
    if (*c == L'\\')
      path += L'\\';
  }
  return path + L"\"";
}

bool GetInt(IWmiObject* in, const wchar_t* name, int32_t& value) {
  WmiValue v;
  if (!in || !in->Get(name, v) || v.type != WmiType::Int32)
    return false;
  value = v.int32;
  return true;
}

std::unique_ptr<CWmiMemoryObject> OutParams(int32_t returnValue) {
  auto out = std::make_unique<CWmiMemoryObject>();
  out->Set(L"ReturnValue", WmiValue::Int(returnValue));
  return out;
}

std::wstring DescribeInParams(const wchar_t* method, IWmiObject* in) {
  int32_t a = 0, b = 0;
  if (SameText(method, L"ReadFirmware") && GetInt(in, L"offset", a) && GetInt(in, L"length", b)) {
    return L"offset=" + std::to_wstring(a) + L" length=" + std::to_wstring(b);
  }
  if (SameText(method, L"UpdateFirmware") && GetInt(in, L"BufferSize", a)) {
    return L"BufferSize=" + std::to_wstring(a);
  }
  return {};
}

}  // namespace

std::unique_ptr<IWmiLocator> CEmulatedProvider::CreateLocator() {
  return std::make_unique<CEmuLocator>(*this);
}

bool CEmulatedProvider::Connect(const wchar_t* nameSpace) {
  const bool ok = m_config.thunderboltSoftware && nameSpace && SameText(nameSpace, EMU_NAMESPACE);
  m_record.Add({EmuEventKind::WmiConnect, nameSpace ? nameSpace : L"", ok ? 1u : 0u, {}, {}});
  return ok;
}

bool CEmulatedProvider::Query(const wchar_t* language, const wchar_t* query,
                              std::unique_ptr<IWmiEnumerator>& result) {
  m_record.Add({EmuEventKind::WmiQuery, query ? query : L"", 0, {}, {}});
  if (!language || !query || !SameText(language, L"WQL") ||
      !SameText(query, L"select * from SdkTbtController")) {
    return false;
  }
  std::unique_ptr<IWmiObject> instance;
  if (!m_config.faults.noController) {
    auto object = std::make_unique<CWmiMemoryObject>();
    object->Set(L"ControllerId", WmiValue::Str(EMU_CONTROLLER_ID));
    instance = std::move(object);
  }
  result = std::make_unique<CWmiSingleEnumerator>(std::move(instance));
  return true;
}

bool CEmulatedProvider::ClassObject(const wchar_t* path, std::unique_ptr<IWmiObject>& object) {
  if (!path || !SameText(path, EMU_CLASS))
    return false;
  object = std::make_unique<CWmiMemoryObject>(
      std::set<std::wstring>{},
      CWmiMemoryObject::Methods{{L"GetCurrentNvmVersion", {}},
                                {L"ReadFirmware", {L"offset", L"length"}},
                                {L"UpdateFirmware", {L"BufferSize", L"Buffer"}}});
  return true;
}

bool CEmulatedProvider::Call(const wchar_t* path, const wchar_t* method, IWmiObject* in,
                             std::unique_ptr<IWmiObject>& out) {
  // The attempt is between device on and device off: nothing may end the process here.
  try {
    return Dispatch(path, method, in, out);
  } catch (...) {
    return false;
  }
}

bool CEmulatedProvider::Dispatch(const wchar_t* path, const wchar_t* method, IWmiObject* in,
                                 std::unique_ptr<IWmiObject>& out) {
  if (!method)
    return false;
  m_record.Add({EmuEventKind::WmiMethod, method, 0, {}, DescribeInParams(method, in)});
  ++m_calls;
  if (!path || path != InstancePath() || m_config.faults.noController)
    return false;
  if (m_calls == m_config.faults.failCall)
    return false;

  std::unique_ptr<IWmiObject> reply;
  if (SameText(method, L"GetCurrentNvmVersion")) {
    reply = GetCurrentNvmVersion();
  } else if (SameText(method, L"ReadFirmware")) {
    reply = ReadFirmware(in);
  } else if (SameText(method, L"UpdateFirmware")) {
    reply = UpdateFirmware(in);
  }
  if (!reply)
    return false;
  out = std::move(reply);
  return true;
}

std::unique_ptr<IWmiObject> CEmulatedProvider::GetCurrentNvmVersion() {
  const EmuFaults& faults = m_config.faults;
  auto out = OutParams(static_cast<int32_t>(faults.versionReturnValue.value_or(0)));
  if (!faults.noNvmVersion) {
    out->Set(L"NvmVersion", WmiValue::Int(static_cast<int32_t>(m_controller.Version())));
  }
  return out;
}

std::unique_ptr<IWmiObject> CEmulatedProvider::ReadFirmware(IWmiObject* in) {
  const EmuFaults& faults = m_config.faults;
  int32_t offset = 0, length = 0;
  if (!GetInt(in, L"offset", offset) || !GetInt(in, L"length", length) || offset < 0 ||
      length < 0) {
    return OutParams(EMU_PROVIDER_BAD_PARAMETER);
  }
  const uint32_t at = static_cast<uint32_t>(offset);
  if (faults.failReadAt == at)
    return nullptr;
  std::vector<uint8_t> data = m_controller.Read(at, static_cast<uint32_t>(length));
  if (faults.shortReadAt == at && data.size() > 2)
    data.resize(2);
  auto out = OutParams(static_cast<int32_t>(faults.readReturnValue.value_or(0)));
  out->Set(L"data", WmiValue::Bytes(std::move(data)));
  return out;
}

std::unique_ptr<IWmiObject> CEmulatedProvider::UpdateFirmware(IWmiObject* in) {
  int32_t size = 0;
  WmiValue buffer;
  if (!GetInt(in, L"BufferSize", size) || !in->Get(L"Buffer", buffer) ||
      buffer.type != WmiType::ByteArray || size < 0 ||
      buffer.bytes.size() != static_cast<size_t>(size)) {
    return OutParams(EMU_PROVIDER_BAD_PARAMETER);
  }
  // A refusal writes nothing; a configured 0 means no refusal.
  if (const auto code = m_config.faults.updateReturnValue; code && *code != 0) {
    return OutParams(static_cast<int32_t>(*code));
  }
  switch (m_controller.Replace(buffer.bytes)) {
    case EmuWriteOutcome::Written:
      return OutParams(0);
    case EmuWriteOutcome::Shorter:
      return OutParams(EMU_PROVIDER_IMAGE_REFUSED);
    case EmuWriteOutcome::NoMainSection:
    case EmuWriteOutcome::CannotWrite:
      break;
  }
  return OutParams(EMU_PROVIDER_WRITE_FAILED);
}
