#include "platform/linux/kernel_backend.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwctype>

#include "platform/linux/kernel_tree.h"
#include "platform/linux/kernel_wmi_object.h"
#include "platform/utf8.h"

namespace {

constexpr wchar_t KERNEL_NAMESPACE[] = L"ROOT\\Intel\\Thunderbolt";
constexpr wchar_t KERNEL_CLASS[] = L"SdkTbtController";
constexpr wchar_t KERNEL_ACPI_DEVICE[] = L"\\\\.\\QVRACPI";
constexpr wchar_t KERNEL_TBT_SERVICE[] = L"ThunderboltService";
constexpr DeviceHandle KERNEL_DEVICE_HANDLE = 0x5446;
constexpr uint32_t KERNEL_IOCTL_ACPI_METHOD = 0x0022240C;
constexpr uint32_t KERNEL_METHOD_DEVS = 0x53564544;
constexpr uint32_t KERNEL_OFFSET_MINOR = 0x09;
constexpr uint32_t KERNEL_OFFSET_MAJOR = 0x0A;
constexpr char KERNEL_AS_ROOT[] = " Run kelvane-cli as root (sudo).";

ISysfsIo* g_testIo = nullptr;
ISystem* g_testSystem = nullptr;

bool SameText(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(a[i]) != std::towlower(b[i]))
      return false;
  }
  return true;
}

uint32_t LoadLittleEndian32(const uint8_t* at) {
  return uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

bool IsPermissionError(int error) {
  return error == EACCES || error == EPERM;
}

std::unique_ptr<CKernelWmiObject> OutParams(int32_t returnValue) {
  auto out = std::make_unique<CKernelWmiObject>();
  out->Set(L"ReturnValue", WmiValue::Int(returnValue));
  return out;
}

bool GetInt(IWmiObject* in, const wchar_t* name, int32_t& value) {
  WmiValue v;
  if (!in || !in->Get(name, v) || v.type != WmiType::Int32)
    return false;
  value = v.int32;
  return true;
}

}  // namespace

// Everything the four faces of the back end share.
class CKernelBackend::CState {
 public:
  CState(ISysfsIo& io, ISystem& system, std::string controller, KernelNoteSink notes,
         KernelTiming timing)
      : m_io(io),
        m_system(system),
        m_controller(std::move(controller)),
        m_notes(std::move(notes)),
        m_timing(timing) {}

  ISysfsIo& Io() { return m_io; }
  ISystem& System() { return m_system; }
  const std::string& Router() const { return m_router; }
  const std::string& Failure() const { return m_failure; }

  void Note(const std::string& line) {
    if (m_notes)
      m_notes(line);
  }
  void Fail(const std::string& text) { m_failure = text; }
  std::string Shown(const std::string& path) { return m_io.Shown(path); }

  // The DEVS request: force_power where the notebook has it.
  bool SetForcePower(uint32_t value);
  bool ControlDeviceExists();

  bool Connect(const wchar_t* nameSpace);
  bool Query(std::unique_ptr<IWmiEnumerator>& result);
  bool Call(const wchar_t* path, const wchar_t* method, IWmiObject* in,
            std::unique_ptr<IWmiObject>& out);
  std::string PredictRefusal(const std::vector<uint8_t>& image);

 private:
  bool ChooseRouter();
  bool SelectRouter();
  bool ProbeAccess(const KernelRouter& router);
  std::unique_ptr<IWmiObject> NvmVersion(const KernelRouter& router);
  std::unique_ptr<IWmiObject> ReadFirmware(const KernelRouter& router, IWmiObject* in);
  std::unique_ptr<IWmiObject> UpdateFirmware(const KernelRouter& router, IWmiObject* in);
  int32_t WriteAndAuthenticate(const KernelRouter& router, const std::vector<uint8_t>& image);
  int32_t Verify(const std::vector<uint8_t>& image);
  // 1: back, 0: never went away, -1: went away and did not come back in time.
  int WaitForRestart();
  bool RouterUp();

  ISysfsIo& m_io;
  ISystem& m_system;
  std::string m_controller;
  KernelNoteSink m_notes;
  KernelTiming m_timing;
  std::string m_router;  // chosen by the query
  std::string m_failure;
  int m_forcePowerError = 0;
};

