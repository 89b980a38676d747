#include "cli/image_explain.h"

#include <cstdio>

#include "engine/compatibility_check.h"

namespace {

// Positions in the file and within the main section; the same rules as the check's parse.
constexpr uint64_t EXPLAIN_SECOND_HEADER = 0x1000;
constexpr uint64_t EXPLAIN_LEVEL = 0x00;
constexpr uint64_t EXPLAIN_BLOCK_FLAGS = 0x02;
constexpr uint64_t EXPLAIN_FIRST_BLOCK = 0x03;
constexpr uint64_t EXPLAIN_DEVICE_ID = 0x05;
constexpr uint64_t EXPLAIN_VERSION = 0x0A;
constexpr uint64_t EXPLAIN_EXTENSION = 0x10E;
constexpr uint8_t EXPLAIN_FLAG_BLOCKS = 0x40;
constexpr uint8_t EXPLAIN_BLOCK_BITS[] = {0x04, 0x02, 0x01, 0x10, 0x08, 0x20};

std::string Hex(uint64_t value, int digits = 1) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%0*llX", digits, static_cast<unsigned long long>(value));
  return text;
}

class CExplainer {
 public:
  explicit CExplainer(const std::vector<uint8_t>& image) : m_image(image) {
    m_facts.size = image.size();
  }

  std::optional<uint32_t> Read(uint64_t at, uint32_t length) const {
    if (at > m_image.size() || length > m_image.size() - at)
      return std::nullopt;
    uint32_t value = 0;
    for (uint32_t i = 0; i < length; ++i)
      value |= uint32_t{m_image[at + i]} << (8 * i);
    return value;
  }

  CImageFacts Run() {
    if (ReadHeader() && ReadMain() && m_facts.family == 3 && ReadExtension())
      ReadBlocks();
    return m_facts;
  }

 private:
  bool Refuse(UpdateResult result, const std::string& why) {
    m_facts.result = result;
    m_facts.refusal = why;
    return false;
  }
  std::string ThisFile() const { return "this " + ImageSizeWords(m_facts.size) + " file"; }
  static bool Unset(uint32_t word) { return word == 0 || word == 0xFFFF; }

  bool ReadHeader() {
    const auto word0 = Read(0, 2);
    const auto word1000 = Read(EXPLAIN_SECOND_HEADER, 2);
    if (word0)
      m_facts.word0 = static_cast<uint16_t>(*word0);
    if (word1000)
      m_facts.word1000 = static_cast<uint16_t>(*word1000);
    if (!word0)
      return Refuse(UR_NO_IMAGE, ThisFile() + " is too short to hold the header word at 0x0000");
    if (!Unset(*word0)) {
      m_facts.headerAt = 0;
      m_facts.base = *word0;
      return true;
    }
    const std::string first = "the word at 0x0000 is " + Hex(*word0, 4);
    if (!word1000) {
      return Refuse(UR_NO_IMAGE, first + ", which sends the reader to the word at 0x1000, but " +
                                     ThisFile() + " ends before it");
    }
    if (Unset(*word1000)) {
      return Refuse(UR_NO_IMAGE, "neither header word names the main section: " + first +
                                     " and the word at 0x1000 is " + Hex(*word1000, 4));
    }
    m_facts.headerAt = static_cast<uint32_t>(EXPLAIN_SECOND_HEADER);
    m_facts.base = *word1000;
    return true;
  }

  bool ReadMain() {
    const uint64_t base = *m_facts.base;
    const std::string word = "the word at " + Hex(*m_facts.headerAt, 4);
    if (const auto level = Read(base + EXPLAIN_LEVEL, 1))
      m_facts.levelByte = static_cast<uint8_t>(*level);
    if (const auto flags = Read(base + EXPLAIN_BLOCK_FLAGS, 1))
      m_facts.blockFlags = static_cast<uint8_t>(*flags);
    if (base >= m_facts.size) {
      return Refuse(UR_NO_IMAGE,
                    word + " names offset " + Hex(base) + ", past the end of " + ThisFile());
    }
    const auto version = Read(base + EXPLAIN_VERSION, 1);
    const auto deviceId = Read(base + EXPLAIN_DEVICE_ID, 2);
    if (deviceId)
      m_facts.deviceId = static_cast<uint16_t>(*deviceId);
    if (!version) {
      return Refuse(UR_NO_IMAGE, word + " names offset " + Hex(base) + ", but " + ThisFile() +
                                     " ends before the section's version byte at " +
                                     Hex(base + EXPLAIN_VERSION));
    }
    m_facts.version = static_cast<uint8_t>(*version);
    int32_t family = -1;
    int32_t variant = -1;
    if (LookupDeviceFamily(*m_facts.deviceId, &family, &variant) != UR_OK) {
      return Refuse(UR_UNLISTED_DEVICE_ID,
                    "device ID " + Hex(*m_facts.deviceId, 4) + " is not a listed controller");
    }
    m_facts.family = family;
    m_facts.variant = variant;
    return true;
  }

  bool ReadExtension() {
    const uint64_t base = *m_facts.base;
    const auto offset = Read(base + EXPLAIN_EXTENSION, 4);
    if (!offset) {
      return Refuse(UR_NO_IMAGE, "the extension offset at " + Hex(base + EXPLAIN_EXTENSION) +
                                     " lies past the end of " + ThisFile());
    }
    m_facts.extOffset = *offset;
    if (base + *offset >= m_facts.size) {
      return Refuse(UR_NO_IMAGE, "the extension offset " + Hex(*offset) + " names file offset " +
                                     Hex(base + *offset) + ", past the end of " + ThisFile());
    }
    m_facts.extBase = base + *offset;
    return true;
  }

  bool ReadBlocks() {
    if ((*m_facts.blockFlags & EXPLAIN_FLAG_BLOCKS) == 0)
      return true;
    const uint64_t base = *m_facts.base;
    m_facts.firstBlock = static_cast<uint16_t>(*Read(base + EXPLAIN_FIRST_BLOCK, 2));
    uint64_t position = base + *m_facts.firstBlock;
    for (const uint8_t bit : EXPLAIN_BLOCK_BITS) {
      if ((*m_facts.blockFlags & bit) == 0)
        continue;
      const auto count = Read(position, 2);
      m_facts.blocks.push_back({bit, position, std::nullopt});
      if (!count) {
        return Refuse(UR_NO_IMAGE, "the dword count of block " + Hex(bit, 2) + " at " +
                                       Hex(position) + " lies past the end of " + ThisFile());
      }
      m_facts.blocks.back().count = static_cast<uint16_t>(*count);
      position += 2 + 4 * uint64_t{*count};
    }
    if (position > m_facts.size) {
      return Refuse(UR_NO_IMAGE,
                    "the block chain ends at " + Hex(position) + ", past the end of " + ThisFile());
    }
    m_facts.blockEnd = position;
    return true;
  }

  const std::vector<uint8_t>& m_image;
  CImageFacts m_facts;
};

}  // namespace

CImageFacts ImageExplain(const std::vector<uint8_t>& image) {
  return CExplainer(image).Run();
}

std::string ImageSizeWords(uint64_t size) {
  if (size >= 1024 && size % 1024 == 0)
    return std::to_string(size / 1024) + " KiB";
  return std::to_string(size) + "-byte";
}
