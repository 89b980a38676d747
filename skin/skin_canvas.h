#pragma once
// The drawing context of one composition: a GDI+ graphics object on the composition surface,
// handed to every shown control's Draw. Drawing errors are ignored by design: a failed draw
// leaves the surface as it was and the composition goes on.
#include <windows.h>

#include "skin/gdiplus_api.h"

class CSkinImage;

class SkinCanvas {
 public:
  // Takes over the graphics object; text is rendered in grey levels, never sub-pixel.
  explicit SkinCanvas(Gdiplus::GpGraphics* graphics);
  ~SkinCanvas() = default;
  SkinCanvas(const SkinCanvas&) = delete;
  SkinCanvas& operator=(const SkinCanvas&) = delete;

  explicit operator bool() const { return m_graphics != nullptr; }

  // Nothing is drawn outside the rectangle from here on.
  void ClipTo(const RECT& rect);

  // The whole image stretched into the rectangle; an image without pixels draws nothing.
  void DrawImage(const CSkinImage* image, int x, int y, int width, int height);
  void DrawImage(const CSkinImage* image, const Gdiplus::RectF& rect);
  // The whole image through a colour matrix (row-vector convention).
  void DrawImage(const CSkinImage* image, const Gdiplus::RectF& rect,
                 const Gdiplus::ColorMatrix& matrix);
  void DrawString(const wchar_t* text, int length, const Gdiplus::GpFont* font,
                  const Gdiplus::RectF& layout, const Gdiplus::GpStringFormat* format,
                  const Gdiplus::GpBrush* brush);

 private:
  CGdipGraphics m_graphics;
};