bool CKernelBackend::CState::ControlDeviceExists() {
  if (m_io.Exists(KERNEL_FORCE_POWER) || !KernelHostRouters(m_io).empty())
    return true;
  Fail("No Thunderbolt control: neither the force-power switch " + Shown(KERNEL_FORCE_POWER) +
       " nor a host router " + Shown(KERNEL_TBT_DEVICES) +
       "/<domain>-0 is there. Enable Thunderbolt in the firmware setup, or load the kernel's "
       "thunderbolt and intel-wmi-thunderbolt modules, and try again.");
  return false;
}

bool CKernelBackend::CState::SetForcePower(uint32_t value) {
  if (!m_io.Exists(KERNEL_FORCE_POWER)) {
    if (value)
      Note("no force-power switch on this notebook: the controller must be powered already");
    return true;
  }
  const char text = value ? '1' : '0';
  const int error = m_io.WriteAll(KERNEL_FORCE_POWER, reinterpret_cast<const uint8_t*>(&text), 1);
  if (error) {
    Note("cannot write " + std::string(1, text) + " to " + Shown(KERNEL_FORCE_POWER) + ": " +
         SysfsErrorText(error));
    if (value)
      m_forcePowerError = error;
    return false;
  }
  Note(std::string("force power ") + (value ? "on" : "off") + " (" + Shown(KERNEL_FORCE_POWER) +
       ")");
  return true;
}

bool CKernelBackend::CState::Connect(const wchar_t* nameSpace) {
  if (!nameSpace || !SameText(nameSpace, KERNEL_NAMESPACE))
    return false;
  if (m_io.Exists(KERNEL_TBT_DEVICES))
    return true;
  Fail("The kernel's Thunderbolt driver is not there: " + Shown(KERNEL_TBT_DEVICES) +
       " does not exist. Load it (modprobe thunderbolt) and try again.");
  return false;
}

bool CKernelBackend::CState::ChooseRouter() {
  const std::vector<std::string> routers = KernelHostRouters(m_io);
  std::string list;
  for (const std::string& name : routers)
    list += (list.empty() ? "" : ", ") + name;
  if (!m_controller.empty()) {
    for (const std::string& name : routers) {
      if (name == m_controller) {
        m_router = name;
        return true;
      }
    }
    Fail("No host router " + m_controller + " in " + Shown(KERNEL_TBT_DEVICES) +
         (routers.empty() ? " (there is none)." : "; there are: " + list + "."));
    return false;
  }
  if (routers.empty()) {
    Fail("No Thunderbolt host router: looked for " + Shown(KERNEL_TBT_DEVICES) +
         "/<domain>-0 and found none. Enable Thunderbolt in the firmware setup; without a "
         "force-power switch, plug in a Thunderbolt device so that the controller powers up.");
    return false;
  }
  if (routers.size() > 1) {
    Fail("More than one Thunderbolt host router: " + list +
         ". Choose the one to update with --controller <domain>-0.");
    return false;
  }
  m_router = routers.front();
  return true;
}

// Opens nothing for writing: a check must leave the NVM interface untouched.
bool CKernelBackend::CState::ProbeAccess(const KernelRouter& router) {
  if (IsPermissionError(m_forcePowerError)) {
    Fail("Cannot open " + Shown(KERNEL_FORCE_POWER) +
         " for writing: " + SysfsErrorText(m_forcePowerError) + "." + KERNEL_AS_ROOT);
    return false;
  }
  if (router.nonActiveNvmem.empty()) {
    Fail("The host router " + router.name + " offers no nvm_non_active<N>/nvmem in " +
         Shown(router.folder) + ": the kernel cannot write its firmware.");
    return false;
  }
  for (const std::string& path : {router.nonActiveNvmem, router.nvmAuthenticate}) {
    if (const int error = m_io.CheckWritable(path)) {
      Fail("Cannot open " + Shown(path) + " for writing: " + SysfsErrorText(error) + "." +
           (IsPermissionError(error) ? KERNEL_AS_ROOT : ""));
      return false;
    }
  }
  std::string version;
  if (m_io.ReadText(router.nvmVersion, version) == ENODATA)
    return true;  // safe mode, which the version call reports in its own words
  if (router.activeNvmem.empty()) {
    Fail("The host router " + router.name + " offers no nvm_active<N>/nvmem in " +
         Shown(router.folder) + ": its firmware cannot be read, so it cannot be checked.");
    return false;
  }
  std::vector<uint8_t> probe;
  if (const int error = m_io.ReadAt(router.activeNvmem, 0, 4, probe)) {
    Fail("Cannot open " + Shown(router.activeNvmem) + " for reading: " + SysfsErrorText(error) +
         "." + (IsPermissionError(error) ? KERNEL_AS_ROOT : ""));
    return false;
  }
  return true;
}

