#pragma once
// UTF-8 <-> wide strings, for wchar_t of either width (UTF-16 on Windows, UTF-32 elsewhere).
// Malformed input never fails: each bad unit becomes U+FFFD.
#include <string>
#include <string_view>

std::string Utf8FromWide(std::wstring_view wide);
std::wstring WideFromUtf8(std::string_view utf8);
