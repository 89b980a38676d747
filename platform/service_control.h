#pragma once
// Service control: open the manager, open a service by name, start it, close handles.
#include <cstdint>

using ServiceHandle = std::uintptr_t;  // 0: none
inline constexpr uint32_t SERVICE_ERROR_ALREADY_RUNNING = 1056;

class IServiceControl {
 public:
  virtual ~IServiceControl() = default;
  virtual ServiceHandle OpenManager() = 0;
  virtual ServiceHandle OpenNamed(ServiceHandle manager, const wchar_t* name) = 0;
  // On failure lastError holds the system's reason (SERVICE_ERROR_ALREADY_RUNNING among them).
  virtual bool Start(ServiceHandle service, uint32_t& lastError) = 0;
  virtual void Close(ServiceHandle handle) = 0;
};
