#pragma once
// A decoded picture with alpha from the program's "IMG" resources, owned by one holder.
#include <windows.h>

#include <memory>

#include "skin/gdiplus_api.h"

class CSkinImage {
 public:
  // Takes over a GDI+ image, and the stream it was decoded from, which GDI+ may read again for
  // as long as the image lives.
  CSkinImage(Gdiplus::GpImage* image, IStream* source);
  ~CSkinImage();
  CSkinImage(const CSkinImage&) = delete;
  CSkinImage& operator=(const CSkinImage&) = delete;

  // Pixel size; 0 when the image holds no pixels.
  UINT GetWidth() const;
  UINT GetHeight() const;
  // The GDI+ image for drawing, or null when there are no pixels.
  Gdiplus::GpImage* Native() const { return m_image; }

 private:
  CGdiplusSession m_gdiplus;  // first: it outlives the image
  Gdiplus::GpImage* m_image;
  IStream* m_source;
};

// Loads the picture with the low 16 bits of id as its integer name: as decoded at scale 1.0, a
// copy scaled once otherwise. A missing or undecodable resource gives an image without pixels;
// null only when no image object could be had. A null module means AppResourceModule().
std::unique_ptr<CSkinImage> LoadSkinImage(UINT id, const wchar_t* type, HINSTANCE module,
                                          double scale);
