#pragma once
// Shared fixture of the skin window tests: a layered dialog from the test template 100 whose
// layout is set by each test, and that keeps every surface it composed.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "skin/layered_dialog.h"
#include "skin/skin_button.h"
#include "skin/skin_label.h"

struct Rgba {
  int b, g, r, a;  // premultiplied, as the surface holds them
};

struct Surface {
  int width = 0;
  int height = 0;
  std::vector<DWORD> pixels;  // rows bottom-up
  Rgba At(int x, int y) const;
};

class CSkinTestDialog : public CLayeredDialog {
 public:
  CSkinTestDialog() : CLayeredDialog(100, nullptr) {}

  CSkinButton m_btnOk;      // 1
  CSkinButton m_btnClose;   // 2
  CSkinButton m_btnUpdate;  // 1003
  CSkinLabel m_lblMessage;  // 1004
  CSkinLabel m_lblSpinner;  // 1006

  std::function<void(CSkinTestDialog&)> layout;
  int compositions = 0;
  Surface last;
  std::vector<UINT> sysCommands;
  std::vector<UINT> updateStatesAtClick;  // m_btnUpdate's state word at each click

  void DoDataExchange(CDataExchange& exchange) override;
  void LayoutSkin() override {
    if (layout)
      layout(*this);
  }
  // Composes now and returns the surface.
  const Surface& Snapshot();
  // After the compositions asked for so far have run (the thread's queue is emptied).
  int Compositions();
  const Surface& Last();

 protected:
  void OnSurfaceComposed(const DWORD* pixels, int width, int height) override;

 private:
  void OnSysCommand(UINT command, POINT point);
  void OnUpdate();
  KV_DECLARE_MESSAGE_MAP()
};

// Dispatches every message waiting in the thread's queue.
void PumpMessages();
HINSTANCE TestModule();
// Places a control in the dialog's client coordinates.
void Place(CWnd& control, int x, int y, int width, int height);

struct Box {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;  // right, bottom inclusive
  bool Empty() const { return right < left; }
};

// Pixels that differ between two surfaces of one size, within a rectangle.
Box DiffBox(const Surface& a, const Surface& b, const RECT& within);
int CountColour(const Surface& s, const RECT& within, Rgba colour);
bool Near(const Rgba& a, const Rgba& b, int tolerance);

// Wine's GDI+ has a few gaps; the tests that meet one say which.
bool RunningUnderWine();
