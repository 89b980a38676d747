// Timings of the skin toolkit under Wine: one Compose of a dialog with the background and five
// controls at 1.0 and 0.5, a bare draw of the background into a fresh surface, and loading
// plus scaling every picture. Google Benchmark has no Windows build on this system, so this is
// the smallest harness that still reports honest figures: warm-up, repetitions, median.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "skin/layered_dialog.h"
#include "skin/skin_button.h"
#include "skin/skin_label.h"

namespace {

HINSTANCE Module() {
  return ::GetModuleHandleW(nullptr);
}

class CBenchDialog : public CLayeredDialog {
 public:
  explicit CBenchDialog(double scale) : CLayeredDialog(100, nullptr), m_scale(scale) {}
  void DoDataExchange(CDataExchange& exchange) override {
    DDX_Control(exchange, 1, m_exit);
    DDX_Control(exchange, 2, m_close);
    DDX_Control(exchange, 1003, m_update);
    DDX_Control(exchange, 1004, m_message);
    DDX_Control(exchange, 1006, m_spinner);
  }
  void LayoutSkin() override {
    const double s = m_scale;
    auto at = [s](CWnd& w, int x, int y, int cx, int cy) {
      ::SetWindowPos(w.GetSafeHwnd(), nullptr, static_cast<int>(x * s), static_cast<int>(y * s),
                     static_cast<int>(cx * s), static_cast<int>(cy * s), SWP_NOZORDER);
    };
    SetBackgroundImage(129, L"IMG", Module(), s);
    m_close.SetImages(130, 133, 132, 131, L"IMG", Module(), s);
    at(m_close, 1448, 38, 76, 76);
    m_update.SetImages(137, 140, 139, 138, L"IMG", Module(), s);
    m_update.SetTextColor(0xFFFFFFFF);
    m_update.SetWindowTextW(L"Update");
    at(m_update, 1136, 1109, 368, 76);
    m_exit.SetImages(137, 0, 0, 0, L"IMG", Module(), s);
    at(m_exit, 600, 1109, 368, 76);
    ::EnableWindow(m_exit.GetSafeHwnd(), FALSE);  // grey matrix at every compose
    m_message.SetWindowTextW(L"Connect the AC adapter, then press Update to write the firmware.");
    at(m_message, 100, 297, 1400, 180);
    m_spinner.SetImage(141, L"IMG", Module(), s);
    at(m_spinner, 712, 658, 132, 132);
    for (CSkinCtrl* c :
         std::initializer_list<CSkinCtrl*>{&m_close, &m_update, &m_exit, &m_message, &m_spinner}) {
      AddSkinCtrl(c);
    }
  }
  CSkinButton m_exit, m_close, m_update;
  CSkinLabel m_message, m_spinner;

 private:
  double m_scale;
};

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  ::QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

void Report(const char* name, int repetitions, const std::function<void()>& run) {
  run();  // warm-up
  std::vector<double> times;
  for (int i = 0; i < repetitions; ++i) {
    const double start = Now();
    run();
    times.push_back(Now() - start);
  }
  std::sort(times.begin(), times.end());
  std::printf("%-36s median %8.3f ms   min %8.3f ms   max %8.3f ms   (%d runs)\n", name,
              times[times.size() / 2], times.front(), times.back(), repetitions);
}

void BareDraw(const CSkinImage& background) {
  const int w = static_cast<int>(background.GetWidth());
  const int h = static_cast<int>(background.GetHeight());
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP surface = ::CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ previous = ::SelectObject(memory, surface);
  Gdiplus::GpGraphics* graphics = nullptr;
  gdip::GdipCreateFromHDC(memory, &graphics);
  gdip::GdipDrawImageRectI(graphics, background.Native(), 0, 0, w, h);
  gdip::GdipDeleteGraphics(graphics);
  ::SelectObject(memory, previous);
  ::DeleteObject(surface);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
}

}  // namespace

int main(int argc, char** argv) {
  const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
  for (const double scale : {1.0, 0.5}) {
    CBenchDialog dialog(scale);
    if (!dialog.Create())
      return 1;
    char name[64];
    std::snprintf(name, sizeof name, "Compose, 5 controls, scale %.1f", scale);
    Report(name, repetitions, [&] { dialog.Compose(); });
    auto background = LoadSkinImage(129, L"IMG", Module(), scale);
    std::snprintf(name, sizeof name, "bare background draw, scale %.1f", scale);
    Report(name, repetitions, [&] { BareDraw(*background); });
  }
  const UINT ids[] = {129, 130, 131, 132, 133, 134, 135, 136, 137, 138, 139, 140,
                      141, 142, 143, 144, 145, 146, 147, 148, 150, 151, 152, 153};
  for (const double scale : {1.0, 0.5}) {
    char name[64];
    std::snprintf(name, sizeof name, "load all 24 pictures, scale %.1f", scale);
    Report(name, std::max(3, repetitions / 5), [&] {
      for (UINT id : ids)
        LoadSkinImage(id, L"IMG", Module(), scale);
    });
  }
  return 0;
}
