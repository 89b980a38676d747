#include "platform/platform.h"

namespace {
PlatformServices g_platform = PlatformNative();
std::wstring g_dataFolderOverride;
}  // namespace

const PlatformServices& PlatformCurrent() {
  return g_platform;
}

PlatformServices PlatformInstall(const PlatformServices& services) {
  PlatformServices previous = g_platform;
  if (services.wmi)
    g_platform.wmi = services.wmi;
  if (services.devices)
    g_platform.devices = services.devices;
  if (services.services)
    g_platform.services = services.services;
  if (services.system)
    g_platform.system = services.system;
  return previous;
}

std::wstring PlatformDataFolder() {
  if (!g_dataFolderOverride.empty())
    return g_dataFolderOverride;
  std::wstring path;
  if (!PlatformSystem().ModulePath(path))
    path.clear();
  // Cut after the last backslash (it stays); a path without one is kept whole.
  const size_t slash = path.rfind(L'\\');
  if (slash != std::wstring::npos)
    path.resize(slash + 1);
  return path + L"data";
}

void PlatformSetDataFolder(const std::wstring& folder) {
  g_dataFolderOverride = folder;
}
