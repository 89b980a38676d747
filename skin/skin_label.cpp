#include "skin/skin_label.h"

#include "skin/skin_canvas.h"
#include "skin/skin_text_style.h"

CSkinLabel::CSkinLabel()
    : m_format(SkinFormatCreateCentred()),
      m_font(SkinFontCreate(L"Arial", 12.0f, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel)),
      m_textBrush(SkinBrushCreate(0xFF000000)) {}

CSkinImage* CSkinLabel::SetImage(UINT id, const wchar_t* resourceType, HINSTANCE module,
                                 double scale) {
  m_image.reset();
  m_image = LoadSkinImage(id, resourceType, module, scale);
  MarkDirty();
  return m_image.get();
}

void CSkinLabel::SetFont(const wchar_t* familyName, float emSize, int style, int unit, int) {
  m_font.reset();
  m_font = SkinFontCreate(familyName, emSize, style, unit);
  MarkDirty();
}

void CSkinLabel::SetAlignment(int horizontal, int vertical) {
  SkinFormatSetAlignment(m_format, horizontal, vertical);
  MarkDirty();
}

void CSkinLabel::SetTextColor(Gdiplus::ARGB colour) {
  SkinBrushSetColour(m_textBrush, colour);
  MarkDirty();
}

void CSkinLabel::ReleaseSkin() {
  m_font.reset();
  m_image.reset();
  MarkDirty();
}

void CSkinLabel::Draw(SkinCanvas& canvas) {
  const Gdiplus::RectF rect = DrawRect();
  if (m_image)
    canvas.DrawImage(m_image.get(), rect);
  const std::wstring text = GetWindowTextW();
  if (text.empty() || m_font == nullptr)
    return;
  canvas.DrawString(text.c_str(), static_cast<int>(text.size()), m_font->Native(), rect,
                    m_format.get(), m_textBrush.get());
}
