#pragma once
// A throw-away emulated notebook folder for tests: notebook.ini, the controller image and a
// data folder, removed again at the end of the test.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "emulator/emulated_controller.h"
#include "emulator/emulated_notebook.h"
#include "emulator/nvm_image_builder.h"

// A family-1, variant-0 controller: every check-table row of the family takes part.
inline constexpr uint16_t FIXTURE_DEVICE_ID = 0x156D;

inline std::vector<uint8_t> FixtureImage(uint8_t version, uint16_t deviceId = FIXTURE_DEVICE_ID) {
  return CNvmImageBuilder(deviceId).Version(version).Build();
}

class CNotebookFolder {
 public:
  CNotebookFolder() {
    static std::atomic<int> counter{0};
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    m_root = std::filesystem::temp_directory_path() /
             ("kelvane-" + std::string(test ? test->name() : "fixture") + "-" +
              std::to_string(counter++));
    std::filesystem::remove_all(m_root);
    std::filesystem::create_directories(m_root);
  }
  ~CNotebookFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
  }
  CNotebookFolder(const CNotebookFolder&) = delete;
  CNotebookFolder& operator=(const CNotebookFolder&) = delete;

  const std::filesystem::path& Root() const { return m_root; }
  std::filesystem::path Data() const { return m_root / "data"; }

  // A notebook with the controller at version 0x16 and clock instant; extra lines are added
  // to the sections they name ("[Faults]\nFailCall=2").
  void WriteNotebook(const std::string& platform = "", const std::string& faults = "",
                     uint8_t controllerVersion = 0x16) {
    WriteFile("current.bin", FixtureImage(controllerVersion));
    char version[8];
    std::snprintf(version, sizeof version, "0x%X", controllerVersion);
    WriteText("notebook.ini",
              "[Controller]\nNvmImage=current.bin ; the controller's image\n"
              "NvmVersion=" +
                  std::string(version) + "\n[Platform]\nClock=instant\n" + platform +
                  "\n[Faults]\n" + faults + "\n");
  }

  void WriteFile(const std::filesystem::path& relative, const std::vector<uint8_t>& bytes) {
    WriteText(relative, std::string(bytes.begin(), bytes.end()));
  }
  void WriteText(const std::filesystem::path& relative, const std::string& text) {
    const std::filesystem::path path = m_root / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }
  void WriteImage(const std::string& name, const std::vector<uint8_t>& bytes) {
    WriteFile(std::filesystem::path("data") / name, bytes);
  }

  std::unique_ptr<CEmulatedNotebook> Load() const {
    std::string error;
    auto notebook = CEmulatedNotebook::Load(m_root, error);
    EXPECT_TRUE(notebook) << error;
    return notebook;
  }

  // Every file below the root with its content, to show that nothing changed.
  std::map<std::string, std::string> Snapshot() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_root)) {
      // The folder lock's file exists on Windows while a notebook is loaded.
      if (!entry.is_regular_file() || entry.path().filename() == EMU_LOCK_FILE)
        continue;
      std::string bytes;
      EmuReadFile(entry.path(), bytes);
      files[std::filesystem::relative(entry.path(), m_root).generic_string()] = bytes;
    }
    return files;
  }

 private:
  std::filesystem::path m_root;
};
