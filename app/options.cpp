#include "app/options.h"

#include <climits>
#include <cwchar>
#include <string_view>

namespace {

constexpr std::wstring_view OPTION_DOWNGRADABLE = L"/downgradable";
// "/LID:" and at least one character after it.
constexpr size_t OPTION_LID_MIN_LENGTH = 6;

wchar_t FoldAscii(wchar_t c) {
  return c >= L'A' && c <= L'Z' ? c + (L'a' - L'A') : c;
}

bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i]))
      return false;
  }
  return true;
}

bool IsLidOption(std::wstring_view arg) {
  return arg.size() >= OPTION_LID_MIN_LENGTH && EqualsIgnoringCase(arg.substr(1, 3), L"lid") &&
         arg[4] == L':';
}

bool IsBlank(wchar_t c) {
  return c == L' ' || (c >= L'\t' && c <= L'\r');
}

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9')
    return c - L'0';
  if (c >= L'a' && c <= L'f')
    return c - L'a' + 10;
  if (c >= L'A' && c <= L'F')
    return c - L'A' + 10;
  return -1;
}

}  // namespace

int32_t OptionParseHex(const wchar_t* text) {
  if (!text)
    return 0;
  while (IsBlank(*text))
    ++text;
  const bool negative = *text == L'-';
  if (*text == L'-' || *text == L'+')
    ++text;
  if (text[0] == L'0' && (text[1] == L'x' || text[1] == L'X'))
    text += 2;
  // Accumulate the magnitude in 64 bits; saturate once it leaves the 32-bit range.
  const int64_t limit = negative ? -static_cast<int64_t>(INT32_MIN) : INT32_MAX;
  int64_t magnitude = 0;
  bool overflow = false;
  for (int digit; (digit = HexDigit(*text)) >= 0; ++text) {
    if (!overflow)
      magnitude = magnitude * 16 + digit;
    if (magnitude > limit)
      overflow = true;
  }
  if (overflow)
    return negative ? INT32_MIN : INT32_MAX;
  return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

int ParseArguments(int argc, const wchar_t* const* argv, UpdateOptions& options) {
  for (int i = 1; i < argc && argv; ++i) {
    if (!argv[i] || argv[i][0] != L'/')
      continue;
    const std::wstring_view arg = argv[i];
    if (EqualsIgnoringCase(arg, OPTION_DOWNGRADABLE)) {
      options.m_downgradable = 1;
    } else if (IsLidOption(arg)) {
      options.m_langId = static_cast<uint16_t>(OptionParseHex(argv[i] + 5));
    }
  }
  return 1;
}
