#include "emulator/nvm_image_builder.h"

namespace {

void PutLittleEndian(std::vector<uint8_t>& bytes, uint64_t offset, uint32_t length,
                     uint32_t value) {
  if (bytes.size() < offset + length)
    bytes.resize(offset + length, 0);
  for (uint32_t i = 0; i < length; ++i)
    bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

CNvmImageBuilder::CNvmImageBuilder(uint16_t deviceId) : m_deviceId(deviceId) {}

CNvmImageBuilder& CNvmImageBuilder::Header(NvmHeader kind, uint16_t base) {
  m_header = kind;
  m_base = base;
  return *this;
}

CNvmImageBuilder& CNvmImageBuilder::DeviceId(uint16_t deviceId) {
  m_deviceId = deviceId;
  return *this;
}

CNvmImageBuilder& CNvmImageBuilder::Level(uint8_t levelByte) {
  m_level = levelByte;
  return *this;
}

CNvmImageBuilder& CNvmImageBuilder::Version(uint8_t version) {
  m_version = version;
  return *this;
}

CNvmImageBuilder& CNvmImageBuilder::ExtensionOffset(uint32_t offset) {
  m_extOffset = offset;
  return *this;
}

CNvmImageBuilder& CNvmImageBuilder::FirstBlockOffset(uint16_t offset) {
  m_firstBlock = offset;
  return *this;
}

CNvmImageBuilder& CNvmImageBuilder::AddBlock(uint8_t flagBit, uint16_t dwordCount) {
  m_blocks[flagBit] = dwordCount;
  return *this;
}

CNvmImageBuilder& CNvmImageBuilder::BlockFlags(uint8_t flags) {
  m_blockFlags = flags;
  return *this;
}

CNvmImageBuilder& CNvmImageBuilder::Put(int32_t baseSelector, uint32_t offset, uint32_t length,
                                        uint32_t value) {
  m_writes.push_back({baseSelector, offset, length, value});
  return *this;
}

CNvmImageBuilder& CNvmImageBuilder::SectionSize(uint32_t size) {
  m_sectionSize = size;
  return *this;
}

uint32_t CNvmImageBuilder::BlockBase() const {
  uint32_t position = m_firstBlock;
  for (uint8_t bit : NVM_BLOCK_ORDER) {
    const auto block = m_blocks.find(bit);
    if (block != m_blocks.end())
      position += 2 + 4u * block->second;
  }
  return position;
}

std::vector<uint8_t> CNvmImageBuilder::Section() const {
  std::vector<uint8_t> section(m_sectionSize, 0);
  section[0] = m_level;
  PutLittleEndian(section, 5, 2, m_deviceId);
  section[0x0A] = m_version;
  if (m_extOffset != 0)
    PutLittleEndian(section, 0x10E, 4, m_extOffset);

  uint8_t flags = 0;
  for (const auto& [bit, count] : m_blocks)
    flags |= bit;
  if (!m_blocks.empty())
    flags |= NVM_BLOCKS_PRESENT;
  if (m_blockFlags >= 0)
    flags = static_cast<uint8_t>(m_blockFlags);
  section[2] = flags;
  if (!m_blocks.empty()) {
    PutLittleEndian(section, 3, 2, m_firstBlock);
    uint32_t position = m_firstBlock;
    for (uint8_t bit : NVM_BLOCK_ORDER) {
      const auto block = m_blocks.find(bit);
      if (block == m_blocks.end())
        continue;
      PutLittleEndian(section, position, 2, block->second);
      // Recognisable content, so that a reader that lands inside a block reads nonsense.
      for (uint32_t i = 0; i < block->second; ++i) {
        PutLittleEndian(section, position + 2 + 4 * i, 4, 0xB10C0000u | (bit << 8) | i);
      }
      position += 2 + 4u * block->second;
    }
  }

  for (const Write& write : m_writes) {
    uint32_t base = 0;
    if (write.baseSelector == NVM_BASE_EXT)
      base = m_extOffset;
    if (write.baseSelector == NVM_BASE_BLOCK)
      base = BlockBase();
    PutLittleEndian(section, uint64_t(base) + write.offset, write.length, write.value);
  }
  return section;
}

std::vector<uint8_t> CNvmImageBuilder::Build() const {
  const std::vector<uint8_t> section = Section();
  std::vector<uint8_t> image(m_base + section.size(), m_header == NvmHeader::Erased ? 0xFF : 0x00);
  std::copy(section.begin(), section.end(), image.begin() + m_base);
  if (image.size() < 0x1002 && m_header != NvmHeader::AtZero)
    image.resize(0x1002, 0);
  // The header words go in last: a section that overlaps them holds them too, as in flash.
  switch (m_header) {
    case NvmHeader::AtZero:
      PutLittleEndian(image, 0, 2, m_base);
      break;
    case NvmHeader::At0x1000:
      PutLittleEndian(image, 0, 2, 0);
      PutLittleEndian(image, 0x1000, 2, m_base);
      break;
    case NvmHeader::Erased:
      PutLittleEndian(image, 0, 2, 0xFFFF);
      PutLittleEndian(image, 0x1000, 2, m_base);
      break;
  }
  return image;
}

std::vector<uint8_t> CNvmImageBuilder::MainSection() const {
  const std::vector<uint8_t> image = Build();
  return std::vector<uint8_t>(image.begin() + m_base, image.end());
}
