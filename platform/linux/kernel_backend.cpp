#include "platform/linux/kernel_backend.h"

#include <cstring>

#include "platform/linux/kernel_state.h"

namespace {

constexpr wchar_t KERNEL_ACPI_DEVICE[] = L"\\\\.\\QVRACPI";
constexpr wchar_t KERNEL_TBT_SERVICE[] = L"ThunderboltService";
constexpr DeviceHandle KERNEL_DEVICE_HANDLE = 0x5446;
constexpr uint32_t KERNEL_IOCTL_ACPI_METHOD = 0x0022240C;
constexpr uint32_t KERNEL_METHOD_DEVS = 0x53564544;

ISysfsIo* g_testIo = nullptr;
ISystem* g_testSystem = nullptr;

uint32_t LoadLittleEndian32(const uint8_t* at) {
  return uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
}

class CKernelServices final : public IWmiServices {
 public:
  explicit CKernelServices(CKernelBackend::CState& state) : m_state(state) {}
  bool ExecQuery(const wchar_t* language, const wchar_t* query,
                 std::unique_ptr<IWmiEnumerator>& result) override {
    if (!language || !query || !KernelSameText(language, L"WQL") ||
        !KernelSameText(query, L"select * from SdkTbtController")) {
      return false;
    }
    return m_state.Query(result);
  }
  bool GetObjectByPath(const wchar_t* path, std::unique_ptr<IWmiObject>& object) override {
    if (!path || !KernelSameText(path, KERNEL_CLASS))
      return false;
    object = std::make_unique<CWmiMemoryObject>(
        std::set<std::wstring>{},
        CWmiMemoryObject::Methods{{L"GetCurrentNvmVersion", {}},
                                  {L"ReadFirmware", {L"offset", L"length"}},
                                  {L"UpdateFirmware", {L"BufferSize", L"Buffer"}}});
    return true;
  }
  bool ExecMethod(const wchar_t* path, const wchar_t* method, IWmiObject* inParams,
                  std::unique_ptr<IWmiObject>& outParams) override {
    return m_state.Call(path, method, inParams, outParams);
  }

 private:
  CKernelBackend::CState& m_state;
};

class CKernelLocator final : public IWmiLocator {
 public:
  explicit CKernelLocator(CKernelBackend::CState& state) : m_state(state) {}
  bool ConnectServer(const wchar_t* nameSpace, std::unique_ptr<IWmiServices>& services) override {
    if (!m_state.Connect(nameSpace))
      return false;
    services = std::make_unique<CKernelServices>(m_state);
    return true;
  }

 private:
  CKernelBackend::CState& m_state;
};

class CKernelWmi final : public IWmi {
 public:
  explicit CKernelWmi(CKernelBackend::CState& state) : m_state(state) {}
  std::unique_ptr<IWmiLocator> CreateLocator() override {
    return std::make_unique<CKernelLocator>(m_state);
  }

 private:
  CKernelBackend::CState& m_state;
};

// The "DEVS" request of the notebook maker's driver, as force_power.
class CKernelDevices final : public IDeviceControl {
 public:
  explicit CKernelDevices(CKernelBackend::CState& state) : m_state(state) {}
  DeviceHandle Open(const wchar_t* name) override {
    if (!name || std::wcscmp(name, KERNEL_ACPI_DEVICE) != 0 || !m_state.ControlDeviceExists())
      return DEVICE_HANDLE_INVALID;
    return KERNEL_DEVICE_HANDLE;
  }
  bool Control(DeviceHandle device, uint32_t code, const void* in, uint32_t inSize, void* out,
               uint32_t outCapacity, uint32_t* written) override {
    const auto* request = static_cast<const uint8_t*>(in);
    if (device != KERNEL_DEVICE_HANDLE || code != KERNEL_IOCTL_ACPI_METHOD || !request ||
        inSize != 16 || LoadLittleEndian32(request) != KERNEL_METHOD_DEVS ||
        LoadLittleEndian32(request + 4) != 8) {
      return false;
    }
    const uint32_t value = LoadLittleEndian32(request + 12);
    if (!m_state.SetForcePower(value))
      return false;
    // The reply echoes the value set.
    const uint32_t length = outCapacity < 4 ? outCapacity : 4;
    if (out && length)
      std::memcpy(out, request + 12, length);
    if (written)
      *written = out ? length : 0;
    return true;
  }
  bool Close(DeviceHandle device) override { return device == KERNEL_DEVICE_HANDLE; }

