// What the main window does when its buttons are pressed: the update attempt with its checks,
// the wait loop with the spinner, the result message, and the power-off.
#include <chrono>

#include "app/lang_strings.h"
#include "app/result_message.h"
#include "app/update_dlg.h"
#include "engine/acpi_channel.h"
#include "platform/platform.h"
#include "platform/win/framework/app.h"
#include "res/resource_ids.h"

namespace {

constexpr DWORD WAIT_TURN_MS = 100;

bool DeviceIsOpen() {
  return g_acpiDevice != DEVICE_HANDLE_EMPTY && g_acpiDevice != DEVICE_HANDLE_INVALID;
}

void Enable(CWnd& control, bool enable) {
  ::EnableWindow(control.GetSafeHwnd(), enable ? TRUE : FALSE);
}

DWORD WINAPI UpdateWorkerThread(void* state) {
  return UpdateWorker(state);
}

}  // namespace

HANDLE CUpdateDlg::StartWorkerThread() {
  return ::CreateThread(nullptr, 0, &UpdateWorkerThread, static_cast<CUpdateState*>(this), 0,
                        nullptr);
}

void CUpdateDlg::OnUpdate() {
  Enable(m_btnUpdate, false);
  Enable(m_btnClose, false);
  m_lblCautionIcon.ShowCtrl(SW_HIDE);
  m_lblCaution.ShowCtrl(SW_HIDE);

  if (!DeviceIsOpen())
    AcpiDeviceOpen();
  if (!DeviceIsOpen()) {
    ShowNoDevice();
    return;
  }
  // An unanswered power query counts as AC power.
  if (PlatformSystem().AcPowerSource() == PowerSource::Battery) {
    m_lblCautionIcon.ShowCtrl(SW_SHOW);
    m_lblCaution.ShowCtrl(SW_SHOW);
    Enable(m_btnUpdate, true);
    Enable(m_btnClose, true);
    return;
  }

  m_btnUpdate.ShowCtrl(SW_HIDE);
  m_lblAcPicture.ShowCtrl(SW_HIDE);
  Enable(m_btnExit, false);
  m_btnExit.ShowCtrl(SW_SHOW);
  RunAttempt();
  Enable(m_btnExit, true);
  Enable(m_btnClose, true);
  if (m_result == UR_OK) {
    m_btnExit.ShowCtrl(SW_HIDE);
    m_btnShutdown.ShowCtrl(SW_SHOW);
    m_btnLater.ShowCtrl(SW_SHOW);
  }
}

void CUpdateDlg::ShowNoDevice() {
  wchar_t message[RESULT_MESSAGE_CAPACITY] = L"";
  LoadLangString(m_langId, L"IDS_FIND_NO_QVR", message, RESULT_MESSAGE_CAPACITY);
  m_lblMessage.SetWindowTextW(message);
  m_btnUpdate.ShowCtrl(SW_HIDE);
  m_lblAcPicture.ShowCtrl(SW_HIDE);
  m_btnExit.ShowCtrl(SW_SHOW);
  Enable(m_btnClose, true);
  m_result = UR_NO_ACPI_DEVICE;
}

void CUpdateDlg::RunAttempt() {
  m_worker = StartWorkerThread();
  if (m_worker == nullptr) {
    // No attempt ran; the platform device goes off as after every attempt, and the system's
    // reason shows as the code.
    const DWORD error = ::GetLastError();
    m_result = error != 0 ? error : ERROR_GEN_FAILURE;
    uint32_t reply = 0;
    AcpiSetDeviceState(ACPI_METHOD_DEVS, DEVS_TBT_DEVICE_ID, 0, &reply);
  } else {
    wchar_t reason[RESULT_MESSAGE_CAPACITY] = L"";
    LoadLangString(m_langId, L"IDS_PROMPT", reason, RESULT_MESSAGE_CAPACITY);
    ::ShutdownBlockReasonCreate(m_hWnd, reason);
    m_lblSpinner.ShowCtrl(SW_SHOW);
    WaitForWorker();
    ::CloseHandle(m_worker);
    m_worker = nullptr;
    ::ShutdownBlockReasonDestroy(m_hWnd);
    m_lblSpinner.ShowCtrl(SW_HIDE);
  }
  ShowResult();
}

void CUpdateDlg::WaitForWorker() {
  bool quit = false;
  WPARAM quitCode = 0;
  // Each wait gives up what the turn before it took, so that the spinner keeps ten frames a
  // second however long a composition takes; a turn never waits longer than 100 ms.
  DWORD wait = WAIT_TURN_MS;
  while (::WaitForSingleObject(m_worker, wait) == WAIT_TIMEOUT) {
    const auto begun = std::chrono::steady_clock::now();
    SpinnerTurn();
    MSG msg;
    if (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        quit = true;
        quitCode = msg.wParam;
      } else {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
      }
    }
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - begun)
                           .count();
    wait = spent >= WAIT_TURN_MS ? 0 : WAIT_TURN_MS - static_cast<DWORD>(spent);
  }
  // A quit request taken from the queue during the attempt is passed on after it.
  if (quit)
    ::PostQuitMessage(static_cast<int>(quitCode));
}

void CUpdateDlg::SpinnerTurn() {
  const double scale = m_fullScale != 0 ? 1.0 : 0.5;
  m_lblSpinner.SetImage(static_cast<UINT>(m_spinnerFrame), L"IMG", AppResourceModule(), scale);
  if (++m_spinnerFrame > IMG_SPINNER_LAST)
    m_spinnerFrame = IMG_SPINNER_FIRST;
  Compose();
}

void CUpdateDlg::ShowResult() {
  wchar_t message[RESULT_MESSAGE_CAPACITY] = L"";
  ResultMessageLoad(m_result, m_langId, message, RESULT_MESSAGE_CAPACITY);
  m_lblMessage.SetWindowTextW(message);
}

void CUpdateDlg::OnShutdownNow() {
  // Whatever the system answers, the window closes.
  PlatformSystem().RequestPowerOff();
  ::PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
}

void CUpdateDlg::OnShutdownLater() {
  ::PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
}
