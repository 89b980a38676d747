#include "skin/skin_label.h"

#include "skin/skin_canvas.h"
#include "skin/skin_text_style.h"

CSkinLabel::CSkinLabel()
    : m_format(SkinFormatCreateCentred()),
      m_font(SkinFontCreate(L"Arial", 12.0f, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel)),
      m_textBrush(SkinBrushCreate(0xFF000000)) {}

namespace {

constexpr std::size_t SKIN_LABEL_PICTURES = 16;

std::wstring TypeKey(const wchar_t* type) {
  if (type == nullptr)
    return {};
  if (IS_INTRESOURCE(type))
    return L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(type));
  return type;
}

}  // namespace

CSkinImage* CSkinLabel::FindPicture(UINT id, const std::wstring& type, HINSTANCE module,
                                    double scale) const {
  for (const CachedPicture& picture : m_pictures) {
    if (picture.id == id && picture.type == type && picture.module == module &&
        picture.scale == scale) {
      return picture.image.get();
    }
  }
  return nullptr;
}

CSkinImage* CSkinLabel::SetImage(UINT id, const wchar_t* resourceType, HINSTANCE module,
                                 double scale) {
  MarkDirty();
  const std::wstring type = TypeKey(resourceType);
  m_image = FindPicture(id, type, module, scale);
  if (m_image != nullptr)
    return m_image;
  std::unique_ptr<CSkinImage> loaded = LoadSkinImage(id, resourceType, module, scale);
  if (loaded == nullptr)
    return nullptr;
  if (m_pictures.size() >= SKIN_LABEL_PICTURES)
    m_pictures.erase(m_pictures.begin());
  m_pictures.push_back(CachedPicture{id, type, module, scale, std::move(loaded)});
  m_image = m_pictures.back().image.get();
  return m_image;
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
  m_image = nullptr;
  std::vector<CachedPicture>().swap(m_pictures);
  MarkDirty();
}

void CSkinLabel::Draw(SkinCanvas& canvas) {
  const Gdiplus::RectF rect = DrawRect();
  if (m_image != nullptr)
    canvas.DrawImage(m_image, rect);
  const std::wstring text = GetWindowTextW();
  if (text.empty() || m_font == nullptr)
    return;
  canvas.DrawString(text.c_str(), static_cast<int>(text.size()), m_font->Native(), rect,
                    m_format.get(), m_textBrush.get());
}
