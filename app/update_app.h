#pragma once
// The application object: reads the language and the options, then runs the main window
// modally; the process ends when the window does.
#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/win/framework/app.h"

class CUpdateDlg;

class CUpdateApp : public CApp {
 public:
  CUpdateApp() = default;
  ~CUpdateApp() override = default;

  BOOL InitInstance() override;
  int ParseArguments(int argc, const wchar_t* const* argv);

  int32_t m_downgradable = 0;
  uint16_t m_langId = 0;
  // The emulated notebook's folder (/emulate:), empty for the real platform.
  std::wstring m_emulate;
  CUpdateDlg* m_mainWnd = nullptr;

 private:
  void RunMainWindow();
  void ReportUnusableEmulation(const std::string& error) const;
};
