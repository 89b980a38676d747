#pragma once
// The window's run against an emulated notebook (/emulate:<folder>): the notebook is loaded
// and installed as the platform for the life of the object, exactly as kelvane-cli --emulate
// does, with the AC state read afresh at each query and the power-off written down in the
// folder. The folder's "data" subfolder, when there is one, holds the image and the language
// file, as kelvane-cli --data names them.
#include <filesystem>
#include <memory>
#include <string>

#include "emulator/emulated_notebook.h"
#include "platform/platform.h"

class CEmulatedSession {
 public:
  // Null, with the reason in error, when the folder does not describe a notebook or another
  // run holds it.
  static std::unique_ptr<CEmulatedSession> Start(const std::filesystem::path& folder,
                                                 std::string& error);
  static std::unique_ptr<CEmulatedSession> Start(const std::filesystem::path& folder) {
    std::string ignored;
    return Start(folder, ignored);
  }
  ~CEmulatedSession();
  CEmulatedSession(const CEmulatedSession&) = delete;
  CEmulatedSession& operator=(const CEmulatedSession&) = delete;

  CEmulatedNotebook& Notebook() { return *m_notebook; }

 private:
  class CPowerSystem final : public ISystem {
   public:
    CPowerSystem(ISystem& notebook, std::filesystem::path folder)
        : m_notebook(notebook), m_folder(std::move(folder)) {}
    PowerSource AcPowerSource() override;
    bool RequestPowerOff() override;

    void Wait(uint32_t milliseconds) override { m_notebook.Wait(milliseconds); }
    bool ModulePath(std::wstring& path) override { return m_notebook.ModulePath(path); }
    bool ListDirectory(const std::wstring& pattern, std::vector<std::wstring>& names) override {
      return m_notebook.ListDirectory(pattern, names);
    }
    FileReadStatus ReadWholeFile(const std::wstring& path, std::vector<uint8_t>& bytes) override {
      return m_notebook.ReadWholeFile(path, bytes);
    }
    uint16_t UserUiLanguage() override { return m_notebook.UserUiLanguage(); }
    uint32_t ReadProfileString(const wchar_t* section, const wchar_t* key, const wchar_t* fallback,
                               wchar_t* out, uint32_t capacity, const wchar_t* path) override {
      return m_notebook.ReadProfileString(section, key, fallback, out, capacity, path);
    }
    void ComInitialize() override { m_notebook.ComInitialize(); }
    void ComUninitialize() override { m_notebook.ComUninitialize(); }
    bool AcquireAttemptLock() override { return m_notebook.AcquireAttemptLock(); }
    void ReleaseAttemptLock() override { m_notebook.ReleaseAttemptLock(); }

   private:
    ISystem& m_notebook;
    std::filesystem::path m_folder;
  };

  CEmulatedSession(std::unique_ptr<CEmulatedNotebook> notebook,
                   const std::filesystem::path& folder);
  PlatformServices Services();

  std::unique_ptr<CEmulatedNotebook> m_notebook;
  CPowerSystem m_system;
  CScopedPlatform m_installed;
};
