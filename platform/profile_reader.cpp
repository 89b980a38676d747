#include "platform/profile_reader.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <filesystem>
#else
#include "platform/posix/path_convert.h"
#endif

#include "platform/utf8.h"

namespace {

constexpr wchar_t PROFILE_REPLACEMENT = 0xFFFD;

bool IsHighSurrogate(uint32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(uint32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

std::wstring DecodeUtf16(std::span<const uint8_t> bytes, bool bigEndian) {
  std::wstring text;
  text.reserve(bytes.size() / 2);
  auto unitAt = [&](size_t i) -> uint32_t {
    return bigEndian ? (bytes[i] << 8) | bytes[i + 1] : bytes[i] | (bytes[i + 1] << 8);
  };
  // A trailing odd byte is not a whole unit and is dropped.
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const uint32_t unit = unitAt(i);
    if constexpr (sizeof(wchar_t) == 2) {
      text += static_cast<wchar_t>(unit);
    } else if (IsHighSurrogate(unit) && i + 3 < bytes.size() && IsLowSurrogate(unitAt(i + 2))) {
      text += static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (unitAt(i + 2) - 0xDC00));
      i += 2;
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      text += PROFILE_REPLACEMENT;
    } else {
      text += static_cast<wchar_t>(unit);
    }
  }
  return text;
}

std::wstring DecodeProfile(std::span<const uint8_t> bytes) {
  const auto startsWith = [&](std::initializer_list<uint8_t> mark) {
    return bytes.size() >= mark.size() && std::equal(mark.begin(), mark.end(), bytes.begin());
  };
  if (startsWith({0xFF, 0xFE}))
    return DecodeUtf16(bytes.subspan(2), false);
  if (startsWith({0xFE, 0xFF}))
    return DecodeUtf16(bytes.subspan(2), true);
  if (startsWith({0xEF, 0xBB, 0xBF}))
    bytes = bytes.subspan(3);
  return WideFromUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// Control-Z counts as a blank: old editors ended text files with it.
bool IsBlank(wchar_t c) {
  return c == L' ' || (c >= L'\t' && c <= L'\r') || c == 0x1A;
}

std::wstring_view Trim(std::wstring_view s) {
  while (!s.empty() && IsBlank(s.front()))
    s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back()))
    s.remove_suffix(1);
  return s;
}

// Names and values are C strings to the Windows reader: a NUL inside a line ends them.
std::wstring_view UpToNul(std::wstring_view s) {
  return s.substr(0, s.find(L'\0'));
}

wchar_t FoldAscii(wchar_t c) {
  return c >= L'A' && c <= L'Z' ? c + (L'a' - L'A') : c;
}

bool NamesEqual(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](wchar_t x, wchar_t y) { return FoldAscii(x) == FoldAscii(y); });
}

std::wstring_view Unquote(std::wstring_view value) {
  if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// The value of the first key of that name in the first section of that name; none when the
// key is absent or is a bare name without "=".
std::optional<std::wstring_view> FindValue(std::wstring_view text, std::wstring_view section,
                                           std::wstring_view key) {
  bool inSection = false;
  for (size_t pos = 0; pos <= text.size();) {
    // A carriage return alone ends a line too, as in files from old Macintosh editors.
    const size_t end = std::min(text.find_first_of(L"\r\n", pos), text.size());
    const std::wstring_view line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty())
      continue;
    // A "[" line without a closing bracket is not a header; it reads as a key line.
    const size_t close = line.front() == L'[' ? line.rfind(L']') : std::wstring_view::npos;
    if (close != std::wstring_view::npos && close > 0) {
      if (inSection)
        return std::nullopt;
      inSection = NamesEqual(Trim(UpToNul(line.substr(1, close - 1))), section);
      continue;
    }
    if (!inSection)
      continue;
    const size_t equals = line.find(L'=');
    if (!NamesEqual(UpToNul(Trim(line.substr(0, equals))), key))
      continue;
    if (equals == std::wstring_view::npos)
      return std::nullopt;
    return Unquote(UpToNul(Trim(line.substr(equals + 1))));
  }
  return std::nullopt;
}

uint32_t CopyOut(std::wstring_view text, wchar_t* out, uint32_t capacity) {
  const size_t n = std::min<size_t>(text.size(), capacity - 1);
  std::copy_n(text.begin(), n, out);
  out[n] = 0;
  return static_cast<uint32_t>(n);
}

std::wstring_view WithoutTrailingSpaces(std::wstring_view s) {
  while (!s.empty() && s.back() == L' ')
    s.remove_suffix(1);
  return s;
}

std::vector<uint8_t> ReadProfileFile(const wchar_t* path) {
  std::vector<uint8_t> bytes;
  try {
#ifdef _WIN32
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
#else
    std::ifstream file(PathToNative(path), std::ios::binary);
#endif
    if (file)
      bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  } catch (const std::exception&) {
    // Unreadable reads as absent: every lookup then gives its default.
    bytes.clear();
  }
  return bytes;
}

}  // namespace

uint32_t ProfileReadFromBytes(std::span<const uint8_t> file, const wchar_t* section,
                              const wchar_t* key, const wchar_t* fallback, wchar_t* out,
                              uint32_t capacity) {
  if (!out || capacity == 0)
    return 0;
  if (!section || !key)
    return CopyOut({}, out, capacity);
  const std::wstring_view sectionName = Trim(UpToNul(section));
  try {
    const std::wstring text = DecodeProfile(file);
    // A section without a name cannot be asked for; "[]" does not make one.
    const auto value =
        sectionName.empty() ? std::nullopt : FindValue(text, sectionName, Trim(UpToNul(key)));
    if (value) {
      return CopyOut(*value, out, capacity);
    }
  } catch (const std::bad_alloc&) {
    // No memory to decode the file: behave as if it were absent.
  }
  return CopyOut(WithoutTrailingSpaces(fallback ? fallback : L""), out, capacity);
}

uint32_t ProfileReadString(const wchar_t* section, const wchar_t* key, const wchar_t* fallback,
                           wchar_t* out, uint32_t capacity, const wchar_t* path) {
  const std::vector<uint8_t> bytes = path ? ReadProfileFile(path) : std::vector<uint8_t>();
  return ProfileReadFromBytes(bytes, section, key, fallback, out, capacity);
}
