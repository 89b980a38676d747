#pragma once
// The emulated controller's firmware: the image file notebook.ini names, whose main section is
// the NVM that "ReadFirmware" serves from offset 0, and the version "GetCurrentNvmVersion"
// reports. A write replaces both and saves them in the folder.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "emulator/emulated_files.h"

enum class EmuWriteOutcome {
  Written,
  NoMainSection,  // nothing changed
  Shorter,        // the main section is shorter than the one it would replace; nothing changed
  CannotWrite,    // the folder or notebook.ini could not be written; nothing changed
};

class CEmulatedController {
 public:
  // imageName: a regular file inside the folder; written says it is the emulation's own copy
  // of an earlier write, which the next write may remove.
  bool Load(const std::filesystem::path& folder, const std::string& imageName, uint32_t version,
            bool written, std::string& error);

  uint32_t Version() const { return m_version; }
  // The NVM bytes from offset to offset + length that exist; fewer (or none) past the end.
  std::vector<uint8_t> Read(uint32_t offset, uint32_t length) const;
  // Takes the image as the new firmware and saves it so that the next run sees it: the image
  // goes to a file of a new name, then notebook.ini (or the file its link names) is replaced in
  // one rename to name it with the new version, so a process that ends at any point leaves the
  // old or the new firmware whole. The notebook's own image files are never changed or removed.
  EmuWriteOutcome Replace(const std::vector<uint8_t>& image);
  // "cannot write <path>" after a write that failed so; empty otherwise.
  const std::string& WriteError() const { return m_writeError; }

 private:
  EmuWriteOutcome Save(const std::vector<uint8_t>& image, uint32_t version,
                       std::filesystem::path& saved);

  std::filesystem::path m_folder;
  std::filesystem::path m_imagePath;
  bool m_imageWritten = false;
  std::vector<uint8_t> m_image;
  uint32_t m_base = 0;
  uint32_t m_version = 0;
  std::string m_writeError;
};

// Where the main section starts: the word at 0, or when that is 0 or 0xFFFF (erased flash) the
// word at 0x1000. Nothing when neither names an offset or the section's first 0x0B bytes (up to
// the version) lie outside the image.
std::optional<uint32_t> EmuMainSectionOffset(const std::vector<uint8_t>& image);
