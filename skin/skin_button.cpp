#include "skin/skin_button.h"

#include <commctrl.h>

#include "skin/skin_canvas.h"
#include "skin/skin_text_style.h"

const Gdiplus::ColorMatrix SKIN_GREY_MATRIX = {{
    {0.3f, 0.3f, 0.3f, 0.0f, 0.0f},
    {0.59f, 0.59f, 0.59f, 0.0f, 0.0f},
    {0.11f, 0.11f, 0.11f, 0.0f, 0.0f},
    {0.0f, 0.0f, 0.0f, 1.0f, 0.0f},
    {0.0f, 0.0f, 0.0f, 0.0f, 1.0f},
}};

const Gdiplus::ColorMatrix SKIN_BRIGHTEN_MATRIX = {{
    {1.05f, 0.0f, 0.0f, 0.0f, 0.0f},
    {0.0f, 1.05f, 0.0f, 0.0f, 0.0f},
    {0.0f, 0.0f, 1.05f, 0.0f, 0.0f},
    {0.0f, 0.0f, 0.0f, 1.0f, 0.0f},
    {0.05f, 0.05f, 0.05f, 0.0f, 1.0f},
}};

namespace {

constexpr DWORD SKIN_HOVER_TIME_MS = 1;

}  // namespace

SkinState SkinButtonLook(UINT state) {
  if ((state & SKIN_DISABLED) != 0)
    return SkinState::Disabled;
  if ((state & (SKIN_HOVER | SKIN_PRESSED)) == (SKIN_HOVER | SKIN_PRESSED)) {
    return SkinState::Pressed;
  }
  if ((state & SKIN_HOVER) != 0)
    return SkinState::Hover;
  return SkinState::Normal;
}

// clang-format off
KV_BEGIN_MESSAGE_MAP(CSkinButton, CSkinCtrl)
  MapMessage<WM_MOUSEMOVE, &ThisClass::OnMouseMove>(),
  MapMessage<WM_MOUSELEAVE, &ThisClass::OnMouseLeave>(),
  MapMessage<WM_MOUSEHOVER, &ThisClass::OnMouseHover>(),
  MapMessage<WM_LBUTTONDOWN, &ThisClass::OnLButtonDown>(),
  // The second press of a double-click: the push button treats it as a press, so do we.
  MapMessage<WM_LBUTTONDBLCLK, &ThisClass::OnLButtonDown>(),
  MapMessage<WM_LBUTTONUP, &ThisClass::OnLButtonUp>(),
  MapMessage<WM_CAPTURECHANGED, &ThisClass::OnCaptureChanged>(),
  MapMessage<WM_CANCELMODE, &ThisClass::OnCancelMode>(),
KV_END_MESSAGE_MAP()
    // clang-format on

    CSkinButton::CSkinButton()
    : m_format(SkinFormatCreateCentred()),
      m_font(SkinFontCreate(L"Arial", 12.0f, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel)),
      m_textBrush(SkinBrushCreate(0xFF000000)),
      m_hoverTextBrush(SkinBrushCreate(0xFF000000)),
      m_pressedTextBrush(SkinBrushCreate(0xFF000000)) {}

void CSkinButton::SetImages(UINT normalId, UINT disabledId, UINT hoverId, UINT pressedId,
                            const wchar_t* resourceType, HINSTANCE module, double scale) {
  m_imgNormal.reset();
  m_imgDisabled.reset();
  m_imgHover.reset();
  m_imgPressed.reset();
  m_imgNormal = LoadSkinImage(normalId, resourceType, module, scale);
  if (disabledId != 0)
    m_imgDisabled = LoadSkinImage(disabledId, resourceType, module, scale);
  if (hoverId != 0)
    m_imgHover = LoadSkinImage(hoverId, resourceType, module, scale);
  if (pressedId != 0)
    m_imgPressed = LoadSkinImage(pressedId, resourceType, module, scale);
  MarkDirty();
}

void CSkinButton::SetTextFont(const wchar_t* familyName, float emSize, int style, int unit) {
  m_font.reset();
  m_font = SkinFontCreate(familyName, emSize, style, unit);
  MarkDirty();
}

void CSkinButton::SetTextAlign(int alignment, int lineAlignment) {
  SkinFormatSetAlignment(m_format, alignment, lineAlignment);
  MarkDirty();
}

void CSkinButton::SetTextColor(Gdiplus::ARGB colour) {
  SkinBrushSetColour(m_textBrush, colour);
  SkinBrushSetColour(m_hoverTextBrush, colour);
  SkinBrushSetColour(m_pressedTextBrush, colour);
  MarkDirty();
}

