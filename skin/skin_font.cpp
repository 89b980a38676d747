#include "skin/skin_font.h"

#include <new>

namespace {

// One per process, fetched at first use and kept until the process ends.
Gdiplus::GpFontFamily* GenericSansSerif() {
  static Gdiplus::GpFontFamily* family = [] {
    Gdiplus::GpFontFamily* generic = nullptr;
    if (gdip::GdipGetGenericFontFamilySansSerif(&generic) != Gdiplus::Ok)
      generic = nullptr;
    return generic;
  }();
  return family;
}

CGdipFont FontFromFamily(const Gdiplus::GpFontFamily* family, float emSize, int style, int unit) {
  Gdiplus::GpFont* font = nullptr;
  if (family == nullptr ||
      gdip::GdipCreateFont(family, emSize, style, static_cast<Gdiplus::Unit>(unit), &font) !=
          Gdiplus::Ok) {
    return nullptr;
  }
  return CGdipFont(font);
}

}  // namespace

std::unique_ptr<CSkinFont> SkinFontCreate(const wchar_t* family, float emSize, int style,
                                          int unit) {
  Gdiplus::GpFontFamily* named = nullptr;
  if (family == nullptr ||
      gdip::GdipCreateFontFamilyFromName(family, nullptr, &named) != Gdiplus::Ok) {
    named = nullptr;
  }
  CGdipFontFamily namedOwner(named);
  CGdipFont font = FontFromFamily(named, emSize, style, unit);
  if (!font)
    font = FontFromFamily(GenericSansSerif(), emSize, style, unit);
  return std::unique_ptr<CSkinFont>(new (std::nothrow) CSkinFont(std::move(font)));
}
