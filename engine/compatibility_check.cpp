#include "engine/compatibility_check.h"

#include "engine/controller_access.h"

// clang-format off
const NvmCheckEntry g_nvmCheckTable[g_nvmCheckCount] = {
    {1, 1, 0x005,  2, L"Device ID",     0xFF, NVM_BASE_MAIN},
    {1, 1, 0x010,  4, L"PCIe Settings", 0xFF, NVM_BASE_MAIN},
    {1, 1, 0x143,  1, L"CIO-Port0_TX",  0xFF, NVM_BASE_MAIN},
    {1, 1, 0x153,  1, L"CIO-Port0_RX",  0xFF, NVM_BASE_MAIN},
    {1, 1, 0x147,  1, L"CIO-Port1_TX",  0xFF, NVM_BASE_MAIN},
    {1, 1, 0x157,  1, L"CIO-Port1_RX",  0xFF, NVM_BASE_MAIN},
    {1, 0, 0x14B,  1, L"CIO-Port2_TX",  0xFF, NVM_BASE_MAIN},
    {1, 0, 0x15B,  1, L"CIO-Port2_RX",  0xFF, NVM_BASE_MAIN},
    {1, 0, 0x14F,  1, L"CIO-Port3_TX",  0xFF, NVM_BASE_MAIN},
    {1, 0, 0x15F,  1, L"CIO-Port3_RX",  0xFF, NVM_BASE_MAIN},
    {1, 1, 0x211,  1, L"Snk0_0(DP-in)", 0xFF, NVM_BASE_MAIN},
    {1, 1, 0x215,  1, L"Snk0_1(DP-in)", 0xFF, NVM_BASE_MAIN},
    {1, 1, 0x219,  1, L"Snk0_2(DP-in)", 0xFF, NVM_BASE_MAIN},
    {1, 1, 0x21D,  1, L"Snk0_3(DP-in)", 0xFF, NVM_BASE_MAIN},
    {1, 0, 0x11C3, 1, L"Snk1_0(DP-in)", 0xFF, NVM_BASE_MAIN},
    {1, 0, 0x11C7, 1, L"Snk1_1(DP-in)", 0xFF, NVM_BASE_MAIN},
    {1, 0, 0x11CB, 1, L"Snk1_2(DP-in)", 0xFF, NVM_BASE_MAIN},
    {1, 0, 0x11CF, 1, L"Snk1_3(DP-in)", 0xFF, NVM_BASE_MAIN},
    {1, 1, 0x2175, 1, L"PA(DP-out)",    0xFF, NVM_BASE_MAIN},
    {1, 1, 0x2179, 1, L"PB(DP-out)",    0xFF, NVM_BASE_MAIN},
    {1, 1, 0x217D, 1, L"Src0(DP-out)",  0xAA, NVM_BASE_MAIN},
    {2, 1, 0x005,  2, L"Device ID",     0xFF, NVM_BASE_MAIN},
    {2, 1, 0x010,  4, L"PCIe Settings", 0xFF, NVM_BASE_MAIN},
    {2, 1, 0x14F,  1, L"CIO-Port0_TX",  0xFF, NVM_BASE_MAIN},
    {2, 1, 0x157,  1, L"CIO-Port0_RX",  0xFF, NVM_BASE_MAIN},
    {2, 1, 0x153,  1, L"CIO-Port1_TX",  0xFF, NVM_BASE_MAIN},
    {2, 1, 0x15B,  1, L"CIO-Port1_RX",  0xFF, NVM_BASE_MAIN},
    {2, 1, 0x1F1,  1, L"Snk0_0(DP-in)", 0xFF, NVM_BASE_MAIN},
    {2, 1, 0x1F5,  1, L"Snk0_1(DP-in)", 0xFF, NVM_BASE_MAIN},
    {2, 1, 0x1F9,  1, L"Snk0_2(DP-in)", 0xFF, NVM_BASE_MAIN},
    {2, 1, 0x1FD,  1, L"Snk0_3(DP-in)", 0xFF, NVM_BASE_MAIN},
    {2, 1, 0x11A5, 1, L"PA(DP-out)",    0xFF, NVM_BASE_MAIN},
    {3, 1, 0x005,  2, L"Device ID",     0xFF, NVM_BASE_MAIN},
    {3, 1, 0x010,  4, L"PCIe Settings", 0xFF, NVM_BASE_MAIN},
    {3, 1, 0x012,  1, L"PA",            0xCC, NVM_BASE_BLOCK},
    {3, 0, 0x013,  1, L"PB",            0xCC, NVM_BASE_BLOCK},
    {3, 1, 0x121,  1, L"Snk0",          0xFF, NVM_BASE_MAIN},
    {3, 1, 0x129,  1, L"Snk1",          0xFF, NVM_BASE_MAIN},
    {3, 1, 0x136,  1, L"Src0",          0xF0, NVM_BASE_MAIN},
    {3, 1, 0x0B6,  1, L"PA/PB (USB2)",  0xC0, NVM_BASE_MAIN},
};
// clang-format on

