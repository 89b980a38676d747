#include "app/emulated_session.h"

#include "emulator/emulated_power.h"

PowerSource CEmulatedSession::CPowerSystem::AcPowerSource() {
  return EmuAcPowerNow(m_folder);
}

bool CEmulatedSession::CPowerSystem::RequestPowerOff() {
  // Never the system's power-off: the machine under the emulation stays on.
  return EmuRecordPowerOff(m_folder);
}

std::unique_ptr<CEmulatedSession> CEmulatedSession::Start(const std::filesystem::path& folder,
                                                          std::string& error) {
  auto notebook = CEmulatedNotebook::Load(folder, error);
  if (!notebook)
    return nullptr;
  return std::unique_ptr<CEmulatedSession>(new CEmulatedSession(std::move(notebook), folder));
}

CEmulatedSession::CEmulatedSession(std::unique_ptr<CEmulatedNotebook> notebook,
                                   const std::filesystem::path& folder)
    : m_notebook(std::move(notebook)),
      m_system(*m_notebook->Services().system, folder),
      m_installed(Services()) {
  std::error_code ignored;
  const std::filesystem::path data = folder / "data";
  if (std::filesystem::is_directory(data, ignored))
    PlatformSetDataFolder(data.wstring());
}

CEmulatedSession::~CEmulatedSession() {
  PlatformSetDataFolder(L"");
}

PlatformServices CEmulatedSession::Services() {
  PlatformServices services = m_notebook->Services();
  services.system = &m_system;
  return services;
}
