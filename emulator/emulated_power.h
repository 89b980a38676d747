#pragma once
// The power side of an emulated notebook as a window sees it over time: the AC state read
// afresh from notebook.ini at each query (so a person or a test can plug the adapter in while
// the program runs), and a power-off request written down in the folder instead of reaching
// the system.
#include <filesystem>

#include "emulator/notebook_config.h"
#include "platform/system.h"

inline constexpr char EMU_POWER_OFF_LOG[] = "poweroff.log";

// What the power query answers for an AcOnline value.
PowerSource EmuPowerSourceOf(EmuAcState state);
// AcOnline of the folder's notebook.ini now; Unknown when the file cannot be read or the
// value is not one the key takes.
PowerSource EmuAcPowerNow(const std::filesystem::path& folder);
// Appends one line "power off" to poweroff.log in the folder; false when it cannot.
bool EmuRecordPowerOff(const std::filesystem::path& folder);
