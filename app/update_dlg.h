#pragma once
// The program's only window: the skinned dialog with its twelve controls, the layout pass
// that scales and places them for the screen and the language, and the update flow behind
// its buttons. It is also the state of an attempt the worker reads and writes.
#include <windows.h>

#include <cstdint>
#include <string>

#include "engine/update_worker.h"
#include "skin/layered_dialog.h"
#include "skin/skin_button.h"
#include "skin/skin_label.h"

// Beside the title, and under the version, while the window runs against an emulated notebook.
// The version label is too narrow for both on one line.
inline constexpr wchar_t UPDATE_EMULATED_SUFFIX[] = L" \u00B7 emulated";
inline constexpr wchar_t UPDATE_EMULATED_VERSION_LINE[] = L"\nemulated";

// What the layout pass reads of the screen and the user.
struct UpdateScreenMetrics {
  int desktopWidth;
  int desktopHeight;
  int dpi;  // vertical logical resolution
  uint16_t uiLang;
};

class CUpdateDlg : public CLayeredDialog, public CUpdateState {
 public:
  explicit CUpdateDlg(CWnd* parent);
  ~CUpdateDlg() override;

  void DoDataExchange(CDataExchange& exchange) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;

  // Shown after the version and the title while the window runs against an emulation.
  void SetEmulated(bool emulated) { m_emulated = emulated; }
  // True while the worker thread runs: the window must not end then.
  bool AttemptRunning() const { return m_worker != nullptr; }

  CSkinButton m_btnExit;
  CSkinButton m_btnClose;
  CSkinButton m_btnUpdate;
  CSkinButton m_btnShutdown;
  CSkinButton m_btnLater;
  CSkinLabel m_lblBullet;
  CSkinLabel m_lblAcPicture;
  CSkinLabel m_lblCautionIcon;
  CSkinLabel m_lblMessage;
  CSkinLabel m_lblCaution;
  CSkinLabel m_lblSpinner;
  CSkinLabel m_lblVersion;
  HICON m_hIcon;
  int32_t m_fullScale = -1;
  int32_t m_spinnerFrame = 141;
  uint16_t m_langId;

 protected:
  void LayoutSkin() override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  // Seams for tests: the screen and the user the layout pass sees, and the worker's start
  // (null with the system's error set when no thread could be made).
  virtual UpdateScreenMetrics ReadScreenMetrics();
  virtual HANDLE StartWorkerThread();

  void OnUpdate();
  void OnShutdownNow();
  void OnShutdownLater();
  // One turn of the wait loop: the next spinner frame, a composition, at most one message.
  void SpinnerTurn();

 private:
  void OnDestroy();
  LRESULT OnDisplayChange(UINT bitsPerPixel, SIZE screen);
  bool RefuseEnding(UINT message, WPARAM wParam, LRESULT& result);

  void LayoutVersion(double scale, int dpi);
  void SetVersionText();
  void Register(CSkinCtrl& control);
  void ReleaseControls();

  void ShowNoDevice();
  void RunAttempt();
  void WaitForWorker();
  void ShowResult();

  bool m_emulated = false;
  HANDLE m_worker = nullptr;

  KV_DECLARE_MESSAGE_MAP()
};

// "V%d.%d.%d.%d" of a 64-bit file version.
std::wstring UpdateVersionText(DWORD versionMs, DWORD versionLs);
