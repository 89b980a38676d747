#pragma once
// The two command-line options of the window program, parsed the same way by the CLI.
#include <cstdint>

struct UpdateOptions {
  // Nonzero lets an image older than the controller's firmware be written.
  int32_t m_downgradable = 0;
  // The language of the texts; starts as the user's interface language.
  uint16_t m_langId = 0;
};

// Reads "/downgradable" (any case) and "/LID:<hex>" (the name in any case, the colon required)
// from argv[1] on; the last /LID: wins and anything else is ignored. Always returns 1.
int ParseArguments(int argc, const wchar_t* const* argv, UpdateOptions& options);

// The value wcstol(text, nullptr, 16) has where long is 32 bits, as on Windows: leading blanks,
// a sign and a "0x" prefix are accepted, parsing stops at the first non-digit, no digits give 0
// and values out of range saturate.
int32_t OptionParseHex(const wchar_t* text);
