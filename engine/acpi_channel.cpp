#include "engine/acpi_channel.h"

#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "platform/service_control.h"

DeviceHandle g_acpiDevice = DEVICE_HANDLE_EMPTY;

namespace {

constexpr wchar_t ACPI_DEVICE_NAME[] = L"\\\\.\\QVRACPI";
constexpr uint32_t ACPI_REQUEST_HEADER = 8;

bool AcpiDeviceUsable() {
  return g_acpiDevice != DEVICE_HANDLE_EMPTY && g_acpiDevice != DEVICE_HANDLE_INVALID;
}

void StoreLittleEndian32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t LoadLittleEndian32(const uint8_t* at) {
  return uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
}

}  // namespace

bool AcpiDeviceOpen() {
  g_acpiDevice = PlatformDevices().Open(ACPI_DEVICE_NAME);
  return g_acpiDevice != DEVICE_HANDLE_INVALID;
}

bool AcpiDeviceClose() {
  if (!AcpiDeviceUsable())
    return false;
  PlatformDevices().Close(g_acpiDevice);
  g_acpiDevice = DEVICE_HANDLE_EMPTY;
  return true;
}

bool AcpiCallMethod(uint32_t method, const void* payload, uint32_t payloadLength, void* reply,
                    uint32_t* replyCapacity) {
  // A payload so long that the request size wraps cannot be sent.
  if (payloadLength > UINT32_MAX - ACPI_REQUEST_HEADER)
    return false;
  std::vector<uint8_t> request(size_t{payloadLength} + ACPI_REQUEST_HEADER);
  StoreLittleEndian32(request.data(), method);
  StoreLittleEndian32(request.data() + 4, payloadLength);
  if (payloadLength)
    std::memcpy(request.data() + ACPI_REQUEST_HEADER, payload, payloadLength);

  uint8_t output[ACPI_REPLY_CAPACITY] = {};
  uint32_t written = 0;
  const bool ok = PlatformDevices().Control(g_acpiDevice, IOCTL_ACPI_METHOD, request.data(),
                                            static_cast<uint32_t>(request.size()), output,
                                            sizeof output, &written);
  if (!ok)
    return false;
  // A device that claims more than the buffer holds is not believed past the buffer.
  uint32_t delivered = written < ACPI_REPLY_CAPACITY ? written : ACPI_REPLY_CAPACITY;
  if (replyCapacity) {
    if (*replyCapacity < delivered)
      delivered = *replyCapacity;
    if (reply && delivered)
      std::memcpy(reply, output, delivered);
    *replyCapacity = delivered;
  }
  return true;
}

bool AcpiSetDeviceState(uint32_t method, uint32_t deviceId, uint32_t value, uint32_t* reply) {
  if (!AcpiDeviceUsable())
    return false;
  uint8_t payload[8];
  StoreLittleEndian32(payload, deviceId);
  StoreLittleEndian32(payload + 4, value);
  uint8_t answer[4] = {};
  uint32_t capacity = sizeof answer;
  if (!AcpiCallMethod(method, payload, sizeof payload, answer, &capacity))
    return false;
  if (reply)
    *reply = capacity == sizeof answer ? LoadLittleEndian32(answer) : 0;
  return true;
}

uint32_t StartServiceByName(const wchar_t* name) {
  IServiceControl& scm = PlatformServiceControl();
  const ServiceHandle manager = scm.OpenManager();
  if (!manager)
    return SR_NO_SCM;
  const ServiceHandle service = scm.OpenNamed(manager, name);
  if (!service) {
    scm.Close(manager);
    return SR_NO_SERVICE;
  }
  uint32_t lastError = 0;
  uint32_t result = SR_OK;
  if (!scm.Start(service, lastError) && lastError != SERVICE_ERROR_ALREADY_RUNNING) {
    result = SR_START_FAILED;
  }
  scm.Close(service);
  scm.Close(manager);
  return result;
}
