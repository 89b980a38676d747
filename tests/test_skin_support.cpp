#include "tests/test_skin_support.h"

#include <algorithm>
#include <cstdlib>

Rgba Surface::At(int x, int y) const {
  const DWORD p = pixels[static_cast<size_t>(height - 1 - y) * width + x];
  return Rgba{static_cast<int>(p & 0xFF), static_cast<int>((p >> 8) & 0xFF),
              static_cast<int>((p >> 16) & 0xFF), static_cast<int>(p >> 24)};
}

void CSkinTestDialog::DoDataExchange(CDataExchange& exchange) {
  DDX_Control(exchange, 1, m_btnOk);
  DDX_Control(exchange, 2, m_btnClose);
  DDX_Control(exchange, 1003, m_btnUpdate);
  DDX_Control(exchange, 1004, m_lblMessage);
  DDX_Control(exchange, 1006, m_lblSpinner);
}

const Surface& CSkinTestDialog::Snapshot() {
  PumpMessages();
  Compose();
  return last;
}

int CSkinTestDialog::Compositions() {
  PumpMessages();
  return compositions;
}

const Surface& CSkinTestDialog::Last() {
  PumpMessages();
  return last;
}

void PumpMessages() {
  MSG msg{};
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

void CSkinTestDialog::OnSurfaceComposed(const DWORD* pixels, int width, int height) {
  ++compositions;
  last.width = width;
  last.height = height;
  last.pixels.assign(pixels, pixels + static_cast<size_t>(width) * height);
}

KV_BEGIN_MESSAGE_MAP(CSkinTestDialog, CLayeredDialog)
MapMessage<WM_SYSCOMMAND, &ThisClass::OnSysCommand>(), MapCommand<1003, &ThisClass::OnUpdate>(),
    KV_END_MESSAGE_MAP()

        void CSkinTestDialog::OnSysCommand(UINT command, POINT) {
  sysCommands.push_back(command);
}

void CSkinTestDialog::OnUpdate() {
  updateStatesAtClick.push_back(m_btnUpdate.State());
}

HINSTANCE TestModule() {
  return ::GetModuleHandleW(nullptr);
}

void Place(CWnd& control, int x, int y, int width, int height) {
  ::SetWindowPos(control.GetSafeHwnd(), nullptr, x, y, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

Box DiffBox(const Surface& a, const Surface& b, const RECT& within) {
  Box box;
  for (int y = within.top; y < within.bottom; ++y) {
    for (int x = within.left; x < within.right; ++x) {
      const Rgba p = a.At(x, y);
      const Rgba q = b.At(x, y);
      if (p.r == q.r && p.g == q.g && p.b == q.b && p.a == q.a)
        continue;
      box.left = std::min(box.left, x);
      box.top = std::min(box.top, y);
      box.right = std::max(box.right, x);
      box.bottom = std::max(box.bottom, y);
    }
  }
  return box;
}

int CountColour(const Surface& s, const RECT& within, Rgba colour) {
  int count = 0;
  for (int y = within.top; y < within.bottom; ++y) {
    for (int x = within.left; x < within.right; ++x) {
      if (Near(s.At(x, y), colour, 0))
        ++count;
    }
  }
  return count;
}

bool Near(const Rgba& a, const Rgba& b, int tolerance) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
         std::abs(a.b - b.b) <= tolerance && std::abs(a.a - b.a) <= tolerance;
}

bool RunningUnderWine() {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
