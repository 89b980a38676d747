// The option parser over arbitrary argument vectors, and its wcstol-style hex parse checked
// against the C library's wcstol narrowed to a 32-bit long.
// Input: 16-bit little-endian units; a zero unit ends one argument.
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "app/options.h"
#include "fuzz/fuzz_seeds.h"

namespace {

std::vector<std::wstring> Arguments(const uint8_t* data, size_t size) {
  std::vector<std::wstring> args(1);
  for (size_t i = 0; i + 1 < size; i += 2) {
    const wchar_t unit = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    if (unit == 0) {
      args.emplace_back();
    } else {
      args.back() += unit;
    }
  }
  return args;
}

std::vector<FuzzSeed> SeedCorpus() {
  const std::vector<std::vector<std::wstring>> arguments = {
      {L"/downgradable", L"/LID:411"},
      {L"/LID:0x804", L"/lid: -1", L"/DOWNGRADABLE"},
      {L"/LID:", L"/LIDX404", L"/LID:123456789abcdef", L"-downgradable"},
      {L"/LID:+0Xfffe", L"/LID:zz", L"file.bin"},
  };
  std::vector<FuzzSeed> seeds;
  for (const std::vector<std::wstring>& args : arguments) {
    FuzzSeed& bytes = seeds.emplace_back();
    for (const std::wstring& arg : args) {
      for (wchar_t c : arg) {
        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<uint8_t>((c >> 8) & 0xFF));
      }
      bytes.insert(bytes.end(), 2, 0);
    }
  }
  return seeds;
}

// wcstol with a 64-bit long saturates beyond 64 bits; narrowing with saturation gives what a
// 32-bit long's wcstol gives.
int32_t ReferenceHex(const wchar_t* text) {
  const long value = std::wcstol(text, nullptr, 16);
  if (value > INT32_MAX)
    return INT32_MAX;
  if (value < INT32_MIN)
    return INT32_MIN;
  return static_cast<int32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  FuzzWriteSeedsIfAsked(*argc, *argv, SeedCorpus);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::wstring> args = Arguments(data, size);
  std::vector<const wchar_t*> argv;
  for (const std::wstring& arg : args)
    argv.push_back(arg.c_str());
  UpdateOptions options;
  options.m_langId = 0x0409;
  if (ParseArguments(static_cast<int>(argv.size()), argv.data(), options) != 1)
    std::abort();
  if (options.m_downgradable != 0 && options.m_downgradable != 1)
    std::abort();
  for (const std::wstring& arg : args) {
    if (OptionParseHex(arg.c_str()) != ReferenceHex(arg.c_str()))
      std::abort();
  }
  return 0;
}
