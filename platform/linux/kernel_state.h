#pragma once
// Inside the Linux kernel back end: the state its faces (WMI, device control, service control,
// system) share, and the few helpers of its units.
#include <cerrno>
#include <cstdio>
#include <cwctype>
#include <memory>
#include <string>
#include <string_view>

#include "platform/linux/kernel_backend.h"
#include "platform/linux/kernel_tree.h"
#include "platform/wmi_memory_object.h"

inline constexpr wchar_t KERNEL_NAMESPACE[] = L"ROOT\\Intel\\Thunderbolt";
inline constexpr wchar_t KERNEL_CLASS[] = L"SdkTbtController";
// Where the kernel reads the running version in the main section, as major.minor.
inline constexpr uint32_t KERNEL_OFFSET_MINOR = 0x09;
inline constexpr uint32_t KERNEL_OFFSET_MAJOR = 0x0A;
inline constexpr char KERNEL_AS_ROOT[] = " Run kelvane-cli as root (sudo).";

inline bool KernelSameText(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(a[i]) != std::towlower(b[i]))
      return false;
  }
  return true;
}

inline std::string KernelHex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

inline bool KernelIsPermissionError(int error) {
  return error == EACCES || error == EPERM;
}

inline std::unique_ptr<CWmiMemoryObject> KernelOutParams(int32_t returnValue) {
  auto out = std::make_unique<CWmiMemoryObject>();
  out->Set(L"ReturnValue", WmiValue::Int(returnValue));
  return out;
}

inline bool KernelGetInt(IWmiObject* in, const wchar_t* name, int32_t& value) {
  WmiValue v;
  if (!in || !in->Get(name, v) || v.type != WmiType::Int32)
    return false;
  value = v.int32;
  return true;
}

// Everything the four faces of the back end share.
class CKernelBackend::CState {
 public:
  CState(ISysfsIo& io, ISystem& system, std::string controller, KernelNoteSink notes,
         KernelTiming timing)
      : m_io(io),
        m_system(system),
        m_controller(std::move(controller)),
        m_notes(std::move(notes)),
        m_timing(timing) {}

  ISysfsIo& Io() { return m_io; }
  ISystem& System() { return m_system; }
  const std::string& Router() const { return m_router; }
  const std::string& Failure() const { return m_failure; }

  void Note(const std::string& line) {
    if (m_notes)
      m_notes(line);
  }
  void Fail(const std::string& text) { m_failure = text; }
  std::string Shown(const std::string& path) { return m_io.Shown(path); }

  // The DEVS request: force_power where the notebook has it.
  bool SetForcePower(uint32_t value);
  bool ControlDeviceExists();

  bool Connect(const wchar_t* nameSpace);
  bool Query(std::unique_ptr<IWmiEnumerator>& result);
  bool Call(const wchar_t* path, const wchar_t* method, IWmiObject* in,
            std::unique_ptr<IWmiObject>& out);
  std::string PredictRefusal(const std::vector<uint8_t>& image);

 private:
  bool ChooseRouter();
  bool SelectRouter();
  bool ProbeAccess(const KernelRouter& router);
  std::unique_ptr<IWmiObject> NvmVersion(const KernelRouter& router);
  std::unique_ptr<IWmiObject> ReadFirmware(const KernelRouter& router, IWmiObject* in);
  std::unique_ptr<IWmiObject> UpdateFirmware(const KernelRouter& router, IWmiObject* in);
  int32_t WriteAndAuthenticate(const KernelRouter& router, const std::vector<uint8_t>& image);
  int32_t Verify(const std::vector<uint8_t>& image);
  // 1: back, 0: never went away, -1: went away and did not come back in time.
  int WaitForRestart();
  bool RouterUp();

  ISysfsIo& m_io;
  ISystem& m_system;
  std::string m_controller;
  KernelNoteSink m_notes;
  KernelTiming m_timing;
  std::string m_router;  // chosen by the query
  std::string m_failure;
  int m_forcePowerError = 0;
};
