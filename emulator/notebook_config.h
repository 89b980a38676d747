#pragma once
// What notebook.ini says about one emulated notebook: its controller, its platform and the
// faults to inject. Keys and values are listed in emulator/README.md.
#include <cstdint>
#include <optional>
#include <string>

#include "emulator/notebook_ini.h"

enum class EmuServiceState { Running, Stopped, Absent };
enum class EmuAcState { Online, Offline, Unknown };
enum class EmuClock { Real, Instant };

struct EmuFaults {
  uint32_t failCall = 0;                       // 1-based provider method call that fails; 0: none
  std::optional<uint32_t> failReadAt;          // "ReadFirmware" at this offset fails
  std::optional<uint32_t> shortReadAt;         // "ReadFirmware" at this offset returns 2 bytes
  std::optional<uint32_t> versionReturnValue;  // "ReturnValue" of "GetCurrentNvmVersion"
  std::optional<uint32_t> readReturnValue;     // "ReturnValue" of every "ReadFirmware"
  std::optional<uint32_t> updateReturnValue;   // "ReturnValue" of "UpdateFirmware" (no write)
  bool noNvmVersion = false;                   // "GetCurrentNvmVersion" without "NvmVersion"
  bool noController = false;                   // the namespace holds no controller instance
  uint32_t failDeviceRequest = 0;              // 1-based device request that fails; 0: none
  bool failEveryDeviceRequest = false;
  uint32_t devsReplyBytes = 4;  // bytes the device writes for a DEVS request
};

struct CNotebookConfig {
  std::string nvmImage;  // file name inside the folder, UTF-8
  uint32_t nvmVersion = 0;
  bool nvmImageWritten = false;  // the image is the emulation's own copy of a written one
  bool acpiDevice = true;
  EmuServiceState service = EmuServiceState::Stopped;
  bool thunderboltSoftware = true;
  EmuAcState ac = EmuAcState::Online;
  EmuClock clock = EmuClock::Real;
  EmuFaults faults;
};

// False with a message naming the key when a value is missing or not one the key takes, and
// with the line's number for a section or key it does not know or a line it cannot read.
bool NotebookConfigFromIni(const CNotebookIni& ini, CNotebookConfig& config, std::string& error);

// "0x16" or "22"; the whole text must be a number that fits 32 bits.
std::optional<uint32_t> NotebookParseNumber(const std::string& text);
