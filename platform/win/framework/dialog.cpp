#include "platform/win/framework/dialog.h"

#include "platform/win/framework/app.h"

// Attaches the next window created on this thread to an object, so the object sees its very
// first messages (WM_NCCREATE, WM_CREATE); the dialog manager gives a dialog procedure none
// of them. The hook removes itself at the first window.
class CWindowCreationHook {
 public:
  explicit CWindowCreationHook(CWnd& wnd) {
    t_pending = &wnd;
    t_hook = ::SetWindowsHookExW(WH_CBT, &HookProc, nullptr, ::GetCurrentThreadId());
  }
  ~CWindowCreationHook() {
    Unhook();
    t_pending = nullptr;
  }
  CWindowCreationHook(const CWindowCreationHook&) = delete;
  CWindowCreationHook& operator=(const CWindowCreationHook&) = delete;

  explicit operator bool() const { return t_hook != nullptr; }

 private:
  static void Unhook() {
    if (t_hook != nullptr)
      ::UnhookWindowsHookEx(t_hook);
    t_hook = nullptr;
  }

  static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam) {
    const LRESULT next = ::CallNextHookEx(t_hook, code, wParam, lParam);
    if (code == HCBT_CREATEWND && t_pending != nullptr) {
      CWnd* wnd = t_pending;
      t_pending = nullptr;
      Unhook();
      wnd->SubclassWindow(reinterpret_cast<HWND>(wParam));
    }
    return next;
  }

  static thread_local CWnd* t_pending;
  static thread_local HHOOK t_hook;
};

thread_local CWnd* CWindowCreationHook::t_pending = nullptr;
thread_local HHOOK CWindowCreationHook::t_hook = nullptr;

void DDX_Control(CDataExchange& exchange, int id, CWnd& control) {
  if (control.GetSafeHwnd() != nullptr)
    return;
  control.SubclassWindow(::GetDlgItem(exchange.Dialog().GetSafeHwnd(), id));
}

CDialog::~CDialog() {
  // A dialog still open here was made modeless: give the window its own procedure back
  // before destroying it, as this object is already half gone.
  if (HWND hwnd = UnsubclassWindow())
    ::DestroyWindow(hwnd);
}

// clang-format off
KV_BEGIN_MESSAGE_MAP(CDialog, CWnd)
  MapCommand<IDOK, &ThisClass::OnOK>(),
  MapCommand<IDCANCEL, &ThisClass::OnCancel>(),
  MapMessage<WM_CLOSE, &ThisClass::OnClose>(),
KV_END_MESSAGE_MAP()
    // clang-format on

    INT_PTR CDialog::DoModal() {
  if (m_hWnd != nullptr)
    return -1;
  CWindowCreationHook hook(*this);
  if (!hook)
    return -1;
  return ::DialogBoxParamW(AppResourceModule(), MAKEINTRESOURCEW(m_templateId), ParentHandle(),
                           &CDialog::DialogProc, 0);
}

bool CDialog::Create() {
  if (m_hWnd != nullptr)
    return false;
  CWindowCreationHook hook(*this);
  if (!hook)
    return false;
  HWND hwnd = ::CreateDialogParamW(AppResourceModule(), MAKEINTRESOURCEW(m_templateId),
                                   ParentHandle(), &CDialog::DialogProc, 0);
  return hwnd != nullptr && hwnd == m_hWnd;
}

void CDialog::EndDialog(INT_PTR result) {
  ::EndDialog(m_hWnd, result);
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
  CDataExchange exchange(*this, saveAndValidate != FALSE);
  DoDataExchange(exchange);
  return TRUE;
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::DoDataExchange(CDataExchange&) {}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM, LPARAM) {
  // Everything else reached the object already through its window procedure.
  if (message != WM_INITDIALOG)
    return FALSE;
  auto* dialog = dynamic_cast<CDialog*>(CWnd::FromHandlePermanent(hwnd));
  return dialog != nullptr ? dialog->OnInitDialog() : TRUE;
}