namespace {

constexpr uint32_t NVM_OFFSET_LEVEL = 0x000;
constexpr uint32_t NVM_OFFSET_BLOCK_FLAGS = 0x002;
constexpr uint32_t NVM_OFFSET_FIRST_BLOCK = 0x003;
constexpr uint32_t NVM_OFFSET_DEVICE_ID = 0x005;
constexpr uint32_t NVM_OFFSET_VERSION = 0x00A;
constexpr uint32_t NVM_OFFSET_EXTENSION = 0x10E;
constexpr uint32_t NVM_IMAGE_SECOND_HEADER = 0x1000;
constexpr uint8_t NVM_FLAG_BLOCKS = 0x40;
constexpr uint8_t NVM_LEVEL_MASK = 0x07;
constexpr uint8_t NVM_BLOCK_BITS[] = {0x04, 0x02, 0x01, 0x10, 0x08, 0x20};

struct DeviceFamily {
  uint16_t deviceId;
  int32_t family;
  int32_t variant;
};

constexpr DeviceFamily DEVICE_FAMILIES[] = {
    {0x147E, 2, 1}, {0x1567, 0, 1}, {0x1569, 0, 0}, {0x156B, 1, 1},
    {0x156D, 1, 0}, {0x1576, 3, 1}, {0x1578, 3, 0},
};

uint32_t LittleEndian(const uint8_t* bytes, uint32_t length) {
  uint32_t value = 0;
  for (uint32_t i = length; i-- > 0;)
    value = (value << 8) | bytes[i];
  return value;
}

// A bounds-checked view of the image: every read says whether it lay inside.
class CImageReader {
 public:
  CImageReader(const uint8_t* image, uint32_t size) : m_image(image), m_size(image ? size : 0) {}

  bool Read(uint64_t offset, uint32_t length, uint32_t* value) const {
    if (offset > m_size || length > m_size - offset)
      return false;
    *value = LittleEndian(m_image + offset, length);
    return true;
  }
  uint32_t Size() const { return m_size; }

 private:
  const uint8_t* m_image;
  uint32_t m_size;
};

UpdateResult ControllerRead(uint32_t offset, uint32_t length, uint32_t* value) {
  uint8_t buffer[4] = {};
  const UpdateResult result = NvmReadRange(offset, length, buffer);
  if (result == UR_OK)
    *value = LittleEndian(buffer, length);
  return result;
}

// Erased flash reads all ones; such a word is no more an offset than 0 is.
bool IsUnsetHeaderWord(uint32_t word) {
  return word == 0 || word == 0xFFFF;
}

bool IsCheckedFamily(int32_t family) {
  return family >= 1 && family <= 3;
}

// The base of a row on one side. When neither side has a block chain the block rows compare at
// the main base; a chain on one side only is refused before this is asked.
uint32_t SelectBase(const NvmLayout& layout, int32_t baseSelector) {
  switch (baseSelector) {
    case NVM_BASE_EXT:
      return layout.extBase;
    case NVM_BASE_BLOCK:
      return layout.hasBlockBase ? layout.blockBase : layout.base;
    default:
      return layout.base;
  }
}

bool RowPartakes(const NvmCheckEntry& row, const NvmLayout& controller) {
  return row.family == controller.family && (row.anyVariant != 0 || controller.variant == 0);
}

UpdateResult CompareRow(const NvmCheckEntry& row, const NvmLayout& controller,
                        const NvmLayout& image, const CImageReader& reader) {
  if (row.baseSelector == NVM_BASE_BLOCK && controller.hasBlockBase != image.hasBlockBase) {
    return UR_SECTION_MISMATCH;
  }
  // The image side first: a field outside the image refuses it without a controller call.
  uint32_t imageValue = 0;
  if (!reader.Read(uint64_t(SelectBase(image, row.baseSelector)) + row.fieldOffset, row.fieldLength,
                   &imageValue)) {
    return UR_NO_IMAGE;
  }
  uint32_t controllerValue = 0;
  const UpdateResult read =
      ControllerRead(SelectBase(controller, row.baseSelector) + row.fieldOffset, row.fieldLength,
                     &controllerValue);
  if (read != UR_OK)
    return read;
  const uint32_t keepHigh = ~uint32_t{0xFF};
  const uint32_t mask = keepHigh | row.byteMask;
  return (controllerValue & mask) == (imageValue & mask) ? UR_OK : UR_SECTION_MISMATCH;
}

UpdateResult CompareLevels(const NvmLayout& controller, const NvmLayout& image,
                           const CImageReader& reader) {
  uint32_t controllerLevel = 0;
  const UpdateResult read = ControllerRead(controller.base + NVM_OFFSET_LEVEL, 2, &controllerLevel);
  if (read != UR_OK)
    return read;
  uint32_t imageLevel = 0;
  if (!reader.Read(uint64_t(image.base) + NVM_OFFSET_LEVEL, 1, &imageLevel))
    return UR_NO_IMAGE;
  return (controllerLevel & NVM_LEVEL_MASK) < (imageLevel & NVM_LEVEL_MASK) ? UR_LEVEL_MISMATCH
                                                                            : UR_OK;
}

}  // namespace

