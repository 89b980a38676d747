#include "skin/skin_canvas.h"

#include "skin/skin_image.h"

SkinCanvas::SkinCanvas(Gdiplus::GpGraphics* graphics) : m_graphics(graphics) {
  if (m_graphics) {
    gdip::GdipSetTextRenderingHint(m_graphics.get(), Gdiplus::TextRenderingHintAntiAlias);
  }
}

void SkinCanvas::ClipTo(const RECT& rect) {
  if (m_graphics) {
    gdip::GdipSetClipRectI(m_graphics.get(), rect.left, rect.top, rect.right - rect.left,
                           rect.bottom - rect.top, Gdiplus::CombineModeReplace);
  }
}

void SkinCanvas::DrawImage(const CSkinImage* image, int x, int y, int width, int height) {
  if (!m_graphics || image == nullptr || image->Native() == nullptr)
    return;
  gdip::GdipDrawImageRectI(m_graphics.get(), image->Native(), x, y, width, height);
}

void SkinCanvas::DrawImage(const CSkinImage* image, const Gdiplus::RectF& rect) {
  if (!m_graphics || image == nullptr || image->Native() == nullptr)
    return;
  gdip::GdipDrawImageRect(m_graphics.get(), image->Native(), rect.X, rect.Y, rect.Width,
                          rect.Height);
}

void SkinCanvas::DrawImage(const CSkinImage* image, const Gdiplus::RectF& rect,
                           const Gdiplus::ColorMatrix& matrix) {
  if (!m_graphics || image == nullptr || image->Native() == nullptr)
    return;
  Gdiplus::GpImageAttributes* created = nullptr;
  if (gdip::GdipCreateImageAttributes(&created) != Gdiplus::Ok)
    return;
  CGdipImageAttributes attributes(created);
  gdip::GdipSetImageAttributesColorMatrix(attributes.get(), Gdiplus::ColorAdjustTypeDefault, TRUE,
                                          &matrix, nullptr, Gdiplus::ColorMatrixFlagsDefault);
  const auto width = static_cast<Gdiplus::REAL>(image->GetWidth());
  const auto height = static_cast<Gdiplus::REAL>(image->GetHeight());
  gdip::GdipDrawImageRectRect(m_graphics.get(), image->Native(), rect.X, rect.Y, rect.Width,
                              rect.Height, 0, 0, width, height, Gdiplus::UnitPixel,
                              attributes.get(), nullptr, nullptr);
}

void SkinCanvas::DrawString(const wchar_t* text, int length, const Gdiplus::GpFont* font,
                            const Gdiplus::RectF& layout, const Gdiplus::GpStringFormat* format,
                            const Gdiplus::GpBrush* brush) {
  if (!m_graphics || font == nullptr || brush == nullptr)
    return;
  gdip::GdipDrawString(m_graphics.get(), text, length, font, &layout, format, brush);
}
