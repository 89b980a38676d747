#include <mutex>

#include "skin/gdiplus_api.h"

ULONG_PTR g_gdiplusToken = 0;

namespace {

// Constant-initialised, so usable from any static constructor whatever the order.
std::mutex g_gdiplusLock;
int g_gdiplusShares = 0;
bool g_gdiplusRunning = false;

// The program's own share: GDI+ runs from before the entry function to process exit even
// when no control holds one.
const CGdiplusSession g_processShare;

}  // namespace

CGdiplusSession::CGdiplusSession() {
  const std::lock_guard<std::mutex> hold(g_gdiplusLock);
  if (g_gdiplusShares++ > 0)
    return;
  Gdiplus::GdiplusStartupInput input;  // version 1, no callback, no suppressions
  g_gdiplusRunning = Gdiplus::GdiplusStartup(&g_gdiplusToken, &input, nullptr) == Gdiplus::Ok;
}

CGdiplusSession::~CGdiplusSession() {
  const std::lock_guard<std::mutex> hold(g_gdiplusLock);
  if (--g_gdiplusShares > 0)
    return;
  if (g_gdiplusRunning)
    Gdiplus::GdiplusShutdown(g_gdiplusToken);
  g_gdiplusRunning = false;
  g_gdiplusToken = 0;
}

bool CGdiplusSession::Running() {
  const std::lock_guard<std::mutex> hold(g_gdiplusLock);
  return g_gdiplusRunning;
}

int CGdiplusSession::Shares() {
  const std::lock_guard<std::mutex> hold(g_gdiplusLock);
  return g_gdiplusShares;
}
