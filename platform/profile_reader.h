#pragma once
// Our own private-profile (INI) reader, with the observable rules of the Windows reader, for
// platforms that have none. Decodes UTF-16LE with a byte-order mark and UTF-8 with or without.
#include <cstdint>

uint32_t ProfileReadString(const wchar_t* section, const wchar_t* key, const wchar_t* fallback,
                           wchar_t* out, uint32_t capacity, const wchar_t* path);
