#pragma once
// The caption and text font of the skin controls. A family that is not installed falls back
// to the generic sans-serif family at the same size, style and unit; when that fails too the
// font object holds no font and draws nothing.
#include <memory>

#include "skin/gdiplus_api.h"

class CSkinFont {
 public:
  explicit CSkinFont(CGdipFont font) : m_font(std::move(font)) {}
  // Null when the object holds no font.
  const Gdiplus::GpFont* Native() const { return m_font.get(); }

 private:
  CGdipFont m_font;
};

// style: GDI+ style bits (0 regular, 1 bold); unit: GDI+ unit (2 pixel). Null only when no
// font object could be had.
std::unique_ptr<CSkinFont> SkinFontCreate(const wchar_t* family, float emSize, int style, int unit);
