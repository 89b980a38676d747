#include "engine/update_worker.h"

#include <string>
#include <vector>

#include "engine/acpi_channel.h"
#include "engine/compatibility_check.h"
#include "engine/controller_access.h"
#include "engine/image_discovery.h"
#include "platform/platform.h"

namespace {

constexpr uint32_t WORKER_WAIT_MS = 10000;
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

CImageDiscovery g_imageDiscovery;

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
  ImageFind(PlatformDataFolder(), g_imageDiscovery);

  Announce(UpdateStep::LoadImage);
  std::vector<uint8_t> image;
  if (const UpdateResult r = ImageLoad(g_imageDiscovery, image); r != UR_OK)
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

const CImageDiscovery& UpdateWorkerDiscovery() {
  return g_imageDiscovery;
}

void UpdateAttempt(CUpdateState& state, UpdateMode mode) {
  g_imageDiscovery = CImageDiscovery{};
  ISystem& system = PlatformSystem();
  // Two attempts must never interleave device switching, checks and writes on one controller.
  if (!system.AcquireAttemptLock()) {
    state.m_result = UR_ATTEMPT_RUNNING;
    return;
  }
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
  system.ReleaseAttemptLock();

  system.ComUninitialize();
}

uint32_t UpdateWorker(void* state) {
  UpdateAttempt(*static_cast<CUpdateState*>(state), UpdateMode::Write);
  return 0;
}
