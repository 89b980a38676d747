#pragma once
// The remaining system services the program uses. Paths are backslash-separated on every
// platform; the POSIX implementation converts at its edge.
#include <cstdint>
#include <string>
#include <vector>

enum class FileReadStatus { Ok, OpenFailed, TooLarge, NoMemory, ShortRead };
enum class PowerSource { Ac, Battery, Unknown };

class ISystem {
 public:
  virtual ~ISystem() = default;
  virtual void Wait(uint32_t milliseconds) = 0;
  // The running program's full path.
  virtual bool ModulePath(std::wstring& path) = 0;
  // Entry names matching a "folder\*.ext" pattern, in the order the system returns them
  // ("." and ".." included where the system returns them). False when the search finds nothing.
  virtual bool ListDirectory(const std::wstring& pattern, std::vector<std::wstring>& names) = 0;
  // The whole file in one zero-initialised block of exactly its size, read once. Files of
  // 2 GiB or more are TooLarge: the size fields they meet downstream are 32-bit signed.
  virtual FileReadStatus ReadWholeFile(const std::wstring& path, std::vector<uint8_t>& bytes) = 0;
  virtual uint16_t UserUiLanguage() = 0;
  virtual PowerSource AcPowerSource() = 0;
  // Enables the shutdown privilege and asks the system to power off.
  virtual bool RequestPowerOff() = 0;
  // The private-profile reader: returns the characters copied, without the terminator.
  virtual uint32_t ReadProfileString(const wchar_t* section, const wchar_t* key,
                                     const wchar_t* fallback, wchar_t* out, uint32_t capacity,
                                     const wchar_t* path) = 0;
  virtual void ComInitialize() = 0;
  virtual void ComUninitialize() = 0;
  // One update attempt at a time on this machine, whichever process runs it. True when this
  // process now holds the lock; false when another attempt holds it or the lock cannot be made,
  // and either way no attempt may start. Held until ReleaseAttemptLock.
  virtual bool AcquireAttemptLock() = 0;
  virtual void ReleaseAttemptLock() = 0;
};
