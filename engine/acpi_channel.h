#pragma once
// The channel to the notebook maker's ACPI control driver ("\\.\QVRACPI"), and the start of a
// Windows service by name.
#include <cstdint>

#include "platform/device_control.h"

inline constexpr uint32_t ACPI_METHOD_DEVS = 0x53564544;  // "DEVS" in memory order
inline constexpr uint32_t DEVS_TBT_DEVICE_ID = 0x00060057;
inline constexpr uint32_t IOCTL_ACPI_METHOD = 0x0022240C;
inline constexpr uint32_t ACPI_REPLY_CAPACITY = 1024;

inline constexpr uint32_t SR_OK = 0;
inline constexpr uint32_t SR_NO_SCM = 201;
inline constexpr uint32_t SR_START_FAILED = 203;
inline constexpr uint32_t SR_NO_SERVICE = 204;

extern DeviceHandle g_acpiDevice;

bool AcpiDeviceOpen();
bool AcpiDeviceClose();
bool AcpiCallMethod(uint32_t method, const void* payload, uint32_t payloadLength, void* reply,
                    uint32_t* replyCapacity);
bool AcpiSetDeviceState(uint32_t method, uint32_t deviceId, uint32_t value, uint32_t* reply);
uint32_t StartServiceByName(const wchar_t* name);
