#pragma once
// A Thunderbolt controller behind the scripted WMI provider: it serves "GetCurrentNvmVersion",
// "ReadFirmware" and "UpdateFirmware" from an NVM held in memory and records every request.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tests/support/scripted_wmi.h"

inline constexpr uint32_t SCRIPTED_BAD_PARAMETER = 0x80041008;  // a provider code of its own

class CScriptedController {
 public:
  CScriptedController(std::vector<uint8_t> nvm, uint32_t version,
                      std::wstring controllerId = L"TBT\\Controller_0");

  CScriptedWmi& Wmi() { return m_wmi; }
  WmiScript& Script() { return m_wmi.Script(); }

  std::vector<uint8_t> nvm;  // "ReadFirmware" offset 0 is its first byte; beyond it reads 0xFF
  uint32_t version;
  // A "ReturnValue" other than 0 for reads of one dword (the data is delivered all the same).
  std::map<uint32_t, uint32_t> readReturnValues;
  uint32_t updateReturnValue = 0;

  std::vector<uint32_t> readOffsets;  // every "ReadFirmware" request, in order
  std::vector<uint32_t> readLengths;
  std::vector<uint8_t> written;  // the last "UpdateFirmware" buffer
  int32_t writtenSize = -1;      // its "BufferSize"

 private:
  WmiMethodReply GetVersion();
  WmiMethodReply Read(const WmiProperties& in);
  WmiMethodReply Update(const WmiProperties& in);

  CScriptedWmi m_wmi;
};
