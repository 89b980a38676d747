// Our profile reader over arbitrary files: it must never read or write out of bounds, and what
// it returns must be a terminated string within the caller's capacity.
// Input: one byte of capacity, one byte choosing the lookup, then the file's bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/fuzz_seeds.h"
#include "platform/profile_reader.h"
#include "tests/support/profile_fixture.h"

namespace {

struct FuzzLookup {
  const wchar_t* section;
  const wchar_t* key;
  const wchar_t* fallback;
};

const FuzzLookup LOOKUPS[] = {
    {L"Language", L"0x409", L""}, {L"S", L"Key", L"fallback  "}, {L"日本語", L"IDS_PROMPT", L""},
    {L" s ", L" key ", nullptr},  {L"", L"Key", L"d"},           {nullptr, L"Key", L"d"},
    {L"S", nullptr, L"d"},
};
constexpr size_t LOOKUP_COUNT = sizeof LOOKUPS / sizeof LOOKUPS[0];

std::vector<uint8_t> Seed(uint8_t capacity, uint8_t lookup, const std::vector<uint8_t>& file) {
  std::vector<uint8_t> seed = {capacity, lookup};
  seed.insert(seed.end(), file.begin(), file.end());
  return seed;
}

std::vector<FuzzSeed> SeedCorpus() {
  const char* const ini =
      "[Language]\r\n0x409=English\r\n0x411=日本語\r\n[English]\r\nIDS_PROMPT=Press Update\r\n"
      "[日本語]\r\nIDS_PROMPT=\"「アップデート」を押してください\"\r\n[ S ]\r\n Key = 'v' \r\n"
      "key=second\r\nBare\r\n[unclosed\r\n";
  return {
      Seed(64, 0, Utf16LeWithBom(ini)),
      Seed(5, 2, Utf16LeWithBom(ini)),
      Seed(30, 1, BytesOf(ini)),
      Seed(7, 3, BytesOf(std::string("\xEF\xBB\xBF") + ini)),
      Seed(0, 1, BytesOf("[S]\rKey=\"\"\r")),
      Seed(2, 4, {0xFE, 0xFF, 0, '[', 0, 'S', 0, ']', 0, '\n', 0, 'K', 0xD8, 0x00}),
      Seed(9, 5, BytesOf(std::string("[S]\nKey=a\0b\xFF\n", 14))),
  };
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  FuzzWriteSeedsIfAsked(*argc, *argv, SeedCorpus);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2)
    return 0;
  const uint32_t capacity = data[0];
  const FuzzLookup& lookup = LOOKUPS[data[1] % LOOKUP_COUNT];
  // Exactly the capacity, so that a write past it is caught by the sanitizer.
  std::vector<wchar_t> out(capacity);
  const uint32_t n = ProfileReadFromBytes({data + 2, size - 2}, lookup.section, lookup.key,
                                          lookup.fallback, out.data(), capacity);
  if (capacity == 0) {
    if (n != 0)
      std::abort();
    return 0;
  }
  if (n >= capacity || out[n] != 0)
    std::abort();
  for (uint32_t i = 0; i < n; ++i) {
    if (out[i] == 0)
      std::abort();
  }
  return 0;
}
