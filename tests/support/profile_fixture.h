#pragma once
// Language and profile files for tests: a scratch folder that removes itself, and the byte
// forms the readers are given (plain UTF-8, UTF-16LE with a byte-order mark).
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "platform/utf8.h"

inline std::vector<uint8_t> BytesOf(std::string_view text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

// The UTF-8 text as UTF-16LE with a byte-order mark.
inline std::vector<uint8_t> Utf16LeWithBom(std::string_view utf8) {
  std::vector<uint8_t> bytes = {0xFF, 0xFE};
  const auto put = [&](uint32_t unit) {
    bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  };
  for (wchar_t c : WideFromUtf8(utf8)) {
    const uint32_t code = static_cast<uint32_t>(c);
    if (sizeof(wchar_t) == 4 && code >= 0x10000) {
      put(0xD800 + ((code - 0x10000) >> 10));
      put(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      put(code & 0xFFFF);
    }
  }
  return bytes;
}

class CScratchFolder {
 public:
  CScratchFolder() {
    std::random_device random;
    m_folder = std::filesystem::temp_directory_path() /
               ("kelvane-test-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(m_folder);
  }
  ~CScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
  }
  CScratchFolder(const CScratchFolder&) = delete;
  CScratchFolder& operator=(const CScratchFolder&) = delete;

  void Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    std::ofstream file(m_folder / name, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }

  // The folder, or a file in it, spelt as the program spells paths: with backslashes.
  std::wstring Path(const std::string& name = {}) const {
    std::wstring path = (name.empty() ? m_folder : m_folder / name).wstring();
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
  }

 private:
  std::filesystem::path m_folder;
};
