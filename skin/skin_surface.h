#pragma once
// The composition surface of a layered window: a 32-bit DIB section selected into a memory
// context (what the window system takes), with a premultiplied GDI+ bitmap over the same
// bits (what the controls draw into), so nothing is copied between the two.
#include <windows.h>

#include <memory>

#include "skin/gdiplus_api.h"

class CSkinSurface {
 public:
  // Null when the context, the bits or the bitmap cannot be had. Zero-filled: transparent.
  static std::unique_ptr<CSkinSurface> Create(int width, int height);
  ~CSkinSurface();
  CSkinSurface(const CSkinSurface&) = delete;
  CSkinSurface& operator=(const CSkinSurface&) = delete;

  int Width() const { return m_width; }
  int Height() const { return m_height; }
  HDC Dc() const { return m_dc; }
  // Premultiplied BGRA, rows bottom-up.
  DWORD* Pixels() const { return static_cast<DWORD*>(m_bits); }
  // A new graphics object drawing into the bits; null on failure.
  Gdiplus::GpGraphics* NewGraphics() const;

 private:
  CSkinSurface() = default;

  CGdiplusSession m_gdiplus;  // first: it outlives the bitmap
  int m_width = 0;
  int m_height = 0;
  HDC m_dc = nullptr;
  HBITMAP m_dib = nullptr;
  HGDIOBJ m_previous = nullptr;
  void* m_bits = nullptr;
  Gdiplus::GpBitmap* m_bitmap = nullptr;
};
