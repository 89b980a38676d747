#include "platform/posix/path_convert.h"

#include <algorithm>

#include "platform/utf8.h"

std::string PathToNative(const std::wstring& path) {
  std::string native = Utf8FromWide(path);
  std::replace(native.begin(), native.end(), '\\', '/');
  return native;
}

std::wstring PathFromNative(const std::string& path) {
  std::wstring wide = WideFromUtf8(path);
  std::replace(wide.begin(), wide.end(), L'/', L'\\');
  return wide;
}
