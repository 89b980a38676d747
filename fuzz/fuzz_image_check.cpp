// Parses arbitrary bytes as an image and checks them against a controller of the family and
// variant the image claims. The sanitizers catch any read outside the input; the check must never
// pass an image whose layout it could not parse.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "emulator/nvm_image_builder.h"
#include "engine/compatibility_check.h"
#include "engine/controller_access.h"
#include "fuzz/fuzz_seeds.h"
#include "platform/platform.h"
#include "tests/support/scripted_controller.h"

namespace {

constexpr uint16_t FUZZ_DEVICE_IDS[] = {0x156B, 0x156D, 0x147E, 0x1576, 0x1578, 0x1569};

CNvmImageBuilder FuzzBuilder(uint16_t id) {
  CNvmImageBuilder builder(id);
  builder.Level(2).Version(0x30).SetField(g_nvmCheckTable[1], 0x00C0FFEE);
  if (id == 0x1576 || id == 0x1578) {
    builder.ExtensionOffset(0x500).AddBlock(0x04, 2).AddBlock(0x08, 1);
    builder.SetField(g_nvmCheckTable[34], 0x44);
  }
  return builder;
}

std::vector<FuzzSeed> SeedCorpus() {
  std::vector<std::vector<uint8_t>> seeds;
  for (uint16_t id : FUZZ_DEVICE_IDS) {
    for (NvmHeader header : {NvmHeader::AtZero, NvmHeader::At0x1000, NvmHeader::Erased}) {
      const uint16_t base = header == NvmHeader::AtZero ? 0x40 : 0x1010;
      seeds.push_back(FuzzBuilder(id).Header(header, base).Build());
    }
  }
  // Images that end too soon, to start the fuzzer near every bounds check.
  const std::vector<uint8_t> family3 = FuzzBuilder(0x1576).Header(NvmHeader::AtZero, 0x40).Build();
  for (size_t cut : {1u, 0x48u, 0x150u, 0x190u}) {
    seeds.emplace_back(family3.begin(), family3.begin() + cut);
  }
  return seeds;
}

struct FuzzControllers {
  std::vector<std::unique_ptr<CScriptedController>> controllers;
  FuzzControllers() {
    for (uint16_t id : FUZZ_DEVICE_IDS) {
      controllers.push_back(
          std::make_unique<CScriptedController>(FuzzBuilder(id).MainSection(), 5));
      controllers.back()->Script().recordCalls = false;
    }
  }
};

FuzzControllers& Controllers() {
  static FuzzControllers controllers;
  return controllers;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  FuzzWriteSeedsIfAsked(*argc, *argv, SeedCorpus);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0x100000)
    return 0;
  // Copied so that the image ends exactly where the input does, even for size 0.
  const std::unique_ptr<uint8_t[]> image(new uint8_t[size ? size : 1]);
  if (size)
    std::memcpy(image.get(), data, size);
  const uint32_t imageSize = static_cast<uint32_t>(size);

  NvmLayout layout;
  const UpdateResult parsed = NvmLayoutFromImage(image.get(), imageSize, &layout);
  if (parsed == UR_OK &&
      (layout.base >= imageSize || (layout.hasBlockBase && layout.blockBase > imageSize))) {
    std::abort();
  }

  // One controller per input: the one the image claims to fit, so that the check goes deep.
  size_t pick = 0;
  for (size_t i = 0; parsed == UR_OK && i < std::size(FUZZ_DEVICE_IDS); ++i) {
    int32_t family = -1, variant = -1;
    LookupDeviceFamily(FUZZ_DEVICE_IDS[i], &family, &variant);
    if (family == layout.family && variant == layout.variant)
      pick = i;
  }
  CScriptedController& controller = *Controllers().controllers[pick];
  controller.readOffsets.clear();
  controller.readLengths.clear();
  PlatformServices services;
  services.wmi = &controller.Wmi();
  const CScopedPlatform platform(services);
  if (!WmiConnect())
    std::abort();
  uint32_t version = 0xFFFFFFFF;
  const UpdateResult result = CheckImageCompatibility(image.get(), imageSize, &version);
  if (result == UR_OK && (parsed != UR_OK || version != layout.version))
    std::abort();
  if (result != UR_OK && version != 0xFFFFFFFF)
    std::abort();
  g_wbemServices.reset();
  return 0;
}