bool CKernelBackend::CState::SelectRouter() {
  if (!ChooseRouter())
    return false;
  const auto router = KernelFindRouter(m_io, m_router);
  if (!router || !ProbeAccess(*router)) {
    m_router.clear();
    return false;
  }
  Note("host router " + m_router + " (" + Shown(router->folder) + ")");
  return true;
}

bool CKernelBackend::CState::Query(std::unique_ptr<IWmiEnumerator>& result) {
  std::unique_ptr<IWmiObject> instance;
  if (SelectRouter()) {
    auto object = std::make_unique<CKernelWmiObject>();
    object->Set(L"ControllerId", WmiValue::Str(WideFromUtf8(m_router)));
    instance = std::move(object);
  }
  result = std::make_unique<CKernelWmiEnumerator>(std::move(instance));
  return true;
}

bool CKernelBackend::CState::Call(const wchar_t* path, const wchar_t* method, IWmiObject* in,
                                  std::unique_ptr<IWmiObject>& out) {
  // A later attempt of the same process calls on the path it found before, without a query.
  if (!path || !method || (m_router.empty() && !SelectRouter()))
    return false;
  const std::wstring expected =
      std::wstring(KERNEL_CLASS) + L".ControllerId=\"" + WideFromUtf8(m_router) + L"\"";
  if (path != expected) {
    Fail("This process found another controller earlier (" + Utf8FromWide(path) +
         "); the host router now chosen is " + m_router + ". Run kelvane-cli again.");
    return false;
  }
  const auto router = KernelFindRouter(m_io, m_router);
  if (!router) {
    Fail("The host router " + m_router + " has gone away (" + Shown(KERNEL_TBT_DEVICES) + "/" +
         m_router + " is not there).");
    return false;
  }
  std::unique_ptr<IWmiObject> reply;
  if (SameText(method, L"GetCurrentNvmVersion")) {
    reply = NvmVersion(*router);
  } else if (SameText(method, L"ReadFirmware")) {
    reply = ReadFirmware(*router, in);
  } else if (SameText(method, L"UpdateFirmware")) {
    reply = UpdateFirmware(*router, in);
  }
  if (!reply)
    return false;
  out = std::move(reply);
  return true;
}

std::unique_ptr<IWmiObject> CKernelBackend::CState::NvmVersion(const KernelRouter& router) {
  std::string text;
  const int error = m_io.ReadText(router.nvmVersion, text);
  if (error == ENODATA) {
    Fail(
        "The controller is in safe mode: its firmware did not authenticate, so it runs only "
        "enough to take a new image, and the kernel can read neither its NVM version nor its "
        "active NVM (" +
        Shown(router.nvmVersion) +
        ": no data). The compatibility check cannot compare the image with the controller, "
        "so nothing was written. Recover it with the notebook maker's own recovery tool.");
    return OutParams(KERNEL_RV_SAFE_MODE);
  }
  const auto version = error ? std::nullopt : KernelParseNvmVersion(text);
  if (!version) {
    Fail("Cannot read the controller's version from " + Shown(router.nvmVersion) + ": " +
         (error ? SysfsErrorText(error) : "\"" + text + "\" is not major.minor") + ".");
    return OutParams(KERNEL_RV_READ_FAILED);
  }
  auto out = OutParams(0);
  out->Set(L"NvmVersion", WmiValue::Int(static_cast<int32_t>(version->major)));
  return out;
}

