#pragma once
// One emulated notebook, loaded from a folder with notebook.ini, served as the platform back
// end while an object of this class is installed.
#include <filesystem>
#include <memory>
#include <string>

#include "emulator/emulated_controller.h"
#include "emulator/emulated_files.h"
#include "emulator/emulated_platform.h"
#include "emulator/emulated_provider.h"
#include "emulator/exchange_record.h"
#include "emulator/notebook_config.h"
#include "platform/platform.h"

class CEmulatedNotebook {
 public:
  // Null with a message when the folder does not describe a notebook, or when another run
  // holds it (then *inUse is set). The notebook keeps every other run out of the folder for as
  // long as it exists, so what it loaded stays what the folder holds.
  static std::unique_ptr<CEmulatedNotebook> Load(const std::filesystem::path& folder,
                                                 std::string& error, bool* inUse = nullptr);

  // The back end to install (CScopedPlatform); the system part delegates to the one current
  // when the notebook was loaded.
  PlatformServices Services();

  const CNotebookConfig& Config() const { return m_config; }
  CExchangeRecord& Record() { return m_record; }
  const CEmulatedController& Controller() const { return m_controller; }
  CEmulatedController& Controller() { return m_controller; }
  const CEmulatedDevices& Devices() const { return m_devices; }
  const CEmulatedServices& ServiceTable() const { return m_services; }

 private:
  explicit CEmulatedNotebook(const CNotebookConfig& config, ISystem& native);

  std::unique_ptr<CEmuFolderLock> m_lock;  // first in, last out
  CNotebookConfig m_config;
  CExchangeRecord m_record;
  CEmulatedController m_controller;
  CEmulatedDevices m_devices;
  CEmulatedServices m_services;
  CEmulatedSystem m_system;
  CEmulatedProvider m_provider;
};
