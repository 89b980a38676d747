#include "engine/compatibility_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "tests/support/check_fixture.h"

namespace {

constexpr uint16_t ID_F0_V1 = 0x1567;
constexpr uint16_t ID_F0_V0 = 0x1569;
constexpr uint16_t ID_F1_V1 = 0x156B;
constexpr uint16_t ID_F1_V0 = 0x156D;
constexpr uint16_t ID_F2_V1 = 0x147E;
constexpr uint16_t ID_F3_V1 = 0x1576;
constexpr uint16_t ID_F3_V0 = 0x1578;

// A family-3 image with an extension section and a chain of three blocks.
CNvmImageBuilder Family3(uint16_t id) {
  return CNvmImageBuilder(id).ExtensionOffset(0x400).AddBlock(0x04, 3).AddBlock(0x10, 1).AddBlock(
      0x20, 0);
}

CNvmImageBuilder Typical(uint16_t id) {
  if (id == ID_F3_V0 || id == ID_F3_V1)
    return Family3(id).Level(3).Version(0x21);
  return CNvmImageBuilder(id).Level(3).Version(0x21);
}

size_t DwordsOf(uint32_t offset, uint32_t length) {
  return (offset + length - 1) / 4 - offset / 4 + 1;
}

// The image on the heap at its exact size, so that the sanitizers see any read past its end.
class CExactImage {
 public:
  explicit CExactImage(const std::vector<uint8_t>& bytes, size_t size)
      : m_bytes(new uint8_t[size ? size : 1]), m_size(static_cast<uint32_t>(size)) {
    std::copy_n(bytes.begin(), std::min(size, bytes.size()), m_bytes.get());
  }
  const uint8_t* Data() const { return m_bytes.get(); }
  uint32_t Size() const { return m_size; }

