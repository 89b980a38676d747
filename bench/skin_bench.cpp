// Timings of the skin toolkit under Wine with the program's own pictures, at 1.0 and 0.5: the
// floor (one full-surface UpdateLayeredWindow of the same window), a spinner turn of the wait
// loop (the spinner label's next frame, Compose), a full composition of the start screen with
// the spinner, each with its ratio to the floor; a bare draw of the background into a fresh
// surface, and loading plus scaling every picture. Google Benchmark has no
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
    DDX_Control(exchange, IDC_SPINNER, m_spinner);
  }
  // The wait loop's turn: the next frame, then the composition.
  void Turn() {
    m_frame = m_frame == IMG_SPINNER_LAST ? IMG_SPINNER_FIRST : m_frame + 1;
    m_spinner.SetImage(m_frame, L"IMG", StartScreenModule(), m_scale);
    Compose();
  }
  void LayoutSkin() override {
    const double s = m_scale;
    SetBackgroundImage(IMG_BACKGROUND, L"IMG", StartScreenModule(), s);
    StartScreenClose(m_close, s);
    StartScreenPicture(m_bullet, IMG_MARKER, LAYOUT_BULLET, s);
    StartScreenPicture(m_acPicture, IMG_AC_PICTURE, LAYOUT_AC_PICTURE, s);
    StartScreenButton(m_update, L"Update", LAYOUT_UPDATE, s);
    StartScreenMessage(m_message, s);
    StartScreenPicture(m_spinner, IMG_SPINNER_FIRST, LAYOUT_SPINNER, s);
    for (CSkinCtrl* c : std::initializer_list<CSkinCtrl*>{&m_close, &m_bullet, &m_acPicture,
                                                          &m_update, &m_message, &m_spinner}) {
      AddSkinCtrl(c);
    }
  }

 private:
  double m_scale;
  UINT m_frame = IMG_SPINNER_FIRST;
  CSkinButton m_close, m_update;
  CSkinLabel m_bullet, m_acPicture, m_message, m_spinner;
};

// The floor: the whole surface of the window handed to the window system once, from a
// surface made beforehand.
class CFloor {
 public:
  CFloor(HWND hwnd, int width, int height) : m_hwnd(hwnd), m_size{width, height} {
    m_dc = ::CreateCompatibleDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    m_dib = ::CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    m_previous = ::SelectObject(m_dc, m_dib);
  }
  ~CFloor() {
    ::SelectObject(m_dc, m_previous);
    ::DeleteObject(m_dib);
    ::DeleteDC(m_dc);
  }
  CFloor(const CFloor&) = delete;
  CFloor& operator=(const CFloor&) = delete;
  void Update() {
    RECT rect{};
    ::GetWindowRect(m_hwnd, &rect);
    POINT destination{rect.left, rect.top};
    POINT source{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::UpdateLayeredWindow(m_hwnd, nullptr, &destination, &m_size, m_dc, &source, 0, &blend,
                          ULW_ALPHA);
  }
  // The same with only a rectangle of the spinner's size marked changed: what the window
  // system alone costs a turn.
  void UpdateRect(const RECT& dirty) {
    RECT rect{};
    ::GetWindowRect(m_hwnd, &rect);
    POINT destination{rect.left, rect.top};
    POINT source{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UPDATELAYEREDWINDOWINFO info{sizeof(info), nullptr, &destination, &m_size,   m_dc,
                                 &source,      0,       &blend,       ULW_ALPHA, &dirty};
    ::UpdateLayeredWindowIndirect(m_hwnd, &info);
  }

 private:
  HWND m_hwnd;
  SIZE m_size;
  HDC m_dc = nullptr;
  HBITMAP m_dib = nullptr;
  HGDIOBJ m_previous = nullptr;
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

double Report(const char* name, int repetitions, const std::function<void()>& run,
              double floor = 0.0) {
  run();  // warm-up
  std::vector<double> times;
  for (int i = 0; i < repetitions; ++i) {
    const double start = Now();
    run();
    times.push_back(Now() - start);
  }
  std::sort(times.begin(), times.end());
  const double median = times[times.size() / 2];
  std::printf("%-40s median %8.3f ms   min %8.3f ms   max %8.3f ms   (%d runs)", name, median,
              times.front(), times.back(), repetitions);
  if (floor > 0.0)
    std::printf("   %.2f x floor", median / floor);
  std::printf("\n");
  return median;
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
    RECT client{};
    ::GetClientRect(dialog.GetSafeHwnd(), &client);
    CFloor floorSurface(dialog.GetSafeHwnd(), client.right, client.bottom);
    std::snprintf(name, sizeof name, "floor: full-surface update, scale %.1f", scale);
    const double floor = Report(name, repetitions, [&] { floorSurface.Update(); });
    const RECT spinner{0, 0, static_cast<LONG>(134 * scale), static_cast<LONG>(134 * scale)};
    std::snprintf(name, sizeof name, "spinner-sized dirty update, scale %.1f", scale);
    Report(
        name, repetitions, [&] { floorSurface.UpdateRect(spinner); }, floor);
    dialog.RecomposeAll();  // the floor's surface replaced the window's image
    std::snprintf(name, sizeof name, "spinner turn, scale %.1f", scale);
    Report(
        name, repetitions, [&] { dialog.Turn(); }, floor);
    std::snprintf(name, sizeof name, "full composition, 6 controls, scale %.1f", scale);
    Report(
        name, repetitions, [&] { dialog.RecomposeAll(); }, floor);
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
