#include "emulator/emulated_controller.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "emulator/notebook_ini.h"

namespace {

constexpr uint32_t EMU_VERSION_OFFSET = 0x0A;
constexpr char EMU_COPY_PREFIX[] = "nvm-written-";

uint32_t Word(const std::vector<uint8_t>& image, size_t at) {
  return image.size() >= at + 2 ? uint32_t{image[at]} | uint32_t{image[at + 1]} << 8 : 0;
}

// Erased flash reads all ones: such a word names no offset, just as 0 does.
bool IsUnsetWord(uint32_t word) {
  return word == 0 || word == 0xFFFF;
}

std::string ToHex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

// A name for the new copy that no file of the folder has: never one of the notebook's own.
std::optional<std::string> FreeCopyName(const std::filesystem::path& folder) {
  for (char letter = 'a'; letter <= 'z'; ++letter) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%c.bin", EMU_COPY_PREFIX, letter);
    std::error_code error;
    const auto status = std::filesystem::symlink_status(folder / name, error);
    if (status.type() == std::filesystem::file_type::not_found)
      return name;
  }
  return std::nullopt;
}

// Whether a file of the folder can be one of the emulation's copies at all.
bool IsCopyName(const std::filesystem::path& folder, const std::filesystem::path& path) {
  const std::string name = EmuPathText(path.filename());
  std::error_code error;
  return name.size() == sizeof EMU_COPY_PREFIX + 4 && name.starts_with(EMU_COPY_PREFIX) &&
         name.ends_with(".bin") && std::filesystem::equivalent(path.parent_path(), folder, error);
}

}  // namespace

std::optional<uint32_t> EmuMainSectionOffset(const std::vector<uint8_t>& image) {
  uint32_t base = Word(image, 0);
  if (IsUnsetWord(base))
    base = Word(image, 0x1000);
  if (IsUnsetWord(base) || size_t{base} + EMU_VERSION_OFFSET + 1 > image.size())
    return std::nullopt;
  return base;
}

bool CEmulatedController::Load(const std::filesystem::path& folder, const std::string& imageName,
                               uint32_t version, bool written, std::string& error) {
  std::filesystem::path path;
  if (!EmuPathInside(folder, imageName, path)) {
    error = "[Controller] NvmImage=" + imageName + " does not name a file inside the folder";
    return false;
  }
  std::string bytes;
  if (const EmuFileStatus status = EmuReadRegularFile(path, bytes); status != EmuFileStatus::Ok) {
    error = "the controller image " + imageName + " " + EmuFileStatusText(status);
    return false;
  }
  std::vector<uint8_t> image(bytes.begin(), bytes.end());
  const auto base = EmuMainSectionOffset(image);
  if (!base) {
    error = "the controller image " + imageName + " has no main section";
    return false;
  }
  m_folder = folder;
  m_imagePath = path;
  m_imageWritten = written && IsCopyName(folder, path);
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

EmuWriteOutcome CEmulatedController::Replace(const std::vector<uint8_t>& image) {
  m_writeError.clear();
  const auto base = EmuMainSectionOffset(image);
  if (!base)
    return EmuWriteOutcome::NoMainSection;
  // A real controller's firmware authenticates what it is given; a cut image never passes.
  if (image.size() - *base < m_image.size() - m_base)
    return EmuWriteOutcome::Shorter;
  const uint32_t version = image[*base + EMU_VERSION_OFFSET];
  try {
    std::filesystem::path saved;
    const EmuWriteOutcome outcome = Save(image, version, saved);
    if (outcome != EmuWriteOutcome::Written)
      return outcome;
    // Only the emulation's own earlier copy goes; the notebook's files stay.
    if (m_imageWritten) {
      std::error_code ignored;
      std::filesystem::remove(m_imagePath, ignored);
    }
    m_imagePath = saved;
    m_imageWritten = true;
    m_image = image;
    m_base = *base;
    m_version = version;
  } catch (const std::exception&) {
    m_writeError = "cannot write " + EmuPathText(m_folder) + " (out of memory)";
    return EmuWriteOutcome::CannotWrite;
  }
  return EmuWriteOutcome::Written;
}

EmuWriteOutcome CEmulatedController::Save(const std::vector<uint8_t>& image, uint32_t version,
                                          std::filesystem::path& saved) {
  // Read before anything is written: a notebook.ini that vanished or became something else is
  // not recreated.
  const std::filesystem::path iniPath = m_folder / "notebook.ini";
  const std::filesystem::path iniTarget = EmuWriteTarget(iniPath);
  std::string text;
  if (!EmuReadFile(iniTarget, text)) {
    m_writeError = "cannot write " + EmuPathText(iniPath);
    return EmuWriteOutcome::CannotWrite;
  }
  const auto name = FreeCopyName(m_folder);
  if (!name) {
    m_writeError = "cannot write " + EmuPathText(m_folder / EMU_COPY_PREFIX) +
                   "?.bin: every such name is taken";
    return EmuWriteOutcome::CannotWrite;
  }
  saved = m_folder / *name;
  if (!EmuWriteFileAtomically(saved, std::string(image.begin(), image.end()))) {
    m_writeError = "cannot write " + EmuPathText(saved);
    return EmuWriteOutcome::CannotWrite;
  }
  CNotebookIni ini = CNotebookIni::Parse(text);
  ini.Set("Controller", "NvmImage", *name);
  ini.Set("Controller", "NvmVersion", ToHex(version));
  ini.Set("Controller", "NvmImageWritten", "1");
  if (!EmuWriteFileAtomically(iniTarget, ini.Text())) {
    std::error_code ignored;
    std::filesystem::remove(saved, ignored);
    m_writeError = "cannot write " + EmuPathText(iniPath);
    return EmuWriteOutcome::CannotWrite;
  }
  return EmuWriteOutcome::Written;
}
