#include "skin/skin_text_style.h"

CGdipStringFormat SkinFormatCreateCentred() {
  Gdiplus::GpStringFormat* format = nullptr;
  if (gdip::GdipCreateStringFormat(0, LANG_NEUTRAL, &format) != Gdiplus::Ok)
    return nullptr;
  gdip::GdipSetStringFormatAlign(format, Gdiplus::StringAlignmentCenter);
  gdip::GdipSetStringFormatLineAlign(format, Gdiplus::StringAlignmentCenter);
  return CGdipStringFormat(format);
}

void SkinFormatSetAlignment(const CGdipStringFormat& format, int horizontal, int vertical) {
  if (!format)
    return;
  gdip::GdipSetStringFormatAlign(format.get(), static_cast<Gdiplus::StringAlignment>(horizontal));
  gdip::GdipSetStringFormatLineAlign(format.get(), static_cast<Gdiplus::StringAlignment>(vertical));
}

CGdipSolidFill SkinBrushCreate(Gdiplus::ARGB colour) {
  Gdiplus::GpSolidFill* brush = nullptr;
  if (gdip::GdipCreateSolidFill(colour, &brush) != Gdiplus::Ok)
    return nullptr;
  return CGdipSolidFill(brush);
}

void SkinBrushSetColour(const CGdipSolidFill& brush, Gdiplus::ARGB colour) {
  if (brush)
    gdip::GdipSetSolidFillColor(brush.get(), colour);
}
