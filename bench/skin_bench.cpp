// Timings of the skin toolkit under Wine with the program's own pictures: one Compose of the
// start screen (background and five controls) at 1.0 and 0.5, a bare draw of the background
// into a fresh surface, and loading plus scaling every picture. Google Benchmark has no
// Windows build on this system, so this is the smallest harness that still reports honest
// figures: warm-up, repetitions, median.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "skin/fixture/start_screen.h"
#include "skin/layered_dialog.h"

namespace {

class CBenchDialog : public CLayeredDialog {
 public:
  explicit CBenchDialog(double scale) : CLayeredDialog(IDD_UPDATE, nullptr), m_scale(scale) {}
  void DoDataExchange(CDataExchange& exchange) override {
    DDX_Control(exchange, IDC_CLOSE, m_close);
    DDX_Control(exchange, IDC_BULLET, m_bullet);
    DDX_Control(exchange, IDC_AC_PICTURE, m_acPicture);
    DDX_Control(exchange, IDC_UPDATE, m_update);
    DDX_Control(exchange, IDC_MESSAGE, m_message);
  }
  void LayoutSkin() override {
    const double s = m_scale;
    SetBackgroundImage(IMG_BACKGROUND, L"IMG", StartScreenModule(), s);
    StartScreenClose(m_close, s);
    StartScreenPicture(m_bullet, IMG_MARKER, START_BULLET, s);
    StartScreenPicture(m_acPicture, IMG_AC_PICTURE, START_AC_PICTURE, s);
    StartScreenButton(m_update, L"Update", START_UPDATE, s);
    StartScreenMessage(m_message, s);
    for (CSkinCtrl* c : std::initializer_list<CSkinCtrl*>{&m_close, &m_bullet, &m_acPicture,
                                                          &m_update, &m_message}) {
      AddSkinCtrl(c);
    }
  }

 private:
  double m_scale;
  CSkinButton m_close, m_update;
  CSkinLabel m_bullet, m_acPicture, m_message;
};

double Now() {
  static const LARGE_INTEGER frequency = [] {
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

// The cost a composition cannot avoid: a fresh 32-bit surface and the background drawn in.
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
  if (gdip::GdipCreateFromHDC(memory, &graphics) == Gdiplus::Ok) {
    gdip::GdipDrawImageRectI(graphics, background.Native(), 0, 0, w, h);
    gdip::GdipDeleteGraphics(graphics);
  }
  ::GdiFlush();
  ::SelectObject(memory, previous);
  ::DeleteObject(surface);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
}

constexpr UINT PICTURES[] = {129, 130, 131, 132, 133, 134, 135, 136, 137, 138, 139, 140,
                             141, 142, 143, 144, 145, 146, 147, 148, 150, 151, 152, 153};

}  // namespace

int main(int argc, char** argv) {
  const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
  char name[64];
  for (const double scale : {1.0, 0.5}) {
    CBenchDialog dialog(scale);
    if (!dialog.Create())
      return 1;
    std::snprintf(name, sizeof name, "Compose, 5 controls, scale %.1f", scale);
    Report(name, repetitions, [&] { dialog.Compose(); });
    const auto background = LoadSkinImage(IMG_BACKGROUND, L"IMG", StartScreenModule(), scale);
    if (background == nullptr || background->GetWidth() == 0)
      return 1;
    std::snprintf(name, sizeof name, "bare background draw, scale %.1f", scale);
    Report(name, repetitions, [&] { BareDraw(*background); });
  }
  for (const double scale : {1.0, 0.5}) {
    std::snprintf(name, sizeof name, "load all 24 pictures, scale %.1f", scale);
    Report(name, std::max(3, repetitions / 5), [&] {
      for (UINT id : PICTURES)
        LoadSkinImage(id, L"IMG", StartScreenModule(), scale);
    });
  }
  return 0;
}
