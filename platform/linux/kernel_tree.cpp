#include "platform/linux/kernel_tree.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr uint32_t KERNEL_SECTION_ALIGN = 0x1000;
constexpr uint32_t KERNEL_OFFSET_DEVICE_ID = 0x05;

bool IsHostRouterName(const std::string& name) {
  const size_t dash = name.find('-');
  if (dash == 0 || dash == std::string::npos || name.substr(dash) != "-0")
    return false;
  for (size_t i = 0; i < dash; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i])))
      return false;
  }
  return true;
}

// The entry of the folder named prefix<N>, N digits only; empty when there is none.
std::string NumberedEntry(ISysfsIo& io, const std::string& folder, const std::string& prefix) {
  for (const std::string& name : io.List(folder)) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
      continue;
    bool digits = true;
    for (size_t i = prefix.size(); i < name.size(); ++i)
      digits = digits && std::isdigit(static_cast<unsigned char>(name[i]));
    if (digits)
      return folder + "/" + name + "/nvmem";
  }
  return {};
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\n");
  if (first == std::string::npos)
    return {};
  return text.substr(first, text.find_last_not_of(" \t\n") - first + 1);
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

}  // namespace

std::vector<std::string> KernelHostRouters(ISysfsIo& io) {
  std::vector<std::string> routers;
  for (const std::string& name : io.List(KERNEL_TBT_DEVICES)) {
    if (IsHostRouterName(name))
      routers.push_back(name);
  }
  return routers;
}

std::optional<KernelRouter> KernelFindRouter(ISysfsIo& io, const std::string& name) {
  KernelRouter router;
  router.name = name;
  router.folder = std::string(KERNEL_TBT_DEVICES) + "/" + name;
  if (!IsHostRouterName(name) || !io.Exists(router.folder))
    return std::nullopt;
  router.nvmVersion = router.folder + "/nvm_version";
  router.nvmAuthenticate = router.folder + "/nvm_authenticate";
  // "nvm_active" is a prefix of neither "nvm_non_active" nor the reverse, so each finds its own.
  router.activeNvmem = NumberedEntry(io, router.folder, "nvm_active");
  router.nonActiveNvmem = NumberedEntry(io, router.folder, "nvm_non_active");
  std::string device;
  if (io.ReadText(router.folder + "/device", device) == 0) {
    if (const auto id = KernelParseHex(device); id && *id <= 0xFFFF) {
      router.device = static_cast<uint16_t>(*id);
      router.hasDevice = true;
    }
  }
  return router;
}

std::optional<uint32_t> KernelParseHex(const std::string& text) {
  std::string digits = Trimmed(text);
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
    digits = digits.substr(2);
  if (digits.empty() || digits.size() > 8)
    return std::nullopt;
  for (char c : digits) {
    if (!std::isxdigit(static_cast<unsigned char>(c)))
      return std::nullopt;
  }
  return static_cast<uint32_t>(std::strtoul(digits.c_str(), nullptr, 16));
}

std::optional<NvmVersionText> KernelParseNvmVersion(const std::string& text) {
  const std::string trimmed = Trimmed(text);
  const size_t dot = trimmed.find('.');
  if (dot == std::string::npos)
    return std::nullopt;
  const auto major = KernelParseHex(trimmed.substr(0, dot));
  const auto minor = KernelParseHex(trimmed.substr(dot + 1));
  if (!major || !minor)
    return std::nullopt;
  return NvmVersionText{*major, *minor};
}

std::optional<uint32_t> KernelImageSection(const std::vector<uint8_t>& image) {
  if (image.size() < 4)
    return std::nullopt;
  return uint32_t{image[0]} | uint32_t{image[1]} << 8 | uint32_t{image[2]} << 16;
}

std::string KernelImageRefusal(const std::vector<uint8_t>& image, uint16_t routerDevice) {
  const auto section = KernelImageSection(image);
  if (!section || uint64_t{*section} + KERNEL_OFFSET_DEVICE_ID + 2 >= image.size()) {
    return "the kernel takes the main section from the file's first three bytes, and they "
           "point past the end of the image";
  }
  if (*section % KERNEL_SECTION_ALIGN != 0) {
    return "the kernel takes the main section from the file's first three bytes (" + Hex(*section) +
           "), and it is not on a 4 KiB boundary";
  }
  const uint32_t sectionSize = image[*section] | image[*section + 1] << 8;
  if (sectionSize >= image.size()) {
    return "the kernel reads the section size " + Hex(sectionSize) + " at " + Hex(*section) +
           ", and the image is smaller";
  }
  const uint32_t at = *section + KERNEL_OFFSET_DEVICE_ID;
  const uint16_t device = static_cast<uint16_t>(image[at] | image[at + 1] << 8);
  if (device != routerDevice) {
    return "the kernel reads the device ID " + Hex(device) + " at " + Hex(at) +
           ", and the host router is " + Hex(routerDevice);
  }
  return {};
}
