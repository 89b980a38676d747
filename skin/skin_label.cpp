#include "skin/skin_label.h"

#include "skin/skin_canvas.h"

namespace {

CGdipStringFormat MakeCentredFormat() {
  Gdiplus::GpStringFormat* format = nullptr;
  if (gdip::GdipCreateStringFormat(0, LANG_NEUTRAL, &format) != Gdiplus::Ok)
    return nullptr;
  gdip::GdipSetStringFormatAlign(format, Gdiplus::StringAlignmentCenter);
  gdip::GdipSetStringFormatLineAlign(format, Gdiplus::StringAlignmentCenter);
  return CGdipStringFormat(format);
}

CGdipSolidFill MakeBlackBrush() {
  Gdiplus::GpSolidFill* brush = nullptr;
  if (gdip::GdipCreateSolidFill(0xFF000000, &brush) != Gdiplus::Ok)
    return nullptr;
  return CGdipSolidFill(brush);
}

}  // namespace

CSkinLabel::CSkinLabel()
    : m_format(MakeCentredFormat()),
      m_font(SkinFontCreate(L"Arial", 12.0f, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel)),
      m_textBrush(MakeBlackBrush()) {}

CSkinImage* CSkinLabel::SetImage(UINT id, const wchar_t* resourceType, HINSTANCE module,
                                 double scale) {
  m_image.reset();
  m_image = LoadSkinImage(id, resourceType, module, scale);
  return m_image.get();
}

void CSkinLabel::SetFont(const wchar_t* familyName, float emSize, int style, int unit, int) {
  m_font.reset();
  m_font = SkinFontCreate(familyName, emSize, style, unit);
}

void CSkinLabel::SetAlignment(int horizontal, int vertical) {
  if (!m_format)
    return;
  gdip::GdipSetStringFormatAlign(m_format.get(), static_cast<Gdiplus::StringAlignment>(horizontal));
  gdip::GdipSetStringFormatLineAlign(m_format.get(),
                                     static_cast<Gdiplus::StringAlignment>(vertical));
}

void CSkinLabel::SetTextColor(Gdiplus::ARGB colour) {
  if (m_textBrush)
    gdip::GdipSetSolidFillColor(m_textBrush.get(), colour);
}

void CSkinLabel::ReleaseSkin() {
  m_font.reset();
  m_image.reset();
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
