// The real platform of a Linux build: there is no WMI, no ACPI control driver and no service
// control manager, so those answer like a notebook without the Thunderbolt software; the
// system services are real.
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <thread>

#include "platform/platform.h"
#ifdef __linux__
#include "platform/linux/kernel_backend.h"
#endif
#include "platform/posix/path_convert.h"
#include "platform/profile_reader.h"
#include "platform/utf8.h"

namespace {

// /run/lock: one place for every user and session of the machine (it has one controller),
// writable by all on FHS systems and emptied at boot. $XDG_RUNTIME_DIR is per user, so two
// users' attempts would not see each other there.
constexpr char POSIX_ATTEMPT_LOCK[] = "/run/lock/kelvane-update.lock";

class CNoWmi final : public IWmi {
 public:
  std::unique_ptr<IWmiLocator> CreateLocator() override { return nullptr; }
};

class CNoDevices final : public IDeviceControl {
 public:
  DeviceHandle Open(const wchar_t*) override { return DEVICE_HANDLE_INVALID; }
  bool Control(DeviceHandle, uint32_t, const void*, uint32_t, void*, uint32_t, uint32_t*) override {
    return false;
  }
  bool Close(DeviceHandle) override { return false; }
};

class CNoServices final : public IServiceControl {
 public:
  ServiceHandle OpenManager() override { return 0; }
  ServiceHandle OpenNamed(ServiceHandle, const wchar_t*) override { return 0; }
  bool Start(ServiceHandle, uint32_t& lastError) override {
    lastError = 0;
    return false;
  }
  void Close(ServiceHandle) override {}
};

// Maps a POSIX locale name such as "ja_JP.UTF-8" to a Windows language id.
uint16_t LanguageFromLocale(const char* locale) {
  struct Entry {
    const char* prefix;
    uint16_t id;
  };
  static constexpr Entry kLocales[] = {
      {"zh_TW", 0x0404}, {"zh_HK", 0x0C04}, {"zh_CN", 0x0804}, {"zh_SG", 0x1004}, {"ja", 0x0411},
      {"ko", 0x0412},    {"de", 0x0407},    {"fr", 0x040C},    {"es", 0x0C0A},    {"it", 0x0410},
      {"pt_BR", 0x0416}, {"pt", 0x0816},    {"en_GB", 0x0809}, {"en", 0x0409},
  };
  if (!locale)
    return 0x0409;
  for (const Entry& e : kLocales) {
    if (std::string_view(locale).starts_with(e.prefix))
      return e.id;
  }
  return 0x0409;
}

class CPosixSystem final : public ISystem {
 public:
  void Wait(uint32_t milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }

  bool ModulePath(std::wstring& path) override {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
      return false;
    buffer[n] = 0;
    path = PathFromNative(buffer);
    return true;
  }

  bool ListDirectory(const std::wstring& pattern, std::vector<std::wstring>& names) override {
    names.clear();
    const std::string native = PathToNative(pattern);
    const size_t slash = native.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : native.substr(0, slash);
    const std::string mask = slash == std::string::npos ? native : native.substr(slash + 1);
    DIR* dir = opendir(folder.c_str());
    if (!dir)
      return false;
    // Windows matches names without regard to case; so do we.
    while (const dirent* entry = readdir(dir)) {
      if (fnmatch(mask.c_str(), entry->d_name, FNM_CASEFOLD) == 0) {
        names.push_back(WideFromUtf8(entry->d_name));
      }
    }
    closedir(dir);
    return !names.empty();
  }

  FileReadStatus ReadWholeFile(const std::wstring& path, std::vector<uint8_t>& bytes) override {
    // A folder opens here, unlike on Windows, and reports a size that is none of its own.
    struct stat status {};
    if (stat(PathToNative(path).c_str(), &status) != 0 || S_ISDIR(status.st_mode))
      return FileReadStatus::OpenFailed;
    std::ifstream file(PathToNative(path), std::ios::binary | std::ios::ate);
    if (!file)
      return FileReadStatus::OpenFailed;
    const std::streamoff size = file.tellg();
    if (size < 0)
      return FileReadStatus::OpenFailed;
    if (static_cast<unsigned long long>(size) > 0x7FFFFFFFull)
      return FileReadStatus::TooLarge;
    try {
      bytes.assign(static_cast<size_t>(size), 0);
    } catch (const std::bad_alloc&) {
      return FileReadStatus::NoMemory;
    }
    file.seekg(0);
    file.read(reinterpret_cast<char*>(bytes.data()), size);
    return file.gcount() == size ? FileReadStatus::Ok : FileReadStatus::ShortRead;
  }

  uint16_t UserUiLanguage() override {
    const char* locale = std::getenv("LC_ALL");
    if (!locale || !*locale)
      locale = std::getenv("LC_MESSAGES");
    if (!locale || !*locale)
      locale = std::getenv("LANG");
    return LanguageFromLocale(locale);
  }

  PowerSource AcPowerSource() override {
#ifdef __linux__
    CSysfsIo io;
    return KernelAcPowerSource(io);
#else
    return PowerSource::Unknown;
#endif
  }

  bool RequestPowerOff() override {
    return false;
  }

  uint32_t ReadProfileString(const wchar_t* section, const wchar_t* key, const wchar_t* fallback,
                             wchar_t* out, uint32_t capacity, const wchar_t* path) override {
    return ProfileReadString(section, key, fallback, out, capacity, path);
  }

  void ComInitialize() override {}
  void ComUninitialize() override {}

  // An flock ends with the process, however it ends; read-only access is enough for it, so a
  // lock file created by another user serves every user.
  bool AcquireAttemptLock() override {
    if (m_attemptLock >= 0)
      return false;
    const int fd = open(POSIX_ATTEMPT_LOCK, O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
      return false;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      close(fd);
      return false;
    }
    m_attemptLock = fd;
    return true;
  }
  void ReleaseAttemptLock() override {
    if (m_attemptLock >= 0)
      close(m_attemptLock);
    m_attemptLock = -1;
  }

 private:
  int m_attemptLock = -1;
};

}  // namespace

PlatformServices PlatformNative() {
  static CNoWmi wmi;
  static CNoDevices devices;
  static CNoServices services;
  static CPosixSystem system;
  return {&wmi, &devices, &services, &system};
}

std::string PlatformDisplayPath(const std::wstring& path) {
  return PathToNative(path);
}
