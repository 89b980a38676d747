#pragma once
// The ordered record of everything the program asked of the emulated notebook, so tests can
// assert the exchange step by step.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

enum class EmuEventKind {
  DeviceOpen,      // name: the device name; number: 1 when it opened
  DeviceRequest,   // bytes: the request; number: the control code
  DeviceClose,     //
  ServiceManager,  // number: 1 when it opened
  ServiceOpen,     // name: the service; number: 1 when it opened
  ServiceStart,    // name: the service; number: the system's error (0 on success)
  Wait,            // number: milliseconds
  WmiConnect,      // name: the namespace; number: 1 when it connected
  WmiQuery,        // name: the query
  WmiMethod,       // name: the method; detail: its in-parameters, "offset=4 length=4"
};

struct EmuEvent {
  EmuEventKind kind;
  std::wstring name;
  uint32_t number = 0;
  std::vector<uint8_t> bytes;
  std::wstring detail;
};

class CExchangeRecord {
 public:
  void Add(EmuEvent event);
  std::vector<EmuEvent> Events() const;
  void Clear();
  // One line per event, for readable sequence assertions: "DEVS 1", "start ThunderboltService",
  // "wait 10000", "connect", "GetCurrentNvmVersion", "ReadFirmware offset=4 length=4", ...
  // Device requests other than DEVS are shown as "request"; opens and closes are left out.
  std::vector<std::string> Summary() const;

 private:
  mutable std::mutex m_lock;
  std::vector<EmuEvent> m_events;
};