UpdateResult NvmReadRange(uint32_t offset, uint32_t length, uint8_t* destination) {
  // 64-bit, so that a range ending at the top of the 32-bit space does not wrap.
  const uint64_t end = uint64_t(offset) + length;
  uint64_t dword = offset & ~uint32_t{3};
  uint32_t copied = 0;
  bool called = false;
  while (dword < end) {
    uint8_t buffer[4] = {};
    uint32_t delivered = 0;
    const UpdateResult result =
        WmiReadFirmware(static_cast<uint32_t>(dword), sizeof buffer, buffer, &delivered);
    called = true;
    if (result != UR_OK)
      return result;
    // A reply short of the dword would leave bytes that the controller never sent.
    if (delivered < sizeof buffer)
      return UR_NO_TBT_SOFTWARE;
    for (uint64_t i = dword < offset ? offset - dword : 0; i < 4 && copied < length; ++i) {
      destination[copied++] = buffer[i];
    }
    dword += 4;
  }
  return called ? UR_OK : UR_NO_TBT_SOFTWARE;
}

UpdateResult LookupDeviceFamily(uint16_t deviceId, int32_t* family, int32_t* variant) {
  for (const DeviceFamily& entry : DEVICE_FAMILIES) {
    if (entry.deviceId != deviceId)
      continue;
    *family = entry.family;
    *variant = entry.variant;
    return UR_OK;
  }
  return UR_UNLISTED_DEVICE_ID;
}

UpdateResult NvmLayoutFromController(NvmLayout* layout) {
  *layout = NvmLayout{};
  layout->base = 0;
  UpdateResult result = WmiGetCurrentNvmVersion(&layout->version);
  if (result != UR_OK)
    return result;

  // Every read below decides what is compared; a failed one ends the parse with its result.
  uint32_t deviceId = 0;
  if ((result = ControllerRead(layout->base + NVM_OFFSET_DEVICE_ID, 2, &deviceId)) != UR_OK) {
    return result;
  }
  // An unlisted ID leaves the family unset; the check refuses such a controller.
  LookupDeviceFamily(static_cast<uint16_t>(deviceId), &layout->family, &layout->variant);
  if (layout->family != 3)
    return UR_OK;

  uint32_t extOffset = 0;
  if ((result = ControllerRead(layout->base + NVM_OFFSET_EXTENSION, 4, &extOffset)) != UR_OK) {
    return result;
  }
  layout->extBase = layout->base + extOffset;
  layout->hasExtBase = true;

  uint32_t flags = 0;
  if ((result = ControllerRead(layout->base + NVM_OFFSET_BLOCK_FLAGS, 1, &flags)) != UR_OK) {
    return result;
  }
  if ((flags & NVM_FLAG_BLOCKS) == 0)
    return UR_OK;

  uint32_t position = 0;
  if ((result = ControllerRead(layout->base + NVM_OFFSET_FIRST_BLOCK, 2, &position)) != UR_OK) {
    return result;
  }
  position += layout->base;
  for (uint8_t bit : NVM_BLOCK_BITS) {
    if ((flags & bit) == 0)
      continue;
    uint32_t count = 0;
    if ((result = ControllerRead(position, 2, &count)) != UR_OK)
      return result;
    position += 2 + 4 * count;
  }
  layout->blockBase = position;
  layout->hasBlockBase = true;
  return UR_OK;
}

