#include "emulator/emulated_platform.h"

#include <cstring>
#include <cwchar>

#include "emulator/emulated_power.h"

namespace {

constexpr DeviceHandle EMU_DEVICE_HANDLE = 0x4143;
constexpr ServiceHandle EMU_MANAGER_HANDLE = 1;
constexpr ServiceHandle EMU_SERVICE_HANDLE = 2;
constexpr uint32_t EMU_IOCTL_ACPI_METHOD = 0x0022240C;
constexpr uint32_t EMU_METHOD_DEVS = 0x53564544;
constexpr uint32_t EMU_TBT_DEVICE_ID = 0x00060057;

uint32_t LoadLittleEndian32(const uint8_t* at) {
  return uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
}

}  // namespace

DeviceHandle CEmulatedDevices::Open(const wchar_t* name) {
  const bool ok = m_config.acpiDevice && name && std::wcscmp(name, EMU_ACPI_DEVICE) == 0;
  m_record.Add({EmuEventKind::DeviceOpen, name ? name : L"", ok ? 1u : 0u, {}, {}});
  if (!ok)
    return DEVICE_HANDLE_INVALID;
  m_open = true;
  return EMU_DEVICE_HANDLE;
}

bool CEmulatedDevices::Control(DeviceHandle device, uint32_t code, const void* in, uint32_t inSize,
                               void* out, uint32_t outCapacity, uint32_t* written) {
  const auto* request = static_cast<const uint8_t*>(in);
  m_record.Add({EmuEventKind::DeviceRequest,
                {},
                code,
                request ? std::vector<uint8_t>(request, request + inSize) : std::vector<uint8_t>{},
                {}});
  ++m_requests;
  const EmuFaults& faults = m_config.faults;
  if (!m_open || device != EMU_DEVICE_HANDLE || code != EMU_IOCTL_ACPI_METHOD)
    return false;
  if (faults.failEveryDeviceRequest || m_requests == faults.failDeviceRequest)
    return false;
  // The driver knows one method: DEVS with an 8-byte payload of device id and value.
  if (!request || inSize != 16 || LoadLittleEndian32(request) != EMU_METHOD_DEVS ||
      LoadLittleEndian32(request + 4) != 8) {
    return false;
  }
  const uint32_t deviceId = LoadLittleEndian32(request + 8);
  const uint32_t value = LoadLittleEndian32(request + 12);
  if (deviceId == EMU_TBT_DEVICE_ID)
    m_tbtState = value;

  // The reply echoes the value set, padded with zeros to the configured length.
  uint8_t reply[1024] = {};
  std::memcpy(reply, &request[12], 4);
  const uint32_t length = faults.devsReplyBytes < outCapacity ? faults.devsReplyBytes : outCapacity;
  if (out && length)
    std::memcpy(out, reply, length);
  if (written)
    *written = out ? length : 0;
  return true;
}

bool CEmulatedDevices::Close(DeviceHandle device) {
  m_record.Add({EmuEventKind::DeviceClose, {}, 0, {}, {}});
  if (!m_open || device != EMU_DEVICE_HANDLE)
    return false;
  m_open = false;
  return true;
}

ServiceHandle CEmulatedServices::OpenManager() {
  m_record.Add({EmuEventKind::ServiceManager, {}, 1, {}, {}});
  return EMU_MANAGER_HANDLE;
}

ServiceHandle CEmulatedServices::OpenNamed(ServiceHandle manager, const wchar_t* name) {
  const bool ok = manager == EMU_MANAGER_HANDLE && name &&
                  std::wcscmp(name, EMU_TBT_SERVICE) == 0 && m_state != EmuServiceState::Absent;
  m_record.Add({EmuEventKind::ServiceOpen, name ? name : L"", ok ? 1u : 0u, {}, {}});
  return ok ? EMU_SERVICE_HANDLE : 0;
}

bool CEmulatedServices::Start(ServiceHandle service, uint32_t& lastError) {
  lastError = 0;
  if (service != EMU_SERVICE_HANDLE) {
    lastError = 6;  // invalid handle
  } else if (m_state == EmuServiceState::Running) {
    lastError = SERVICE_ERROR_ALREADY_RUNNING;
  } else {
    m_state = EmuServiceState::Running;
  }
  m_record.Add({EmuEventKind::ServiceStart, EMU_TBT_SERVICE, lastError, {}, {}});
  return lastError == 0;
}

void CEmulatedSystem::Wait(uint32_t milliseconds) {
  m_record.Add({EmuEventKind::Wait, {}, milliseconds, {}, {}});
  if (m_config.clock == EmuClock::Real)
    m_native.Wait(milliseconds);
}

PowerSource CEmulatedSystem::AcPowerSource() {
  return EmuPowerSourceOf(m_config.ac);
}
