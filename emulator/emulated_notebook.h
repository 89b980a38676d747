#pragma once
// One emulated notebook, loaded from a folder with notebook.ini, served as the platform back
// end while an object of this class is installed.
#include <filesystem>
#include <memory>
#include <string>

#include "emulator/emulated_controller.h"
#include "emulator/emulated_platform.h"
#include "emulator/emulated_provider.h"
#include "emulator/exchange_record.h"
#include "emulator/notebook_config.h"
#include "platform/platform.h"

class CEmulatedNotebook {
 public:
  // Null with a message when the folder does not describe a notebook.
  static std::unique_ptr<CEmulatedNotebook> Load(const std::filesystem::path& folder,
                                                 std::string& error);

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

  CNotebookConfig m_config;
  CExchangeRecord m_record;
  CEmulatedController m_controller;
  CEmulatedDevices m_devices;
  CEmulatedServices m_services;
  CEmulatedSystem m_system;
  CEmulatedProvider m_provider;
};
