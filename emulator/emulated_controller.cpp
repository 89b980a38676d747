#include "emulator/emulated_controller.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <system_error>

#include "emulator/notebook_ini.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr uint32_t EMU_VERSION_OFFSET = 0x0A;
constexpr char EMU_WRITTEN_A[] = "nvm-written-a.bin";
constexpr char EMU_WRITTEN_B[] = "nvm-written-b.bin";

uint32_t Word(const std::vector<uint8_t>& image, size_t at) {
  return image.size() >= at + 2 ? uint32_t{image[at]} | uint32_t{image[at + 1]} << 8 : 0;
}

// Erased flash reads all ones: such a word names no offset, just as 0 does.
bool IsUnsetWord(uint32_t word) {
  return word == 0 || word == 0xFFFF;
}

bool FlushToDisk(std::FILE* file) {
  if (std::fflush(file) != 0)
    return false;
#ifdef _WIN32
  return _commit(_fileno(file)) == 0;
#else
  return fsync(fileno(file)) == 0;
#endif
}

std::string ToHex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

}  // namespace

std::filesystem::path EmuPathFromUtf8(const std::string& name) {
  return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

std::optional<uint32_t> EmuMainSectionOffset(const std::vector<uint8_t>& image) {
  uint32_t base = Word(image, 0);
  if (IsUnsetWord(base))
    base = Word(image, 0x1000);
  if (IsUnsetWord(base) || size_t{base} + EMU_VERSION_OFFSET + 1 > image.size())
    return std::nullopt;
  return base;
}

bool EmuReadFile(const std::filesystem::path& path, std::string& bytes) {
  std::ifstream file(path, std::ios::binary);
  if (!file)
    return false;
  bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return !file.bad();
}

bool EmuWriteFileAtomically(const std::filesystem::path& target, const std::string& bytes) {
  std::filesystem::path temporary = target;
  temporary += ".tmp";
#ifdef _WIN32
  std::FILE* file = _wfopen(temporary.c_str(), L"wb");
#else
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
#endif
  if (!file)
    return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool flushed = written && FlushToDisk(file);
  const bool closed = std::fclose(file) == 0;
  std::error_code ignored;
  if (!flushed || !closed) {
    std::filesystem::remove(temporary, ignored);
    return false;
  }
  std::error_code error;
  std::filesystem::rename(temporary, target, error);
  if (error)
    std::filesystem::remove(temporary, ignored);
  return !error;
}

bool CEmulatedController::Load(const std::filesystem::path& folder, const std::string& imageName,
                               uint32_t version, std::string& error) {
  std::string bytes;
  if (!EmuReadFile(folder / EmuPathFromUtf8(imageName), bytes)) {
    error = "cannot read the controller image " + imageName;
    return false;
  }
  std::vector<uint8_t> image(bytes.begin(), bytes.end());
  const auto base = EmuMainSectionOffset(image);
  if (!base) {
    error = "the controller image " + imageName + " has no main section";
    return false;
  }
  m_folder = folder;
  m_imageName = imageName;
  m_image = std::move(image);
  m_base = *base;
  m_version = version;
  return true;
}

std::vector<uint8_t> CEmulatedController::Read(uint32_t offset, uint32_t length) const {
  const size_t nvmSize = m_image.size() - m_base;
  if (offset >= nvmSize)
    return {};
  const size_t count = std::min<size_t>(length, nvmSize - offset);
  const auto first = m_image.begin() + static_cast<std::ptrdiff_t>(m_base + offset);
  return {first, first + static_cast<std::ptrdiff_t>(count)};
}

bool CEmulatedController::Replace(const std::vector<uint8_t>& image) {
  const auto base = EmuMainSectionOffset(image);
  if (!base)
    return false;
  const uint32_t version = image[*base + EMU_VERSION_OFFSET];

  // Never overwrite the file the saved notebook.ini names until the new one is committed.
  const std::string newName = m_imageName == EMU_WRITTEN_A ? EMU_WRITTEN_B : EMU_WRITTEN_A;
  if (!EmuWriteFileAtomically(m_folder / newName, std::string(image.begin(), image.end()))) {
    return false;
  }
  std::string text;
  const std::filesystem::path iniPath = m_folder / "notebook.ini";
  if (!EmuReadFile(iniPath, text))
    return false;
  CNotebookIni ini = CNotebookIni::Parse(text);
  ini.Set("Controller", "NvmImage", newName);
  ini.Set("Controller", "NvmVersion", ToHex(version));
  if (!EmuWriteFileAtomically(iniPath, ini.Text()))
    return false;

  // The previous image goes only when it was one of our own copies; the notebook's original
  // files stay.
  if (m_imageName == EMU_WRITTEN_A || m_imageName == EMU_WRITTEN_B) {
    std::error_code ignored;
    std::filesystem::remove(m_folder / m_imageName, ignored);
  }
  m_imageName = newName;
  m_image = image;
  m_base = *base;
  m_version = version;
  return true;
}
