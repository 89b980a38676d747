#pragma once
// The platform parts of the emulated notebook: the ACPI control device, the service table and
// a system whose waits and power state come from notebook.ini.
#include <atomic>

#include "emulator/exchange_record.h"
#include "emulator/notebook_config.h"
#include "platform/device_control.h"
#include "platform/service_control.h"
#include "platform/system.h"

inline constexpr wchar_t EMU_ACPI_DEVICE[] = L"\\\\.\\QVRACPI";
inline constexpr wchar_t EMU_TBT_SERVICE[] = L"ThunderboltService";

// Answers "DEVS" requests; remembers the last value set for each platform device.
class CEmulatedDevices final : public IDeviceControl {
 public:
  CEmulatedDevices(const CNotebookConfig& config, CExchangeRecord& record)
      : m_config(config), m_record(record) {}
  DeviceHandle Open(const wchar_t* name) override;
  bool Control(DeviceHandle device, uint32_t code, const void* in, uint32_t inSize, void* out,
               uint32_t outCapacity, uint32_t* written) override;
  bool Close(DeviceHandle device) override;

  // The last "DEVS" value of the Thunderbolt platform device (0 until one is set).
  uint32_t ThunderboltDeviceState() const { return m_tbtState; }

 private:
  const CNotebookConfig& m_config;
  CExchangeRecord& m_record;
  bool m_open = false;
  uint32_t m_requests = 0;
  uint32_t m_tbtState = 0;
};

class CEmulatedServices final : public IServiceControl {
 public:
  CEmulatedServices(const CNotebookConfig& config, CExchangeRecord& record)
      : m_state(config.service), m_record(record) {}
  ServiceHandle OpenManager() override;
  ServiceHandle OpenNamed(ServiceHandle manager, const wchar_t* name) override;
  bool Start(ServiceHandle service, uint32_t& lastError) override;
  void Close(ServiceHandle) override {}

  EmuServiceState ThunderboltServiceState() const { return m_state; }

 private:
  EmuServiceState m_state;
  CExchangeRecord& m_record;
};

// Everything but the waits and the power state is the real system's.
class CEmulatedSystem final : public ISystem {
 public:
  CEmulatedSystem(const CNotebookConfig& config, CExchangeRecord& record, ISystem& native)
      : m_config(config), m_record(record), m_native(native) {}
  void Wait(uint32_t milliseconds) override;
  PowerSource AcPowerSource() override;

  bool ModulePath(std::wstring& path) override { return m_native.ModulePath(path); }
  bool ListDirectory(const std::wstring& pattern, std::vector<std::wstring>& names) override {
    return m_native.ListDirectory(pattern, names);
  }
  FileReadStatus ReadWholeFile(const std::wstring& path, std::vector<uint8_t>& bytes) override {
    return m_native.ReadWholeFile(path, bytes);
  }
  uint16_t UserUiLanguage() override { return m_native.UserUiLanguage(); }
  // An emulated notebook is never really switched off.
  bool RequestPowerOff() override { return false; }
  uint32_t ReadProfileString(const wchar_t* section, const wchar_t* key, const wchar_t* fallback,
                             wchar_t* out, uint32_t capacity, const wchar_t* path) override {
    return m_native.ReadProfileString(section, key, fallback, out, capacity, path);
  }
  void ComInitialize() override { m_native.ComInitialize(); }
  void ComUninitialize() override { m_native.ComUninitialize(); }
  // Other processes are kept out by the folder lock the notebook holds from its load; this
  // keeps a second attempt of this process out.
  bool AcquireAttemptLock() override { return !m_attempt.exchange(true); }
  void ReleaseAttemptLock() override { m_attempt = false; }

 private:
  const CNotebookConfig& m_config;
  CExchangeRecord& m_record;
  ISystem& m_native;
  std::atomic<bool> m_attempt{false};
};
