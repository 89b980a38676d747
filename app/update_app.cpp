#include "app/update_app.h"

#include <shellapi.h>

#include <memory>

#include "app/emulate_option.h"
#include "app/emulated_session.h"
#include "app/options.h"
#include "app/single_instance.h"
#include "app/update_dlg.h"
#include "platform/utf8.h"

namespace {

class CArgumentVector {
 public:
  CArgumentVector() : m_argv(::CommandLineToArgvW(::GetCommandLineW(), &m_argc)) {}
  ~CArgumentVector() {
    if (m_argv != nullptr)
      ::LocalFree(m_argv);
  }
  CArgumentVector(const CArgumentVector&) = delete;
  CArgumentVector& operator=(const CArgumentVector&) = delete;
  int Count() const { return m_argv != nullptr ? m_argc : 0; }
  const wchar_t* const* Values() const { return m_argv; }

 private:
  int m_argc = 0;
  wchar_t** m_argv;
};

}  // namespace

int CUpdateApp::ParseArguments(int argc, const wchar_t* const* argv) {
  UpdateOptions options{m_downgradable, m_langId};
  ::ParseArguments(argc, argv, options);
  m_downgradable = options.m_downgradable;
  m_langId = options.m_langId;
  m_emulate = ParseEmulateOption(argc, argv);
  return 1;
}

BOOL CUpdateApp::InitInstance() {
  CSingleInstance instance;
  if (!instance.IsFirst()) {
    SingleInstanceActivateFirst();
    return FALSE;
  }
  m_downgradable = 0;
  m_langId = ::GetUserDefaultUILanguage();
  const CArgumentVector args;
  ParseArguments(args.Count(), args.Values());

  std::unique_ptr<CEmulatedSession> emulation;
  if (!m_emulate.empty()) {
    std::string error;
    emulation = CEmulatedSession::Start(m_emulate, error);
    // A folder that is no notebook must not fall back to the real hardware.
    if (!emulation) {
      ReportUnusableEmulation(error);
      return FALSE;
    }
  }
  RunMainWindow();
  return FALSE;
}

void CUpdateApp::ReportUnusableEmulation(const std::string& error) const {
  const std::wstring text =
      L"The emulated notebook in " + m_emulate + L" cannot be used: " + WideFromUtf8(error) + L".";
  ::MessageBoxW(nullptr, text.c_str(), L"Kelvane", MB_ICONERROR | MB_OK);
}

void CUpdateApp::RunMainWindow() {
  auto dialog = std::make_unique<CUpdateDlg>(nullptr);
  dialog->m_downgradable = m_downgradable;
  dialog->m_langId = m_langId;
  dialog->SetEmulated(!m_emulate.empty());
  m_mainWnd = dialog.get();
  dialog->DoModal();
  m_mainWnd = nullptr;
  dialog.reset();
}
