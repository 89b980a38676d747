#include "emulator/emulated_notebook.h"

CEmulatedNotebook::CEmulatedNotebook(const CNotebookConfig& config, ISystem& native)
    : m_config(config),
      m_devices(m_config, m_record),
      m_services(m_config, m_record),
      m_system(m_config, m_record, native),
      m_provider(m_config, m_controller, m_record) {}

namespace {

// A notebook.ini is a few hundred bytes; anything near this is not one.
constexpr uint64_t EMU_INI_LIMIT = 1u << 20;

}  // namespace

std::unique_ptr<CEmulatedNotebook> CEmulatedNotebook::Load(const std::filesystem::path& folder,
                                                           std::string& error, bool* inUse) {
  if (inUse)
    *inUse = false;
  auto lock = std::make_unique<CEmuFolderLock>();
  const CEmuFolderLock::Status locked = lock->Lock(folder);
  if (locked == CEmuFolderLock::Status::Busy) {
    error = "another run is using this emulation folder";
    if (inUse)
      *inUse = true;
    return nullptr;
  }
  std::string text;
  const EmuFileStatus read = EmuReadRegularFile(folder / "notebook.ini", text, EMU_INI_LIMIT);
  if (read != EmuFileStatus::Ok) {
    error = std::string("notebook.ini in the emulation folder ") + EmuFileStatusText(read);
    return nullptr;
  }
  if (locked != CEmuFolderLock::Status::Held) {
    error = "cannot write " + EmuPathText(folder / EMU_LOCK_FILE) + " to lock the folder";
    return nullptr;
  }
  CNotebookConfig config;
  if (!NotebookConfigFromIni(CNotebookIni::Parse(text), config, error))
    return nullptr;
  std::unique_ptr<CEmulatedNotebook> notebook(new CEmulatedNotebook(config, PlatformSystem()));
  if (!notebook->m_controller.Load(folder, config.nvmImage, config.nvmVersion,
                                   config.nvmImageWritten, error)) {
    return nullptr;
  }
  notebook->m_lock = std::move(lock);
  return notebook;
}

PlatformServices CEmulatedNotebook::Services() {
  return {&m_provider, &m_devices, &m_services, &m_system};
}
