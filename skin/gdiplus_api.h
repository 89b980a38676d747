#pragma once
// The flat GDI+ interface and owners for the few GDI+ objects the toolkit holds.
#include <objidl.h>
#include <windows.h>

#include <gdiplus.h>

#include <memory>

namespace gdip = Gdiplus::DllExports;

template <auto Delete>
struct CGdipDeleter {
  template <typename T>
  void operator()(T* object) const {
    Delete(object);
  }
};

using CGdipGraphics = std::unique_ptr<Gdiplus::GpGraphics, CGdipDeleter<&gdip::GdipDeleteGraphics>>;
using CGdipStringFormat =
    std::unique_ptr<Gdiplus::GpStringFormat, CGdipDeleter<&gdip::GdipDeleteStringFormat>>;
using CGdipSolidFill = std::unique_ptr<Gdiplus::GpSolidFill, CGdipDeleter<&gdip::GdipDeleteBrush>>;
using CGdipImageAttributes =
    std::unique_ptr<Gdiplus::GpImageAttributes, CGdipDeleter<&gdip::GdipDisposeImageAttributes>>;
using CGdipFontFamily =
    std::unique_ptr<Gdiplus::GpFontFamily, CGdipDeleter<&gdip::GdipDeleteFontFamily>>;
using CGdipFont = std::unique_ptr<Gdiplus::GpFont, CGdipDeleter<&gdip::GdipDeleteFont>>;
using CGdipImage = std::unique_ptr<Gdiplus::GpImage, CGdipDeleter<&gdip::GdipDisposeImage>>;

// The process's GDI+ session token while GDI+ runs.
extern ULONG_PTR g_gdiplusToken;

// A share in the process's GDI+ session: GDI+ starts with the first share and shuts down with
// the last. Whatever makes GDI+ objects holds one, declared before those objects, so they are
// made after the start-up and freed before the shut-down however the holder lives (a static
// built before the program's own start-up object, or destroyed after it).
class CGdiplusSession {
 public:
  CGdiplusSession();
  ~CGdiplusSession();
  CGdiplusSession(const CGdiplusSession&) : CGdiplusSession() {}
  CGdiplusSession& operator=(const CGdiplusSession&) { return *this; }

  // Whether GDI+ started; false when the start-up failed.
  static bool Running();
  static int Shares();
};
