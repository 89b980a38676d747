#include "skin/layered_dialog.h"

#include "skin/skin_canvas.h"

namespace {

constexpr WPARAM SKIN_DRAG_COMMAND = SC_MOVE | HTCAPTION;  // 0xF012

using UpdateLayeredWindowFn = BOOL(WINAPI*)(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF,
                                            BLENDFUNCTION*, DWORD);

class CModule {
 public:
  explicit CModule(const wchar_t* name) : m_module(::LoadLibraryW(name)) {}
  ~CModule() {
    if (m_module != nullptr)
      ::FreeLibrary(m_module);
  }
  CModule(const CModule&) = delete;
  CModule& operator=(const CModule&) = delete;
  FARPROC Find(const char* name) const {
    return m_module != nullptr ? ::GetProcAddress(m_module, name) : nullptr;
  }

 private:
  HMODULE m_module;
};

class CWindowDc {
 public:
  explicit CWindowDc(HWND hwnd) : m_hwnd(hwnd), m_dc(::GetDC(hwnd)) {}
  ~CWindowDc() {
    if (m_dc != nullptr)
      ::ReleaseDC(m_hwnd, m_dc);
  }
  CWindowDc(const CWindowDc&) = delete;
  CWindowDc& operator=(const CWindowDc&) = delete;
  HDC Get() const { return m_dc; }

 private:
  HWND m_hwnd;
  HDC m_dc;
};

class CMemoryDc {
 public:
  explicit CMemoryDc(HDC compatible) : m_dc(::CreateCompatibleDC(compatible)) {}
  ~CMemoryDc() {
    if (m_dc != nullptr)
      ::DeleteDC(m_dc);
  }
  CMemoryDc(const CMemoryDc&) = delete;
  CMemoryDc& operator=(const CMemoryDc&) = delete;
  HDC Get() const { return m_dc; }

 private:
  HDC m_dc;
};

// A 32-bit DIB section, zero-filled (fully transparent), selected into a memory context for
// its life.
class CSurface {
 public:
  CSurface(HDC dc, int width, int height) : m_dc(dc) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // positive: rows bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage =
        static_cast<DWORD>(((width * 32 + 31) / 8) & ~3) * static_cast<DWORD>(height);
    m_bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &m_bits, nullptr, 0);
    if (m_bitmap != nullptr)
      m_previous = ::SelectObject(dc, m_bitmap);
  }
  ~CSurface() {
    if (m_bitmap == nullptr)
      return;
    ::SelectObject(m_dc, m_previous);
    ::DeleteObject(m_bitmap);
  }
  CSurface(const CSurface&) = delete;
  CSurface& operator=(const CSurface&) = delete;
  explicit operator bool() const { return m_bitmap != nullptr; }
  const DWORD* Pixels() const { return static_cast<const DWORD*>(m_bits); }

 private:
  HDC m_dc;
  void* m_bits = nullptr;
  HBITMAP m_bitmap = nullptr;
  HGDIOBJ m_previous = nullptr;
};

}  // namespace

POINT LayeredDialogCentre(const RECT& workArea, int outerWidth, int outerHeight) {
  // C++ integer division truncates toward zero, which is what keeps odd overhangs even.
  return POINT{workArea.left + (workArea.right - workArea.left - outerWidth) / 2,
               workArea.top + (workArea.bottom - workArea.top - outerHeight) / 2};
}

KV_BEGIN_MESSAGE_MAP(CLayeredDialog, CDialog)
MapMessage<WM_CREATE, &ThisClass::OnCreate>(),
    MapMessage<WM_ERASEBKGND, &ThisClass::OnEraseBkgnd>(),
    MapMessage<WM_MOVE, &ThisClass::OnMove>(), MapMessage<WM_SIZE, &ThisClass::OnSize>(),
    MapMessage<WM_LBUTTONDOWN, &ThisClass::OnLButtonDown>(),
    KV_END_MESSAGE_MAP()

        BOOL CLayeredDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  m_blend = BLENDFUNCTION{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  LayoutSkin();
  Compose();
  return TRUE;
}

