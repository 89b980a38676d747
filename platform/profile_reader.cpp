#include "platform/profile_reader.h"

#include <cwchar>

// Placeholder until the reader lands: every lookup yields the default.
uint32_t ProfileReadString(const wchar_t*, const wchar_t*, const wchar_t* fallback, wchar_t* out,
                           uint32_t capacity, const wchar_t*) {
  if (!out || capacity == 0) return 0;
  uint32_t n = 0;
  for (; fallback && fallback[n] && n + 1 < capacity; ++n) out[n] = fallback[n];
  out[n] = 0;
  return n;
}