UpdateResult NvmLayoutFromImage(const uint8_t* image, uint32_t size, NvmLayout* layout) {
  *layout = NvmLayout{};
  const CImageReader reader(image, size);
  uint32_t base = 0;
  if (!reader.Read(0, 2, &base))
    return UR_NO_IMAGE;
  if (IsUnsetHeaderWord(base) &&
      (!reader.Read(NVM_IMAGE_SECOND_HEADER, 2, &base) || IsUnsetHeaderWord(base))) {
    return UR_NO_IMAGE;
  }
  layout->base = base;

  uint32_t deviceId = 0;
  if (!reader.Read(uint64_t(base) + NVM_OFFSET_VERSION, 1, &layout->version) ||
      !reader.Read(uint64_t(base) + NVM_OFFSET_DEVICE_ID, 2, &deviceId)) {
    return UR_NO_IMAGE;
  }
  const UpdateResult lookup =
      LookupDeviceFamily(static_cast<uint16_t>(deviceId), &layout->family, &layout->variant);
  if (lookup != UR_OK)
    return lookup;
  if (layout->family != 3)
    return UR_OK;

  uint32_t extOffset = 0;
  if (!reader.Read(uint64_t(base) + NVM_OFFSET_EXTENSION, 4, &extOffset))
    return UR_NO_IMAGE;
  // An extension section outside the file is not part of this image.
  const uint64_t extBase = uint64_t(base) + extOffset;
  if (extBase >= reader.Size())
    return UR_NO_IMAGE;
  layout->extBase = static_cast<uint32_t>(extBase);
  layout->hasExtBase = true;

  uint32_t flags = 0;
  if (!reader.Read(uint64_t(base) + NVM_OFFSET_BLOCK_FLAGS, 1, &flags))
    return UR_NO_IMAGE;
  if ((flags & NVM_FLAG_BLOCKS) == 0)
    return UR_OK;

  uint32_t firstBlock = 0;
  if (!reader.Read(uint64_t(base) + NVM_OFFSET_FIRST_BLOCK, 2, &firstBlock))
    return UR_NO_IMAGE;
  uint64_t position = uint64_t(base) + firstBlock;
  for (uint8_t bit : NVM_BLOCK_BITS) {
    if ((flags & bit) == 0)
      continue;
    uint32_t count = 0;
    if (!reader.Read(position, 2, &count))
      return UR_NO_IMAGE;
    position += 2 + 4 * uint64_t(count);
  }
  // The chain must end inside the image, or it describes some other data.
  if (position > reader.Size())
    return UR_NO_IMAGE;
  layout->blockBase = static_cast<uint32_t>(position);
  layout->hasBlockBase = true;
  return UR_OK;
}

UpdateResult CheckImageCompatibility(const uint8_t* image, uint32_t size, uint32_t* imageVersion) {
  NvmLayout controller;
  UpdateResult result = NvmLayoutFromController(&controller);
  if (result != UR_OK)
    return result;
  if (!IsCheckedFamily(controller.family))
    return UR_UNSUPPORTED_CONTROLLER;

  NvmLayout parsed;
  if ((result = NvmLayoutFromImage(image, size, &parsed)) != UR_OK)
    return result;
  if (controller.family != parsed.family)
    return UR_FAMILY_MISMATCH;
  if (controller.variant != parsed.variant)
    return UR_VARIANT_MISMATCH;

  const CImageReader reader(image, size);
  if ((result = CompareLevels(controller, parsed, reader)) != UR_OK)
    return result;
  for (const NvmCheckEntry& row : g_nvmCheckTable) {
    if (!RowPartakes(row, controller))
      continue;
    if ((result = CompareRow(row, controller, parsed, reader)) != UR_OK)
      return result;
  }
  if (imageVersion)
    *imageVersion = parsed.version;
  return UR_OK;
}
