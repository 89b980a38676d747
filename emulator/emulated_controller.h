#pragma once
// The emulated controller's firmware: the image file notebook.ini names, whose main section is
// the NVM that "ReadFirmware" serves from offset 0, and the version "GetCurrentNvmVersion"
// reports. A write replaces both and saves them in the folder.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class CEmulatedController {
 public:
  bool Load(const std::filesystem::path& folder, const std::string& imageName, uint32_t version,
            std::string& error);

  uint32_t Version() const { return m_version; }
  // The NVM bytes from offset to offset + length that exist; fewer (or none) past the end.
  std::vector<uint8_t> Read(uint32_t offset, uint32_t length) const;
  // Takes the image as the new firmware and saves it so that the next run sees it: the image
  // goes to a file of its own, then notebook.ini is replaced in one rename to name it with the
  // new version, so a process that ends at any point leaves the old or the new firmware whole.
  // False (nothing changed) when the image has no main section or the folder cannot be written.
  bool Replace(const std::vector<uint8_t>& image);

 private:
  std::filesystem::path m_folder;
  std::string m_imageName;
  std::vector<uint8_t> m_image;
  uint32_t m_base = 0;
  uint32_t m_version = 0;
};

// Where the main section starts: the word at 0, or when that is 0 or 0xFFFF (erased flash) the
// word at 0x1000. Nothing when neither names an offset or the section's first 0x0B bytes (up to the version) lie outside the image.
std::optional<uint32_t> EmuMainSectionOffset(const std::vector<uint8_t>& image);

// Writes a temporary file beside the target, flushes it to the disk and renames it over the
// target, so the target holds either its old or its new content.
bool EmuWriteFileAtomically(const std::filesystem::path& target, const std::string& bytes);
bool EmuReadFile(const std::filesystem::path& path, std::string& bytes);

// The path of a UTF-8 file name, on every platform.
std::filesystem::path EmuPathFromUtf8(const std::string& name);
