#pragma once
// The static element of the skinned window: a picture, a text, or a text over a picture,
// drawn over the label's rectangle. The text is the window text.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "skin/gdiplus_api.h"
#include "skin/skin_ctrl.h"
#include "skin/skin_font.h"
#include "skin/skin_image.h"

class CSkinLabel : public CSkinCtrl {
 public:
  CSkinLabel();
  ~CSkinLabel() override = default;

  // Replaces the picture; returns the new one, which the label keeps. The last few pictures
  // stay loaded, so a label cycling through frames (the spinner) decodes each only once.
  CSkinImage* SetImage(UINT id, const wchar_t* resourceType, HINSTANCE module, double scale);
  // The fifth value is accepted for callers' sake and ignored.
  void SetFont(const wchar_t* familyName, float emSize, int style, int unit, int unused);
  // 0 near, 1 centre, 2 far.
  void SetAlignment(int horizontal, int vertical);
  void SetTextColor(Gdiplus::ARGB colour);
  void ReleaseSkin();
  // The text's font; null after ReleaseSkin.
  const CSkinFont* Font() const { return m_font.get(); }

  void Draw(SkinCanvas& canvas) override;

 private:
  struct CachedPicture {
    UINT id;
    std::wstring type;  // the name, or "#<number>" for an integer type
    HINSTANCE module;
    double scale;
    std::unique_ptr<CSkinImage> image;
  };
  CSkinImage* FindPicture(UINT id, const std::wstring& type, HINSTANCE module, double scale) const;

  std::vector<CachedPicture> m_pictures;  // oldest first
  CSkinImage* m_image = nullptr;          // one of m_pictures, or null
  CGdipStringFormat m_format;
  std::unique_ptr<CSkinFont> m_font;
  CGdipSolidFill m_textBrush;
};