void CSkinButton::SetHoverTextColor(Gdiplus::ARGB colour) {
  SkinBrushSetColour(m_hoverTextBrush, colour);
  MarkDirty();
}

void CSkinButton::SetPressedTextColor(Gdiplus::ARGB colour) {
  SkinBrushSetColour(m_pressedTextBrush, colour);
  MarkDirty();
}

void CSkinButton::ReleaseSkin() {
  m_font.reset();
  m_imgNormal.reset();
  m_imgDisabled.reset();
  m_imgHover.reset();
  m_imgPressed.reset();
  MarkDirty();
}

UINT CSkinButton::State() const {
  // Read from the window's own flag, so a button disabled before its pictures were set, or
  // by its template, still shows the disabled look.
  return m_disabled != 0 ? (m_state | SKIN_DISABLED) : m_state;
}

void CSkinButton::Redraw() {
  MarkDirty();
  if (m_imgNormal == nullptr)
    return;
  NotifyOwner();
}

void CSkinButton::Draw(SkinCanvas& canvas) {
  const Gdiplus::RectF rect = DrawRect();
  DrawPicture(canvas, rect);
  DrawCaption(canvas, rect);
}

void CSkinButton::DrawPicture(SkinCanvas& canvas, const Gdiplus::RectF& rect) {
  const CSkinImage* normal = m_imgNormal.get();
  switch (SkinButtonLook(State())) {
    case SkinState::Disabled:
      if (m_imgDisabled)
        return canvas.DrawImage(m_imgDisabled.get(), rect);
      return canvas.DrawImage(normal, rect, SKIN_GREY_MATRIX);
    case SkinState::Pressed: {
      if (m_imgPressed)
        return canvas.DrawImage(m_imgPressed.get(), rect);
      // Moved one pixel right and down, reaching one pixel past the rectangle.
      const Gdiplus::RectF moved(rect.X + 1, rect.Y + 1, rect.Width, rect.Height);
      return canvas.DrawImage(normal, moved);
    }
    case SkinState::Hover:
      if (m_imgHover)
        return canvas.DrawImage(m_imgHover.get(), rect);
      return canvas.DrawImage(normal, rect, SKIN_BRIGHTEN_MATRIX);
    case SkinState::Normal:
      return canvas.DrawImage(normal, rect);
  }
}

void CSkinButton::DrawCaption(SkinCanvas& canvas, const Gdiplus::RectF& rect) {
  const std::wstring caption = GetWindowTextW();
  if (caption.empty() || m_font == nullptr)
    return;
  // The caption follows hover and press alone: a disabled button keeps the normal colour.
  Gdiplus::RectF layout = rect;
  const Gdiplus::GpBrush* brush = m_textBrush.get();
  if ((m_state & SKIN_PRESSED) != 0) {
    layout.X += 1;
    layout.Y += 1;
    brush = m_pressedTextBrush.get();
  } else if ((m_state & SKIN_HOVER) != 0) {
    brush = m_hoverTextBrush.get();
  }
  canvas.DrawString(caption.c_str(), static_cast<int>(caption.size()), m_font->Native(), layout,
                    m_format.get(), brush);
}

void CSkinButton::OnMouseMove(UINT, POINT) {
  if (!m_tracking) {
    TRACKMOUSEEVENT request{};
    request.cbSize = sizeof(request);
    request.dwFlags = TME_HOVER | TME_LEAVE;
    request.hwndTrack = m_hWnd;
    request.dwHoverTime = SKIN_HOVER_TIME_MS;
    m_tracking = ::_TrackMouseEvent(&request);
  }
  Default();
}

void CSkinButton::OnMouseLeave() {
  m_tracking = FALSE;
  m_state &= ~SKIN_HOVER;
  Redraw();
}

void CSkinButton::OnMouseHover(UINT, POINT) {
  m_state |= SKIN_HOVER;
  Redraw();
}

void CSkinButton::OnLButtonDown(UINT, POINT) {
  m_state |= SKIN_PRESSED;
  Redraw();
  Default();
}

void CSkinButton::OnLButtonUp(UINT, POINT) {
  // Cleared before the push button sends its click, so the owner sees the normal state.
  m_state &= ~(SKIN_PRESSED | SKIN_HOVER);
  Redraw();
  Default();
}

void CSkinButton::OnCaptureChanged(HWND) {
  ReleasePress();
  Default();
}

void CSkinButton::OnCancelMode() {
  ReleasePress();
  Default();
}

// The press ends without a release over the button (another window took the mouse, a menu or
// a message box opened): the pressed look must not stay.
void CSkinButton::ReleasePress() {
  if ((m_state & SKIN_PRESSED) == 0)
    return;
  m_state &= ~SKIN_PRESSED;
  Redraw();
}