std::unique_ptr<IWmiObject> CKernelBackend::CState::ReadFirmware(const KernelRouter& router,
                                                                 IWmiObject* in) {
  int32_t offset = 0, length = 0;
  if (!GetInt(in, L"offset", offset) || !GetInt(in, L"length", length) || offset < 0 ||
      length < 0) {
    return OutParams(KERNEL_RV_BAD_PARAMETER);
  }
  std::vector<uint8_t> data;
  const int error = router.activeNvmem.empty()
                        ? ENOENT
                        : m_io.ReadAt(router.activeNvmem, uint64_t(offset), uint32_t(length), data);
  if (error) {
    Fail("Cannot read the controller's NVM from " +
         Shown(router.activeNvmem.empty() ? router.folder + "/nvm_active<N>/nvmem"
                                          : router.activeNvmem) +
         " at " + Hex(uint32_t(offset)) + ": " + SysfsErrorText(error) + ".");
    return OutParams(KERNEL_RV_READ_FAILED);
  }
  auto out = OutParams(0);
  out->Set(L"data", WmiValue::Bytes(std::move(data)));
  return out;
}

std::string CKernelBackend::CState::PredictRefusal(const std::vector<uint8_t>& image) {
  const auto router = m_router.empty() ? std::nullopt : KernelFindRouter(m_io, m_router);
  if (!router)
    return {};
  if (!router->hasDevice)
    return "the host router's device ID cannot be read from " + Shown(router->folder + "/device");
  const std::string refusal = KernelImageRefusal(image, router->device);
  if (!refusal.empty())
    return refusal;
  // The version is read back after the write; an image without one could not be verified.
  const uint32_t section = *KernelImageSection(image);
  if (uint64_t{section} + KERNEL_OFFSET_MAJOR >= image.size())
    return "the image ends before the version at " + Hex(section + KERNEL_OFFSET_MAJOR);
  return {};
}

std::unique_ptr<IWmiObject> CKernelBackend::CState::UpdateFirmware(const KernelRouter& router,
                                                                   IWmiObject* in) {
  int32_t size = 0;
  WmiValue buffer;
  if (!GetInt(in, L"BufferSize", size) || !in->Get(L"Buffer", buffer) ||
      buffer.type != WmiType::ByteArray || size < 0 ||
      buffer.bytes.size() != static_cast<size_t>(size)) {
    return OutParams(KERNEL_RV_BAD_PARAMETER);
  }
  // Before anything is written: an image the kernel refuses would only fail at the trigger.
  if (const std::string refusal = PredictRefusal(buffer.bytes); !refusal.empty()) {
    Fail("The kernel would refuse this image: " + refusal + ". Nothing was written.");
    return OutParams(KERNEL_RV_IMAGE_REFUSED);
  }
  const int32_t written = WriteAndAuthenticate(router, buffer.bytes);
  return OutParams(written ? written : Verify(buffer.bytes));
}

int32_t CKernelBackend::CState::WriteAndAuthenticate(const KernelRouter& router,
                                                     const std::vector<uint8_t>& image) {
  Note("writing " + std::to_string(image.size()) + " bytes to " + Shown(router.nonActiveNvmem));
  if (const int error = m_io.WriteAll(router.nonActiveNvmem, image.data(), image.size())) {
    Fail("The kernel did not take the image: writing " + Shown(router.nonActiveNvmem) +
         " failed: " + SysfsErrorText(error) +
         ". The running firmware is unchanged; try again, and if it fails again, keep the "
         "current firmware.");
    return KERNEL_RV_WRITE_FAILED;
  }
  Note("starting the authentication (" + Shown(router.nvmAuthenticate) + ")");
  const uint8_t one = '1';
  if (const int error = m_io.WriteAll(router.nvmAuthenticate, &one, 1)) {
    Fail("The kernel refused to authenticate the image: writing 1 to " +
         Shown(router.nvmAuthenticate) + " failed: " + SysfsErrorText(error) +
         (error == EINVAL ? " (the kernel's own check of the image failed)" : "") +
         ". The running firmware is unchanged.");
    return KERNEL_RV_AUTHENTICATE_FAILED;
  }
  return 0;
}

bool CKernelBackend::CState::RouterUp() {
  const auto router = KernelFindRouter(m_io, m_router);
  std::string status;
  return router && m_io.ReadText(router->nvmAuthenticate, status) == 0;
}