void CLayeredDialog::OnSkinChanged(CSkinCtrl*) {
  Compose();
}

void CLayeredDialog::AddSkinCtrl(CSkinCtrl* control) {
  control->SetOwner(this);
  m_children.push_back(control);
}

void CLayeredDialog::ReleaseSkin() {
  std::vector<CSkinCtrl*>().swap(m_children);
  m_background.reset();
}

void CLayeredDialog::SetBackgroundImage(UINT id, const wchar_t* type, HINSTANCE module,
                                        double scale) {
  m_background.reset();
  m_background = LoadSkinImage(id, type, module, scale);
  if (m_background == nullptr)
    return;

  const int width = static_cast<int>(m_background->GetWidth());
  const int height = static_cast<int>(m_background->GetHeight());
  RECT outer{0, 0, width, height};
  ::AdjustWindowRect(&outer, GetStyle(), FALSE);
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const POINT origin =
      LayeredDialogCentre(work, outer.right - outer.left, outer.bottom - outer.top);
  MoveWindow(origin.x, origin.y, width, height, TRUE);
  Compose();
}

void CLayeredDialog::Compose() {
  if (m_background == nullptr || m_hWnd == nullptr)
    return;
  const int width = static_cast<int>(m_background->GetWidth());
  const int height = static_cast<int>(m_background->GetHeight());

  const DWORD exStyle = GetExStyle();
  if ((exStyle & WS_EX_LAYERED) == 0) {
    ::SetWindowLongW(m_hWnd, GWL_EXSTYLE, static_cast<LONG>(exStyle | WS_EX_LAYERED));
  }

  CWindowDc windowDc(m_hWnd);
  CMemoryDc memoryDc(windowDc.Get());
  RECT windowRect{};
  ::GetWindowRect(m_hWnd, &windowRect);
  CSurface surface(memoryDc.Get(), width, height);
  if (!surface)
    return;

  {
    Gdiplus::GpGraphics* graphics = nullptr;
    if (gdip::GdipCreateFromHDC(memoryDc.Get(), &graphics) != Gdiplus::Ok)
      graphics = nullptr;
    SkinCanvas canvas(graphics);
    canvas.DrawImage(m_background.get(), 0, 0, width, height);
    for (CSkinCtrl* control : m_children) {
      if (control->IsShown())
        control->Draw(canvas);
    }
  }  // the canvas flushes into the surface before the surface is handed over
  ::GdiFlush();
  OnSurfaceComposed(surface.Pixels(), width, height);

  CModule user32(L"User32.DLL");
  auto update = reinterpret_cast<UpdateLayeredWindowFn>(
      reinterpret_cast<void*>(user32.Find("UpdateLayeredWindow")));
  if (update == nullptr)
    return;
  POINT destination{windowRect.left, windowRect.top};
  SIZE size{width, height};
  POINT source{0, 0};
  update(m_hWnd, windowDc.Get(), &destination, &size, memoryDc.Get(), &source, 0, &m_blend,
         ULW_ALPHA);
}

int CLayeredDialog::OnCreate(CREATESTRUCTW*) {
  if (Default() == -1)
    return -1;
  ModifyStyle(WS_CAPTION, WS_POPUP);
  return 0;
}

BOOL CLayeredDialog::OnEraseBkgnd(HDC) {
  return TRUE;
}

void CLayeredDialog::OnMove(POINT) {
  Default();
}

void CLayeredDialog::OnSize(UINT, SIZE) {
  Default();
}

void CLayeredDialog::OnLButtonDown(UINT, POINT) {
  ::SendMessageW(m_hWnd, WM_SYSCOMMAND, SKIN_DRAG_COMMAND, 0);
  Default();
}
