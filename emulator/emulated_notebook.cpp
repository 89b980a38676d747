#include "emulator/emulated_notebook.h"

CEmulatedNotebook::CEmulatedNotebook(const CNotebookConfig& config, ISystem& native)
    : m_config(config),
      m_devices(m_config, m_record),
      m_services(m_config, m_record),
      m_system(m_config, m_record, native),
      m_provider(m_config, m_controller, m_record) {}

std::unique_ptr<CEmulatedNotebook> CEmulatedNotebook::Load(const std::filesystem::path& folder,
                                                           std::string& error) {
  std::string text;
  if (!EmuReadFile(folder / "notebook.ini", text)) {
    error = "cannot read notebook.ini in the emulation folder";
    return nullptr;
  }
  CNotebookConfig config;
  if (!NotebookConfigFromIni(CNotebookIni::Parse(text), config, error))
    return nullptr;
  std::unique_ptr<CEmulatedNotebook> notebook(new CEmulatedNotebook(config, PlatformSystem()));
  if (!notebook->m_controller.Load(folder, config.nvmImage, config.nvmVersion, error)) {
    return nullptr;
  }
  return notebook;
}

PlatformServices CEmulatedNotebook::Services() {
  return {&m_provider, &m_devices, &m_services, &m_system};
}
