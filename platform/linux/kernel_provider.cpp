// The controller side of the kernel back end: the connection, the choice of host router, the
// version, the NVM reads and the force-power switch.
#include "platform/linux/kernel_state.h"
#include "platform/utf8.h"

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
  if (!nameSpace || !KernelSameText(nameSpace, KERNEL_NAMESPACE))
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
  if (KernelIsPermissionError(m_forcePowerError)) {
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
           (KernelIsPermissionError(error) ? KERNEL_AS_ROOT : ""));
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
         "." + (KernelIsPermissionError(error) ? KERNEL_AS_ROOT : ""));
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
    auto object = std::make_unique<CWmiMemoryObject>();
    object->Set(L"ControllerId", WmiValue::Str(WideFromUtf8(m_router)));
    instance = std::move(object);
  }
  result = std::make_unique<CWmiSingleEnumerator>(std::move(instance));
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
  if (KernelSameText(method, L"GetCurrentNvmVersion")) {
    reply = NvmVersion(*router);
  } else if (KernelSameText(method, L"ReadFirmware")) {
    reply = ReadFirmware(*router, in);
  } else if (KernelSameText(method, L"UpdateFirmware")) {
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
    return KernelOutParams(KERNEL_RV_SAFE_MODE);
  }
  const auto version = error ? std::nullopt : KernelParseNvmVersion(text);
  if (!version) {
    Fail("Cannot read the controller's version from " + Shown(router.nvmVersion) + ": " +
         (error ? SysfsErrorText(error) : "\"" + text + "\" is not major.minor") + ".");
    return KernelOutParams(KERNEL_RV_READ_FAILED);
  }
  auto out = KernelOutParams(0);
  out->Set(L"NvmVersion", WmiValue::Int(static_cast<int32_t>(version->major)));
  return out;
}

std::unique_ptr<IWmiObject> CKernelBackend::CState::ReadFirmware(const KernelRouter& router,
                                                                 IWmiObject* in) {
  int32_t offset = 0, length = 0;
  if (!KernelGetInt(in, L"offset", offset) || !KernelGetInt(in, L"length", length) || offset < 0 ||
      length < 0) {
    return KernelOutParams(KERNEL_RV_BAD_PARAMETER);
  }
  std::vector<uint8_t> data;
  const int error = router.activeNvmem.empty()
                        ? ENOENT
                        : m_io.ReadAt(router.activeNvmem, uint64_t(offset), uint32_t(length), data);
  if (error) {
    Fail("Cannot read the controller's NVM from " +
         Shown(router.activeNvmem.empty() ? router.folder + "/nvm_active<N>/nvmem"
                                          : router.activeNvmem) +
         " at " + KernelHex(uint32_t(offset)) + ": " + SysfsErrorText(error) + ".");
    return KernelOutParams(KERNEL_RV_READ_FAILED);
  }
  auto out = KernelOutParams(0);
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
    return "the image ends before the version at " + KernelHex(section + KERNEL_OFFSET_MAJOR);
  return {};
}
