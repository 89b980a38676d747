#include "skin/skin_surface.h"

#include <new>

std::unique_ptr<CSkinSurface> CSkinSurface::Create(int width, int height) {
  if (width <= 0 || height <= 0)
    return nullptr;
  std::unique_ptr<CSkinSurface> surface(new (std::nothrow) CSkinSurface);
  if (surface == nullptr)
    return nullptr;
  surface->m_width = width;
  surface->m_height = height;
  surface->m_dc = ::CreateCompatibleDC(nullptr);
  if (surface->m_dc == nullptr)
    return nullptr;

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // positive: rows bottom-up
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  surface->m_dib =
      ::CreateDIBSection(surface->m_dc, &info, DIB_RGB_COLORS, &surface->m_bits, nullptr, 0);
  if (surface->m_dib == nullptr || surface->m_bits == nullptr)
    return nullptr;
  surface->m_previous = ::SelectObject(surface->m_dc, surface->m_dib);

  // The top row is the last one in memory: a negative stride walks the rows top-down.
  const INT stride = width * 4;
  auto* top = static_cast<BYTE*>(surface->m_bits) + static_cast<size_t>(height - 1) * stride;
  if (gdip::GdipCreateBitmapFromScan0(width, height, -stride, PixelFormat32bppPARGB, top,
                                      &surface->m_bitmap) != Gdiplus::Ok) {
    surface->m_bitmap = nullptr;
    return nullptr;
  }
  return surface;
}

CSkinSurface::~CSkinSurface() {
  if (m_bitmap != nullptr)
    gdip::GdipDisposeImage(m_bitmap);
  if (m_dc != nullptr && m_previous != nullptr)
    ::SelectObject(m_dc, m_previous);
  if (m_dib != nullptr)
    ::DeleteObject(m_dib);
  if (m_dc != nullptr)
    ::DeleteDC(m_dc);
}

Gdiplus::GpGraphics* CSkinSurface::NewGraphics() const {
  Gdiplus::GpGraphics* graphics = nullptr;
  if (gdip::GdipGetImageGraphicsContext(m_bitmap, &graphics) != Gdiplus::Ok)
    return nullptr;
  return graphics;
}
