#pragma once
// The process-wide choice of platform back end: the real system by default, the emulated
// notebook or a test's scripted one when installed.
#include "platform/device_control.h"
#include "platform/service_control.h"
#include "platform/system.h"
#include "platform/wmi_model.h"

struct PlatformServices {
  IWmi* wmi = nullptr;
  IDeviceControl* devices = nullptr;
  IServiceControl* services = nullptr;
  ISystem* system = nullptr;
};

// The real platform of this build.
PlatformServices PlatformNative();
const PlatformServices& PlatformCurrent();
// Installs a back end; members left null keep the current one. Returns the previous one.
PlatformServices PlatformInstall(const PlatformServices& services);

inline IWmi& PlatformWmi() {
  return *PlatformCurrent().wmi;
}
inline IDeviceControl& PlatformDevices() {
  return *PlatformCurrent().devices;
}
inline IServiceControl& PlatformServiceControl() {
  return *PlatformCurrent().services;
}
inline ISystem& PlatformSystem() {
  return *PlatformCurrent().system;
}

// Installs a back end for the life of a scope (tests, an emulated run).
class CScopedPlatform {
 public:
  explicit CScopedPlatform(const PlatformServices& services)
      : m_previous(PlatformInstall(services)) {}
  ~CScopedPlatform() { PlatformInstall(m_previous); }
  CScopedPlatform(const CScopedPlatform&) = delete;
  CScopedPlatform& operator=(const CScopedPlatform&) = delete;

 private:
  PlatformServices m_previous;
};

// The folder "data" beside the program, or the folder a caller named instead (--data).
std::wstring PlatformDataFolder();
void PlatformSetDataFolder(const std::wstring& folder);

// A path as the user's system writes it (slashes on POSIX), in UTF-8, for messages.
std::string PlatformDisplayPath(const std::wstring& path);
