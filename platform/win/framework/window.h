#pragma once
// CWnd: a C++ object attached to one window. Messages reach the object through its class's
// message map; what the map does not handle goes to the window procedure the window had before
// it was attached (its class's own, for subclassed controls and dialogs).
#include <windows.h>

#include <string>

#include "platform/win/framework/message_map.h"

class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  static const MessageMap* ThisMessageMap();
  // The object attached to a window, or null.
  static CWnd* FromHandlePermanent(HWND hwnd);

  HWND GetSafeHwnd() const { return m_hWnd; }

  // Attaches the object to an existing window and routes the window's messages through it.
  bool SubclassWindow(HWND hwnd);
  // Gives the window its previous procedure back; returns the window, or null.
  HWND UnsubclassWindow();

  BOOL ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
  void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE) {
    ::MoveWindow(m_hWnd, x, y, width, height, repaint);
  }
  DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_STYLE)); }
  DWORD GetExStyle() const { return static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_EXSTYLE)); }
  // Changes the style bits without recalculating the frame.
  void ModifyStyle(DWORD remove, DWORD add);
  std::wstring GetWindowTextW() const;
  void SetWindowTextW(const wchar_t* text) { ::SetWindowTextW(m_hWnd, text); }
  // The window's rectangle in the client coordinates of its parent.
  RECT GetRectInParent() const;
  BOOL DestroyWindow() { return ::DestroyWindow(m_hWnd); }

 protected:
  virtual const MessageMap* GetMessageMap() const { return ThisMessageMap(); }
  // Runs while the object is attached to its window, before any message is routed through it.
  virtual void PreSubclassWindow() {}
  // Every message: the message map, else Default().
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // The previous window procedure with the message being handled; 0 once the window is gone.
  LRESULT Default();
  // Runs once the window is destroyed and the thread's outermost message in flight has
  // returned, so an object may end its own life here even when it (or a window it contains)
  // was destroyed inside a handler that is still on the stack.
  virtual void OnFinalMessage() {}

  HWND m_hWnd = nullptr;

 private:
  struct CurrentMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };

  static LRESULT CALLBACK StaticWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  // Finishes every object whose window was destroyed while messages were in flight.
  static void RunPendingFinalMessages();
  LRESULT Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void ForgetPendingFinal();
  bool Attach(HWND hwnd);
  LRESULT CallPrevious(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  friend class CWindowCreationHook;

  WNDPROC m_previousProc = nullptr;
  const CurrentMessage* m_current = nullptr;
};
