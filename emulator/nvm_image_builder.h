#pragma once
// Writes valid synthetic NVM images of every family and variant: the header word, the main
// section with its device ID, level and version, the family-3 extension offset and optional
// block chain, and any check-table field. Tests, fuzz seeds and the emulated notebook build their
// images here so that every one of them agrees on the layout.
#include <cstdint>
#include <map>
#include <vector>

#include "engine/compatibility_check.h"

// Where the image says its main section starts.
enum class NvmHeader {
  AtZero,    // the word at 0 holds the offset
  At0x1000,  // the word at 0 is 0, the word at 0x1000 holds the offset
  Erased,    // everything before the section is erased flash (0xFF) but the word at 0x1000
};

inline constexpr uint8_t NVM_BLOCKS_PRESENT = 0x40;
// The order in which present optional blocks follow one another.
inline constexpr uint8_t NVM_BLOCK_ORDER[] = {0x04, 0x02, 0x01, 0x10, 0x08, 0x20};

class CNvmImageBuilder {
 public:
  explicit CNvmImageBuilder(uint16_t deviceId);

  // base must leave room for the header word(s) before it unless it overlaps them on purpose.
  CNvmImageBuilder& Header(NvmHeader kind, uint16_t base);
  CNvmImageBuilder& DeviceId(uint16_t deviceId);
  // The whole byte at base + 0; the check compares its low three bits.
  CNvmImageBuilder& Level(uint8_t levelByte);
  CNvmImageBuilder& Version(uint8_t version);
  // The 32-bit value at base + 0x10E.
  CNvmImageBuilder& ExtensionOffset(uint32_t offset);
  CNvmImageBuilder& FirstBlockOffset(uint16_t offset);
  // Adds the block of one flag bit (and the blocks-present flag); blocks are laid out in
  // NVM_BLOCK_ORDER whatever order they were added in.
  CNvmImageBuilder& AddBlock(uint8_t flagBit, uint16_t dwordCount);
  // Replaces the flags byte that AddBlock would write, for inconsistent images.
  CNvmImageBuilder& BlockFlags(uint8_t flags);
  // A little-endian value of length bytes at offset from the base the selector names.
  CNvmImageBuilder& Put(int32_t baseSelector, uint32_t offset, uint32_t length, uint32_t value);
  CNvmImageBuilder& SetField(const NvmCheckEntry& row, uint32_t value) {
    return Put(row.baseSelector, row.fieldOffset, row.fieldLength, value);
  }
  // The main section is at least this long (default: long enough for every family's rows).
  CNvmImageBuilder& SectionSize(uint32_t size);

  // The image file.
  std::vector<uint8_t> Build() const;
  // What the controller holds: the main section, "ReadFirmware" offset 0 at its start.
  std::vector<uint8_t> MainSection() const;

  uint32_t Base() const { return m_base; }
  // Offsets within the main section.
  uint32_t ExtBase() const { return m_extOffset; }
  uint32_t BlockBase() const;

 private:
  struct Write {
    int32_t baseSelector;
    uint32_t offset;
    uint32_t length;
    uint32_t value;
  };

  std::vector<uint8_t> Section() const;

  NvmHeader m_header = NvmHeader::AtZero;
  uint16_t m_base = 0x100;
  uint16_t m_deviceId;
  uint8_t m_level = 0;
  uint8_t m_version = 0;
  uint32_t m_extOffset = 0;
  uint16_t m_firstBlock = 0x140;
  std::map<uint8_t, uint16_t> m_blocks;
  int m_blockFlags = -1;  // -1: derived from m_blocks
  uint32_t m_sectionSize = 0x2200;
  std::vector<Write> m_writes;
};
