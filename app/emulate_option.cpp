#include "app/emulate_option.h"

#include <string_view>

namespace {

constexpr std::wstring_view EMULATE_PREFIX = L"/emulate:";

bool StartsWithIgnoringCase(std::wstring_view text, std::wstring_view prefix) {
  if (text.size() < prefix.size())
    return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    wchar_t c = text[i];
    if (c >= L'A' && c <= L'Z')
      c = static_cast<wchar_t>(c + (L'a' - L'A'));
    if (c != prefix[i])
      return false;
  }
  return true;
}

}  // namespace

std::wstring ParseEmulateOption(int argc, const wchar_t* const* argv) {
  std::wstring folder;
  for (int i = 1; i < argc; ++i) {
    const std::wstring_view arg = argv[i] != nullptr ? argv[i] : L"";
    if (arg.size() > EMULATE_PREFIX.size() && StartsWithIgnoringCase(arg, EMULATE_PREFIX))
      folder = arg.substr(EMULATE_PREFIX.size());
  }
  return folder;
}
