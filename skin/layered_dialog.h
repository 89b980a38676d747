#pragma once
// A dialog whose whole look is one per-pixel-alpha image composed by the program: the
// background picture and, over it, every shown registered control in registration order.
#include <windows.h>

#include <memory>
#include <vector>

#include "platform/win/framework/dialog.h"
#include "skin/skin_ctrl.h"
#include "skin/skin_image.h"

class CLayeredDialog : public CDialog, public ISkinOwner {
 public:
  CLayeredDialog(UINT templateId, CWnd* parent) : CDialog(templateId, parent) {}
  ~CLayeredDialog() override = default;

  // Loads the background, sizes the window to it, centres it on the work area and composes.
  void SetBackgroundImage(UINT id, const wchar_t* type, HINSTANCE module, double scale);
  // Draws everything into a fresh surface and hands it to the window system as the window.
  void Compose();
  // Makes this dialog the control's owner and appends it to the composition order.
  void AddSkinCtrl(CSkinCtrl* control);
  // Forgets the controls and destroys the background.
  void ReleaseSkin();

  BOOL OnInitDialog() override;
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

  std::unique_ptr<CSkinImage> m_background;
  BLENDFUNCTION m_blend{};
  std::vector<CSkinCtrl*> m_children;

 private:
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