int CKernelBackend::CState::WaitForRestart() {
  Note("waiting for the host router " + m_router + " to restart (at most " +
       std::to_string(m_timing.backWithinMs / 1000) + " s); do not switch the notebook off");
  uint32_t elapsed = 0, steady = 0, nextProgress = m_timing.progressEveryMs;
  bool gone = false;
  while (elapsed < m_timing.backWithinMs) {
    m_system.Wait(m_timing.pollMs);
    elapsed += m_timing.pollMs;
    const bool up = RouterUp();
    if (!gone && !up) {
      gone = true;
      Note("the host router has gone away: the controller restarts");
    } else if (!gone && elapsed >= m_timing.goneWithinMs) {
      return 0;
    } else if (gone) {
      steady = up ? steady + m_timing.pollMs : 0;
      if (steady >= m_timing.steadyMs) {
        Note("the host router is back after " + std::to_string(elapsed / 1000) + " s");
        return 1;
      }
    }
    if (elapsed >= nextProgress) {
      Note("still waiting: " + std::to_string(elapsed / 1000) + " s of at most " +
           std::to_string(m_timing.backWithinMs / 1000) + " s");
      nextProgress += m_timing.progressEveryMs;
    }
  }
  return gone ? -1 : 0;
}

int32_t CKernelBackend::CState::Verify(const std::vector<uint8_t>& image) {
  const int restarted = WaitForRestart();
  const auto router = KernelFindRouter(m_io, m_router);
  std::string statusText;
  const int statusError = router ? m_io.ReadText(router->nvmAuthenticate, statusText) : ENOENT;
  const auto status = statusError ? std::nullopt : KernelParseHex(statusText);
  if (status && *status != 0) {
    Fail("The controller refused the new firmware: the authentication status is " + Hex(*status) +
         " (" + Shown(router->nvmAuthenticate) +
         "). It keeps running its earlier firmware. Check that the image is the one made for "
         "this notebook; power the notebook off and on before trying again.");
    return KERNEL_RV_AUTH_STATUS;
  }
  if (restarted == 0) {
    Fail("The host router did not restart within " + std::to_string(m_timing.goneWithinMs / 1000) +
         " s of the authentication request, so the new firmware is not running. Power the "
         "notebook off and on, then run kelvane-cli check to see the running version.");
    return KERNEL_RV_NOT_RESTARTED;
  }
  if (restarted < 0 || !status) {
    Fail("The host router " + m_router + " did not come back within " +
         std::to_string(m_timing.backWithinMs / 1000) + " s (" + Shown(KERNEL_TBT_DEVICES) + "/" +
         m_router +
         "). Do not write again: power the notebook off and on, then run kelvane-cli check to "
         "see the running version.");
    return KERNEL_RV_NOT_BACK;
  }
  const uint32_t section = *KernelImageSection(image);
  const NvmVersionText wanted{image[section + KERNEL_OFFSET_MAJOR],
                              image[section + KERNEL_OFFSET_MINOR]};
  std::string versionText;
  const int versionError = m_io.ReadText(router->nvmVersion, versionText);
  const auto running = versionError ? std::nullopt : KernelParseNvmVersion(versionText);
  const auto shown = [](const NvmVersionText& v) {
    char text[24];
    std::snprintf(text, sizeof text, "%x.%x", v.major, v.minor);
    return std::string(text);
  };
  if (!running || running->major != wanted.major || running->minor != wanted.minor) {
    Fail("The authentication status is 0, but the controller runs " +
         (running
              ? "version " + shown(*running)
              : std::string(versionError == ENODATA ? "in safe mode" : "an unreadable version")) +
         " where the image holds " + shown(wanted) +
         ". Power the notebook off and on, then run kelvane-cli check.");
    return KERNEL_RV_VERSION_MISMATCH;
  }
  Note("authentication status 0, running version " + shown(*running));
  return 0;
}

namespace {

class CKernelServices final : public IWmiServices {
 public:
  explicit CKernelServices(CKernelBackend::CState& state) : m_state(state) {}
  bool ExecQuery(const wchar_t* language, const wchar_t* query,
                 std::unique_ptr<IWmiEnumerator>& result) override {
    if (!language || !query || !SameText(language, L"WQL") ||
        !SameText(query, L"select * from SdkTbtController")) {
      return false;
    }
    return m_state.Query(result);
  }
  bool GetObjectByPath(const wchar_t* path, std::unique_ptr<IWmiObject>& object) override {
    if (!path || !SameText(path, KERNEL_CLASS))
      return false;
    object = std::make_unique<CKernelWmiObject>(
        std::set<std::wstring>{},
        CKernelWmiObject::Methods{{L"GetCurrentNvmVersion", {}},
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
