#include "platform/win/framework/window.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// The window property that links a window to its object; it works for every window class,
// including those that use their own extra bytes (dialogs, controls).
constexpr wchar_t WINDOW_OBJECT_PROPERTY[] = L"Kelvane.CWnd";

// Counted per thread, not per object: a handler of one window may destroy another whose own
// message is still on the stack (a parent ending itself from a child's click), and no object
// may be finished before every frame that could still touch it has returned.
thread_local int t_dispatchDepth = 0;
thread_local std::vector<CWnd*>* t_pendingFinal = nullptr;

}  // namespace

CWnd::~CWnd() {
  ForgetPendingFinal();
  UnsubclassWindow();
}

void CWnd::ForgetPendingFinal() {
  if (t_pendingFinal == nullptr)
    return;
  std::erase(*t_pendingFinal, this);
}

void CWnd::RunPendingFinalMessages() {
  while (t_pendingFinal != nullptr && !t_pendingFinal->empty()) {
    CWnd* wnd = t_pendingFinal->front();
    t_pendingFinal->erase(t_pendingFinal->begin());
    wnd->OnFinalMessage();  // may destroy the object, and others with it
  }
  delete t_pendingFinal;
  t_pendingFinal = nullptr;
}

const MessageMap* CWnd::ThisMessageMap() {
  static const MessageMap map{nullptr, nullptr, 0};
  return &map;
}

CWnd* CWnd::FromHandlePermanent(HWND hwnd) {
  if (hwnd == nullptr)
    return nullptr;
  return static_cast<CWnd*>(::GetPropW(hwnd, WINDOW_OBJECT_PROPERTY));
}

bool CWnd::Attach(HWND hwnd) {
  if (hwnd == nullptr || m_hWnd != nullptr || FromHandlePermanent(hwnd) != nullptr)
    return false;
  if (!::SetPropW(hwnd, WINDOW_OBJECT_PROPERTY, this))
    return false;
  m_hWnd = hwnd;
  ForgetPendingFinal();
  return true;
}

bool CWnd::SubclassWindow(HWND hwnd) {
  if (!Attach(hwnd))
    return false;
  PreSubclassWindow();
  m_previousProc = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::StaticWindowProc)));
  return true;
}

HWND CWnd::UnsubclassWindow() {
  HWND hwnd = std::exchange(m_hWnd, nullptr);
  if (hwnd == nullptr)
    return nullptr;
  if (m_previousProc != nullptr) {
    ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previousProc));
  }
  m_previousProc = nullptr;
  ::RemovePropW(hwnd, WINDOW_OBJECT_PROPERTY);
  return hwnd;
}

void CWnd::ModifyStyle(DWORD remove, DWORD add) {
  const DWORD style = GetStyle();
  const DWORD changed = (style & ~remove) | add;
  if (changed != style)
    ::SetWindowLongW(m_hWnd, GWL_STYLE, static_cast<LONG>(changed));
}

std::wstring CWnd::GetWindowTextW() const {
  const int length = ::GetWindowTextLengthW(m_hWnd);
  if (length <= 0)
    return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int copied = ::GetWindowTextW(m_hWnd, text.data(), length + 1);
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return text;
}

RECT CWnd::GetRectInParent() const {
  RECT rect{};
  ::GetWindowRect(m_hWnd, &rect);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(m_hWnd), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

LRESULT CALLBACK CWnd::StaticWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* wnd = FromHandlePermanent(hwnd);
  if (wnd == nullptr)
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
  return wnd->Dispatch(hwnd, message, wParam, lParam);
}

LRESULT CWnd::Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  const CurrentMessage current{message, wParam, lParam};
  const CurrentMessage* outer = std::exchange(m_current, &current);
  ++t_dispatchDepth;
  const LRESULT result = WindowProc(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    // The window is gone: detach now, but finish the object only when the thread's outermost
    // message has returned, since a handler further up the stack may still be running.
    if (m_hWnd == hwnd)
      UnsubclassWindow();
    if (t_pendingFinal == nullptr)
      t_pendingFinal = new std::vector<CWnd*>;
    if (std::find(t_pendingFinal->begin(), t_pendingFinal->end(), this) == t_pendingFinal->end()) {
      t_pendingFinal->push_back(this);
    }
  }
  m_current = outer;
  if (--t_dispatchDepth == 0)
    RunPendingFinalMessages();  // may destroy this object: touch nothing after it
  return result;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  const UINT code = HIWORD(wParam);
  const UINT id = LOWORD(wParam);
  for (const MessageMap* map = GetMessageMap(); map != nullptr; map = map->base) {
    for (std::size_t i = 0; i < map->count; ++i) {
      const MessageMapEntry& entry = map->entries[i];
      if (entry.message != message)
        continue;
      if (entry.isCommand && (entry.code != code || entry.id != id))
        continue;
      return entry.dispatch(*this, wParam, lParam);
    }
  }
  return Default();
}

LRESULT CWnd::CallPrevious(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_previousProc != nullptr) {
    return ::CallWindowProcW(m_previousProc, hwnd, message, wParam, lParam);
  }
  return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CWnd::Default() {
  if (m_current == nullptr || m_hWnd == nullptr)
    return 0;
  return CallPrevious(m_hWnd, m_current->message, m_current->wParam, m_current->lParam);
}
