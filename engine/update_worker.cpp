#include "engine/update_worker.h"

#include <string>
#include <vector>

#include "engine/acpi_channel.h"
#include "engine/compatibility_check.h"
#include "engine/controller_access.h"
#include "platform/platform.h"

namespace {

constexpr uint32_t WORKER_WAIT_MS = 10000;
constexpr size_t WORKER_PATH_CAPACITY = 1024;  // wide characters, terminator included
constexpr wchar_t WORKER_SERVICE_NAME[] = L"ThunderboltService";
// Left in place when "GetCurrentNvmVersion" succeeds without "NvmVersion": no image version (a
// byte) reaches it, so an unknown controller version is only written over with downgrades
// allowed.
constexpr uint32_t CONTROLLER_VERSION_UNSET = UINT32_MAX;

UpdateStepObserver g_stepObserver = nullptr;
void* g_stepObserverContext = nullptr;

void Announce(UpdateStep step) {
  if (g_stepObserver)
    g_stepObserver(step, g_stepObserverContext);
}

void SetDeviceState(uint32_t value) {
  uint32_t reply = 0;
  AcpiSetDeviceState(ACPI_METHOD_DEVS, DEVS_TBT_DEVICE_ID, value, &reply);
}

}  // namespace

std::wstring UpdateFindImageFile(const std::wstring& folder) {
  const std::wstring pattern = folder + L"\\*.bin";
  if (pattern.size() >= WORKER_PATH_CAPACITY)
    return {};
  std::vector<std::wstring> names;
  if (!PlatformSystem().ListDirectory(pattern, names))
    return {};
  for (const std::wstring& name : names) {
    if (name == L"." || name == L"..")
      continue;
    std::wstring path = folder + L"\\" + name;
    if (path.size() >= WORKER_PATH_CAPACITY)
      return {};
    return path;
  }
  return {};
}

namespace {

// The whole image, or the reason there is none. A file that could not be read in full is no
// image: checking or writing the zeros in place of its missing bytes could brick the
// controller.
UpdateResult LoadImage(const std::wstring& path, std::vector<uint8_t>& image) {
  if (path.empty())
    return UR_NO_IMAGE;
  switch (PlatformSystem().ReadWholeFile(path, image)) {
    case FileReadStatus::Ok:
      return UR_OK;
    case FileReadStatus::NoMemory:
      return UR_OUT_OF_MEMORY;
    case FileReadStatus::OpenFailed:
    case FileReadStatus::TooLarge:
    case FileReadStatus::ShortRead:
      break;
  }
  return UR_NO_IMAGE;
}

// The steps between the first wait and the second; each failure ends the attempt here.
UpdateResult RunConnectedSteps(const CUpdateState& state, UpdateMode mode) {
  Announce(UpdateStep::Connect);
  if (!WmiConnect())
    return UR_NO_TBT_SOFTWARE;

  Announce(UpdateStep::ReadVersion);
  uint32_t controllerVersion = CONTROLLER_VERSION_UNSET;
  if (const UpdateResult r = WmiGetCurrentNvmVersion(&controllerVersion); r != UR_OK)
    return r;

  Announce(UpdateStep::FindImage);
  const std::wstring path = UpdateFindImageFile(PlatformDataFolder());

  Announce(UpdateStep::LoadImage);
  std::vector<uint8_t> image;
  if (const UpdateResult r = LoadImage(path, image); r != UR_OK)
    return r;

  Announce(UpdateStep::CheckImage);
  uint32_t imageVersion = 0;
  const uint32_t size = static_cast<uint32_t>(image.size());
  if (const UpdateResult r = CheckImageCompatibility(image.data(), size, &imageVersion);
      r != UR_OK) {
    return r;
  }

  Announce(UpdateStep::VersionRule);
  const bool newerOrSame =
      controllerVersion != CONTROLLER_VERSION_UNSET && imageVersion >= controllerVersion;
  if (!newerOrSame && !state.m_downgradable)
    return UR_DOWNGRADE_REFUSED;
  if (mode == UpdateMode::CheckOnly)
    return UR_OK;

  Announce(UpdateStep::Write);
  return WmiUpdateFirmware(image.data(), size);
}

}  // namespace

void UpdateWorkerSetObserver(UpdateStepObserver observer, void* context) {
  g_stepObserver = observer;
  g_stepObserverContext = context;
}

const char* UpdateStepName(UpdateStep step) {
  switch (step) {
    case UpdateStep::DeviceOn:
      return "device on";
    case UpdateStep::ServiceStart:
      return "service start";
    case UpdateStep::ServiceWait:
      return "wait for the service";
    case UpdateStep::Connect:
      return "connect";
    case UpdateStep::ReadVersion:
      return "controller version";
    case UpdateStep::FindImage:
      return "find image";
    case UpdateStep::LoadImage:
      return "load image";
    case UpdateStep::CheckImage:
      return "compatibility check";
    case UpdateStep::VersionRule:
      return "version rule";
    case UpdateStep::Write:
      return "write";
    case UpdateStep::SettleWait:
      return "wait for the controller";
    case UpdateStep::DeviceOff:
      return "device off";
  }
  return "?";
}

void UpdateAttempt(CUpdateState& state, UpdateMode mode) {
  ISystem& system = PlatformSystem();
  system.ComInitialize();

  Announce(UpdateStep::DeviceOn);
  SetDeviceState(1);
  Announce(UpdateStep::ServiceStart);
  StartServiceByName(WORKER_SERVICE_NAME);
  Announce(UpdateStep::ServiceWait);
  system.Wait(WORKER_WAIT_MS);

  state.m_result = RunConnectedSteps(state, mode);

  // Every path from here on: the device must never be left switched on.
  Announce(UpdateStep::SettleWait);
  system.Wait(WORKER_WAIT_MS);
  Announce(UpdateStep::DeviceOff);
  SetDeviceState(0);

  system.ComUninitialize();
}

uint32_t UpdateWorker(void* state) {
  UpdateAttempt(*static_cast<CUpdateState*>(state), UpdateMode::Write);
  return 0;
}
