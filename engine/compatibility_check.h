#pragma once
// Decides whether an image belongs to the controller: device family, variant, a three-bit
// level, then a table of NVM fields that must hold the same values on both sides.
#include <cstdint>

#include "engine/result_codes.h"

inline constexpr int32_t NVM_BASE_MAIN = 0;
inline constexpr int32_t NVM_BASE_EXT = 1;
inline constexpr int32_t NVM_BASE_BLOCK = 2;

// One side's parse. family and variant stay -1 when the device ID is not in the table.
struct NvmLayout {
  uint32_t version = 0;
  int32_t family = -1;
  int32_t variant = -1;
  uint32_t base = 0;
  uint32_t extBase = 0;
  uint32_t blockBase = 0;
  bool hasExtBase = false;    // family 3 only
  bool hasBlockBase = false;  // family 3 with the blocks-present flag only
};

struct NvmCheckEntry {
  int32_t family;
  int32_t anyVariant;
  uint32_t fieldOffset;
  uint32_t fieldLength;
  wchar_t label[20];
  uint8_t byteMask;
  int32_t baseSelector;
};

inline constexpr int g_nvmCheckCount = 40;
extern const NvmCheckEntry g_nvmCheckTable[g_nvmCheckCount];

UpdateResult NvmReadRange(uint32_t offset, uint32_t length, uint8_t* destination);
UpdateResult LookupDeviceFamily(uint16_t deviceId, int32_t* family, int32_t* variant);
UpdateResult NvmLayoutFromController(NvmLayout* layout);
UpdateResult NvmLayoutFromImage(const uint8_t* image, uint32_t size, NvmLayout* layout);
UpdateResult CheckImageCompatibility(const uint8_t* image, uint32_t size, uint32_t* imageVersion);