 private:
  std::unique_ptr<uint8_t[]> m_bytes;
  uint32_t m_size;
};

class CompatibilityCheck : public ControllerFixture {
 protected:
  UpdateResult Check(const std::vector<uint8_t>& image, uint32_t* version = nullptr) {
    const CExactImage exact(image, image.size());
    uint32_t ignored = 0;
    return CheckImageCompatibility(exact.Data(), exact.Size(), version ? version : &ignored);
  }
  size_t Reads() const { return m_controller->readOffsets.size(); }
};

TEST(DeviceFamily, TableAndUnlistedIds) {
  struct Case {
    uint16_t id;
    int32_t family, variant;
  };
  const Case cases[] = {{0x147E, 2, 1}, {0x1567, 0, 1}, {0x1569, 0, 0}, {0x156B, 1, 1},
                        {0x156D, 1, 0}, {0x1576, 3, 1}, {0x1578, 3, 0}};
  for (const Case& c : cases) {
    int32_t family = -7, variant = -7;
    EXPECT_EQ(LookupDeviceFamily(c.id, &family, &variant), UR_OK) << std::hex << c.id;
    EXPECT_EQ(family, c.family) << std::hex << c.id;
    EXPECT_EQ(variant, c.variant) << std::hex << c.id;
  }
  for (uint16_t id : {0x0000, 0x156C, 0x1577, 0xFFFF}) {
    int32_t family = -7, variant = -7;
    EXPECT_EQ(LookupDeviceFamily(id, &family, &variant), UR_UNLISTED_DEVICE_ID);
    EXPECT_EQ(family, -7);
    EXPECT_EQ(variant, -7);
  }
}

TEST(CheckTable, RowsAreGroupedByFamilyAndStayWithinOneDword) {
  EXPECT_EQ(g_nvmCheckCount, 40);
  for (int i = 0; i < g_nvmCheckCount; ++i) {
    const NvmCheckEntry& row = g_nvmCheckTable[i];
    EXPECT_EQ(row.family, i <= 20 ? 1 : i <= 31 ? 2 : 3) << i;
    EXPECT_NE(row.baseSelector, NVM_BASE_EXT) << i;
    EXPECT_EQ(row.fieldOffset / 4, (row.fieldOffset + row.fieldLength - 1) / 4) << i;
  }
  EXPECT_STREQ(g_nvmCheckTable[20].label, L"Src0(DP-out)");
  EXPECT_EQ(g_nvmCheckTable[20].byteMask, 0xAA);
  EXPECT_EQ(g_nvmCheckTable[35].baseSelector, NVM_BASE_BLOCK);
  EXPECT_EQ(g_nvmCheckTable[35].anyVariant, 0);
}

TEST_F(CompatibilityCheck, MatchingImagesPassAndHandBackTheirVersion) {
  for (uint16_t id : {ID_F1_V1, ID_F1_V0, ID_F2_V1, ID_F3_V1, ID_F3_V0}) {
    Connect(Typical(id).Version(0x10));
    uint32_t version = 0;
    EXPECT_EQ(Check(Typical(id).Build(), &version), UR_OK) << std::hex << id;
    EXPECT_EQ(version, 0x21u) << std::hex << id;
  }
}

TEST_F(CompatibilityCheck, EachRefusalHasItsCodeAndKeepsTheVersion) {
  std::vector<uint8_t> noHeader = Typical(ID_F1_V1).Build();
  noHeader[0] = noHeader[1] = 0;
  struct Case {
    const char* what;
    uint16_t controllerId;
    std::vector<uint8_t> image;
    UpdateResult expected;
  };
  const Case cases[] = {
      {"family-0 controller, variant 1", ID_F0_V1, Typical(ID_F1_V1).Build(),
       UR_UNSUPPORTED_CONTROLLER},
      {"family-0 controller, unparseable image", ID_F0_V0, {}, UR_UNSUPPORTED_CONTROLLER},
      {"unlisted controller", 0x1234, Typical(ID_F1_V1).Build(), UR_UNSUPPORTED_CONTROLLER},
      {"both header words 0", ID_F1_V1, noHeader, UR_NO_IMAGE},
      {"unlisted image", ID_F1_V1, CNvmImageBuilder(0x1234).Build(), UR_UNLISTED_DEVICE_ID},
      {"family-0 image", ID_F1_V1, Typical(ID_F0_V1).Build(), UR_FAMILY_MISMATCH},
      {"families differ", ID_F3_V1, Typical(ID_F1_V1).Build(), UR_FAMILY_MISMATCH},
      {"variants differ", ID_F1_V1, Typical(ID_F1_V0).Build(), UR_VARIANT_MISMATCH},
      {"level above", ID_F1_V1, Typical(ID_F1_V1).Level(4).Build(), UR_LEVEL_MISMATCH},
      {"field differs", ID_F1_V1, Typical(ID_F1_V1).SetField(g_nvmCheckTable[2], 1).Build(),
       UR_SECTION_MISMATCH},
  };
  for (const Case& c : cases) {
    Connect(Typical(c.controllerId));
    uint32_t version = 0xC0FFEE;
    EXPECT_EQ(Check(c.image, &version), c.expected) << c.what;
    EXPECT_EQ(version, 0xC0FFEEu) << c.what;
  }
}

TEST_F(CompatibilityCheck, LevelComparesTheLowThreeBits) {
  struct Case {
    uint8_t controller, image;
    UpdateResult expected;
  };
  const Case cases[] = {{2, 3, UR_LEVEL_MISMATCH},
                        {3, 2, UR_OK},
                        {3, 3, UR_OK},
                        {0x0A, 0x03, UR_LEVEL_MISMATCH},
                        {0x07, 0xFF, UR_OK},
                        {0xF8, 0x01, UR_LEVEL_MISMATCH},
                        {0x00, 0xF8, UR_OK}};
  for (const Case& c : cases) {
    Connect(Typical(ID_F1_V1).Level(c.controller));
    EXPECT_EQ(Check(Typical(ID_F1_V1).Level(c.image).Build()), c.expected)
        << int(c.controller) << " vs " << int(c.image);
  }
}

TEST_F(CompatibilityCheck, MasksApplyToTheLowestByteOnly) {
  struct Case {
    int row;
    uint32_t controller, image;
    UpdateResult expected;
  };
  const Case cases[] = {
      {20, 0x55, 0x00, UR_OK},  // Src0(DP-out), mask 0xAA
      {20, 0x02, 0x00, UR_SECTION_MISMATCH},
      {1, 0x00000000, 0x01000000, UR_SECTION_MISMATCH},  // PCIe Settings: every byte counts
      {1, 0x12345678, 0x12345678, UR_OK},
      {1, 0x00000080, 0x00000000, UR_SECTION_MISMATCH},
      {38, 0x0F, 0x00, UR_OK},  // Src0, mask 0xF0
      {38, 0x10, 0x00, UR_SECTION_MISMATCH},
      {39, 0x3F, 0x00, UR_OK},  // PA/PB (USB2), mask 0xC0
      {39, 0x40, 0x00, UR_SECTION_MISMATCH},
      {34, 0x33, 0x00, UR_OK},  // PA in the block section, mask 0xCC
      {34, 0x04, 0x00, UR_SECTION_MISMATCH},
  };
  for (const Case& c : cases) {
    const NvmCheckEntry& row = g_nvmCheckTable[c.row];
    const uint16_t id = row.family == 1 ? ID_F1_V1 : ID_F3_V1;
    Connect(Typical(id).SetField(row, c.controller));
    EXPECT_EQ(Check(Typical(id).SetField(row, c.image).Build()), c.expected)
        << c.row << ": " << std::hex << c.controller << " vs " << c.image;
  }
}

// Every row that takes part catches a difference; a row of the other variant does not look.
TEST_F(CompatibilityCheck, EveryRowOfTheFamilyAndVariantIsCompared) {
  for (uint16_t id : {ID_F1_V1, ID_F1_V0, ID_F2_V1, ID_F3_V1, ID_F3_V0}) {
    int32_t family = 0, variant = 0;
    LookupDeviceFamily(id, &family, &variant);
    for (int i = 0; i < g_nvmCheckCount; ++i) {
      const NvmCheckEntry& row = g_nvmCheckTable[i];
      if (row.family != family || row.fieldOffset == 5)
        continue;  // the device ID decides more
      const uint32_t differing = row.fieldLength == 4 ? 0x01000000u : row.byteMask;
      Connect(Typical(id));
      const bool takesPart = row.anyVariant != 0 || variant == 0;
      EXPECT_EQ(Check(Typical(id).SetField(row, differing).Build()),
                takesPart ? UR_SECTION_MISMATCH : UR_OK)
          << std::hex << id << " row " << std::dec << i;
    }
  }
}

TEST_F(CompatibilityCheck, ReadCountsPerFamilyAndVariant) {
  struct Case {
    uint16_t id;
    size_t rowReads;
  };
  // Besides the rows: one read for the device ID and one for the level.
  for (const Case& c : {Case{ID_F1_V1, 13}, Case{ID_F1_V0, 21}, Case{ID_F2_V1, 11}}) {
    CScriptedController& controller = Connect(Typical(c.id));
    EXPECT_EQ(Check(Typical(c.id).Build()), UR_OK);
    EXPECT_EQ(Reads(), 2 + c.rowReads) << std::hex << c.id;
    EXPECT_EQ(controller.readOffsets[0], 4u);  // device ID
    EXPECT_EQ(controller.readOffsets[1], 0u);  // level
    // No extension section, no block chain.
    EXPECT_EQ(std::count(controller.readOffsets.begin(), controller.readOffsets.end(), 0x10Cu), 0);
    EXPECT_TRUE(std::all_of(controller.readLengths.begin(), controller.readLengths.end(),
                            [](uint32_t length) { return length == 4; }));
  }
}

TEST_F(CompatibilityCheck, FirstDifferingRowDecidesAndLaterRowsAreNotRead) {
  Connect(Typical(ID_F1_V0));
  EXPECT_EQ(Check(Typical(ID_F1_V0).SetField(g_nvmCheckTable[3], 9).Build()), UR_SECTION_MISMATCH);
  EXPECT_EQ(Reads(), 2u + 4u);  // rows 0 to 3
}

TEST_F(CompatibilityCheck, HeaderAt0x1000AndErasedFirstWord) {
  // Word 0 is 0 and the word at 0x1000 says 0x200: the section starts at 0x200 and overlaps it.
  std::vector<uint8_t> image = Typical(ID_F1_V1).Header(NvmHeader::At0x1000, 0x200).Build();
  EXPECT_EQ(image[0x205] | image[0x206] << 8, ID_F1_V1);
  EXPECT_EQ(image[0x20A], 0x21);
  NvmLayout layout;
  ASSERT_EQ(NvmLayoutFromImage(image.data(), uint32_t(image.size()), &layout), UR_OK);
  EXPECT_EQ(layout.base, 0x200u);
  EXPECT_EQ(layout.version, 0x21u);

  Connect(Typical(ID_F1_V1).Header(NvmHeader::At0x1000, 0x200));
  uint32_t version = 0;
  EXPECT_EQ(Check(image, &version), UR_OK);
  EXPECT_EQ(version, 0x21u);

  for (uint16_t base : {0x200, 0x2000}) {
    const std::vector<uint8_t> erased = Typical(ID_F1_V1).Header(NvmHeader::Erased, base).Build();
    ASSERT_EQ(erased[0], 0xFF);
    ASSERT_EQ(NvmLayoutFromImage(erased.data(), uint32_t(erased.size()), &layout), UR_OK);
    EXPECT_EQ(layout.base, base);
    Connect(Typical(ID_F1_V1));
    EXPECT_EQ(Check(erased), UR_OK) << base;
  }

  // Both words unset, in either spelling: no image.
  for (uint16_t first : {0x0000, 0xFFFF}) {
    for (uint16_t second : {0x0000, 0xFFFF}) {
      image[0] = image[1] = static_cast<uint8_t>(first);
      image[0x1000] = image[0x1001] = static_cast<uint8_t>(second);
      EXPECT_EQ(NvmLayoutFromImage(image.data(), uint32_t(image.size()), &layout), UR_NO_IMAGE)
          << first << " " << second;
    }
  }
}

TEST_F(CompatibilityCheck, BlockChainsOfSeveralLengths) {
  struct Case {
    const char* what;
    std::vector<std::pair<uint8_t, uint16_t>> blocks;
  };
  const Case cases[] = {
      {"one empty block", {{0x04, 0}}},
      {"one block", {{0x20, 5}}},
      {"three blocks", {{0x01, 2}, {0x08, 7}, {0x02, 1}}},
      {"all six", {{0x04, 1}, {0x02, 2}, {0x01, 3}, {0x10, 4}, {0x08, 5}, {0x20, 6}}},
  };
  for (const Case& c : cases) {
    CNvmImageBuilder builder = CNvmImageBuilder(ID_F3_V0).ExtensionOffset(0x600).Level(1);
    for (const auto& [bit, count] : c.blocks)
      builder.AddBlock(bit, count);
    builder.SetField(g_nvmCheckTable[34], 0x88).SetField(g_nvmCheckTable[35], 0x44);

    NvmLayout layout;
    const std::vector<uint8_t> image = builder.Build();
    ASSERT_EQ(NvmLayoutFromImage(image.data(), uint32_t(image.size()), &layout), UR_OK);
    EXPECT_TRUE(layout.hasBlockBase);
    EXPECT_EQ(layout.blockBase, builder.Base() + builder.BlockBase()) << c.what;
    EXPECT_EQ(layout.extBase, builder.Base() + 0x600) << c.what;

    CScriptedController& controller = Connect(builder);
    ASSERT_EQ(NvmLayoutFromController(&layout), UR_OK);
    EXPECT_EQ(layout.blockBase, builder.BlockBase()) << c.what;
    EXPECT_EQ(layout.extBase, 0x600u) << c.what;
    // Device ID, extension, flags, first offset, then one count per block, each read costing
    // one call per dword it touches.
    size_t calls = DwordsOf(5, 2) + DwordsOf(0x10E, 4) + DwordsOf(2, 1) + DwordsOf(3, 2);
    uint32_t position = 0x140;
    for (uint8_t bit : NVM_BLOCK_ORDER) {
      for (const auto& [present, count] : c.blocks) {
        if (present != bit)
          continue;
        calls += DwordsOf(position, 2);
        position += 2 + 4 * count;
      }
    }
    EXPECT_EQ(controller.readOffsets.size(), calls) << c.what;

    EXPECT_EQ(Check(image), UR_OK) << c.what;
    Connect(builder);
    std::vector<uint8_t> changed = builder.Build();
    changed[layout.blockBase + builder.Base() + 0x13] ^= 0x04;
    EXPECT_EQ(Check(changed), UR_SECTION_MISMATCH) << c.what;
  }
}

TEST_F(CompatibilityCheck, ChainsOfDifferentLengthsCompareAtTheirOwnEnds) {
  Connect(Family3(ID_F3_V1).SetField(g_nvmCheckTable[34], 0xC4));
  const std::vector<uint8_t> image = CNvmImageBuilder(ID_F3_V1)
                                         .ExtensionOffset(0x400)
                                         .AddBlock(0x01, 9)
                                         .SetField(g_nvmCheckTable[34], 0xC4)
                                         .Build();
  EXPECT_EQ(Check(image), UR_OK);
}

TEST_F(CompatibilityCheck, BlockRowsWithoutAChainOnOneOrBothSides) {
  const CNvmImageBuilder noChain = CNvmImageBuilder(ID_F3_V0).ExtensionOffset(0x400);
  const CNvmImageBuilder chain = Family3(ID_F3_V0);
  struct Case {
    const char* what;
    const CNvmImageBuilder& controller;
    const CNvmImageBuilder& image;
    UpdateResult expected;
  };
  const Case cases[] = {
      {"neither side", noChain, noChain, UR_OK},
      {"controller only", chain, noChain, UR_SECTION_MISMATCH},
      {"image only", noChain, chain, UR_SECTION_MISMATCH},
  };
  for (const Case& c : cases) {
    Connect(c.controller);
    EXPECT_EQ(Check(c.image.Build()), c.expected) << c.what;
  }
  // Neither side: the rows read the main section, where the PCIe settings already agree.
  CScriptedController& controller = Connect(noChain);
  EXPECT_EQ(Check(noChain.Build()), UR_OK);
  EXPECT_EQ(std::count(controller.readOffsets.begin(), controller.readOffsets.end(), 0x10u), 3);
}

// An image never makes the check read outside it.
TEST_F(CompatibilityCheck, ImagesThatEndTooSoonOrPointPastTheirEnd) {
  const std::vector<uint8_t> f1 = Typical(ID_F1_V1).Build();
  const uint32_t f1Base = Typical(ID_F1_V1).Base();
  const CNvmImageBuilder f3 = Family3(ID_F3_V1);
  const uint32_t f3Base = f3.Base();
  std::vector<uint8_t> hugeBase = f1;
  hugeBase[0] = 0xF0;
  hugeBase[1] = 0xFF;
  std::vector<uint8_t> late = Typical(ID_F1_V1).Header(NvmHeader::At0x1000, 0x2000).Build();
  std::vector<uint8_t> extPast = f3.Build();
  extPast[f3Base + 0x10E + 3] = 0x7F;
  std::vector<uint8_t> firstBlockPast = f3.Build();
  firstBlockPast[f3Base + 3] = firstBlockPast[f3Base + 4] = 0xFF;
  std::vector<uint8_t> countPast = f3.Build();
  countPast[f3Base + 0x140] = countPast[f3Base + 0x141] = 0xFF;
  struct Case {
    const char* what;
    uint16_t controllerId;
    std::vector<uint8_t> image;
    size_t size;
  };
  const Case cases[] = {
      {"empty", ID_F1_V1, f1, 0},
      {"one byte", ID_F1_V1, f1, 1},
      {"first word 0, no word at 0x1000", ID_F1_V1, late, 0x1001},
      {"base beyond the end", ID_F1_V1, hugeBase, hugeBase.size()},
      {"section cut before its version byte", ID_F1_V1, f1, f1Base + 0x0A},
      {"last row's field cut off", ID_F1_V1, f1, f1Base + 0x217D},
      {"extension offset cut off", ID_F3_V1, f3.Build(), f3Base + 0x110},
      {"extension past the end", ID_F3_V1, extPast, extPast.size()},
      {"first block past the end", ID_F3_V1, firstBlockPast, firstBlockPast.size()},
      {"chain runs past the end", ID_F3_V1, countPast, countPast.size()},
  };
  for (const Case& c : cases) {
    Connect(Typical(c.controllerId));
    const CExactImage exact(c.image, c.size);
    uint32_t version = 7;
    EXPECT_EQ(CheckImageCompatibility(exact.Data(), exact.Size(), &version), UR_NO_IMAGE) << c.what;
    EXPECT_EQ(version, 7u) << c.what;
  }
  EXPECT_EQ(CheckImageCompatibility(nullptr, 100, nullptr), UR_NO_IMAGE);
}

TEST_F(CompatibilityCheck, AFailedControllerReadEndsTheCheckWithItsResult) {
  struct Case {
    const char* what;
    uint16_t id;
    uint32_t dword;
  };
  const Case cases[] = {
      {"device ID", ID_F1_V1, 0x004},
      {"level", ID_F1_V1, 0x000},
      {"row", ID_F1_V1, 0x150},
      {"last row", ID_F1_V1, 0x217C},
      {"extension", ID_F3_V1, 0x10C},
      {"first block", ID_F3_V1, 0x000},
      {"block count", ID_F3_V1, 0x140},
      {"block row", ID_F3_V1, (Family3(ID_F3_V1).BlockBase() + 0x12) & ~3u},
  };
  for (const Case& c : cases) {
    CScriptedController& controller = Connect(Typical(c.id));
    controller.readReturnValues[c.dword] = 0xE0000042;
    uint32_t version = 7;
    EXPECT_EQ(Check(Typical(c.id).Build(), &version), 0xE0000042u) << c.what;
    EXPECT_EQ(version, 7u) << c.what;
  }
}

TEST_F(CompatibilityCheck, AShortControllerReplyIsAFailedRead) {
  CScriptedController& controller = Connect(Typical(ID_F1_V1));
  controller.Script().methods[L"ReadFirmware"].handler = [](auto&, auto&) {
    WmiMethodReply reply;
    reply.out[L"ReturnValue"] = WmiValue::Int(0);
    reply.out[L"data"] = WmiValue::Bytes({0x6B, 0x15});
    return reply;
  };
  EXPECT_EQ(Check(Typical(ID_F1_V1).Build()), UR_NO_TBT_SOFTWARE);
}

TEST_F(CompatibilityCheck, VersionFailureIsReturnedBeforeAnyRead) {
  CScriptedController& controller = Connect(Typical(ID_F1_V1));
  controller.Script().FailCall(L"ExecMethod", 1);
  EXPECT_EQ(Check(Typical(ID_F1_V1).Build()), UR_NO_TBT_SOFTWARE);
  EXPECT_EQ(Reads(), 0u);

  g_wbemServices.reset();
  EXPECT_EQ(Check(Typical(ID_F1_V1).Build()), UR_NO_TBT_SOFTWARE);
}

TEST_F(CompatibilityCheck, ReadRangeSplitsIntoAlignedDwords) {
  std::vector<uint8_t> nvm(0x20);
  for (size_t i = 0; i < nvm.size(); ++i)
    nvm[i] = static_cast<uint8_t>(0xA0 + i);
  struct Case {
    uint32_t offset, length;
    std::vector<uint32_t> calls;
  };
  const Case cases[] = {
      {6, 4, {4, 8}}, {5, 2, {4}}, {4, 4, {4}}, {0, 9, {0, 4, 8}}, {7, 1, {4}}, {3, 6, {0, 4, 8}},
  };
  for (const Case& c : cases) {
    CScriptedController& controller = Connect(nvm);
    uint8_t out[16] = {};
    ASSERT_EQ(NvmReadRange(c.offset, c.length, out), UR_OK) << c.offset << "+" << c.length;
    EXPECT_EQ(controller.readOffsets, c.calls) << c.offset << "+" << c.length;
    for (uint32_t i = 0; i < c.length; ++i)
      EXPECT_EQ(out[i], nvm[c.offset + i]) << i;
    EXPECT_EQ(out[c.length], 0) << "nothing past the range";
  }
}

TEST_F(CompatibilityCheck, ReadRangeEdges) {
  CScriptedController& controller = Connect(std::vector<uint8_t>(16, 0x11));
  uint8_t out[4] = {9, 9, 9, 9};
  EXPECT_EQ(NvmReadRange(8, 0, out), UR_NO_TBT_SOFTWARE);  // nothing asked, nothing read
  EXPECT_TRUE(controller.readOffsets.empty());
  EXPECT_EQ(NvmReadRange(9, 0, out), UR_OK);  // one call, nothing copied
  EXPECT_EQ(out[0], 9);
  EXPECT_EQ(NvmReadRange(0xFFFFFFFE, 2, out), UR_OK);  // the top dword, without wrapping
  EXPECT_EQ(controller.readOffsets, (std::vector<uint32_t>{8, 0xFFFFFFFC}));

  controller.readOffsets.clear();
  controller.readReturnValues[4] = 0x77;
  uint8_t partial[8] = {};
  EXPECT_EQ(NvmReadRange(2, 6, partial), 0x77u);
  EXPECT_EQ(controller.readOffsets, (std::vector<uint32_t>{0, 4}));
  EXPECT_EQ(partial[0], 0x11);  // bytes of the first dword stay
  EXPECT_EQ(partial[1], 0x11);
}

}  // namespace
