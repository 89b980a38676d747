#include "app/lang_strings.h"

#include <algorithm>
#include <string>

#include "platform/platform.h"

namespace {

constexpr uint16_t LANG_PRIMARY_MASK = 0x03FF;
constexpr uint16_t LANG_PRIMARY_CHINESE = 0x04;
constexpr uint16_t LANG_PRIMARY_PORTUGUESE = 0x16;
constexpr uint16_t LANG_SUBLANGUAGE_1 = 0x0400;
constexpr uint16_t LANG_ID_FALLBACK = 0x0409;
// Section names longer than this are cut to its capacity less one.
constexpr uint32_t LANG_SECTION_CAPACITY = 30;

// "0x" and the id in upper-case hexadecimal without leading zeros.
std::wstring LanguageKey(uint16_t langId) {
  std::wstring digits;
  do {
    digits.insert(digits.begin(), L"0123456789ABCDEF"[langId & 0xF]);
    langId >>= 4;
  } while (langId != 0);
  return L"0x" + digits;
}

// The section name for a language id; empty when the "Language" section has none.
void ReadSectionName(uint16_t langId, const std::wstring& path, wchar_t* section) {
  PlatformSystem().ReadProfileString(L"Language", LanguageKey(langId).c_str(), L"", section,
                                     LANG_SECTION_CAPACITY, path.c_str());
}

}  // namespace

uint16_t MapLanguageId(uint16_t langId) {
  const uint16_t primary = langId & LANG_PRIMARY_MASK;
  if (primary == LANG_PRIMARY_CHINESE) {
    switch (langId) {
      case 0x0404:
      case 0x0C04:
      case 0x1404:
        return 0x0404;
      case 0x0804:
      case 0x1004:
        return 0x0804;
      default:
        return langId;
    }
  }
  if (primary == LANG_PRIMARY_PORTUGUESE)
    return langId;
  return LANG_SUBLANGUAGE_1 | primary;
}

void LoadLangString(uint16_t langId, const wchar_t* key, wchar_t* out, uint32_t capacity) {
  // Nothing fits in a buffer of no characters, so there is nothing to read either.
  if (!key || !out || capacity == 0)
    return;
  const uint16_t folded = MapLanguageId(langId);
  std::fill_n(out, capacity, L'\0');

  const std::wstring path = PlatformDataFolder() + L"\\Update.ini";
  wchar_t section[LANG_SECTION_CAPACITY] = {};
  ReadSectionName(folded, path, section);
  if (section[0] == 0)
    ReadSectionName(LANG_ID_FALLBACK, path, section);
  if (section[0] == 0)
    return;
  PlatformSystem().ReadProfileString(section, key, L"", out, capacity, path.c_str());
}
