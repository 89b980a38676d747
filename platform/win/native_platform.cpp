// The real platform of the Windows build: exactly the system calls the design names.
#include <objbase.h>
#include <powrprof.h>
#include <windows.h>

#include <new>

#include "platform/platform.h"
#include "platform/utf8.h"
#include "platform/win/unique_handle.h"
#include "platform/win/wmi_com.h"

namespace {

// Global\: the machine has one controller, and another session (a second signed-in user, a
// remote desktop) could start the tool too; a Local\ name is seen only in its own session.
constexpr wchar_t WIN_ATTEMPT_MUTEX[] = L"Global\\KelvaneUpdateAttempt";

class CWinDevices final : public IDeviceControl {
 public:
  DeviceHandle Open(const wchar_t* name) override {
    HANDLE h = ::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    return reinterpret_cast<DeviceHandle>(h);
  }
  bool Control(DeviceHandle device, uint32_t code, const void* in, uint32_t inSize, void* out,
               uint32_t outCapacity, uint32_t* written) override {
    DWORD bytes = 0;
    const BOOL ok = ::DeviceIoControl(reinterpret_cast<HANDLE>(device), code, const_cast<void*>(in),
                                      inSize, out, outCapacity, &bytes, nullptr);
    if (ok && written)
      *written = bytes;
    return ok != FALSE;
  }
  bool Close(DeviceHandle device) override {
    return ::CloseHandle(reinterpret_cast<HANDLE>(device)) != FALSE;
  }
};

class CWinServices final : public IServiceControl {
 public:
  ServiceHandle OpenManager() override {
    return reinterpret_cast<ServiceHandle>(
        ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  }
  ServiceHandle OpenNamed(ServiceHandle manager, const wchar_t* name) override {
    return reinterpret_cast<ServiceHandle>(
        ::OpenServiceW(reinterpret_cast<SC_HANDLE>(manager), name, SERVICE_ALL_ACCESS));
  }
  bool Start(ServiceHandle service, uint32_t& lastError) override {
    if (::StartServiceW(reinterpret_cast<SC_HANDLE>(service), 0, nullptr))
      return true;
    lastError = ::GetLastError();
    return false;
  }
  void Close(ServiceHandle handle) override {
    if (handle)
      ::CloseServiceHandle(reinterpret_cast<SC_HANDLE>(handle));
  }
};

class CWinSystem final : public ISystem {
 public:
  void Wait(uint32_t milliseconds) override { ::Sleep(milliseconds); }

  bool ModulePath(std::wstring& path) override {
    wchar_t buffer[1024] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer, 1024);
    if (n == 0)
      return false;
    path.assign(buffer, n);
    return true;
  }

  bool ListDirectory(const std::wstring& pattern, std::vector<std::wstring>& names) override {
    names.clear();
    WIN32_FIND_DATAW data{};
    CUniqueFind find(::FindFirstFileW(pattern.c_str(), &data));
    if (!find)
      return false;
    do {
      names.emplace_back(data.cFileName);
    } while (::FindNextFileW(find.Get(), &data));
    return true;
  }

  FileReadStatus ReadWholeFile(const std::wstring& path, std::vector<uint8_t>& bytes) override {
    CUniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
      return FileReadStatus::OpenFailed;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.Get(), &size))
      return FileReadStatus::OpenFailed;
    if (size.QuadPart > 0x7FFFFFFFll)
      return FileReadStatus::TooLarge;
    const DWORD length = static_cast<DWORD>(size.QuadPart);
    try {
      bytes.assign(length, 0);
    } catch (const std::bad_alloc&) {
      return FileReadStatus::NoMemory;
    }
    DWORD read = 0;
    if (!::ReadFile(file.Get(), bytes.data(), length, &read, nullptr) || read != length) {
      return FileReadStatus::ShortRead;
    }
    return FileReadStatus::Ok;
  }

  uint16_t UserUiLanguage() override { return ::GetUserDefaultUILanguage(); }

  PowerSource AcPowerSource() override {
    SYSTEM_BATTERY_STATE state{};
    if (::CallNtPowerInformation(SystemBatteryState, nullptr, 0, &state, sizeof state) != 0) {
      return PowerSource::Unknown;
    }
    return state.AcOnLine ? PowerSource::Ac : PowerSource::Battery;
  }

  bool RequestPowerOff() override {
    LUID luid{};
    ::LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &luid);
    HANDLE token = nullptr;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_ALL_ACCESS, &token)) {
      CUniqueKernelHandle owned(token);
      TOKEN_PRIVILEGES privileges{};
      privileges.PrivilegeCount = 1;
      privileges.Privileges[0].Luid = luid;
      privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
      ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    }
    return ::ExitWindowsEx(EWX_POWEROFF, 0) != FALSE;
  }

  uint32_t ReadProfileString(const wchar_t* section, const wchar_t* key, const wchar_t* fallback,
                             wchar_t* out, uint32_t capacity, const wchar_t* path) override {
    return ::GetPrivateProfileStringW(section, key, fallback, out, capacity, path);
  }

  void ComInitialize() override { ::CoInitialize(nullptr); }
  void ComUninitialize() override { ::CoUninitialize(); }

  // The named object exists while a holder has it open; the system closes the handle of a
  // process that ends, however it ends, so a crashed attempt never blocks the next one.
  bool AcquireAttemptLock() override {
    if (m_attemptLock)
      return false;
    CUniqueKernelHandle mutex(::CreateMutexW(nullptr, FALSE, WIN_ATTEMPT_MUTEX));
    if (!mutex || ::GetLastError() == ERROR_ALREADY_EXISTS)
      return false;
    m_attemptLock = std::move(mutex);
    return true;
  }
  void ReleaseAttemptLock() override { m_attemptLock.Reset(); }

 private:
  CUniqueKernelHandle m_attemptLock;
};

}  // namespace

PlatformServices PlatformNative() {
  static CWinDevices devices;
  static CWinServices services;
  static CWinSystem system;
  return {&WmiComBackend(), &devices, &services, &system};
}

std::string PlatformDisplayPath(const std::wstring& path) {
  return Utf8FromWide(path);
}
