#include "skin/layered_dialog.h"

#include <algorithm>

#include "skin/skin_canvas.h"

namespace {

constexpr WPARAM SKIN_DRAG_COMMAND = SC_MOVE | HTCAPTION;  // 0xF012

using UpdateLayeredWindowFn = BOOL(WINAPI*)(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF,
                                            BLENDFUNCTION*, DWORD);
using UpdateLayeredWindowIndirectFn = BOOL(WINAPI*)(HWND, const UPDATELAYEREDWINDOWINFO*);

// Looked up once: user32 stays loaded for the life of any process with a window.
FARPROC User32Function(const char* name) {
  HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  return user32 != nullptr ? ::GetProcAddress(user32, name) : nullptr;
}

UpdateLayeredWindowFn UpdateLayered() {
  static const auto update = reinterpret_cast<UpdateLayeredWindowFn>(
      reinterpret_cast<void*>(User32Function("UpdateLayeredWindow")));
  return update;
}

UpdateLayeredWindowIndirectFn UpdateLayeredIndirect() {
  static const auto update = reinterpret_cast<UpdateLayeredWindowIndirectFn>(
      reinterpret_cast<void*>(User32Function("UpdateLayeredWindowIndirect")));
  return update;
}

RECT Intersection(const RECT& a, const RECT& b) {
  RECT out{};
  if (!::IntersectRect(&out, &a, &b))
    return RECT{};
  return out;
}

RECT Union(const RECT& a, const RECT& b) {
  RECT out{};
  ::UnionRect(&out, &a, &b);  // an empty side leaves the other
  return out;
}

}  // namespace

POINT LayeredDialogCentre(const RECT& workArea, int outerWidth, int outerHeight) {
  // C++ integer division truncates toward zero, which is what keeps odd overhangs even.
  return POINT{workArea.left + (workArea.right - workArea.left - outerWidth) / 2,
               workArea.top + (workArea.bottom - workArea.top - outerHeight) / 2};
}

// clang-format off
KV_BEGIN_MESSAGE_MAP(CLayeredDialog, CDialog)
  MapMessage<WM_CREATE, &ThisClass::OnCreate>(),
  MapMessage<WM_ERASEBKGND, &ThisClass::OnEraseBkgnd>(),
  MapMessage<WM_MOVE, &ThisClass::OnMove>(),
  MapMessage<WM_SIZE, &ThisClass::OnSize>(),
  MapMessage<WM_LBUTTONDOWN, &ThisClass::OnLButtonDown>(),
KV_END_MESSAGE_MAP()
    // clang-format on

    LRESULT CLayeredDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_SKIN_COMPOSE)
    return CDialog::WindowProc(message, wParam, lParam);
  if (m_composePending)
    Compose();
  return 0;
}

BOOL CLayeredDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  m_blend = BLENDFUNCTION{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  LayoutSkin();
  Compose();
  return TRUE;
}

void CLayeredDialog::OnSkinChanged(CSkinCtrl*) {
  if (m_composePending || m_hWnd == nullptr)
    return;
  m_composePending = ::PostMessageW(m_hWnd, WM_SKIN_COMPOSE, 0, 0) != FALSE;
  if (!m_composePending)
    Compose();  // no queue to wait in: compose now rather than not at all
}

void CLayeredDialog::AddSkinCtrl(CSkinCtrl* control) {
  control->SetOwner(this);
  m_children.push_back(control);
  m_everything = true;
}

void CLayeredDialog::ReleaseSkin() {
  std::vector<CSkinCtrl*>().swap(m_children);
  m_surface.reset();
  std::vector<DWORD>().swap(m_backgroundLayer);
  m_background.reset();
  m_everything = true;
}

void CLayeredDialog::SetBackgroundImage(UINT id, const wchar_t* type, HINSTANCE module,
                                        double scale) {
  m_background.reset();
  m_background = LoadSkinImage(id, type, module, scale);
  m_backgroundLayer.clear();
  m_everything = true;
  if (m_background == nullptr)
    return;

  const int width = static_cast<int>(m_background->GetWidth());
  const int height = static_cast<int>(m_background->GetHeight());
  RECT outer{0, 0, width, height};
  ::AdjustWindowRect(&outer, GetStyle(), FALSE);
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const POINT origin =
      LayeredDialogCentre(work, outer.right - outer.left, outer.bottom - outer.top);
  MoveWindow(origin.x, origin.y, width, height, TRUE);
  Compose();
}

