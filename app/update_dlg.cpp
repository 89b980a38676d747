#include "app/update_dlg.h"

#include <array>
#include <initializer_list>

#include "app/single_instance.h"
#include "engine/acpi_channel.h"
#include "platform/win/framework/app.h"
#include "res/resource_ids.h"

namespace {

constexpr wchar_t WINDOW_TITLE[] = L"Kelvane";

// What a screen is made of: each control's visibility and enabled state, and the message.
struct CScreenSnapshot {
  struct ControlState {
    CSkinCtrl* control;
    bool shown;
    bool enabled;
  };
  std::array<ControlState, 12> controls{};
  std::wstring message;
};

}  // namespace

// clang-format off
KV_BEGIN_MESSAGE_MAP(CUpdateDlg, CLayeredDialog)
  MapMessage<WM_DESTROY, &ThisClass::OnDestroy>(),
  MapMessage<WM_DISPLAYCHANGE, &ThisClass::OnDisplayChange>(),
  MapCommand<IDC_UPDATE, &ThisClass::OnUpdate>(),
  MapCommand<IDC_SHUTDOWN, &ThisClass::OnShutdownNow>(),
  MapCommand<IDC_LATER, &ThisClass::OnShutdownLater>(),
KV_END_MESSAGE_MAP()
    // clang-format on

    CUpdateDlg::CUpdateDlg(CWnd* parent)
    : CLayeredDialog(IDD_UPDATE, parent),
      m_hIcon(::LoadIconW(AppResourceModule(), MAKEINTRESOURCEW(IDI_KELVANE))),
      m_langId(::GetUserDefaultUILanguage()) {
  m_result = UR_OK;
  m_downgradable = 0;
}

CUpdateDlg::~CUpdateDlg() {
  // A window still open here was made modeless (tests): destroy it while the members live.
  if (m_hWnd != nullptr)
    DestroyWindow();
}

void CUpdateDlg::DoDataExchange(CDataExchange& exchange) {
  DDX_Control(exchange, IDC_CLOSE, m_btnClose);
  DDX_Control(exchange, IDC_EXIT, m_btnExit);
  DDX_Control(exchange, IDC_BULLET, m_lblBullet);
  DDX_Control(exchange, IDC_AC_PICTURE, m_lblAcPicture);
  DDX_Control(exchange, IDC_CAUTION_ICON, m_lblCautionIcon);
  DDX_Control(exchange, IDC_UPDATE, m_btnUpdate);
  DDX_Control(exchange, IDC_MESSAGE, m_lblMessage);
  DDX_Control(exchange, IDC_CAUTION, m_lblCaution);
  DDX_Control(exchange, IDC_SPINNER, m_lblSpinner);
  DDX_Control(exchange, IDC_SHUTDOWN, m_btnShutdown);
  DDX_Control(exchange, IDC_LATER, m_btnLater);
  DDX_Control(exchange, IDC_VERSION, m_lblVersion);
}

BOOL CUpdateDlg::OnInitDialog() {
  CLayeredDialog::OnInitDialog();
  ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  std::wstring title = WINDOW_TITLE;
  if (m_emulated)
    title += UPDATE_EMULATED_SUFFIX;
  SetWindowTextW(title.c_str());
  SingleInstanceMarkWindow(m_hWnd);
  return TRUE;
}

void CUpdateDlg::OnOK() {
  if (AttemptRunning())
    return;
  CLayeredDialog::OnOK();
}

void CUpdateDlg::OnCancel() {
  // Esc reaches here even while Close is disabled.
  if (AttemptRunning())
    return;
  CLayeredDialog::OnCancel();
}

LRESULT CUpdateDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (RefuseEnding(message, wParam, result))
    return result;
  return CLayeredDialog::WindowProc(message, wParam, lParam);
}

// While the worker writes firmware, nothing may end the window: its destruction would close
// the control device and free the state the worker writes to.
bool CUpdateDlg::RefuseEnding(UINT message, WPARAM wParam, LRESULT& result) {
  if (!AttemptRunning())
    return false;
  switch (message) {
    case WM_CLOSE:
      result = 0;
      return true;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) != SC_CLOSE)
        return false;
      result = 0;
      return true;
    case WM_QUERYENDSESSION:
      result = FALSE;
      return true;
    case WM_ENDSESSION:
      // The session ends regardless: hold it until the attempt has finished its last step.
      if (wParam != FALSE)
        ::WaitForSingleObject(m_worker, INFINITE);
      return false;
    default:
      return false;
  }
}

void CUpdateDlg::OnDestroy() {
  SingleInstanceUnmarkWindow(m_hWnd);
  AcpiDeviceClose();
  ReleaseControls();
  ReleaseSkin();
  Default();
}

void CUpdateDlg::ReleaseControls() {
  for (CSkinButton* button : {&m_btnExit, &m_btnClose, &m_btnUpdate, &m_btnShutdown, &m_btnLater})
    button->ReleaseSkin();
  for (CSkinLabel* label : {&m_lblBullet, &m_lblAcPicture, &m_lblCautionIcon, &m_lblMessage,
                            &m_lblCaution, &m_lblSpinner, &m_lblVersion})
    label->ReleaseSkin();
}

LRESULT CUpdateDlg::OnDisplayChange(UINT, SIZE) {
  // The layout pass resets the texts and hides controls; the screen that showed comes back.
  CScreenSnapshot snapshot;
  CSkinCtrl* controls[] = {&m_btnExit,    &m_btnClose,   &m_btnUpdate,    &m_btnShutdown,
                           &m_btnLater,   &m_lblBullet,  &m_lblAcPicture, &m_lblCautionIcon,
                           &m_lblMessage, &m_lblCaution, &m_lblSpinner,   &m_lblVersion};
  for (size_t i = 0; i < snapshot.controls.size(); ++i) {
    HWND hwnd = controls[i]->GetSafeHwnd();
    snapshot.controls[i] = {controls[i], (controls[i]->GetStyle() & WS_VISIBLE) != 0,
                            ::IsWindowEnabled(hwnd) != FALSE};
  }
  snapshot.message = m_lblMessage.GetWindowTextW();

  ShowWindow(SW_HIDE);
  LayoutSkin();
  for (const auto& state : snapshot.controls) {
    state.control->ShowCtrl(state.shown ? SW_SHOW : SW_HIDE);
    ::EnableWindow(state.control->GetSafeHwnd(), state.enabled ? TRUE : FALSE);
  }
  if (m_lblMessage.GetWindowTextW() != snapshot.message)
    m_lblMessage.SetWindowTextW(snapshot.message.c_str());
  ShowWindow(SW_SHOW);
  return 1;
}
