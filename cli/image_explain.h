#pragma once
// What an image file holds, read as the compatibility check reads it, with each value kept and,
// for an image the check refuses, the reason in words ("the word at 0x1000 names offset
// 0x4000, past the end of this 12 KiB file").
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/result_codes.h"

struct CBlockFact {
  uint8_t flag;
  uint64_t offset;                // file offset of its dword count
  std::optional<uint16_t> count;  // dwords; none when the count lies past the end
};

struct CImageFacts {
  uint64_t size = 0;
  std::optional<uint16_t> word0;
  std::optional<uint16_t> word1000;
  std::optional<uint32_t> headerAt;  // 0 or 0x1000: the word that named the main section
  std::optional<uint32_t> base;
  std::optional<uint8_t> levelByte;
  std::optional<uint16_t> deviceId;
  std::optional<int32_t> family;  // with variant: when the device ID is listed
  std::optional<int32_t> variant;
  std::optional<uint8_t> version;
  std::optional<uint32_t> extOffset;  // family 3
  std::optional<uint64_t> extBase;
  std::optional<uint8_t> blockFlags;
  std::optional<uint16_t> firstBlock;  // with the blocks-present flag
  std::vector<CBlockFact> blocks;
  std::optional<uint64_t> blockEnd;
  UpdateResult result = UR_OK;  // what the check's image parse answers
  std::string refusal;          // why, when result is not UR_OK
};

CImageFacts ImageExplain(const std::vector<uint8_t>& image);

// "12 KiB" or "626-byte", for "this ... file".
std::string ImageSizeWords(uint64_t size);
