#include <cstdlib>

#include "skin/gdiplus_api.h"

ULONG_PTR g_gdiplusToken = 0;

namespace {

bool g_gdiplusShutDown = false;

void GdiplusShutdownAtExit() {
  if (g_gdiplusShutDown)
    return;
  g_gdiplusShutDown = true;
  Gdiplus::GdiplusShutdown(g_gdiplusToken);
}

// GDI+ runs from before the entry function to process exit. Every GDI+ object belongs to a
// window that is gone long before exit, so none outlives the session.
struct CGdiplusSession {
  CGdiplusSession() {
    Gdiplus::GdiplusStartupInput input;  // version 1, no callback, no suppressions
    Gdiplus::GdiplusStartup(&g_gdiplusToken, &input, nullptr);
    std::atexit(&GdiplusShutdownAtExit);
  }
};

const CGdiplusSession g_gdiplusSession;

}  // namespace
