#pragma once
// A dialog whose whole look is one per-pixel-alpha image composed by the program: the
// background picture and, over it, every shown registered control in registration order.
#include <windows.h>

#include <memory>
#include <vector>

#include "platform/win/framework/dialog.h"
#include "skin/skin_ctrl.h"
#include "skin/skin_image.h"
#include "skin/skin_surface.h"

// Posted to the dialog to compose once for every change asked for since the last composition.
constexpr UINT WM_SKIN_COMPOSE = WM_APP + 0x3F01;

class CLayeredDialog : public CDialog, public ISkinOwner {
 public:
  CLayeredDialog(UINT templateId, CWnd* parent) : CDialog(templateId, parent) {}
  ~CLayeredDialog() override = default;

  // Loads the background, sizes the window to it, centres it on the work area and composes.
  void SetBackgroundImage(UINT id, const wchar_t* type, HINSTANCE module, double scale);
  // Brings the window's image up to date and hands it to the window system: everything after
  // a new background or a new control, else only the rectangles of the controls that changed
  // (redrawn from the background up, in order). Nothing when nothing changed.
  void Compose();
  // Composes the whole surface anew, as after a new background.
  void RecomposeAll() {
    m_everything = true;
    Compose();
  }
  // Makes this dialog the control's owner and appends it to the composition order.
  void AddSkinCtrl(CSkinCtrl* control);
  // Forgets the controls and destroys the background and the surface.
  void ReleaseSkin();

  BOOL OnInitDialog() override;
  // Asks for one composition, made once the messages in flight are done: the several changes
  // of one step (a move with a resize, a label set up) compose together.
  void OnSkinChanged(CSkinCtrl* control) override;

  const CSkinImage* Background() const { return m_background.get(); }
  const std::vector<CSkinCtrl*>& Children() const { return m_children; }

 protected:
  virtual void LayoutSkin() = 0;
  // The composed surface just before the window system gets it: premultiplied BGRA, rows
  // bottom-up. For inspection only.
  virtual void OnSurfaceComposed(const DWORD* pixels, int width, int height) {
    (void)pixels, (void)width, (void)height;
  }

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  std::unique_ptr<CSkinImage> m_background;
  BLENDFUNCTION m_blend{};
  std::vector<CSkinCtrl*> m_children;

 private:
  // The surface, and the background drawn alone into it, for the surface's size.
  bool PrepareSurface(int width, int height);
  RECT ChangedRect() const;
  void Recompose(const RECT& rect);
  void Present(const RECT* dirty);

  std::unique_ptr<CSkinSurface> m_surface;
  std::vector<DWORD> m_backgroundLayer;
  bool m_everything = true;  // the next composition redraws the whole surface
  bool m_composePending = false;

  int OnCreate(CREATESTRUCTW* create);
  BOOL OnEraseBkgnd(HDC dc);
  void OnMove(POINT origin);
  void OnSize(UINT type, SIZE size);
  void OnLButtonDown(UINT keys, POINT point);

  KV_DECLARE_MESSAGE_MAP()
};

// Top-left corner that centres an outer size on a work area; each half truncated toward zero,
// so a window larger than the area overhangs it evenly.
POINT LayeredDialogCentre(const RECT& workArea, int outerWidth, int outerHeight);
