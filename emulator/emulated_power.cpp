#include "emulator/emulated_power.h"

#include <fstream>
#include <string>

#include "emulator/emulated_controller.h"
#include "emulator/notebook_config.h"
#include "emulator/notebook_ini.h"

PowerSource EmuAcPowerNow(const std::filesystem::path& folder) {
  std::string text;
  if (!EmuReadFile(folder / "notebook.ini", text))
    return PowerSource::Unknown;
  CNotebookConfig config;
  std::string error;
  if (!NotebookConfigFromIni(CNotebookIni::Parse(text), config, error))
    return PowerSource::Unknown;
  return EmuPowerSourceOf(config.ac);
}

PowerSource EmuPowerSourceOf(EmuAcState state) {
  switch (state) {
    case EmuAcState::Online:
      return PowerSource::Ac;
    case EmuAcState::Offline:
      return PowerSource::Battery;
    case EmuAcState::Unknown:
      break;
  }
  return PowerSource::Unknown;
}

bool EmuRecordPowerOff(const std::filesystem::path& folder) {
  std::ofstream log(folder / EMU_POWER_OFF_LOG, std::ios::app | std::ios::binary);
  log << "power off\n";
  log.flush();
  return static_cast<bool>(log);
}
