#pragma once
// Device control: open a device by name, send one device-control request, close.
#include <cstdint>

using DeviceHandle = std::uintptr_t;
inline constexpr DeviceHandle DEVICE_HANDLE_EMPTY = 0;
// The value a failed open leaves (INVALID_HANDLE_VALUE on Windows).
inline constexpr DeviceHandle DEVICE_HANDLE_INVALID = ~DeviceHandle{0};

class IDeviceControl {
 public:
  virtual ~IDeviceControl() = default;
  // Opens for reading and writing, shared for reading and writing, existing devices only.
  // Returns DEVICE_HANDLE_INVALID on failure.
  virtual DeviceHandle Open(const wchar_t* name) = 0;
  // One request; on success *written holds the bytes the device wrote into out.
  virtual bool Control(DeviceHandle device, uint32_t code, const void* in, uint32_t inSize,
                       void* out, uint32_t outCapacity, uint32_t* written) = 0;
  virtual bool Close(DeviceHandle device) = 0;
};
