#include "skin/skin_ctrl.h"

#include "skin/gdiplus_api.h"

// clang-format off
KV_BEGIN_MESSAGE_MAP(CSkinCtrl, CWnd)
  MapMessage<WM_ENABLE, &ThisClass::OnEnable>(),
  MapMessage<WM_MOVE, &ThisClass::OnMove>(),
  MapMessage<WM_SIZE, &ThisClass::OnSize>(),
  MapMessage<WM_WINDOWPOSCHANGED, &ThisClass::OnWindowPosChanged>(),
  MapMessage<WM_SETTEXT, &ThisClass::OnSetText>(),
KV_END_MESSAGE_MAP()
    // clang-format on

    void CSkinCtrl::NotifyOwner() {
  m_dirty = true;
  if (m_owner != nullptr)
    m_owner->OnSkinChanged(this);
}

void CSkinCtrl::ShowCtrl(int command) {
  ShowWindow(command);
  // The position change has told the owner already; this catches a change that came without.
  if (FollowVisibility())
    NotifyOwner();
}

bool CSkinCtrl::FollowVisibility() {
  const int visible = (GetStyle() & WS_VISIBLE) != 0 ? 1 : 0;
  if (visible == m_visible)
    return false;
  m_visible = visible;
  return true;
}

void CSkinCtrl::PreSubclassWindow() {
  const DWORD style = GetStyle();
  m_visible = (style & WS_VISIBLE) != 0 ? 1 : 0;
  m_disabled = (style & WS_DISABLED) != 0 ? 1 : 0;
}

RECT CSkinCtrl::DrawExtent() const {
  RECT rect = GetRectInParent();
  rect.left -= 1;
  rect.top -= 1;
  rect.right += 2;
  rect.bottom += 2;
  return rect;
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
  if (m_positionChanges == 0)
    Redraw();
}

void CSkinCtrl::OnSize(UINT, SIZE) {
  Default();
  if (m_positionChanges == 0)
    Redraw();
}

// One change of place, size or visibility asks for one composition, however many of the
// three it carries.
void CSkinCtrl::OnWindowPosChanged(WINDOWPOS* position) {
  ++m_positionChanges;
  Default();
  --m_positionChanges;
  const bool visibility = FollowVisibility();
  const UINT unmoved = SWP_NOMOVE | SWP_NOSIZE;
  const bool placed = position != nullptr && (position->flags & unmoved) != unmoved;
  if (visibility) {
    NotifyOwner();  // even a button without pictures: what is on screen changed
  } else if (placed) {
    Redraw();
  }
}

LRESULT CSkinCtrl::OnSetText(const wchar_t*) {
  const LRESULT result = Default();
  Redraw();
  return result;
}