 private:
  CKernelBackend::CState& m_state;
};

class CKernelServiceControl final : public IServiceControl {
 public:
  explicit CKernelServiceControl(CKernelBackend::CState& state) : m_state(state) {}
  ServiceHandle OpenManager() override { return 1; }
  ServiceHandle OpenNamed(ServiceHandle manager, const wchar_t* name) override {
    if (manager != 1 || !name || std::wcscmp(name, KERNEL_TBT_SERVICE) != 0)
      return 0;
    m_state.Note(
        "nothing to start: on Linux the kernel's Thunderbolt driver serves the "
        "controller");
    return 2;
  }
  bool Start(ServiceHandle service, uint32_t& lastError) override {
    lastError = 0;
    return service == 2;
  }
  void Close(ServiceHandle) override {}

 private:
  CKernelBackend::CState& m_state;
};

// The given system, with the AC state from the power supplies of the tree.
class CKernelSystem final : public ISystem {
 public:
  explicit CKernelSystem(CKernelBackend::CState& state) : m_state(state) {}
  void Wait(uint32_t milliseconds) override { System().Wait(milliseconds); }
  bool ModulePath(std::wstring& path) override { return System().ModulePath(path); }
  bool ListDirectory(const std::wstring& pattern, std::vector<std::wstring>& names) override {
    return System().ListDirectory(pattern, names);
  }
  FileReadStatus ReadWholeFile(const std::wstring& path, std::vector<uint8_t>& bytes) override {
    return System().ReadWholeFile(path, bytes);
  }
  uint16_t UserUiLanguage() override { return System().UserUiLanguage(); }
  PowerSource AcPowerSource() override { return KernelAcPowerSource(m_state.Io()); }
  bool RequestPowerOff() override { return System().RequestPowerOff(); }
  uint32_t ReadProfileString(const wchar_t* section, const wchar_t* key, const wchar_t* fallback,
                             wchar_t* out, uint32_t capacity, const wchar_t* path) override {
    return System().ReadProfileString(section, key, fallback, out, capacity, path);
  }
  void ComInitialize() override { System().ComInitialize(); }
  void ComUninitialize() override { System().ComUninitialize(); }
  // The machine's one controller: the system-wide lock, as without the back end.
  bool AcquireAttemptLock() override { return System().AcquireAttemptLock(); }
  void ReleaseAttemptLock() override { System().ReleaseAttemptLock(); }

 private:
  ISystem& System() { return m_state.System(); }
  CKernelBackend::CState& m_state;
};

}  // namespace

class CKernelBackend::CFaces {
 public:
  explicit CFaces(CState& state) : wmi(state), devices(state), services(state), system(state) {}
  CKernelWmi wmi;
  CKernelDevices devices;
  CKernelServiceControl services;
  CKernelSystem system;
};

CKernelBackend::CKernelBackend(ISysfsIo& io, ISystem& system, std::string controller,
                               KernelNoteSink notes, KernelTiming timing)
    : m_state(
          std::make_unique<CState>(io, system, std::move(controller), std::move(notes), timing)),
      m_faces(std::make_unique<CFaces>(*m_state)) {}

CKernelBackend::~CKernelBackend() = default;

PlatformServices CKernelBackend::Services() {
  return {&m_faces->wmi, &m_faces->devices, &m_faces->services, &m_faces->system};
}

const std::string& CKernelBackend::Failure() const {
  return m_state->Failure();
}

std::string CKernelBackend::PredictRefusal(const std::vector<uint8_t>& image) {
  return m_state->PredictRefusal(image);
}

void KernelSetTestHooks(ISysfsIo* io, ISystem* system) {
  g_testIo = io;
  g_testSystem = system;
}

ISysfsIo* KernelTestIo() {
  return g_testIo;
}

ISystem* KernelTestSystem() {
  return g_testSystem;
}

PowerSource KernelAcPowerSource(ISysfsIo& io) {
  PowerSource source = PowerSource::Unknown;
  for (const std::string& name : io.List(KERNEL_POWER_SUPPLIES)) {
    const std::string supply = std::string(KERNEL_POWER_SUPPLIES) + "/" + name;
    std::string type, online;
    if (io.ReadText(supply + "/type", type) != 0 || type.rfind("Mains", 0) != 0)
      continue;
    if (io.ReadText(supply + "/online", online) != 0 || online.empty())
      continue;
    if (online[0] == '1')
      return PowerSource::Ac;
    if (online[0] == '0')
      source = PowerSource::Battery;
  }
  return source;
}