void CLayeredDialog::Compose() {
  m_composePending = false;
  if (m_background == nullptr || m_hWnd == nullptr)
    return;
  const int width = static_cast<int>(m_background->GetWidth());
  const int height = static_cast<int>(m_background->GetHeight());

  const DWORD exStyle = GetExStyle();
  if ((exStyle & WS_EX_LAYERED) == 0) {
    ::SetWindowLongW(m_hWnd, GWL_EXSTYLE, static_cast<LONG>(exStyle | WS_EX_LAYERED));
    m_everything = true;
  }
  if (!PrepareSurface(width, height))
    return;

  const RECT whole{0, 0, width, height};
  const bool everything = m_everything;
  const RECT changed = everything ? whole : Intersection(ChangedRect(), whole);
  if (::IsRectEmpty(&changed))
    return;
  Recompose(changed);
  m_everything = false;
  OnSurfaceComposed(m_surface->Pixels(), width, height);
  Present(everything ? nullptr : &changed);
}

bool CLayeredDialog::PrepareSurface(int width, int height) {
  if (m_surface == nullptr || m_surface->Width() != width || m_surface->Height() != height) {
    m_surface = CSkinSurface::Create(width, height);
    m_backgroundLayer.clear();
    m_everything = true;
  }
  if (m_surface == nullptr)
    return false;
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  if (m_backgroundLayer.size() == count)
    return true;

  // The background alone, drawn once over a transparent surface; every composition starts
  // from a copy of it.
  DWORD* pixels = m_surface->Pixels();
  std::fill(pixels, pixels + count, 0u);
  {
    SkinCanvas canvas(m_surface->NewGraphics());
    canvas.DrawImage(m_background.get(), 0, 0, width, height);
  }
  ::GdiFlush();
  m_backgroundLayer.assign(pixels, pixels + count);
  m_everything = true;
  return true;
}

RECT CLayeredDialog::ChangedRect() const {
  RECT changed{};
  for (const CSkinCtrl* control : m_children) {
    if (!control->IsDirty())
      continue;
    changed = Union(changed, control->DrawnRect());
    if (control->IsShown())
      changed = Union(changed, control->DrawExtent());
  }
  return changed;
}

void CLayeredDialog::Recompose(const RECT& rect) {
  const int width = m_surface->Width();
  const int height = m_surface->Height();
  DWORD* pixels = m_surface->Pixels();
  const size_t span = static_cast<size_t>(rect.right - rect.left);
  for (int y = rect.top; y < rect.bottom; ++y) {
    const size_t row = static_cast<size_t>(height - 1 - y) * static_cast<size_t>(width);
    std::copy_n(&m_backgroundLayer[row + rect.left], span, pixels + row + rect.left);
  }
  {
    SkinCanvas canvas(m_surface->NewGraphics());
    canvas.ClipTo(rect);
    for (CSkinCtrl* control : m_children) {
      const RECT reach = Intersection(control->DrawExtent(), rect);
      if (control->IsShown() && !::IsRectEmpty(&reach))
        control->Draw(canvas);
    }
  }  // the canvas flushes into the surface before the surface is handed over
  for (CSkinCtrl* control : m_children)
    control->SetDrawn(control->IsShown() ? control->DrawExtent() : RECT{});
  ::GdiFlush();
}

void CLayeredDialog::Present(const RECT* dirty) {
  RECT windowRect{};
  ::GetWindowRect(m_hWnd, &windowRect);
  POINT destination{windowRect.left, windowRect.top};
  SIZE size{m_surface->Width(), m_surface->Height()};
  POINT source{0, 0};
  if (UpdateLayeredWindowIndirectFn indirect = UpdateLayeredIndirect()) {
    UPDATELAYEREDWINDOWINFO info{};
    info.cbSize = sizeof(info);
    info.pptDst = &destination;
    info.psize = &size;
    info.hdcSrc = m_surface->Dc();
    info.pptSrc = &source;
    info.pblend = &m_blend;
    info.dwFlags = ULW_ALPHA;
    info.prcDirty = dirty;
    if (indirect(m_hWnd, &info))
      return;
  }
  if (UpdateLayeredWindowFn update = UpdateLayered()) {
    update(m_hWnd, nullptr, &destination, &size, m_surface->Dc(), &source, 0, &m_blend, ULW_ALPHA);
  }
}

int CLayeredDialog::OnCreate(CREATESTRUCTW*) {
  if (Default() == -1)
    return -1;
  ModifyStyle(WS_CAPTION, WS_POPUP);
  return 0;
}

BOOL CLayeredDialog::OnEraseBkgnd(HDC) {
  return TRUE;
}

void CLayeredDialog::OnMove(POINT) {
  Default();
}

void CLayeredDialog::OnSize(UINT, SIZE) {
  Default();
}

void CLayeredDialog::OnLButtonDown(UINT, POINT) {
  ::SendMessageW(m_hWnd, WM_SYSCOMMAND, SKIN_DRAG_COMMAND, 0);
  Default();
}
