// Reads arbitrary bytes as inspect explains them and as the check parses them: the two must
// reach the same verdict and layout, and the explanation must never read outside the input.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "cli/image_explain.h"
#include "emulator/nvm_image_builder.h"
#include "engine/compatibility_check.h"
#include "fuzz/fuzz_seeds.h"

namespace {

std::vector<FuzzSeed> SeedCorpus() {
  std::vector<FuzzSeed> seeds;
  for (uint16_t id : {0x156D, 0x147E, 0x1578, 0x1234}) {
    for (NvmHeader header : {NvmHeader::AtZero, NvmHeader::At0x1000, NvmHeader::Erased}) {
      CNvmImageBuilder builder(id);
      builder.Header(header, header == NvmHeader::AtZero ? 0x40 : 0x1010);
      if (id == 0x1578)
        builder.ExtensionOffset(0x500).AddBlock(0x04, 2).AddBlock(0x20, 1);
      seeds.push_back(builder.Build());
    }
  }
  const FuzzSeed family3 = seeds[6];
  for (size_t cut : {1u, 0x48u, 0x150u, 0x1018u})
    seeds.emplace_back(family3.begin(), family3.begin() + std::min(cut, family3.size()));
  return seeds;
}

std::optional<uint64_t> Present(bool has, uint32_t value) {
  return has ? std::optional<uint64_t>(value) : std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  FuzzWriteSeedsIfAsked(*argc, *argv, SeedCorpus);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0x100000)
    return 0;
  const std::vector<uint8_t> image(data, data + size);
  NvmLayout layout;
  const UpdateResult parsed =
      NvmLayoutFromImage(image.data(), static_cast<uint32_t>(image.size()), &layout);
  const CImageFacts facts = ImageExplain(image);
  if (facts.result != parsed || facts.refusal.empty() != (parsed == UR_OK))
    std::abort();
  if (parsed == UR_OK && (facts.base != layout.base || facts.family != layout.family ||
                          facts.version != layout.version ||
                          facts.extBase != Present(layout.hasExtBase, layout.extBase) ||
                          facts.blockEnd != Present(layout.hasBlockBase, layout.blockBase))) {
    std::abort();
  }
  return 0;
}
