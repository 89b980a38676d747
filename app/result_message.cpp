#include "app/result_message.h"

#include <cwchar>
#include <initializer_list>

#include "app/lang_strings.h"

namespace {

// " (0X" + eight digits + ")"
constexpr size_t CODE_SUFFIX_LENGTH = 13;

bool IsHighSurrogate(wchar_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}

}  // namespace

const wchar_t* ResultMessageKey(UpdateResult result) {
  switch (result) {
    case UR_OK:
      return L"IDS_SUCCESS";
    case UR_NO_TBT_SOFTWARE:
      return L"IDS_FIND_NO_SW";
    case UR_DOWNGRADE_REFUSED:
      return L"IDS_DOWNGRADE";
    default:
      return L"IDS_ERROR";
  }
}

void ResultErrorFormat(const wchar_t* text, UpdateResult code, wchar_t* out, size_t capacity) {
  if (out == nullptr || capacity == 0)
    return;
  out[0] = L'\0';
  if (capacity <= CODE_SUFFIX_LENGTH)
    return;
  size_t length = text != nullptr ? std::wcslen(text) : 0;
  const size_t room = capacity - 1 - CODE_SUFFIX_LENGTH;
  if (length > room) {
    length = room;
    if (length > 0 && IsHighSurrogate(text[length - 1]))
      --length;
  }
  std::wmemcpy(out, text, length);
  static const wchar_t digits[] = L"0123456789ABCDEF";
  wchar_t* p = out + length;
  for (const wchar_t c : {L' ', L'(', L'0', L'X'})
    *p++ = c;
  for (int shift = 28; shift >= 0; shift -= 4)
    *p++ = digits[(code >> shift) & 0xF];
  *p++ = L')';
  *p = L'\0';
}

void ResultMessageLoad(UpdateResult result, uint16_t langId, wchar_t* out, size_t capacity) {
  const wchar_t* key = ResultMessageKey(result);
  const auto length = static_cast<uint32_t>(capacity);
  if (result == UR_OK || result == UR_NO_TBT_SOFTWARE || result == UR_DOWNGRADE_REFUSED) {
    LoadLangString(langId, key, out, length);
    return;
  }
  wchar_t text[RESULT_MESSAGE_CAPACITY] = L"";
  LoadLangString(langId, key, text, RESULT_MESSAGE_CAPACITY);
  ResultErrorFormat(text, result, out, capacity);
}
