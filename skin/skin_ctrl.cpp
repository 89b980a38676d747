#include "skin/skin_ctrl.h"

#include "skin/gdiplus_api.h"

KV_BEGIN_MESSAGE_MAP(CSkinCtrl, CWnd)
MapMessage<WM_ENABLE, &ThisClass::OnEnable>(), MapMessage<WM_MOVE, &ThisClass::OnMove>(),
    MapMessage<WM_SIZE, &ThisClass::OnSize>(), MapMessage<WM_SETTEXT, &ThisClass::OnSetText>(),
    KV_END_MESSAGE_MAP()

        void CSkinCtrl::NotifyOwner() {
  if (m_owner != nullptr)
    m_owner->OnSkinChanged(this);
}

void CSkinCtrl::ShowCtrl(int command) {
  ShowWindow(command);
  const int visible = (GetStyle() & WS_VISIBLE) != 0 ? 1 : 0;
  if (visible == m_visible)
    return;
  m_visible = visible;
  NotifyOwner();
}

void CSkinCtrl::PreSubclassWindow() {
  const DWORD style = GetStyle();
  m_visible = (style & WS_VISIBLE) != 0 ? 1 : 0;
  m_disabled = (style & WS_DISABLED) != 0 ? 1 : 0;
}

Gdiplus::RectF CSkinCtrl::DrawRect() const {
  const RECT rect = GetRectInParent();
  return Gdiplus::RectF(static_cast<Gdiplus::REAL>(rect.left), static_cast<Gdiplus::REAL>(rect.top),
                        static_cast<Gdiplus::REAL>(rect.right - rect.left),
                        static_cast<Gdiplus::REAL>(rect.bottom - rect.top));
}

void CSkinCtrl::OnEnable(BOOL enable) {
  Default();
  // Only an argument of exactly 1 means enabled.
  const int disabled = enable != 1 ? 1 : 0;
  if (disabled == m_disabled)
    return;
  m_disabled = disabled;
  Redraw();
}

void CSkinCtrl::OnMove(POINT) {
  Default();
  Redraw();
}

void CSkinCtrl::OnSize(UINT, SIZE) {
  Default();
  Redraw();
}

LRESULT CSkinCtrl::OnSetText(const wchar_t*) {
  const LRESULT result = Default();
  Redraw();
  return result;
}
