#pragma once
// What the kernel's Thunderbolt driver shows of a host router in sysfs, and the little that
// the kernel checks of an image itself.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/sysfs_io.h"

inline constexpr char KERNEL_TBT_DEVICES[] = "/sys/bus/thunderbolt/devices";
inline constexpr char KERNEL_FORCE_POWER[] =
    "/sys/bus/wmi/devices/86CCFD48-205E-4A77-9C48-2021CBEDE341/force_power";
inline constexpr char KERNEL_POWER_SUPPLIES[] = "/sys/class/power_supply";

// One host router ("<domain>-0") and the files of its NVM interface. The NVMem devices carry
// the number the kernel gave them, which may change each time the router comes back.
struct KernelRouter {
  std::string name;  // "0-0"
  std::string folder;
  std::string nvmVersion;
  std::string nvmAuthenticate;
  std::string activeNvmem;     // empty when the router has none
  std::string nonActiveNvmem;  // empty when the router has none
  uint16_t device = 0;
  bool hasDevice = false;
};

struct NvmVersionText {
  uint32_t major = 0;
  uint32_t minor = 0;
};

// Names of the host routers present, sorted ("0-0", "1-0").
std::vector<std::string> KernelHostRouters(ISysfsIo& io);
// The router's files as they are now; nothing when its folder is not there.
std::optional<KernelRouter> KernelFindRouter(ISysfsIo& io, const std::string& name);

// "18.0" or "0x18.0x0" (both hex); nothing for anything else.
std::optional<NvmVersionText> KernelParseNvmVersion(const std::string& text);
// A hex number as sysfs prints it ("0x15d3", "0x0", "15d3"), surrounding white space allowed.
std::optional<uint32_t> KernelParseHex(const std::string& text);

// Where the kernel takes the image's main section: the low 24 bits of the first dword.
std::optional<uint32_t> KernelImageSection(const std::vector<uint8_t>& image);
// Why the kernel would refuse to write this image to the router, in words; empty when its own
// checks pass (a main section on a 4 KiB boundary inside the image, the router's device ID).
std::string KernelImageRefusal(const std::vector<uint8_t>& image, uint16_t routerDevice);
