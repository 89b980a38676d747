#pragma once
// The skinned push button: one of four looks (normal, disabled, hover, pressed) drawn over its
// rectangle, the caption on top. A look without its own picture is derived from the normal one.
#include <windows.h>

#include <memory>

#include "skin/gdiplus_api.h"
#include "skin/skin_ctrl.h"
#include "skin/skin_font.h"
#include "skin/skin_image.h"

constexpr UINT SKIN_DISABLED = 0x1;
constexpr UINT SKIN_HOVER = 0x2;
constexpr UINT SKIN_PRESSED = 0x4;

enum class SkinState { Normal, Disabled, Hover, Pressed };

// The derived looks' colour matrices (row-vector convention).
extern const Gdiplus::ColorMatrix SKIN_GREY_MATRIX;
extern const Gdiplus::ColorMatrix SKIN_BRIGHTEN_MATRIX;

// Which look a state word shows.
SkinState SkinButtonLook(UINT state);

class CSkinButton : public CSkinCtrl {
 public:
  CSkinButton();
  ~CSkinButton() override = default;

  // An id of 0 leaves that look derived; the normal picture is always loaded.
  void SetImages(UINT normalId, UINT disabledId, UINT hoverId, UINT pressedId,
                 const wchar_t* resourceType, HINSTANCE module, double scale);
  void SetTextFont(const wchar_t* familyName, float emSize, int style, int unit);
  void SetTextAlign(int alignment, int lineAlignment);
  // All three caption colours.
  void SetTextColor(Gdiplus::ARGB colour);
  void SetHoverTextColor(Gdiplus::ARGB colour);
  void SetPressedTextColor(Gdiplus::ARGB colour);
  void ReleaseSkin();

  void Draw(SkinCanvas& canvas) override;
  // Composes only while a normal picture is loaded.
  void Redraw() override;

  // Hover and press as tracked, with the disabled bit following the window.
  UINT State() const;
  BOOL Tracking() const { return m_tracking; }

 private:
  void DrawPicture(SkinCanvas& canvas, const Gdiplus::RectF& rect);
  void DrawCaption(SkinCanvas& canvas, const Gdiplus::RectF& rect);

  void OnMouseMove(UINT keys, POINT point);
  void OnMouseLeave();
  void OnMouseHover(UINT keys, POINT point);
  void OnLButtonDown(UINT keys, POINT point);
  void OnLButtonUp(UINT keys, POINT point);
  void OnCaptureChanged(HWND newCapture);
  void OnCancelMode();
  void ReleasePress();

  std::unique_ptr<CSkinImage> m_imgNormal;
  std::unique_ptr<CSkinImage> m_imgDisabled;
  std::unique_ptr<CSkinImage> m_imgHover;
  std::unique_ptr<CSkinImage> m_imgPressed;
  BOOL m_tracking = FALSE;
  UINT m_state = 0;  // SKIN_HOVER and SKIN_PRESSED only
  CGdipStringFormat m_format;
  std::unique_ptr<CSkinFont> m_font;
  CGdipSolidFill m_textBrush;
  CGdipSolidFill m_hoverTextBrush;
  CGdipSolidFill m_pressedTextBrush;

  KV_DECLARE_MESSAGE_MAP()
};
