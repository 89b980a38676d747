// The real main window's figures under an emulated notebook: time from process start to the
// first composed frame, one full-surface UpdateLayeredWindow of the same window (the floor),
// a full composition, the spinner's frames per second through a real attempt, and the peak
// working set. Run under Wine in Xvfb with tools/window-bench; the screen size picks the scale.
// clang-format off
#include <windows.h>
#include <psapi.h>
// clang-format on

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/emulated_session.h"
#include "app/update_dlg.h"
#include "res/resource_ids.h"

namespace {

double Now() {
  LARGE_INTEGER counter, frequency;
  ::QueryPerformanceCounter(&counter);
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Seconds since this process was created.
double SinceProcessStart() {
  FILETIME created, exited, kernel, user, now;
  ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
  ::GetSystemTimeAsFileTime(&now);
  const auto ticks = [](const FILETIME& t) {
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  return static_cast<double>(ticks(now) - ticks(created)) / 1e7;
}

class CBenchDlg : public CUpdateDlg {
 public:
  CBenchDlg() : CUpdateDlg(nullptr) {}
  double firstFrame = -1;
  int framesInAttempt = 0;

  // The floor: the window's whole surface handed over as it is, without composing.
  double FullSurfaceUpdate(int repetitions) {
    RECT r{};
    ::GetWindowRect(m_hWnd, &r);
    const int width = r.right - r.left, height = r.bottom - r.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = ::SelectObject(memory, bitmap);
    std::vector<DWORD> pixels(static_cast<size_t>(width) * height, 0xFF204060);
    std::copy(pixels.begin(), pixels.end(), static_cast<DWORD*>(bits));
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    POINT origin{r.left, r.top}, source{0, 0};
    SIZE size{width, height};
    const double start = Now();
    for (int i = 0; i < repetitions; ++i)
      ::UpdateLayeredWindow(m_hWnd, screen, &origin, &size, memory, &source, 0, &blend, ULW_ALPHA);
    const double each = (Now() - start) / repetitions;
    ::SelectObject(memory, previous);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return each;
  }
  // What any change of screen costs: everything drawn again and handed over whole.
  double FullComposition(int repetitions) {
    const double start = Now();
    for (int i = 0; i < repetitions; ++i)
      RecomposeAll();
    return (Now() - start) / repetitions;
  }
  // One turn of the wait loop alone (next frame, composition, layered update), on the spinner
  // the Working screen shows.
  double SpinnerTurns(int repetitions) {
    m_lblSpinner.ShowCtrl(SW_SHOW);
    Compose();
    const double start = Now();
    for (int i = 0; i < repetitions; ++i)
      SpinnerTurn();
    const double each = (Now() - start) / repetitions;
    m_lblSpinner.ShowCtrl(SW_HIDE);
    Compose();
    m_spinnerFrame = IMG_SPINNER_FIRST;
    return each;
  }
  void RunAttempt() { ::SendMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_UPDATE, BN_CLICKED), 0); }

 protected:
  void OnSurfaceComposed(const DWORD*, int, int) override {
    if (firstFrame < 0)
      firstFrame = SinceProcessStart();
    if (AttemptRunning())
      ++framesInAttempt;
  }
};

}  // namespace

// window_bench FOLDER: FOLDER is an emulated notebook (Clock=real for a 20-second attempt).
int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: window_bench NOTEBOOK-FOLDER\n");
    return 2;
  }
  auto session = CEmulatedSession::Start(argv[1]);
  if (!session) {
    std::fprintf(stderr, "window_bench: not an emulated notebook\n");
    return 2;
  }
  CBenchDlg dlg;
  dlg.m_langId = 0x0409;
  if (!dlg.Create())
    return 1;
  const double firstFrame = dlg.firstFrame;
  const double floor = dlg.FullSurfaceUpdate(20);
  const double compose = dlg.FullComposition(10);
  const double turn = dlg.SpinnerTurns(40);
  const double start = Now();
  dlg.RunAttempt();
  const double attempt = Now() - start;
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);
  const double fps = dlg.framesInAttempt / attempt;
  std::printf("scale %.1f (window %s)\n", dlg.m_fullScale != 0 ? 1.0 : 0.5,
              dlg.m_fullScale != 0 ? "1560x1240" : "780x620");
  std::printf("process start to first composed frame: %.0f ms\n", firstFrame * 1000);
  std::printf("full-surface UpdateLayeredWindow (floor): %.1f ms\n", floor * 1000);
  std::printf("full composition: %.1f ms = %.2f x floor\n", compose * 1000, compose / floor);
  std::printf("spinner turn: %.1f ms = %.2f x floor\n", turn * 1000, turn / floor);
  std::printf("attempt %.1f s, %d frames: %.2f frames/s\n", attempt, dlg.framesInAttempt, fps);
  std::printf("peak working set: %.1f MiB\n", memory.PeakWorkingSetSize / 1048576.0);
  std::printf("result 0x%08X\n", dlg.m_result);
  return 0;
}
