#pragma once
// The only road to the Thunderbolt controller's NVM: the Thunderbolt software's WMI provider,
// class "SdkTbtController" in "ROOT\Intel\Thunderbolt". Every outcome is an UpdateResult.
#include <cstdint>
#include <memory>

#include "engine/result_codes.h"
#include "platform/wmi_model.h"

inline constexpr uint32_t CONTROLLER_PATH_CAPACITY = 260;

extern std::unique_ptr<IWmiServices> g_wbemServices;
extern wchar_t g_controllerPath[CONTROLLER_PATH_CAPACITY];

bool WmiConnect();
bool WmiFindController();
UpdateResult WmiGetCurrentNvmVersion(uint32_t* version);
// delivered, when given, receives how many bytes the reply's "data" held (at most length).
UpdateResult WmiReadFirmware(uint32_t offset, uint32_t length, uint8_t* destination,
                             uint32_t* delivered = nullptr);
UpdateResult WmiUpdateFirmware(const uint8_t* image, uint32_t size);
void EscapeBackslashes(const wchar_t* source, wchar_t* destination, uint32_t capacity);
