#pragma once
// Our own private-profile (INI) reader, with the observable rules of the Windows reader, for
// platforms that have none:
// - section and key names match regardless of case (ASCII letters), blanks around the requested
//   names are ignored;
// - a missing file, section or key gives the default (null counts as empty, trailing spaces of
//   the default are dropped);
// - the first section of a name and the first key of a name in it win;
// - blanks around keys and values are trimmed and one pair of enclosing quotes (' or ") is
//   removed from a value;
// - a value longer than the buffer is cut to capacity - 1 characters and terminated.
// Files are UTF-16 with a byte-order mark (little- or big-endian), or UTF-8 with or without one.
// Listing names (a null section or key) is not offered: such a call copies the empty string.
// Returns the characters copied, without the terminator.
#include <cstdint>
#include <span>

// A lookup in the whole content of a profile file (an absent file reads as no bytes).
uint32_t ProfileReadFromBytes(std::span<const uint8_t> file, const wchar_t* section,
                              const wchar_t* key, const wchar_t* fallback, wchar_t* out,
                              uint32_t capacity);

// A lookup in the file at a backslash-separated path, read anew on every call.
uint32_t ProfileReadString(const wchar_t* section, const wchar_t* key, const wchar_t* fallback,
                           wchar_t* out, uint32_t capacity, const wchar_t* path);
