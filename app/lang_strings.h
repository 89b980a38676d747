#pragma once
// The window's texts, read from the language file "Update.ini" in the data folder. A "Language"
// section maps "0x%X" language ids to the names of the sections that hold the IDS_ texts.
#include <cstdint>

// Language ids fold to the one entry the language file has for them: Chinese to Traditional
// (0x404) or Simplified (0x804), Portuguese kept as it is (0x416 and 0x816 differ), every other
// language to its sublanguage 1 (0x809 to 0x409).
uint16_t MapLanguageId(uint16_t langId);

// Copies the text for key under langId into out (capacity in characters, terminator included),
// falling back to the entry "0x409" when the language has none; the empty string when nothing
// is found. A null key or out leaves out untouched. The file is read anew on every call.
void LoadLangString(uint16_t langId, const wchar_t* key, wchar_t* out, uint32_t capacity);
